#include "convert/RunReport.h"

namespace velmora {

namespace {
using Status = LogEntry::Status;
} // namespace

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

void reportCount(MessageLog &log, LogEntry &countLine, qsizetype found)
{
    countLine.status = found > 0 ? Status::Found : Status::NoneFound;
    countLine.count = found;
    log.Report(countLine);
}

} // namespace velmora
