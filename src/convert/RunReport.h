#pragma once

#include "convert/ConversionRun.h"
#include "convert/LogEntry.h"
#include "convert/MessageLog.h"
#include "search/FoundFileList.h"

namespace velmora {

// The lines a run writes to its log besides the journal's.

// Reports the one entry a file gets, then repaints the log. The path is built
// in entry, whose buffer serves every file of a batch. Returns whether the
// file was converted.
bool reportFile(MessageLog &log, LogEntry &entry, const FileProblem &problem,
                const ConversionOptions &options);

// The line that says how far a stopped batch got.
void reportStopped(MessageLog &log, qsizetype done, qsizetype total);

// The line a search ends with: how many files it found (or that none did).
void reportCount(MessageLog &log, LogEntry &countLine, qsizetype found);

// Each folder a search could not list gets its entry after the files: its
// files were not converted. Returns how many.
qsizetype reportUnlisted(MessageLog &log, const FoundFileList &files);

} // namespace velmora
