#pragma once

#include "convert/ConversionRun.h"
#include "platform/LockedFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <limits>
#include <memory>
#include <string_view>
#include <vector>

namespace velmora {

// Writes one run's record into the history (history/run-*.bin in the state
// folder), so that a later start can undo the run, leave out what it
// converted, or say that a file is being turned a second time. Like the
// journal, a record is a file mapped into memory and written as the run goes:
// a file's entry is one copy, and what was stored survives the death of the
// process. It is locked while its run goes on, so a reader tells a live run
// from a killed one.
class RunRecord
{
public:
    // Only the last MaxRuns records, and no more than MaxBytes in all, are kept.
    static constexpr int MaxRuns = 20;
    static constexpr std::int64_t MaxBytes = 100 * 1024 * 1024;

    // Starts the record of a run: which program, the paths it was given, and
    // whether it undoes. Old records beyond the bounds are removed, before
    // and again after a run that converted files.
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
    QByteArray m_folder;        // the history folder
};

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

} // namespace velmora
