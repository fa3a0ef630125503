#pragma once

#include "convert/BatchResult.h"
#include "convert/ConversionRun.h"
#include "convert/FileInFlight.h"
#include "convert/MessageLog.h"
#include "platform/BinaryFile.h"
#include "search/FoundFileList.h"

#include <functional>

namespace velmora {

// May refuse the file at a list index once it is open and locked.
using Check = std::function<FileProblem(qsizetype, FileInFlight &)>;
// A search that fills a batch's list while the batch works on it: it calls
// found(count) as files come into the list, and says whether it ran to its
// end (false: stopped).
using Search = std::function<bool(const std::function<void(qsizetype)> &found)>;

// Converts the files of a list in order, one line each, until the run is
// asked to stop. check, when given, may refuse a file once it is open.
// With search, the list is still being filled while the files found so far
// are converted; their lines are held until the search is over, so that the
// count line (countLine, given then) comes first.
BatchResult convertList(const FoundFileList &files, MessageLog &log, ConversionRun &run,
                        const Check &check = {}, const Search &search = {},
                        LogEntry *countLine = nullptr);

} // namespace velmora
