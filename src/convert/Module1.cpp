#include "convert/Module1.h"

#include "convert/BatchPipeline.h"
#include "convert/FileInFlight.h"
#include "convert/FileSteps.h"
#include "convert/RunReport.h"
#include "platform/Process.h"
#include "search/modTree.h"
#include "text/PathText.h"

#include <QFile>

#include <thread>

namespace velmora {

namespace {
using Status = LogEntry::Status;
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
        job.problem = run.checkEarlier(job);
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
    if (run.options().maskList != QLatin1String("*.cl2")) {
        entry.mask = run.options().maskList;
    }
    if (run.searching) {
        run.searching(escapedPath(folder));
    }
    raiseOpenFileLimit();
    MaskSet masks;
    QString maskError;
    if (!PrepareMasks(run.options().maskList, masks, &maskError)) {
        entry.status = Status::MaskInvalid;
        entry.mask = run.options().maskList;
        entry.reason = maskError;
        log.Report(entry);
        return {0, 1, false};
    }
    const auto stop = [&run] { return run.stopRequested(); };
    // A file a recorded run converted may be left out (--skip-converted).
    const auto checkEarlier = [&run](qsizetype, FileInFlight &job) {
        return run.checkEarlier(job);
    };
    FoundFileList found;
    BatchResult result;
    if (run.options().jobs > 1 && run.options().overlapSearch) {
        // Files are converted as they are found; the search takes a core of
        // its own only while folders wait for a disk.
        const auto search = [&](const std::function<void(qsizetype)> &foundSoFar) {
            return SearchFolder(folder, masks, found, stop, run.options().jobs, 1, foundSoFar,
                                run.searchProgress);
        };
        result = convertList(found, log, run, checkEarlier, search, &entry);
    } else {
        const bool searchedAll =
            SearchFolder(folder, masks, found, stop, run.options().jobs,
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
    const auto sameFile = [&converted](qsizetype i, FileInFlight &job) {
        const BinaryFile &file = job.file;
        const bool same = file.id() == converted.files.id(i) &&
                          converted.stamps[std::size_t(i)].admits(file.stampWhenLocked());
        return same ? FileProblem() : FileProblem{Status::ChangedSince, {}};
    };
    return convertList(converted.files, log, undoRun, sameFile);
}

bool FileExists(const QString &path)
{
    return fileLength(path) >= 0;
}

} // namespace velmora
