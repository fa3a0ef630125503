#include "convert/RecordFormat.h"

#include <QFile>

#include <algorithm>
#include <limits>
#include <vector>

namespace velmora::RecordFormat {

namespace {

std::int64_t padded(std::int64_t n)
{
    return (n + 7) & ~std::int64_t{7};
}

// A record read a window at a time: a record may be tens of MiB, most of it
// room its run never used.
class RecordWindow
{
public:
    RecordWindow(const LockedFile &file, std::int64_t size) : m_file(file), m_size(size) {}

    // The bytes [offset, offset + length) of the record, held until the next
    // call; null, with the reason, when they cannot be read.
    const char *at(std::int64_t offset, std::int64_t length, QString *reason)
    {
        if (offset < m_start || offset + length > m_start + std::ssize(m_bytes)) {
            const std::int64_t wanted = std::min(std::max(length, WindowBytes), m_size - offset);
            m_bytes.resize(std::size_t(wanted));
            m_start = offset;
            if (wanted < length ||
                m_file.readAt(offset, m_bytes.data(), wanted, reason) != wanted) {
                *reason = reason->isEmpty() ? QStringLiteral("it was cut short") : *reason;
                m_bytes.clear();
                return nullptr;
            }
        }
        return m_bytes.data() + (offset - m_start);
    }

private:
    static constexpr std::int64_t WindowBytes = 64 * 1024;
    const LockedFile &m_file;
    std::int64_t m_size;
    std::int64_t m_start = 0;
    std::vector<char> m_bytes;
};

// Reads the header at data, of headerBytes; false, with the reason, when it
// is not valid.
bool decodeHeader(const char *data, std::int64_t headerBytes, bool live, RecordedRun *run,
                  QString *reason)
{
    run->started = QDateTime::fromMSecsSinceEpoch(get<std::int64_t>(data, HeaderAt::Started));
    run->undo = get<std::uint32_t>(data, HeaderAt::Undo) != 0;
    const std::uint32_t endCode = get<std::uint32_t>(data, HeaderAt::End);
    run->end = endCode == Finished  ? RecordedRun::End::Finished
               : endCode == Stopped ? RecordedRun::End::Stopped
               : live               ? RecordedRun::End::Running
                                    : RecordedRun::End::Killed;
    run->full = get<std::uint32_t>(data, HeaderAt::Full) != 0;
    const std::int64_t programBytes = get<std::uint32_t>(data, HeaderAt::ProgramBytes);
    std::int64_t at = HeaderAt::Program + programBytes;
    if (at > headerBytes) {
        *reason = QStringLiteral("its header is not valid");
        return false;
    }
    run->program = QString::fromUtf8(data + HeaderAt::Program, qsizetype(programBytes));
    const std::uint32_t keptPaths = get<std::uint32_t>(data, HeaderAt::PathsKept);
    for (std::uint32_t i = 0; i < keptPaths; ++i) {
        const std::int64_t pathBytes = at + 4 <= headerBytes ? get<std::uint32_t>(data, at) : -1;
        if (pathBytes < 0 || at + 4 + pathBytes > headerBytes) {
            *reason = QStringLiteral("its header is not valid");
            return false;
        }
        run->paths.append(QByteArray(data + at + 4, qsizetype(pathBytes)));
        at += 4 + pathBytes;
    }
    if (get<std::uint32_t>(data, HeaderAt::PathsGiven) > keptPaths) {
        run->paths.append(QByteArrayLiteral("...")); // and more, not kept
    }
    return true;
}

// The stamp an entry keeps: exact, or known to a span.
FileStamp stampOf(const char *entry)
{
    return FileStamp{get<std::int64_t>(entry, EntryAt::Length),
                     get<std::int64_t>(entry, EntryAt::Modified),
                     std::int64_t{get<std::uint32_t>(entry, EntryAt::EarlierByUs)} * 1000};
}

// Adds the entry's file to the run's list of files.
void appendFile(const char *entry, std::int64_t pathBytes, QByteArray &lastFolder, RecordedRun *run)
{
    const FileId id{get<std::uint64_t>(entry, EntryAt::Device),
                    get<std::uint64_t>(entry, EntryAt::Inode)};
    const QByteArrayView path(entry + EntryAt::Path, qsizetype(pathBytes));
    const qsizetype split = path.lastIndexOf('/') + 1;
    const QByteArrayView folder = path.first(split);
    if (folder != lastFolder || run->files.files.isEmpty()) {
        lastFolder = folder.toByteArray();
        run->files.files.enterFolder(QFile::decodeName(lastFolder), lastFolder);
    }
    const QByteArrayView name = path.sliced(split);
    run->files.files.append(std::string_view(name.data(), std::size_t(name.size())), id);
    run->files.stamps.push_back(stampOf(entry));
}

} // namespace

bool isRecordName(std::string_view name)
{
    return name.starts_with("run-") && name.ends_with(".bin");
}

QByteArray encodeHeader(std::int64_t startedMs, bool undo, const QString &program,
                        const QList<QByteArray> &paths)
{
    QByteArray header(HeaderAt::Program, '\0');
    const QByteArray programBytes = program.toUtf8();
    const qsizetype keptPaths = std::min<qsizetype>(paths.size(), KeptPaths);
    std::copy(Magic, Magic + 8, header.data() + HeaderAt::Magic);
    put<std::uint32_t>(header.data(), HeaderAt::Version, Version);
    put<std::uint32_t>(header.data(), HeaderAt::End, Running);
    put<std::int64_t>(header.data(), HeaderAt::Started, startedMs);
    put<std::uint32_t>(header.data(), HeaderAt::Undo, undo ? 1 : 0);
    put<std::uint32_t>(header.data(), HeaderAt::PathsGiven, std::uint32_t(paths.size()));
    put<std::uint32_t>(header.data(), HeaderAt::PathsKept, std::uint32_t(keptPaths));
    put<std::uint32_t>(header.data(), HeaderAt::ProgramBytes, std::uint32_t(programBytes.size()));
    header += programBytes;
    for (qsizetype i = 0; i < keptPaths; ++i) {
        char size[4];
        put<std::uint32_t>(size, 0, std::uint32_t(paths[i].size()));
        header += QByteArray(size, 4) + paths[i];
    }
    header.resize(padded(header.size()), '\0');
    put<std::uint32_t>(header.data(), HeaderAt::HeaderBytes, std::uint32_t(header.size()));
    put<std::uint64_t>(
        header.data(), HeaderAt::Checksum,
        checksum(header.constData() + HeaderAt::Started, header.size() - HeaderAt::Started));
    return header;
}

std::int64_t entrySize(std::int64_t pathBytes)
{
    return EntryAt::Path + padded(pathBytes) + ChecksumBytes;
}

void encodeEntry(char *entry, const FileId &id, const FileStamp &stamp,
                 std::initializer_list<QByteArrayView> pathParts)
{
    std::int64_t pathBytes = 0;
    for (const QByteArrayView part : pathParts) {
        pathBytes += part.size();
    }
    const std::int64_t size = entrySize(pathBytes);
    put<std::uint32_t>(entry, EntryAt::PathBytes, std::uint32_t(pathBytes));
    put<std::uint32_t>(entry, EntryAt::EarlierByUs,
                       std::uint32_t(std::min<std::int64_t>(
                           stamp.earlierByUs(), std::numeric_limits<std::uint32_t>::max())));
    put<std::uint64_t>(entry, EntryAt::Device, id.device);
    put<std::uint64_t>(entry, EntryAt::Inode, id.inode);
    put<std::int64_t>(entry, EntryAt::Length, stamp.length);
    put<std::int64_t>(entry, EntryAt::Modified, stamp.modifiedNs);
    char *out = entry + EntryAt::Path;
    for (const QByteArrayView part : pathParts) {
        out = std::copy(part.begin(), part.end(), out);
    }
    std::fill(out, entry + size - ChecksumBytes, '\0');
    // The checksum goes last: until it is there, the entry does not count.
    put<std::uint64_t>(entry, size - ChecksumBytes, checksum(entry, size - ChecksumBytes));
}

void encodeTrailer(char *trailer, std::int64_t earliest, std::int64_t latest)
{
    std::copy(TrailerMagic, TrailerMagic + 8, trailer + TrailerAt::Magic);
    put<std::int64_t>(trailer, TrailerAt::Earliest, earliest);
    put<std::int64_t>(trailer, TrailerAt::Latest, latest);
    put<std::uint64_t>(trailer, TrailerAt::Checksum, checksum(trailer, TrailerAt::Checksum));
}

bool read(const QByteArray &path, RecordDetail detail, RecordedRun *run, QString *reason,
          const StampSink &eachStamp, Shape *shape)
{
    LockedFile file;
    bool live = false;
    if (!file.openToRead(path, &live, reason)) {
        return false;
    }
    const std::int64_t length = file.length(reason);
    if (length < 0) {
        return false;
    }
    if (length < HeaderAt::Program) {
        *reason = QStringLiteral("it does not begin with a valid header");
        return false;
    }
    const std::int64_t size = std::min(length, MaxBytes);
    RecordWindow window(file, size);
    const char *data = window.at(0, HeaderAt::Program, reason);
    if (!data) {
        return false;
    }
    const std::int64_t headerBytes = get<std::uint32_t>(data, HeaderAt::HeaderBytes);
    const bool fits = headerBytes <= size && headerBytes >= HeaderAt::Program;
    data = fits ? window.at(0, headerBytes, reason) : data;
    if (!data) {
        return false;
    }
    if (!fits || !std::equal(Magic, Magic + 8, data + HeaderAt::Magic) ||
        get<std::uint32_t>(data, HeaderAt::Version) != Version ||
        get<std::uint64_t>(data, HeaderAt::Checksum) !=
            checksum(data + HeaderAt::Started, headerBytes - HeaderAt::Started)) {
        *reason = QStringLiteral("it does not begin with a valid header");
        return false;
    }
    run->recordPath = path;
    if (!decodeHeader(data, headerBytes, live, run, reason)) {
        return false;
    }
    if (shape &&
        (run->end == RecordedRun::End::Finished || run->end == RecordedRun::End::Stopped) &&
        size - TrailerBytes >= headerBytes) {
        const char *trailer = window.at(size - TrailerBytes, TrailerBytes, reason);
        if (!trailer) {
            return false;
        }
        shape->hasTimes = std::equal(TrailerMagic, TrailerMagic + 8, trailer) &&
                          get<std::uint64_t>(trailer, TrailerAt::Checksum) ==
                              checksum(trailer, TrailerAt::Checksum);
        shape->earliest = get<std::int64_t>(trailer, TrailerAt::Earliest);
        shape->latest = get<std::int64_t>(trailer, TrailerAt::Latest);
    }
    if (shape && !shape->entries) {
        return true;
    }
    QByteArray lastFolder;
    std::int64_t at = headerBytes;
    while (at + EntryAt::Path + ChecksumBytes <= size) {
        const char *head = window.at(at, EntryAt::Path, reason);
        if (!head) {
            return false;
        }
        const std::int64_t pathBytes = get<std::uint32_t>(head, EntryAt::PathBytes);
        const std::int64_t entryBytes = entrySize(pathBytes);
        if (pathBytes == 0 || at + entryBytes > size) {
            break; // the end
        }
        const char *entry = window.at(at, entryBytes, reason);
        if (!entry) {
            return false;
        }
        if (get<std::uint64_t>(entry, entryBytes - ChecksumBytes) !=
            checksum(entry, entryBytes - ChecksumBytes)) {
            break; // an entry its process did not finish
        }
        ++run->fileCount;
        if (eachStamp) {
            eachStamp(FileId{get<std::uint64_t>(entry, EntryAt::Device),
                             get<std::uint64_t>(entry, EntryAt::Inode)},
                      stampOf(entry));
        }
        if (detail == RecordDetail::Files) {
            appendFile(entry, pathBytes, lastFolder, run);
        }
        at += entryBytes;
    }
    if (shape) {
        shape->end = at;
    }
    return true;
}

} // namespace velmora::RecordFormat
