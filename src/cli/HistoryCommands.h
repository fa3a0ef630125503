#pragma once

#include "convert/RunHistory.h"

#include <QString>

#include <optional>

namespace velmora {

// Prints one line per recorded run, oldest first: when it started, which
// program, how many files it converted, how it ended and the paths it was
// given. Records that cannot be read or trusted are named on standard error.
// Returns the exit status.
int printHistory();

// The last recorded run with its files, when it can be undone; otherwise
// nothing, with the reason.
std::optional<RecordedRun> runToUndo(QString *why);

// What the summary adds when a run converted files a second time.
QString turnedAgainNote(qsizetype count);

} // namespace velmora
