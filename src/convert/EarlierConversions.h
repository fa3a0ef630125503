#pragma once

#include "algorithms/StampTable.h"
#include "convert/ConversionRun.h"

#include <QByteArray>
#include <QDateTime>

#include <atomic>
#include <latch>
#include <memory>
#include <shared_mutex>
#include <thread>
#include <vector>

namespace velmora {

class RunRecord;

// The files recorded runs converted, each as the last of them left it: a
// file whose identity and stamp still match was converted by that run and
// not changed since. A file a later run undid is not among them.
class EarlierConversions
{
public:
    // Starts reading the history, one record at a time, on a thread of its
    // own, so that a run need not wait for it before its search starts; the
    // record of the run under way (current, when given) is left out.
    static std::unique_ptr<EarlierConversions> fromHistory(const RunRecord *current = nullptr);
    ~EarlierConversions();
    EarlierConversions(const EarlierConversions &) = delete;
    EarlierConversions &operator=(const EarlierConversions &) = delete;

    // When the run that converted the file as it is now started; null when
    // no recorded run did. Both wait until the history is read.
    QDateTime convertedAt(const FileId &id, const FileStamp &stamp) const;
    bool isEmpty() const;

private:
    // A finished run's record, read only when a file is checked whose time
    // lies between the earliest and latest its files were left with: a file
    // changed since a run cannot match its record.
    struct UnreadRecord
    {
        UnreadRecord(QByteArray p, std::uint16_t t, std::int64_t e, std::int64_t l)
            : path(std::move(p)), tag(t), earliest(e), latest(l)
        {
        }
        QByteArray path;
        std::uint16_t tag;
        std::int64_t earliest;
        std::int64_t latest;
        std::atomic<bool> read{false};
    };
    // Tags: the run's index in m_runTimes, then a bit set for an undo.
    static constexpr std::size_t MaxRun = StampTable::MaxTag >> 1;

    EarlierConversions() = default;
    void read(const QByteArray &current);
    void load(const QByteArray &path, std::uint16_t tag) const;
    void loadRecordsHolding(std::int64_t modifiedNs) const;

    // Filled as records are read, also while files are checked.
    mutable StampTable m_files;
    mutable std::shared_mutex m_filesMutex;
    std::vector<QDateTime> m_runTimes;
    std::vector<std::unique_ptr<UnreadRecord>> m_unread;
    mutable std::latch m_read{1};
    std::jthread m_reader; // last: joined before the rest goes
};

} // namespace velmora
