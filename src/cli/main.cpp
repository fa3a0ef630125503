#include "cli/CommandLine.h"
#include "cli/ProgressLine.h"
#include "cli/StandardOutputLog.h"

#include "convert/Module1.h"
#include "platform/Terminal.h"

#include <QCoreApplication>

using namespace velmora;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    ignoreBrokenPipeSignal();

    const CommandLine command = parseCommandLine(QCoreApplication::arguments());
    if (!command.run) {
        return command.exitStatus;
    }
    installStopSignals();

    StandardOutputLog log;
    ProgressLine progress(isTerminal(StandardStream::Error));
    if (isTerminal(StandardStream::Output)) {
        // Both streams on one screen: lines must not land in the status line.
        log.setBeforeWrite([&progress] { progress.clear(); });
    }

    // The whole command line is one run: a file reached under several names
    // or through several arguments is converted once.
    ConversionRun run(command.conversion);
    run.maskList = command.maskList;
    run.jobs = command.jobs;
    // A signal, or a reader that left, stops the run between two files.
    run.setStopProbe([&log] { return caughtStopSignal() != 0 || log.isBroken(); });
    run.searching = [&progress](const QString &folder) { progress.showSearching(folder); };
    // Tests stop the program after a given number of files to signal it there.
    const qsizetype suspendAfter = qEnvironmentVariableIntValue("CL2VELMORA_TEST_SUSPEND_AFTER");
    run.progress = [&progress, suspendAfter](qsizetype done, qsizetype total) {
        progress.update(done, total);
        if (done == suspendAfter) {
            suspendSelfForTesting();
        }
    };
    ConvertPaths(command.paths, log, run);
    progress.clear();

    const bool written = log.flush();
    if (const int signal = caughtStopSignal(); signal != 0) {
        return 128 + signal;
    }
    return written && !log.sawError() ? AllSucceeded : SomeFailed;
}
