#include "convert/StartUp.h"

#include "convert/JournalRepair.h"

namespace velmora {

StartedUp startUp(MessageLog &log, const std::function<void()> &showLog,
                  const ConversionOptions &options)
{
    RepairInterruptedRuns(log, options.dryRun ? RepairMode::CheckOnly : RepairMode::Repair);
    showLog();
    StartedUp started;
    if (!options.dryRun) {
        // A slot for each thread that converts, and the last for the run's
        // own thread.
        started.journal = Journal::create(options.syncToDisk ? Journal::Durability::PowerLoss
                                                             : Journal::Durability::ProcessDeath,
                                          &started.whyNoJournal, options.jobs);
    }
    return started;
}

} // namespace velmora
