#pragma once

#include "convert/ConversionRun.h"
#include "convert/Journal.h"
#include "convert/MessageLog.h"

#include <QString>

#include <functional>
#include <memory>

namespace velmora {

struct StartedUp
{
    // Null for a dry run, or when no journal can be had: then whyNoJournal
    // says why, and the program says that its files cannot be protected
    // against interruption.
    std::unique_ptr<Journal> journal;
    QString whyNoJournal;
};

// The start of both programs, before anything else: puts back the files a
// killed run left half-rewritten (a dry run only names them) and logs them,
// has showLog show those lines at once (they must be seen even if this run
// is killed in turn), then makes this process's journal, with a slot for
// each of the runs' jobs and as durable as they ask. The history of runs is
// read after this, so that it sees the files as the repair left them.
StartedUp startUp(MessageLog &log, const std::function<void()> &showLog,
                  const ConversionOptions &options);

} // namespace velmora
