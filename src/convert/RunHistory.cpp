#include "convert/RunHistory.h"

#include "algorithms/FileIdSet.h"
#include "algorithms/RecordBytes.h"
#include "platform/DirectoryListing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

// A record: a header, then one entry per converted file, in the order
// converted. All integers little-endian.
//
// Header: 0 magic "CL2VHIST"  8 version  12 end (0 running, 1 finished,
// 2 stopped)  16 full (0/1)  20 header size  24 checksum of the bytes from 32
// to the header's end  32 start (ms since the epoch)  40 undo (0/1)
// 44 paths given  48 paths kept  52 program size  56 program, then each
// kept path as its size and bytes; padded to 8 bytes.
//
// Entry: 0 path size (never 0)  4 reserved  8 device  16 inode  24 length
// 32 modified (ns)  40 path, padded to 8 bytes, then the checksum of all
// before it. A process killed while storing an entry leaves one whose
// checksum fails: the record ends before it. Past the last entry the file
// holds zeros.
//
// A finished record ends with a trailer: 0 magic "CL2VTAIL"  8 the earliest
// and 16 the latest modification time (ns) its files were left with  24 the
// checksum of the bytes before it. A reader that knows a file's time can tell
// from it alone whether the record may hold that file. (Its first four bytes
// read as an entry too long to fit: a reader that does not know it stops.)
constexpr char Magic[8] = {'C', 'L', '2', 'V', 'H', 'I', 'S', 'T'};
constexpr std::uint32_t Version = 1;
constexpr std::int64_t FixedHeaderBytes = 56;
constexpr std::int64_t EntryHeadBytes = 40;
constexpr std::int64_t ChecksumBytes = 8;
constexpr char TrailerMagic[8] = {'C', 'L', '2', 'V', 'T', 'A', 'I', 'L'};
constexpr std::int64_t TrailerBytes = 32;
// The paths a header keeps: a list read from a file may name thousands.
constexpr int KeptPaths = 16;
// The mapping grows in steps this large at least, doubling as it goes.
constexpr std::int64_t FirstMapBytes = 1024 * 1024;
// How much of the written entries the process holds at most.
constexpr std::int64_t ReleaseBytes = 1024 * 1024;

enum EndCode : std::uint32_t { Running = 0, Finished = 1, Stopped = 2 };

std::int64_t padded(std::int64_t n)
{
    return (n + 7) & ~std::int64_t{7};
}

bool isRecordName(std::string_view name)
{
    return name.starts_with("run-") && name.ends_with(".bin");
}

// The history folder, made when missing and checked as the journal's is;
// empty, with the reason, when it cannot be used.
QByteArray historyFolder(bool make, QString *reason)
{
    const QString state = stateFolder(QStringLiteral("cl2velmora"), reason);
    if (state.isEmpty()) {
        return {};
    }
    // Nothing is made inside a folder that is not the user's own.
    const QString folder = state + QLatin1String("/history");
    for (const QString &path : {state, folder}) {
        if (make && !makeFolders(path, reason)) {
            return {};
        }
        if (QString why; !isOwnFolder(QFile::encodeName(path), &why)) {
            *reason = path + QLatin1String(": ") + why;
            return {};
        }
    }
    return QFile::encodeName(folder);
}

// The records in the folder, oldest first (their names start with the time).
std::vector<QByteArray> recordPaths(const QByteArray &folder)
{
    std::vector<QByteArray> paths;
    DirectoryListing listing;
    QString error;
    if (listing.read(folder, &error) != DirectoryListing::Outcome::Listed) {
        return paths;
    }
    for (std::size_t i = 0; i < listing.count(); ++i) {
        if (isRecordName(listing.name(i))) {
            paths.push_back(folder + '/' +
                            QByteArray(listing.name(i).data(), qsizetype(listing.name(i).size())));
        }
    }
    return paths;
}

// The records kept, oldest first; none when no history folder is there
// or can be trusted.
std::vector<QByteArray> keptRecords()
{
    QString reason;
    const QByteArray folder = historyFolder(false, &reason);
    return folder.isEmpty() ? std::vector<QByteArray>() : recordPaths(folder);
}

// Removes the oldest records until, with the one about to start, at most
// MaxRuns are kept in at most MaxBytes. A record whose run goes on is kept.
void removeOldRecords(const QByteArray &folder)
{
    const std::vector<QByteArray> paths = recordPaths(folder);
    std::int64_t bytes = 0;
    int kept = 1; // the new one
    for (auto it = paths.rbegin(); it != paths.rend(); ++it) {
        QString error;
        LockedFile record;
        bool live = false;
        if (!record.openToRead(*it, &live, &error)) {
            continue; // not ours to remove; the reader says why
        }
        const std::int64_t length = record.length(&error);
        record.close();
        if (kept < RunRecord::MaxRuns && bytes + length <= RunRecord::MaxBytes) {
            ++kept;
            bytes += length;
            continue;
        }
        if (record.claim(*it, &error) == LockedFile::Claim::Claimed) {
            record.remove(&error);
        }
    }
}

std::int64_t entrySize(std::int64_t pathBytes)
{
    return EntryHeadBytes + padded(pathBytes) + ChecksumBytes;
}

// Writes a file's entry, its path made of parts, into the entrySize() bytes
// at entry.
void writeEntry(char *entry, const FileId &id, const FileStamp &stamp,
                std::initializer_list<QByteArrayView> pathParts)
{
    std::int64_t pathBytes = 0;
    for (const QByteArrayView part : pathParts) {
        pathBytes += part.size();
    }
    const std::int64_t size = entrySize(pathBytes);
    put<std::uint32_t>(entry, 0, std::uint32_t(pathBytes));
    put<std::uint32_t>(entry, 4, 0);
    put<std::uint64_t>(entry, 8, id.device);
    put<std::uint64_t>(entry, 16, id.inode);
    put<std::int64_t>(entry, 24, stamp.length);
    put<std::int64_t>(entry, 32, stamp.modifiedNs);
    char *out = entry + EntryHeadBytes;
    for (const QByteArrayView part : pathParts) {
        out = std::copy(part.begin(), part.end(), out);
    }
    std::fill(out, entry + size - ChecksumBytes, '\0');
    // The checksum goes last: until it is there, the entry does not count.
    put<std::uint64_t>(entry, size - ChecksumBytes, checksum(entry, size - ChecksumBytes));
}

QByteArray workingFolder()
{
    QByteArray folder = QFile::encodeName(QDir::currentPath());
    return folder.endsWith('/') ? folder : folder + '/';
}

} // namespace

// --- writing ---------------------------------------------------------------

std::unique_ptr<RunRecord> RunRecord::create(const QString &program, const QList<QByteArray> &paths,
                                             bool undo, QString *reason)
{
    const QByteArray folder = historyFolder(true, reason);
    if (folder.isEmpty()) {
        return nullptr;
    }
    removeOldRecords(folder);
    std::unique_ptr<RunRecord> record(new RunRecord);
    record->m_startedMs = QDateTime::currentMSecsSinceEpoch();
    record->m_workingFolder = workingFolder();
    const QByteArray stem = folder + "/run-" +
                            QByteArray::number(record->m_startedMs, 16).rightJustified(16, '0') +
                            '-' + QByteArray::number(QCoreApplication::applicationPid());
    QString error;
    LockedFile::Created created = LockedFile::Created::AlreadyThere;
    for (int n = 0; n < 100 && created == LockedFile::Created::AlreadyThere; ++n) {
        const QByteArray suffix = n == 0 ? QByteArray() : '-' + QByteArray::number(n);
        created = record->m_file.create(stem + suffix + ".bin", &error);
    }
    if (created != LockedFile::Created::Yes) {
        *reason = QFile::decodeName(record->m_file.path()) + QLatin1String(": ") + error;
        return nullptr;
    }

    QByteArray header(FixedHeaderBytes, '\0');
    const QByteArray programBytes = program.toUtf8();
    const qsizetype keptPaths = std::min<qsizetype>(paths.size(), KeptPaths);
    std::copy(Magic, Magic + 8, header.data());
    put<std::uint32_t>(header.data(), 8, Version);
    put<std::uint32_t>(header.data(), 12, Running);
    put<std::int64_t>(header.data(), 32, record->m_startedMs);
    put<std::uint32_t>(header.data(), 40, undo ? 1 : 0);
    put<std::uint32_t>(header.data(), 44, std::uint32_t(paths.size()));
    put<std::uint32_t>(header.data(), 48, std::uint32_t(keptPaths));
    put<std::uint32_t>(header.data(), 52, std::uint32_t(programBytes.size()));
    header += programBytes;
    for (qsizetype i = 0; i < keptPaths; ++i) {
        char size[4];
        put<std::uint32_t>(size, 0, std::uint32_t(paths[i].size()));
        header += QByteArray(size, 4) + paths[i];
    }
    header.resize(padded(header.size()), '\0');
    put<std::uint32_t>(header.data(), 20, std::uint32_t(header.size()));
    put<std::uint64_t>(header.data(), 24, checksum(header.constData() + 32, header.size() - 32));
    if (!record->grow(header.size())) {
        *reason = QFile::decodeName(record->m_file.path()) + QLatin1String(": ") +
                  QStringLiteral("it could not be made");
        record->m_file.remove(&error);
        return nullptr;
    }
    std::memcpy(record->m_map, header.constData(), std::size_t(header.size()));
    record->m_used = header.size();
    return record;
}

RunRecord::~RunRecord()
{
    finish(false);
}

bool RunRecord::grow(std::int64_t needed)
{
    if (needed <= m_mapped) {
        return true;
    }
    if (needed > MaxBytes) {
        return false;
    }
    const std::int64_t size = std::min(std::max({needed, m_mapped * 2, FirstMapBytes}), MaxBytes);
    QString error;
    char *map = m_file.mapForWriting(size, &error);
    if (!map) {
        return false;
    }
    m_map = map;
    m_mapped = size;
    return true;
}

void RunRecord::add(const FileId &id, const FileStamp &stamp, const QByteArray &folder,
                    std::string_view name)
{
    if (m_full || m_finished) {
        return;
    }
    // A later start may run in another folder: paths are kept absolute.
    const QByteArray &prefix = folder.startsWith('/') ? QByteArray() : m_workingFolder;
    const std::int64_t size = entrySize(prefix.size() + folder.size() + std::int64_t(name.size()));
    if (!grow(m_used + size)) {
        m_full = true;
        put<std::uint32_t>(m_map, 16, 1);
        return;
    }
    writeEntry(m_map + m_used, id, stamp,
               {prefix, folder, QByteArrayView(name.data(), qsizetype(name.size()))});
    m_used += size;
    m_earliest = std::min(m_earliest, stamp.modifiedNs);
    m_latest = std::max(m_latest, stamp.modifiedNs);
    ++m_files;
    // The entries written stay in the file; the process need not hold them.
    if (m_used - m_released >= ReleaseBytes) {
        m_file.releaseMapped(m_used);
        m_released = m_used;
    }
}

void RunRecord::finish(bool stopped)
{
    if (m_finished) {
        return;
    }
    m_finished = true;
    QString error;
    if (m_files == 0) {
        // Nothing was converted: nothing to undo or leave out.
        m_file.remove(&error);
        return;
    }
    if (grow(m_used + TrailerBytes)) {
        char *trailer = m_map + m_used;
        std::copy(TrailerMagic, TrailerMagic + 8, trailer);
        put<std::int64_t>(trailer, 8, m_earliest);
        put<std::int64_t>(trailer, 16, m_latest);
        put<std::uint64_t>(trailer, 24, checksum(trailer, 24));
        m_used += TrailerBytes;
    }
    // Last: the trailer counts only once the record says it is finished.
    put<std::uint32_t>(m_map, 12, stopped ? Stopped : Finished);
    // The zeros the mapping grew by are let go.
    m_file.truncate(m_used, &error);
    m_file.close();
}

QDateTime RunRecord::started() const
{
    return QDateTime::fromMSecsSinceEpoch(m_startedMs);
}

// --- reading ---------------------------------------------------------------

namespace {

// A record read a window at a time.
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

using StampSink = std::function<void(const FileId &, const FileStamp &)>;

// What readRecord can say of a record beyond the run: where its entries end
// and, for a finished one, the times its files were left with.
struct RecordShape
{
    bool entries = true; // false: the header and the trailer only
    std::int64_t end = 0;
    bool hasTimes = false;
    std::int64_t earliest = 0;
    std::int64_t latest = 0;
};

// Reads one record; false, with the reason, when it cannot be trusted or is
// not one. eachStamp, when given, is told the identity and stamp of each
// file, in the order converted.
bool readRecord(const QByteArray &path, RecordDetail detail, RecordedRun *run, QString *reason,
                const StampSink &eachStamp = {}, RecordShape *shape = nullptr)
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
    if (length < FixedHeaderBytes) {
        *reason = QStringLiteral("it does not begin with a valid header");
        return false;
    }
    const std::int64_t size = std::min(length, RunRecord::MaxBytes);
    // Read a window at a time: a record may be tens of MiB, most of it
    // room its run never used.
    RecordWindow window(file, size);
    const char *data = window.at(0, FixedHeaderBytes, reason);
    if (!data) {
        return false;
    }
    const std::int64_t headerBytes = get<std::uint32_t>(data, 20);
    data = headerBytes <= size && headerBytes >= FixedHeaderBytes
               ? window.at(0, headerBytes, reason)
               : data;
    if (!data) {
        return false;
    }
    if (!std::equal(Magic, Magic + 8, data) || get<std::uint32_t>(data, 8) != Version ||
        headerBytes > size || headerBytes < FixedHeaderBytes ||
        get<std::uint64_t>(data, 24) != checksum(data + 32, headerBytes - 32)) {
        *reason = QStringLiteral("it does not begin with a valid header");
        return false;
    }
    run->recordPath = path;
    run->started = QDateTime::fromMSecsSinceEpoch(get<std::int64_t>(data, 32));
    run->undo = get<std::uint32_t>(data, 40) != 0;
    const std::uint32_t endCode = get<std::uint32_t>(data, 12);
    run->end = endCode == Finished  ? RecordedRun::End::Finished
               : endCode == Stopped ? RecordedRun::End::Stopped
               : live               ? RecordedRun::End::Running
                                    : RecordedRun::End::Killed;
    run->full = get<std::uint32_t>(data, 16) != 0;
    const std::int64_t programBytes = get<std::uint32_t>(data, 52);
    std::int64_t at = FixedHeaderBytes + programBytes;
    if (at > headerBytes) {
        *reason = QStringLiteral("its header is not valid");
        return false;
    }
    run->program = QString::fromUtf8(data + FixedHeaderBytes, qsizetype(programBytes));
    const std::uint32_t keptPaths = get<std::uint32_t>(data, 48);
    for (std::uint32_t i = 0; i < keptPaths; ++i) {
        const std::int64_t pathBytes = at + 4 <= headerBytes ? get<std::uint32_t>(data, at) : -1;
        if (pathBytes < 0 || at + 4 + pathBytes > headerBytes) {
            *reason = QStringLiteral("its header is not valid");
            return false;
        }
        run->paths.append(QByteArray(data + at + 4, qsizetype(pathBytes)));
        at += 4 + pathBytes;
    }
    const std::uint32_t givenPaths = get<std::uint32_t>(data, 44);
    for (std::uint32_t i = keptPaths; i < givenPaths && i < keptPaths + 1; ++i) {
        run->paths.append(QByteArrayLiteral("...")); // and more, not kept
    }
    if (shape &&
        (run->end == RecordedRun::End::Finished || run->end == RecordedRun::End::Stopped) &&
        size - TrailerBytes >= headerBytes) {
        const char *trailer = window.at(size - TrailerBytes, TrailerBytes, reason);
        if (!trailer) {
            return false;
        }
        shape->hasTimes = std::equal(TrailerMagic, TrailerMagic + 8, trailer) &&
                          get<std::uint64_t>(trailer, 24) == checksum(trailer, 24);
        shape->earliest = get<std::int64_t>(trailer, 8);
        shape->latest = get<std::int64_t>(trailer, 16);
    }
    if (shape && !shape->entries) {
        return true;
    }
    QByteArray lastFolder;
    for (at = headerBytes; at + EntryHeadBytes + ChecksumBytes <= size;) {
        const char *head = window.at(at, EntryHeadBytes, reason);
        if (!head) {
            return false;
        }
        const std::int64_t pathBytes = get<std::uint32_t>(head, 0);
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
            eachStamp(FileId{get<std::uint64_t>(entry, 8), get<std::uint64_t>(entry, 16)},
                      FileStamp{get<std::int64_t>(entry, 24), get<std::int64_t>(entry, 32)});
        }
        if (detail == RecordDetail::Files) {
            const QByteArrayView path(entry + EntryHeadBytes, qsizetype(pathBytes));
            const qsizetype split = path.lastIndexOf('/') + 1;
            const QByteArrayView folder = path.first(split);
            if (folder != lastFolder || run->files.files.isEmpty()) {
                lastFolder = folder.toByteArray();
                run->files.files.enterFolder(QFile::decodeName(lastFolder), lastFolder);
            }
            const QByteArrayView name = path.sliced(split);
            run->files.files.append(
                std::string_view(name.data(), std::size_t(name.size())),
                FileId{get<std::uint64_t>(entry, 8), get<std::uint64_t>(entry, 16)});
            run->files.stamps.push_back(
                FileStamp{get<std::int64_t>(entry, 24), get<std::int64_t>(entry, 32)});
        }
        at += entryBytes;
    }
    if (shape) {
        shape->end = at;
    }
    return true;
}

// The record as read, or only its path and why it cannot be read.
RecordedRun readOrSayWhy(const QByteArray &path, RecordDetail detail)
{
    RecordedRun run;
    QString reason;
    if (!readRecord(path, detail, &run, &reason)) {
        run = RecordedRun();
        run.recordPath = path;
        run.unreadable = reason;
    }
    return run;
}

} // namespace

void readRunHistory(RecordDetail detail, const std::function<void(RecordedRun &&)> &each)
{
    for (const QByteArray &path : keptRecords()) {
        each(readOrSayWhy(path, detail));
    }
}

std::optional<RecordedRun> readLastRun(RecordDetail detail)
{
    const std::vector<QByteArray> paths = keptRecords();
    if (paths.empty()) {
        return std::nullopt;
    }
    return readOrSayWhy(paths.back(), detail);
}

std::vector<RecordedRun> readRunHistory(RecordDetail detail)
{
    std::vector<RecordedRun> runs;
    readRunHistory(detail, [&runs](RecordedRun &&run) { runs.push_back(std::move(run)); });
    return runs;
}

QString runTimeText(const QDateTime &when)
{
    return when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

namespace {

// The process a record's name says wrote it: run-TIME-PID.bin or
// run-TIME-PID-N.bin; -1 when it says none.
qint64 writerOf(const QByteArray &path)
{
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    const QList<QByteArray> parts = name.chopped(4).split('-'); // without ".bin"
    bool ok = false;
    const qint64 pid = parts.size() >= 3 ? parts[2].toLongLong(&ok) : -1;
    return ok ? pid : -1;
}

} // namespace

void recordFilesOfKilledRun(qint64 pid, const std::vector<UnrecordedFile> &files)
{
    const std::vector<QByteArray> paths = keptRecords();
    QString reason;
    // The newest record of that process that a kill left unfinished is its run's.
    for (auto path = paths.rbegin(); path != paths.rend(); ++path) {
        if (writerOf(*path) != pid) {
            continue;
        }
        RecordedRun run;
        FileIdSet held;
        RecordShape shape;
        if (!readRecord(
                *path, RecordDetail::Header, &run, &reason,
                [&held](const FileId &id, const FileStamp &) { held.insert(id); }, &shape) ||
            run.end != RecordedRun::End::Killed) {
            continue;
        }
        std::int64_t end = shape.end;
        LockedFile record;
        if (record.claim(*path, &reason) != LockedFile::Claim::Claimed) {
            continue; // a live process has taken its number since
        }
        for (const UnrecordedFile &file : files) {
            const std::int64_t size = entrySize(file.path.size());
            if (held.contains(file.id) || end + size > RunRecord::MaxBytes) {
                continue;
            }
            std::vector<char> entry(std::size_t(size), '\0');
            writeEntry(entry.data(), file.id, file.stamp, {file.path});
            if (!record.writeAt(end, entry.data(), size, &reason)) {
                break;
            }
            end += size;
        }
        return;
    }
}

std::unique_ptr<EarlierConversions> EarlierConversions::fromHistory(const RunRecord *current)
{
    std::unique_ptr<EarlierConversions> earlier(new EarlierConversions);
    earlier->m_reader =
        std::jthread([self = earlier.get(), skip = current ? current->path() : QByteArray()] {
            self->read(skip);
            self->m_read.count_down();
        });
    return earlier;
}

EarlierConversions::~EarlierConversions() = default;

void EarlierConversions::read(const QByteArray &current)
{
    QString reason;
    for (const QByteArray &path : keptRecords()) {
        if (m_runTimes.size() >= MaxRun) {
            break;
        }
        if (path == current) {
            continue; // its files are this run's own
        }
        RecordedRun run;
        RecordShape shape;
        shape.entries = false;
        if (!readRecord(path, RecordDetail::Header, &run, &reason, {}, &shape)) {
            continue;
        }
        const auto tag = std::uint16_t(m_runTimes.size() << 1 | (run.undo ? 1 : 0));
        m_runTimes.push_back(run.started);
        if (shape.hasTimes) {
            // Read only once a file is checked that it may hold.
            m_unread.push_back(
                std::make_unique<UnreadRecord>(path, tag, shape.earliest, shape.latest));
        } else {
            load(path, tag);
        }
    }
}

void EarlierConversions::load(const QByteArray &path, std::uint16_t tag) const
{
    RecordedRun run;
    QString reason;
    // A record cut short still tells true things of the files before the cut.
    readRecord(path, RecordDetail::Header, &run, &reason,
               [this, tag](const FileId &id, const FileStamp &stamp) {
                   m_files.putUnlessLater(id, stamp, tag);
               });
}

void EarlierConversions::loadRecordsHolding(std::int64_t modifiedNs) const
{
    for (const std::unique_ptr<UnreadRecord> &record : m_unread) {
        if (record->read.load(std::memory_order_acquire) || modifiedNs < record->earliest ||
            modifiedNs > record->latest) {
            continue;
        }
        const std::unique_lock lock(m_filesMutex);
        if (!record->read.load(std::memory_order_relaxed)) {
            load(record->path, record->tag);
            record->read.store(true, std::memory_order_release);
        }
    }
}

QDateTime EarlierConversions::convertedAt(const FileId &id, const FileStamp &stamp) const
{
    m_read.wait();
    loadRecordsHolding(stamp.modifiedNs);
    const std::shared_lock lock(m_filesMutex);
    const std::optional<std::uint16_t> tag = m_files.tag(id, stamp);
    // An undo put the file back: it is no longer converted.
    return tag && (*tag & 1) == 0 ? m_runTimes[*tag >> 1] : QDateTime();
}

bool EarlierConversions::isEmpty() const
{
    m_read.wait();
    // With no record left to read, the table no longer changes.
    return m_unread.empty() && m_files.isEmpty();
}

} // namespace velmora
