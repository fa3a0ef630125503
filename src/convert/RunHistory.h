#pragma once

#include "algorithms/StampTable.h"
#include "convert/ConversionRun.h"
#include "platform/LockedFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <latch>
#include <limits>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace velmora {

// The history of runs: each run that converts files keeps a record of them in
// the state folder (history/run-*.bin), so that a later start can undo the
// last run, leave out what was converted already, or say that a file is being
// turned a second time. Like the journal, a record is a file mapped into
// memory and written as the run goes: a file's entry is one copy, and what was
// stored survives the death of the process. It is locked while its run goes
// on, so a reader tells a live run from a killed one.
//
// Only the last MaxRuns records, and no more than MaxBytes in all, are kept.

// Writes one run's record.
class RunRecord
{
public:
    static constexpr int MaxRuns = 20;
    static constexpr std::int64_t MaxBytes = 100 * 1024 * 1024;

    // Starts the record of a run: which program, the paths it was given, and
    // whether it undoes. Old records beyond the bounds are removed first.
    // Null, with the reason, when there is no usable state folder.
    static std::unique_ptr<RunRecord> create(const QString &program, const QList<QByteArray> &paths,
                                             bool undo, QString *reason);
    // Ends the record as finished (removed when it holds no file).
    ~RunRecord();
    RunRecord(const RunRecord &) = delete;
    RunRecord &operator=(const RunRecord &) = delete;

    // Adds a converted file (one thread at a time) with its identity and its stamp after the
    // conversion. A record that would outgrow MaxBytes takes no more.
    void add(const FileId &id, const FileStamp &stamp, const QByteArray &folder,
             std::string_view name);
    // Says how the run ended and closes the record.
    void finish(bool stopped);

    qsizetype fileCount() const { return m_files; }
    QDateTime started() const;
    QByteArray path() const { return m_file.path(); }

private:
    RunRecord() = default;
    bool grow(std::int64_t needed);

    LockedFile m_file;
    char *m_map = nullptr;
    std::int64_t m_mapped = 0;
    std::int64_t m_used = 0;
    // The times the files were left with: a reader skips a record whose
    // range cannot hold a file's time.
    std::int64_t m_earliest = std::numeric_limits<std::int64_t>::max();
    std::int64_t m_latest = std::numeric_limits<std::int64_t>::min();
    std::int64_t m_released = 0; // mapped pages before it were let go
    qsizetype m_files = 0;
    qint64 m_startedMs = 0;
    bool m_full = false;
    bool m_finished = false;
    QByteArray m_workingFolder; // where relative paths start, ending in '/'
};

// A run as its record tells it.
struct RecordedRun
{
    enum class End { Finished, Stopped, Killed, Running };

    QByteArray recordPath;
    // Why the record cannot be trusted or read; nothing else is then known.
    QString unreadable;
    QDateTime started;
    QString program;
    QList<QByteArray> paths;
    bool undo = false;
    End end = End::Killed;
    // The record reached its size bound: files after those listed are missing.
    bool full = false;
    qsizetype fileCount = 0;
    // Filled when asked for: the files, in the order converted.
    ConvertedFiles files;
};

// How much of each record is read: the header alone, or its files too.
enum class RecordDetail { Header, Files };

// The recorded runs, oldest first. A record that cannot be trusted or read
// comes with only its path and the reason.
std::vector<RecordedRun> readRunHistory(RecordDetail detail);
// The same, one record at a time.
void readRunHistory(RecordDetail detail, const std::function<void(RecordedRun &&)> &each);
// The newest recorded run alone; nothing when none is recorded.
std::optional<RecordedRun> readLastRun(RecordDetail detail);

// A file a run converted whole but was killed before it recorded: found by
// the repair of the run's journal.
struct UnrecordedFile
{
    QByteArray path;
    FileId id;
    FileStamp stamp;
};
// Adds those files of the killed process pid to its run's record (its
// newest record that a kill left unfinished), so that undoing that run
// puts them back too. Files the record holds are not added again.
void recordFilesOfKilledRun(qint64 pid, const std::vector<UnrecordedFile> &files);

// How a run's start time is shown.
QString runTimeText(const QDateTime &when);

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
