#include "convert/FileSteps.h"

#include "convert/DirectionTables.h"
#include "convert/Journal.h"

#include <algorithm>

namespace velmora {

namespace {

using Status = LogEntry::Status;

DirectionSwap swapOf(const ConversionOptions &options)
{
    return options.undo ? DirectionSwap::Undo : DirectionSwap::Forward;
}

} // namespace

FileProblem couldNotOpen(const QString &reason)
{
    return {Status::OpenFailed, reason};
}

FileProblem couldNotLock(const QString &reason)
{
    return {Status::Busy, QStringLiteral("could not be locked: ") + reason};
}

bool leaveForStop(FileInFlight &job)
{
    QString error;
    job.file.close(&error);
    job.leftForStop = true;
    return true;
}

int callerSlot(const Journal *journal)
{
    return journal ? journal->slotCount() - 1 : 0;
}

int journalSlot(const Journal *journal, int thread, int jobs)
{
    return thread < jobs - 1 ? thread : callerSlot(journal);
}

int batchJobs(const ConversionRun &run)
{
    const Journal *journal = run.options().journal;
    return journal ? std::clamp(journal->slotCount(), 1, std::max(run.options().jobs, 1))
                   : run.options().jobs;
}

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
    std::int64_t before = 0; // when the writes began
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
        before = BinaryFile::beforeWriting();
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
    if (!run.needsStamps()) {
        job.stamp = {};
    } else {
        job.stamp = options.dryRun ? file.stampWhenLocked() : run.stampAfterWriting(file, before);
    }
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
        run.recordConverted(job.file.id(), job.stamp, place.folder, place.encodedFolder, place.name,
                            job.convertedBefore);
    }
    if (options.journal) {
        options.journal->deliverFailure();
    }
    return job.problem;
}

void admitOpened(FileInFlight &job, ConversionRun &run)
{
    job.deferred = job.opened && job.problem.isEmpty() && !run.claim(job.file.id(), &job.claim);
}

} // namespace velmora
