#pragma once

#include "convert/MessageLog.h"

namespace velmora {

enum class RepairMode {
    Repair,
    // Writes nothing: says which files a killed run left half-written (and
    // that a run that is not dry will put them back), and keeps every journal.
    CheckOnly,
};

// Reads the journals (see Journal) left by processes that are gone and puts
// back every file they name that was left with one block new and the other
// original. Logs one line per file put back or that cannot be checked, and
// one per journal that cannot be read or trusted (it is kept, under a name
// that is not looked at again);
// nothing when there is nothing to do. Journals of live processes are left
// alone. Only a folder and journals that are the user's own and writable by
// the user alone are read; any other journal is reported and set aside. A
// file that cannot be reached keeps its record: the journal stays, and each
// start says so, until the file is back. A start waits while another
// repairs.
void RepairInterruptedRuns(MessageLog &log, RepairMode mode = RepairMode::Repair);

} // namespace velmora
