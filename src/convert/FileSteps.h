#pragma once

#include "convert/ConversionRun.h"
#include "convert/FileInFlight.h"

#include <QByteArray>
#include <QString>

#include <string_view>

namespace velmora {

class Journal;

// The steps one file takes through a run, alone or in a batch, and the
// journal slot each thread writes its records to.

// Where a converted file lies, so the run can find it again for an undo.
struct FilePlace
{
    const QString &folder;
    const QByteArray &encodedFolder;
    std::string_view name;
};

FileProblem couldNotOpen(const QString &reason);
FileProblem couldNotLock(const QString &reason);

// A stop starts no file: one opened but not yet written is closed untouched.
// Returns true, so that a caller can write `if (stopped && leaveForStop(job))`.
bool leaveForStop(FileInFlight &job);

// The journal slot of the calling thread: the last, the only one that takes
// a record of any size.
int callerSlot(const Journal *journal);
// The journal slot of a thread: each worker has its own; the calling thread
// (numbered jobs - 1) takes the last.
int journalSlot(const Journal *journal, int thread, int jobs);
// The threads a batch may use: each needs a journal slot of its own.
int batchJobs(const ConversionRun &run);

// An opened file goes on unless another of its names came earlier in the
// run: then the calling thread decides, in order, once that one is done.
void admitOpened(FileInFlight &job, ConversionRun &run);

// An open file that is the first of its names in the run: check it, rewrite
// it (unless a dry run), take its stamp and close it. Any thread may run it.
// A file whose record does not fit the thread's journal slot is left to the
// calling thread (deferred). In a batch (stoppable), a stop that comes before
// the file's first write leaves it untouched.
void convertOpened(FileInFlight &job, ConversionRun &run, const FilePlace &place, int slot,
                   bool stoppable);

// The last step of a file, on the calling thread in search order: a file
// left to it is converted now unless the run converted it already under an
// earlier name; a converted file is recorded in the run. Returns what went
// wrong, if anything (nothing for a file left for a stop).
FileProblem finishFile(FileInFlight &job, ConversionRun &run, const FilePlace &place,
                       bool stoppable);

} // namespace velmora
