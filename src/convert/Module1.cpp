#include "convert/Module1.h"

#include "convert/DirectionTables.h"
#include "convert/FileInFlight.h"
#include "convert/Journal.h"
#include "platform/DirectoryHandle.h"
#include "platform/Process.h"
#include "search/modTree.h"
#include "text/PathText.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace velmora {

namespace {

using Status = LogEntry::Status;

// Reports the one entry a file gets, then repaints the log. The path is built
// in path, whose buffer serves every file of a batch. Returns whether the
// file was converted.
bool reportFile(MessageLog &log, LogEntry &entry, const FileProblem &problem,
                const ConversionOptions &options)
{
    entry.status = problem.status;
    entry.reason = problem.reason;
    entry.undo = options.undo;
    entry.dryRun = options.dryRun;
    log.Report(entry);
    log.Repaint();
    return problem.isEmpty();
}

void reportStopped(MessageLog &log, qsizetype done, qsizetype total)
{
    LogEntry entry;
    entry.status = Status::Stopped;
    entry.count = done;
    entry.total = total;
    log.Report(entry);
    log.Repaint();
}

// Each folder a search could not list gets its entry after the files: its
// files were not converted. Returns how many.
qsizetype reportUnlisted(MessageLog &log, const FoundFileList &files)
{
    for (const auto &unlisted : files.unlisted()) {
        LogEntry entry;
        entry.status = Status::FolderNotListed;
        entry.path = unlisted.encoded;
        entry.reason = unlisted.reason;
        log.Report(entry);
    }
    return qsizetype(files.unlisted().size());
}

FileProblem couldNotOpen(const QString &reason)
{
    return {Status::OpenFailed, reason};
}

FileProblem couldNotLock(const QString &reason)
{
    return {Status::Busy, QStringLiteral("could not be locked: ") + reason};
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
void convertOpened(FileInFlight &job, ConversionRun &run, const FilePlace &place, int slot,
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
    // Only this call uses the tables: each thread keeps one set for all the
    // files it converts, however many a batch has in flight.
    thread_local DirectionTables tables;
    job.problem = tables.load(file, swapOf(options));
    if (job.problem.isEmpty() && stoppable && run.stopRequested() && leaveForStop(job)) {
        return;
    }
    if (job.problem.isEmpty() && !options.dryRun) {
        Journal *journal = options.journal;
        thread_local QByteArray path; // its buffer serves every file
        path.resize(0);
        if (journal) {
            path.append(place.encodedFolder)
                .append(place.name.data(), qsizetype(place.name.size()));
        }
        if (journal && !journal->fits(slot, path, tables)) {
            job.deferred = true;
            return;
        }
        const QString failed = storeRecorded(file, path, tables, swapOf(options), journal, slot);
        if (!failed.isEmpty()) {
            job.problem = {Status::WriteFailed, failed};
        }
    }
    if (!job.problem.isEmpty()) {
        file.close(&error);
        return;
    }
    // The stamp is taken before the file is closed: an undo checks against it.
    job.stamp = run.needsStamps() ? file.stamp() : FileStamp{};
    // Recorded at once, on this thread: a kill from now on leaves it named.
    run.recordWritten(file.id(), job.stamp, place.encodedFolder, place.name);
    const bool closed = file.close(&error);
    // Written bytes stay written whatever close says: the file must not be
    // converted again under another name.
    job.converted = true;
    if (!closed) {
        job.problem = {Status::CloseFailed,
                       options.dryRun
                           ? QString(QStringLiteral("could not be closed: ") + error)
                           : QStringLiteral("was rewritten, but closing it failed (") + error +
                                 QStringLiteral("): on a network file system the new bytes may "
                                                "not have reached the server")};
    }
}

// The last step of a file, on the calling thread in search order: a file
// left to it is converted now unless the run converted it already under an
// earlier name; a converted file is recorded in the run. Returns what went
// wrong, if anything (nothing for a file left for a stop).
FileProblem finishFile(FileInFlight &job, ConversionRun &run, const FilePlace &place,
                       bool stoppable)
{
    const ConversionOptions &options = run.options();
    if (job.deferred) {
        job.deferred = false;
        // Converting a file a second time would turn it one step too far.
        if (run.hasConverted(job.claim)) {
            QString error;
            job.file.close(&error);
            job.problem = {Status::AlreadyConverted, {}};
        } else {
            convertOpened(job, run, place, callerSlot(options.journal), stoppable);
        }
    }
    if (job.converted) {
        job.converted = false;
        run.markConverted(job.claim);
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
    job.deferred = job.opened && job.problem.isEmpty() && !run.claim(job.file.id(), &job.claim);
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

using Check = std::function<FileProblem(qsizetype, const BinaryFile &)>;
// A search that fills a batch's list while the batch works on it: it calls
// found(count) as files come into the list, and says whether it ran to its
// end (false: stopped).
using Search = std::function<bool(const std::function<void(qsizetype)> &found)>;

// The line a search ends with: how many files it found (or that none did).
void reportCount(MessageLog &log, LogEntry &countLine, qsizetype found)
{
    countLine.status = found > 0 ? Status::Found : Status::NoneFound;
    countLine.count = found;
    log.Report(countLine);
}

// Converts the files of a list in order, one line each, until the run is
// asked to stop. check, when given, may refuse a file once it is open.
// With search, the list is still being filled while the files found so far
// are converted; their lines are held until the search is over, so that the
// count line (countLine, given then) comes first.
BatchResult convertList(const FoundFileList &files, MessageLog &log, ConversionRun &run,
                        const Check &check = {}, const Search &search = {},
                        LogEntry *countLine = nullptr)
{
    qsizetype total = search ? -1 : files.size(); // -1 while the search goes on
    BatchResult result{0, 0, false};
    raiseOpenFileLimit();
    const int wanted = batchJobs(run);
    // The search reads folders on up to as many threads, each holding one.
    const long searchDescriptors = search ? wanted + 2 : 0;
    const InFlightLimits limits = limitInFlight(wanted, descriptorsLeft() - searchDescriptors);
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
        job.problem = {};
        if (const QString kind = files.notRegular(i); !kind.isEmpty()) {
            // Counted and refused as it is: a pipe would block, a device is
            // not ours to read.
            job.problem = {Status::NotRegularFile, kind};
            return;
        }
        const auto dir = folders.open(files.folderOf(i), thread, &error);
        if (!dir || !job.file.openAt(*dir, files.encodedName(i), &error)) {
            job.problem = couldNotOpen(error);
            return;
        }
        job.opened = true;
        if (job.readAhead) {
            job.file.willRead(DirectionTables::FirstReadBytes);
        }
        // A file another program holds is checked once it is ours.
        job.problem = check && job.file.isLocked() ? check(i, job.file) : FileProblem();
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
                                                 : FileProblem();
        }
        if (job.problem.isEmpty()) {
            convertOpened(job, run, placeOf(i), journalSlot(run.options().journal, thread, jobs),
                          true);
        } else {
            QString error;
            job.file.close(&error);
        }
    };
    LogEntry entry;
    const auto report = [&](qsizetype i, const FileProblem &problem) {
        files.encodedPath(i, entry.path);
        if (!reportFile(log, entry, problem, run.options())) {
            ++result.failed;
        }
        if (run.progress) {
            run.progress(i + 1, total);
        }
    };
    // The lines of files done before the search was over.
    struct HeldLine
    {
        qsizetype file;
        FileProblem problem;
    };
    std::vector<HeldLine> held;
    // Set by the search before it gives its count.
    bool searchedToTheEnd = true;
    std::atomic<qsizetype> searched{-1}; // the count, once the search is over
    const auto releaseHeld = [&] {
        total = searched.load(std::memory_order_acquire);
        reportCount(log, *countLine, total);
        for (const HeldLine &line : held) {
            report(line.file, line.problem);
        }
        held = {};
    };
    qsizetype finished = 0;
    const auto finish = [&](qsizetype i, FileInFlight &job) {
        const FileProblem problem = finishFile(job, run, placeOf(i), true);
        if (job.leftForStop) {
            return; // not done: no line
        }
        ++finished;
        // A search that was stopped is told of once the batch is over.
        if (total < 0 && searched.load(std::memory_order_acquire) >= 0 && searchedToTheEnd) {
            releaseHeld();
        }
        if (total >= 0) {
            report(i, problem);
        } else {
            held.push_back({i, problem});
        }
    };
    FileWork batch(jobs, search ? 0 : total, limits.chunk);
    std::jthread searching;
    if (search) {
        batch.expectMore();
        searching = std::jthread([&] {
            searchedToTheEnd = search([&batch](qsizetype count) { batch.extend(count); });
            searched.store(files.size(), std::memory_order_release);
            batch.endOfList();
        });
    }
    convertInOrder(batch, open, admit, work, finish, [&run] { return run.stopRequested(); });
    if (searching.joinable()) {
        searching.join();
    }
    if (total < 0) {
        if (searchedToTheEnd || finished > 0) {
            releaseHeld();
        } else {
            total = searched.load(std::memory_order_acquire);
        }
    }
    result.found = total;
    if (!searchedToTheEnd && finished == 0) {
        LogEntry stopped = *countLine;
        stopped.status = Status::StoppedSearching;
        stopped.count = total;
        log.Report(stopped);
        log.Repaint();
        return {total, 1, true};
    }
    result.failed += reportUnlisted(log, files);
    if (!searchedToTheEnd) {
        // Stopped while searching, after some files: how many of those found
        // by then were converted.
        LogEntry stopped = *countLine;
        stopped.status = Status::StoppedSearching;
        stopped.count = finished;
        stopped.total = total;
        log.Report(stopped);
        log.Repaint();
        ++result.failed;
        result.stopped = true;
    } else if (finished < total) {
        result.stopped = true;
        reportStopped(log, finished, total);
    }
    return result;
}

} // namespace

bool ReorderDirections(const QByteArray &encodedPath, MessageLog &log, ConversionRun &run)
{
    FileInFlight job;
    const qsizetype split = encodedPath.lastIndexOf('/') + 1;
    const QByteArray folder = encodedPath.left(split);
    const QByteArray name = encodedPath.mid(split);
    const QString shownFolder = QFile::decodeName(folder);
    const FilePlace place{shownFolder, folder, name.constData()};
    QString error;
    if (!job.file.open(encodedPath, &error)) {
        job.problem = couldNotOpen(error);
    } else {
        job.opened = true;
        job.problem = run.checkEarlier(job.file);
        admitOpened(job, run);
        if (!job.problem.isEmpty()) {
            job.file.close(&error);
        } else if (!job.deferred) {
            convertOpened(job, run, place, callerSlot(run.options().journal), false);
        }
    }
    const FileProblem problem = finishFile(job, run, place, false);
    LogEntry entry;
    entry.path = encodedPath;
    return reportFile(log, entry, problem, run.options());
}

bool ReorderDirections(const QString &path, MessageLog &log, ConversionRun &run)
{
    return ReorderDirections(QFile::encodeName(path), log, run);
}

bool ReorderDirections(const QString &path, MessageLog &log, const ConversionOptions &options)
{
    ConversionRun run(options);
    return ReorderDirections(path, log, run);
}

BatchResult ScanFolder(const QByteArray &folder, MessageLog &log, ConversionRun &run)
{
    LogEntry entry;
    entry.path = folder;
    // The default mask keeps its historic wording; any other mask is named.
    if (run.maskList != QLatin1String("*.cl2")) {
        entry.mask = run.maskList;
    }
    if (run.searching) {
        run.searching(escapedPath(folder));
    }
    raiseOpenFileLimit();
    MaskSet masks;
    QString maskError;
    if (!PrepareMasks(run.maskList, masks, &maskError)) {
        entry.status = Status::MaskInvalid;
        entry.mask = run.maskList;
        entry.reason = maskError;
        log.Report(entry);
        return {0, 1, false};
    }
    const auto stop = [&run] { return run.stopRequested(); };
    // A file a recorded run converted may be left out (--skip-converted).
    const auto checkEarlier = [&run](qsizetype, const BinaryFile &file) {
        return run.checkEarlier(file);
    };
    FoundFileList found;
    BatchResult result;
    if (run.jobs > 1 && run.overlapSearch) {
        // Files are converted as they are found; the search takes a core of
        // its own only while folders wait for a disk.
        const auto search = [&](const std::function<void(qsizetype)> &foundSoFar) {
            return SearchFolder(folder, masks, found, stop, run.jobs, 1, foundSoFar,
                                run.searchProgress);
        };
        result = convertList(found, log, run, checkEarlier, search, &entry);
    } else {
        const bool searchedAll =
            SearchFolder(folder, masks, found, stop, run.jobs,
                         int(std::thread::hardware_concurrency()), {}, run.searchProgress);
        if (!searchedAll || run.stopRequested()) {
            // Stopped while searching: nothing found there was converted, and
            // what was found so far is not the batch.
            entry.status = Status::StoppedSearching;
            entry.count = found.size();
            log.Report(entry);
            log.Repaint();
            return {found.size(), 1, true};
        }
        reportCount(log, entry, found.size());
        result = convertList(found, log, run, checkEarlier);
    }
    if (result.found == 0 && !result.stopped) {
        ++result.failed; // none found
    }
    return result;
}

BatchResult ScanFolder(const QString &folder, MessageLog &log, ConversionRun &run)
{
    return ScanFolder(QFile::encodeName(folder), log, run);
}

BatchResult ScanFolder(const QString &folder, MessageLog &log)
{
    ConversionRun run;
    return ScanFolder(folder, log, run);
}

BatchResult ConvertPaths(const QList<QByteArray> &paths, MessageLog &log, ConversionRun &run)
{
    BatchResult result;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (run.stopRequested()) {
            reportStopped(log, i, paths.size());
            result.stopped = true;
            break;
        }
        const QByteArray &path = paths.at(i);
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

BatchResult ConvertPaths(const QStringList &paths, MessageLog &log, ConversionRun &run)
{
    QList<QByteArray> encoded;
    encoded.reserve(paths.size());
    for (const QString &path : paths) {
        encoded.append(QFile::encodeName(path));
    }
    return ConvertPaths(encoded, log, run);
}

BatchResult UndoConversion(const ConvertedFiles &converted, MessageLog &log, ConversionRun &undoRun)
{
    // A name that now leads to another file, or a file written since, must not
    // be turned back.
    const auto sameFile = [&converted](qsizetype i, const BinaryFile &file) {
        const bool same =
            file.id() == converted.files.id(i) && file.stamp() == converted.stamps[std::size_t(i)];
        return same ? FileProblem() : FileProblem{Status::ChangedSince, {}};
    };
    return convertList(converted.files, log, undoRun, sameFile);
}

bool FileExists(const QString &path)
{
    return fileLength(path) >= 0;
}

} // namespace velmora
