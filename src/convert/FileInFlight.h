#pragma once

#include "algorithms/OrderedWork.h"
#include "convert/DirectionTables.h"
#include "platform/BinaryFile.h"

#include <QString>

#include <functional>

namespace velmora {

// One file on its way through a batch: opened, admitted in search order,
// converted (on any thread), then finished and logged in search order. It
// holds no buffer: those belong to the threads that convert.
struct FileInFlight
{
    BinaryFile file;
    // What went wrong with the file; empty while all is well.
    FileProblem problem;
    bool opened = false;
    // The run's claim of the file, shared by all its names.
    std::uint32_t claim = 0;
    // Left to the calling thread: an earlier name of the file came first in
    // the run, or its journal record needs the last slot.
    bool deferred = false;
    // Converted (in a dry run: would be); to be recorded in the run.
    bool converted = false;
    // The batch waits for a disk: reads are best started as files open.
    bool readAhead = false;
    // Closed unwritten because the run was asked to stop first: it gets no
    // line and does not count as done.
    bool leftForStop = false;
    // A recorded run converted it, and it was not changed since.
    bool convertedBefore = false;
    FileStamp stamp;
};

// How much of a batch is in flight at once: threads, files a thread takes at
// a time (each thread keeps up to twice that open), and folders kept open.
struct InFlightLimits
{
    int jobs = 1;
    qsizetype chunk = 32;
    std::size_t keptFolders = 64;
};

// The limits for `jobs` threads when the process may open `descriptors` more
// files: a batch never refuses a file for want of a descriptor it holds
// itself. Chunks shrink first (handing work over costs little beside a slow
// disk), then threads.
InFlightLimits limitInFlight(int jobs, long descriptors);

using FileStep = std::function<void(qsizetype, FileInFlight &)>;
using ThreadFileStep = std::function<void(qsizetype, FileInFlight &, int thread)>;
// The files of a batch on their way: made for a count of files, or for a list
// a search is still filling (expectMore, extend, endOfList).
using FileWork = OrderedWork<FileInFlight>;

// Runs the steps of OrderedWork for the files of `files`: open and work on
// any thread, admit in order, finish on the calling thread in order.
// shouldStop is asked before each finish: once it says so, no further file is
// taken, and those taken are finished. Returns how many files were finished.
// With one job everything runs on the calling thread, one file after another.
qsizetype convertInOrder(FileWork &files, const ThreadFileStep &open, const FileStep &admit,
                         const ThreadFileStep &work, const FileStep &finish,
                         const std::function<bool()> &shouldStop);

} // namespace velmora
