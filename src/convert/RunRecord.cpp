#include "convert/RunRecord.h"

#include "algorithms/FileIdSet.h"
#include "convert/HistoryFolder.h"
#include "convert/RecordFormat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstring>

namespace velmora {

static_assert(RunRecord::MaxBytes == RecordFormat::MaxBytes);

namespace {

// The mapping grows in steps this large at least, doubling as it goes.
constexpr std::int64_t FirstMapBytes = 1024 * 1024;
// How much of the written entries the process holds at most.
constexpr std::int64_t ReleaseBytes = 1024 * 1024;

QByteArray workingFolder()
{
    QByteArray folder = QFile::encodeName(QDir::currentPath());
    return folder.endsWith('/') ? folder : folder + '/';
}

} // namespace

std::unique_ptr<RunRecord> RunRecord::create(const QString &program, const QList<QByteArray> &paths,
                                             bool undo, QString *reason)
{
    const QByteArray folder = historyFolder(true, reason);
    if (folder.isEmpty()) {
        return nullptr;
    }
    // The new record takes its place among those kept once its run has
    // converted a file (finish): a run that converts none must not cost the
    // oldest record its place.
    removeOldRecords(folder, MaxRuns, MaxBytes);
    std::unique_ptr<RunRecord> record(new RunRecord);
    record->m_folder = folder;
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
    const QByteArray header = RecordFormat::encodeHeader(record->m_startedMs, undo, program, paths);
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
    // Entries are stored under the run's lock: a page fault there would hold
    // up every thread that converts.
    m_file.prepareMapped(m_used, ReleaseBytes);
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
    const std::int64_t size =
        RecordFormat::entrySize(prefix.size() + folder.size() + std::int64_t(name.size()));
    if (!grow(m_used + size)) {
        m_full = true;
        put<std::uint32_t>(m_map, RecordFormat::HeaderAt::Full, 1);
        return;
    }
    RecordFormat::encodeEntry(
        m_map + m_used, id, stamp,
        {prefix, folder, QByteArrayView(name.data(), qsizetype(name.size()))});
    m_used += size;
    m_earliest = std::min(m_earliest, stamp.earliestNs());
    m_latest = std::max(m_latest, stamp.modifiedNs);
    ++m_files;
    // The entries written stay in the file; the process need not hold them.
    if (m_used - m_released >= ReleaseBytes) {
        m_file.releaseMapped(m_used);
        m_released = m_used;
        m_file.prepareMapped(m_used, ReleaseBytes);
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
    if (grow(m_used + RecordFormat::TrailerBytes)) {
        RecordFormat::encodeTrailer(m_map + m_used, m_earliest, m_latest);
        m_used += RecordFormat::TrailerBytes;
    }
    // Last: the trailer counts only once the record says it is finished.
    put<std::uint32_t>(m_map, RecordFormat::HeaderAt::End,
                       stopped ? RecordFormat::Stopped : RecordFormat::Finished);
    // The zeros the mapping grew by are let go.
    m_file.truncate(m_used, &error);
    m_file.close();
    removeOldRecords(m_folder, MaxRuns, MaxBytes);
}

QDateTime RunRecord::started() const
{
    return QDateTime::fromMSecsSinceEpoch(m_startedMs);
}

void recordFilesOfKilledRun(qint64 pid, const std::vector<UnrecordedFile> &files)
{
    const std::vector<QByteArray> paths = keptRecords();
    QString reason;
    // The newest record of that process that a kill left unfinished is its run's.
    for (auto path = paths.rbegin(); path != paths.rend(); ++path) {
        if (writerOfRecord(*path) != pid) {
            continue;
        }
        RecordedRun run;
        FileIdSet held;
        RecordFormat::Shape shape;
        if (!RecordFormat::read(
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
            const std::int64_t size = RecordFormat::entrySize(file.path.size());
            if (held.contains(file.id) || end + size > RunRecord::MaxBytes) {
                continue;
            }
            std::vector<char> entry(std::size_t(size), '\0');
            RecordFormat::encodeEntry(entry.data(), file.id, file.stamp, {file.path});
            if (!record.writeAt(end, entry.data(), size, &reason)) {
                break;
            }
            end += size;
        }
        return;
    }
}

} // namespace velmora
