#pragma once

#include "convert/DirectionTables.h"
#include "platform/BinaryFile.h"

#include <QString>

#include <functional>

namespace velmora {

// One file on its way through a batch: opened, identified and read (the first
// step, on any thread), then checked against the run and written (the
// second, in search order). Its buffers are reused from file to file.
struct FileInFlight
{
    BinaryFile file;
    DirectionTables tables;
    // Why the file could not be opened, or was refused once open; empty when
    // the first step got through.
    QString problem;
    bool opened = false;
};

// Runs prepare(i, file) for i = 0 .. count - 1 on up to `jobs` threads, a few
// files ahead, and finish(i, file) on the calling thread in the order of i.
// shouldStop is asked before each finish: once it says so, no further file
// is prepared or finished. Returns how many files were finished. With one
// job everything runs on the calling thread, one file after another.
qsizetype convertInOrder(qsizetype count, int jobs,
                         const std::function<void(qsizetype, FileInFlight &)> &prepare,
                         const std::function<void(qsizetype, FileInFlight &)> &finish,
                         const std::function<bool()> &shouldStop);

} // namespace velmora
