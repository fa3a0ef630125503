#include "convert/BatchPipeline.h"

#include "convert/DirectionTables.h"
#include "convert/FileInFlight.h"
#include "convert/FileSteps.h"
#include "convert/FolderCache.h"
#include "convert/RunReport.h"
#include "platform/Process.h"

#include <atomic>
#include <thread>
#include <vector>

namespace velmora {

namespace {
using Status = LogEntry::Status;
} // namespace

BatchResult convertList(const FoundFileList &files, MessageLog &log, ConversionRun &run,
                        const Check &check, const Search &search, LogEntry *countLine)
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
        job.problem = check && job.file.isLocked() ? check(i, job) : FileProblem();
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
                          : check                ? check(i, job)
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

} // namespace velmora
