#include "convert/EarlierConversions.h"

#include "convert/HistoryFolder.h"
#include "convert/RecordFormat.h"
#include "convert/RunRecord.h"

namespace velmora {

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
        RecordFormat::Shape shape;
        shape.entries = false;
        if (!RecordFormat::read(path, RecordDetail::Header, &run, &reason, {}, &shape)) {
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
    RecordFormat::read(path, RecordDetail::Header, &run, &reason,
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
