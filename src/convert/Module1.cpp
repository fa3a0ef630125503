#include "convert/Module1.h"

#include "convert/DirectionTables.h"
#include "convert/FileInFlight.h"
#include "convert/Journal.h"
#include "platform/DirectoryHandle.h"
#include "platform/Process.h"
#include "search/modTree.h"

#include <QFile>

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>

namespace velmora {

namespace {

QString successText(const ConversionOptions &options)
{
    if (options.undo) {
        return options.dryRun ? QStringLiteral("directions would be restored")
                              : QStringLiteral("directions were restored");
    }
    return options.dryRun ? QStringLiteral("directions would be realigned")
                          : QStringLiteral("directions were realigned");
}

// Appends the one line a file gets, then repaints the log. It is built in
// line, whose buffer serves every file of a batch; writePath(line) writes the
// path. An empty problem is a success.
template <typename WritePath>
bool logResult(MessageLog &log, QString &line, const WritePath &writePath, const QString &problem,
               const ConversionOptions &options)
{
    const bool ok = problem.isEmpty();
    line.resize(0);
    line += ok ? QLatin1String("SUCCESS: File (") : QLatin1String("ERROR: File (");
    writePath(line);
    line += QLatin1String(") ");
    line += ok ? successText(options) : problem;
    log.AppendLine(line);
    log.Repaint();
    return ok;
}

void logStopped(MessageLog &log, qsizetype done, qsizetype total)
{
    log.AppendLine(QLatin1String("ERROR: Conversion stopped after (") + QString::number(done) +
                   QLatin1String(") of (") + QString::number(total) + QLatin1String(") files"));
    log.Repaint();
}

// Each folder a search could not list gets its line after the files: its
// files were not converted. Returns how many.
qsizetype logUnlisted(MessageLog &log, const FoundFileList &files)
{
    for (const auto &unlisted : files.unlisted()) {
        log.AppendLine(QLatin1String("ERROR: Folder (") + unlisted.path +
                       QLatin1String(") could not be listed: ") + unlisted.reason);
    }
    return qsizetype(files.unlisted().size());
}

QString couldNotOpen(const QString &reason)
{
    return QStringLiteral("could not be opened: ") + reason;
}

QString couldNotLock(const QString &reason)
{
    return QStringLiteral("could not be locked: ") + reason;
}

// A stop starts no file: one opened but not yet written is closed untouched.
bool leaveForStop(FileInFlight &job)
{
    QString error;
    job.file.close(&error);
    job.leftForStop = true;
    return true;
}

// Where a converted file lies, so the run can find it again for an undo.
struct FilePlace
{
    const QString &folder;
    const QByteArray &encodedFolder;
    std::string_view name;
};

DirectionSwap swapOf(const ConversionOptions &options)
{
    return options.undo ? DirectionSwap::Undo : DirectionSwap::Forward;
}

// The journal slot of the calling thread: the last, the only one that takes
// a record of any size.
int callerSlot(const Journal *journal)
{
    return journal ? journal->slotCount() - 1 : 0;
}

// The journal slot of a thread: each worker has its own; the calling thread
// (numbered jobs) takes the last.
int journalSlot(const Journal *journal, int thread, int jobs)
{
    return thread < jobs ? thread : callerSlot(journal);
}

// The threads a batch may use: each but the calling one needs a journal
// slot of its own.
int batchJobs(const ConversionRun &run)
{
    const Journal *journal = run.options().journal;
    return journal ? std::clamp(journal->slotCount() - 1, 1, std::max(run.jobs, 1)) : run.jobs;
}

// An open file that is the first of its names in the run: check it, rewrite
// it (unless a dry run), take its stamp and close it. Any thread may run it.
// A file whose record does not fit the thread's journal slot is left to the
// calling thread (deferred). In a batch (stoppable), a stop that comes before
// the file's first write leaves it untouched.
void convertOpened(FileInFlight &job, const ConversionRun &run, const FilePlace &place, int slot,
                   bool stoppable)
{
    const ConversionOptions &options = run.options();
    BinaryFile &file = job.file;
    QString error;
    if (stoppable && run.stopRequested() && leaveForStop(job)) {
        return;
    }
    if (!file.lock(&error)) {
        job.problem = couldNotLock(error);
        file.close(&error);
        return;
    }
    job.problem = job.tables.load(file, swapOf(options));
    if (job.problem.isEmpty() && stoppable && run.stopRequested() && leaveForStop(job)) {
        return;
    }
    if (job.problem.isEmpty() && !options.dryRun) {
        Journal *journal = options.journal;
        const QByteArray path =
            journal ? place.encodedFolder +
                          QByteArrayView(place.name.data(), qsizetype(place.name.size()))
                    : QByteArray();
        if (journal && !journal->fits(slot, path, job.tables)) {
            job.deferred = true;
            return;
        }
        job.problem = storeRecorded(file, path, job.tables, swapOf(options), journal, slot);
    }
    if (!job.problem.isEmpty()) {
        file.close(&error);
        return;
    }
    // The stamp is taken before the file is closed: an undo checks against it.
    job.stamp = run.keepsConvertedList() ? file.stamp() : FileStamp{};
    const bool closed = file.close(&error);
    // Written bytes stay written whatever close says: the file must not be
    // converted again under another name.
    job.converted = true;
    if (!closed) {
        job.problem = options.dryRun
                          ? QString(QStringLiteral("could not be closed: ") + error)
                          : QStringLiteral("was rewritten, but closing it failed (") + error +
                                QStringLiteral("): on a network file system the new bytes may "
                                               "not have reached the server");
    }
}

// The last step of a file, on the calling thread in search order: a file
// left to it is converted now unless the run converted it already under an
// earlier name; a converted file is recorded in the run. Returns what went
// wrong, or an empty string (also for a file left for a stop).
QString finishFile(FileInFlight &job, ConversionRun &run, const FilePlace &place, bool stoppable)
{
    const ConversionOptions &options = run.options();
    if (job.deferred) {
        job.deferred = false;
        // Converting a file a second time would turn it one step too far.
        if (run.hasConverted(job.file.id())) {
            QString error;
            job.file.close(&error);
            job.problem = options.dryRun ? QStringLiteral("would already be converted in this run")
                                         : QStringLiteral("was already converted in this run");
        } else {
            convertOpened(job, run, place, callerSlot(options.journal), stoppable);
        }
    }
    if (job.converted) {
        job.converted = false;
        run.recordConverted(job.file.id(), job.stamp, place.folder, place.encodedFolder,
                            place.name);
    }
    if (options.journal) {
        options.journal->deliverFailure();
    }
    return job.problem;
}

// An opened file goes on unless another of its names came earlier in the
// run: then the calling thread decides, in order, once that one is done.
void admitOpened(FileInFlight &job, ConversionRun &run)
{
    job.deferred = job.opened && job.problem.isEmpty() && !run.claim(job.file.id());
}

// The folder part (ending in a separator, or empty) and the name of a path.
qsizetype nameStart(const QString &path)
{
    return path.lastIndexOf(u'/') + 1;
}

// The folders of a batch, each opened once for all its files; shared by the
// threads that open the files. Files are taken in order, so only the last few
// folders are kept open, and each thread first looks at the folder it used
// last, without a lock.
class FolderCache
{
public:
    FolderCache(const FoundFileList &files, int threads, std::size_t keptOpen)
        : m_files(files), m_lastOf(std::size_t(threads) + 1), m_keptOpen(keptOpen)
    {
    }

    // The folder open, or null with the reason in error; thread numbers the
    // calling thread, from 0 to the threads given.
    std::shared_ptr<const DirectoryHandle> open(std::uint32_t folder, int thread, QString *error)
    {
        Entry &last = m_lastOf[std::size_t(thread)];
        if (!last.handle || last.folder != folder) {
            last = shared(folder);
        }
        *error = last.error;
        return last.handle;
    }

private:
    struct Entry
    {
        std::uint32_t folder = 0;
        std::shared_ptr<DirectoryHandle> handle;
        QString error;
    };

    Entry shared(std::uint32_t folder)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (const Entry *kept = find(folder)) {
                return *kept;
            }
        }
        // Opened without the lock: on a cold disk an open waits for the disk,
        // and the other threads need not wait with it. Two threads may open
        // one folder at once; the first to be done is kept.
        Entry entry{folder, std::make_shared<DirectoryHandle>(), QString()};
        const QByteArray &encoded = m_files.encodedFolder(folder);
        if (!entry.handle->open(encoded.isEmpty() ? QByteArrayLiteral(".") : encoded,
                                &entry.error)) {
            entry.handle.reset();
        }
        const std::lock_guard lock(m_mutex);
        if (const Entry *kept = find(folder)) {
            return *kept;
        }
        if (m_recent.size() >= m_keptOpen) {
            m_recent.pop_front();
        }
        m_recent.push_back(entry);
        return entry;
    }

    // The kept entry of folder, or null; the caller holds the lock.
    const Entry *find(std::uint32_t folder) const
    {
        for (auto it = m_recent.rbegin(); it != m_recent.rend(); ++it) {
            if (it->folder == folder) {
                return &*it;
            }
        }
        return nullptr;
    }

    const FoundFileList &m_files;
    std::vector<Entry> m_lastOf; // by thread
    const std::size_t m_keptOpen;
    std::mutex m_mutex;
    std::deque<Entry> m_recent;
};

using Check = std::function<QString(qsizetype, const BinaryFile &)>;

// Converts the files of a list in order, one line each, until the run is
// asked to stop. check, when given, may refuse a file once it is open.
BatchResult convertList(const FoundFileList &files, MessageLog &log, ConversionRun &run,
                        const Check &check = {})
{
    const qsizetype total = files.size();
    BatchResult result{total, 0, false};
    run.expectFiles(total);
    raiseOpenFileLimit();
    const InFlightLimits limits = limitInFlight(batchJobs(run), descriptorsLeft());
    const int jobs = limits.jobs;
    FolderCache folders(files, jobs, limits.keptFolders);
    const auto placeOf = [&files](qsizetype i) {
        const std::uint32_t folder = files.folderOf(i);
        return FilePlace{files.folderPath(folder), files.encodedFolder(folder),
                         files.encodedName(i)};
    };
    const auto open = [&](qsizetype i, FileInFlight &job, int thread) {
        QString error;
        job.file.close(&error);
        job.opened = false;
        job.converted = false;
        job.leftForStop = false;
        const auto dir = folders.open(files.folderOf(i), thread, &job.problem);
        if (!dir || !job.file.openAt(*dir, files.encodedName(i), &job.problem)) {
            job.problem = couldNotOpen(job.problem);
            return;
        }
        job.opened = true;
        if (job.readAhead) {
            job.file.willRead(DirectionTables::FirstReadBytes);
        }
        // A file another program holds is checked once it is ours.
        job.problem = check && job.file.isLocked() ? check(i, job.file) : QString();
    };
    const auto admit = [&run](qsizetype, FileInFlight &job) { admitOpened(job, run); };
    const auto work = [&](qsizetype i, FileInFlight &job, int thread) {
        if (!job.opened || job.deferred) {
            return;
        }
        // Found busy at open: waited for here, where this thread holds no
        // file before it (its chunk's earlier files are closed), so two runs
        // that take files in one order never wait on each other; any other
        // wait is bounded.
        if (job.problem.isEmpty() && !job.file.isLocked()) {
            QString error;
            if (run.stopRequested() && leaveForStop(job)) {
                return;
            }
            job.problem = !job.file.lock(&error) ? couldNotLock(error)
                          : check                ? check(i, job.file)
                                                 : QString();
        }
        if (job.problem.isEmpty()) {
            convertOpened(job, run, placeOf(i), journalSlot(run.options().journal, thread, jobs),
                          true);
        } else {
            QString error;
            job.file.close(&error);
        }
    };
    QString line;
    qsizetype finished = 0;
    const auto finish = [&](qsizetype i, FileInFlight &job) {
        const QString problem = finishFile(job, run, placeOf(i), true);
        if (job.leftForStop) {
            return; // not done: no line
        }
        ++finished;
        const auto writePath = [&files, i](QString &out) { files.appendPath(i, out); };
        if (!logResult(log, line, writePath, problem, run.options())) {
            ++result.failed;
        }
        if (run.progress) {
            run.progress(i + 1, total);
        }
    };
    convertInOrder(total, jobs, limits.chunk, open, admit, work, finish,
                   [&run] { return run.stopRequested(); });
    result.failed += logUnlisted(log, files);
    if (finished < total) {
        result.stopped = true;
        logStopped(log, finished, total);
    }
    return result;
}

} // namespace

bool ReorderDirections(const QString &path, MessageLog &log, ConversionRun &run)
{
    FileInFlight job;
    const qsizetype split = nameStart(path);
    const QString folder = path.left(split);
    const QByteArray name = QFile::encodeName(path.mid(split));
    const FilePlace place{folder, QFile::encodeName(folder), name.constData()};
    if (!job.file.open(path, &job.problem)) {
        job.problem = couldNotOpen(job.problem);
    } else {
        job.opened = true;
        admitOpened(job, run);
        if (!job.deferred) {
            convertOpened(job, run, place, callerSlot(run.options().journal), false);
        }
    }
    const QString problem = finishFile(job, run, place, false);
    QString line;
    return logResult(
        log, line, [&path](QString &out) { out += path; }, problem, run.options());
}

bool ReorderDirections(const QString &path, MessageLog &log, const ConversionOptions &options)
{
    ConversionRun run(options);
    return ReorderDirections(path, log, run);
}

BatchResult ScanFolder(const QString &folder, MessageLog &log, ConversionRun &run)
{
    const QString &maskList = run.maskList;
    // The default mask keeps its historic wording; any other mask is named.
    const bool defaultMask = maskList == QLatin1String("*.cl2");
    const QString where =
        QLatin1String(" were found on (") + folder + QLatin1String(") and subfolders");
    if (run.searching) {
        run.searching(folder);
    }
    raiseOpenFileLimit();
    QString maskError;
    const FoundFileList found = FindFileList(
        folder, maskList, &maskError, [&run] { return run.stopRequested(); }, run.jobs);
    if (!maskError.isEmpty()) {
        log.AppendLine(QLatin1String("ERROR: The mask list (") + maskList +
                       QLatin1String(") is not valid: ") + maskError);
        return {0, 1, false};
    }
    if (run.stopRequested()) {
        // Stopped while searching: nothing was converted.
        logStopped(log, 0, found.size());
        return {found.size(), 1, true};
    }
    const QString what =
        found.isEmpty()
            ? (defaultMask ? QStringLiteral("ERROR: No *.cl2 files")
                           : QLatin1String("ERROR: No files matching (") + maskList + u')')
            : QLatin1String("SUCCESS: (") + QString::number(found.size()) + u')' +
                  (defaultMask ? QStringLiteral(" files")
                               : QLatin1String(" files matching (") + maskList + u')');
    log.AppendLine(what + where);
    BatchResult result =
        convertList(found, log, run, [](qsizetype, const BinaryFile &) { return QString(); });
    if (found.isEmpty()) {
        ++result.failed;
    }
    return result;
}

BatchResult ScanFolder(const QString &folder, MessageLog &log)
{
    ConversionRun run;
    return ScanFolder(folder, log, run);
}

BatchResult ConvertPaths(const QStringList &paths, MessageLog &log, ConversionRun &run)
{
    BatchResult result;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (run.stopRequested()) {
            logStopped(log, i, paths.size());
            result.stopped = true;
            break;
        }
        const QString &path = paths.at(i);
        if (isDirectory(path)) {
            const BatchResult batch = ScanFolder(path, log, run);
            result.found += batch.found;
            result.failed += batch.failed;
            if (batch.stopped) {
                result.stopped = true;
                break;
            }
        } else {
            ++result.found;
            if (!ReorderDirections(path, log, run)) {
                ++result.failed;
            }
            if (run.progress && paths.size() > 1) {
                run.progress(i + 1, paths.size());
            }
        }
    }
    return result;
}

BatchResult UndoConversion(const ConvertedFiles &converted, MessageLog &log, ConversionRun &undoRun)
{
    // A name that now leads to another file, or a file written since, must not
    // be turned back.
    const auto sameFile = [&converted](qsizetype i, const BinaryFile &file) {
        const bool same =
            file.id() == converted.files.id(i) && file.stamp() == converted.stamps[std::size_t(i)];
        return same ? QString() : QStringLiteral("is no longer the file that was converted");
    };
    return convertList(converted.files, log, undoRun, sameFile);
}

bool FileExists(const QString &path)
{
    return fileLength(path) >= 0;
}

} // namespace velmora
