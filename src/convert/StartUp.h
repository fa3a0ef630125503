#pragma once

#include "convert/ConversionRun.h"
#include "convert/Journal.h"
#include "convert/MessageLog.h"

#include <QString>

#include <functional>
#include <memory>

namespace velmora {

// What a program starts for.
struct StartUpOptions
{
    // A dry run writes nothing: it only names the files a killed run left
    // half-written, and needs no journal.
    bool dryRun = false;
    Journal::Durability durability = Journal::Durability::ProcessDeath;
    // The threads that convert, each with a slot of its own in the journal.
    int jobs = ConversionRun::DefaultJobs;
};

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
// is killed in turn), then makes this process's journal. The history of runs
// is read after this, so that it sees the files as the repair left them.
StartedUp startUp(MessageLog &log, const std::function<void()> &showLog,
                  const StartUpOptions &options);

} // namespace velmora
