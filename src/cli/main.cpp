#include "cli/CommandLine.h"
#include "cli/ProgressLine.h"
#include "cli/StandardOutputLog.h"

#include "convert/DirectionTables.h"
#include "convert/Journal.h"
#include "convert/Module1.h"
#include "platform/BinaryFile.h"
#include "platform/Process.h"
#include "platform/Terminal.h"

#include <QCoreApplication>

using namespace velmora;

namespace {

// Converts one folder tree; the status line on standard error follows it.
void convertFolder(const QString &folder, const ConversionOptions &conversion,
                   const CommandLine &command, StandardOutputLog &log, ProgressLine &progress)
{
    ScanOptions options;
    options.conversion = conversion;
    options.maskList = command.maskList;
    options.progress = [&](qsizetype done, qsizetype total) {
        // Nobody reads our lines any more: stop between two files, never
        // inside one.
        if (log.isBroken()) {
            return false;
        }
        progress.update(done, total);
        return true;
    };
    progress.showSearching(folder);
    ScanFolder(folder, log, options);
    progress.clear();
}

void printError(const QString &text)
{
    const QByteArray bytes = (QLatin1String("cl2velmora-cli: ") + text + u'\n').toUtf8();
    writeAll(StandardStream::Error, bytes.constData(), bytes.size());
}

// Test seam: CL2VELMORA_TEST_KILL_BETWEEN_WRITES=n kills the process between
// the two writes of the n-th file it writes, as a kill from outside could.
void armKillBetweenWrites()
{
    const int n = qEnvironmentVariableIntValue("CL2VELMORA_TEST_KILL_BETWEEN_WRITES");
    if (n > 0) {
        DirectionTables::setBetweenWritesForTesting([n, written = 0]() mutable {
            if (++written == n) {
                killThisProcess();
            }
        });
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    ignoreBrokenPipeSignal();

    const CommandLine command = parseCommandLine(QCoreApplication::arguments());
    if (!command.run) {
        return command.exitStatus;
    }

    StandardOutputLog log;
    ProgressLine progress(isTerminal(StandardStream::Error));
    if (isTerminal(StandardStream::Output)) {
        // Both streams on one screen: lines must not land in the status line.
        log.setBeforeWrite([&progress] { progress.clear(); });
    }

    // Before anything else: files a killed run left half-rewritten.
    RepairInterruptedRuns(log);
    log.flush(); // shown even if this run is killed in turn
    ConversionOptions conversion = command.conversion;
    std::unique_ptr<Journal> journal;
    if (!conversion.dryRun && command.journal) {
        const auto cannotProtect = [&progress](const QString &reason) {
            progress.clear();
            printError(QLatin1String("cannot protect against interruption: ") + reason);
        };
        QString reason;
        journal = Journal::create(command.sync ? Journal::Durability::PowerLoss
                                               : Journal::Durability::ProcessDeath,
                                  &reason);
        if (journal) {
            journal->setFailureHandler(cannotProtect);
        } else {
            cannotProtect(reason);
        }
        conversion.journal = journal.get();
    }
    armKillBetweenWrites();

    // A file named twice on one command line is converted once.
    ConvertedFiles namedFiles;
    for (const QString &path : command.paths) {
        if (isDirectory(path)) {
            convertFolder(path, conversion, command, log, progress);
        } else {
            ReorderDirections(path, log, conversion, &namedFiles);
        }
        if (log.isBroken()) {
            break;
        }
    }
    const bool written = log.flush();
    return written && !log.sawError() ? AllSucceeded : SomeFailed;
}
