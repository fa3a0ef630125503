#include "cli/CommandLine.h"
#include "cli/HistoryCommands.h"
#include "cli/JsonLines.h"
#include "cli/ProgressLine.h"
#include "cli/StandardOutputLog.h"

#include "convert/EarlierConversions.h"
#include "convert/Module1.h"
#include "convert/RunRecord.h"
#include "convert/StartUp.h"
#include "platform/Terminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <optional>

using namespace velmora;

namespace {

void printError(const QString &text)
{
    writeText(StandardStream::Error, QLatin1String("cl2velmora-cli: ") + text + u'\n');
}

// Says once that this run cannot protect its files against interruption:
// when it has no journal, or when a record could not be written.
void protectAgainstInterruption(Journal *journal, const QString &whyNone, ProgressLine &progress,
                                StandardOutputLog &log)
{
    const auto cannotProtect = [&progress, &log](const QString &reason) {
        log.exclusive([&] {
            progress.clear();
            printError(QLatin1String("cannot protect against interruption: ") + reason);
        });
    };
    if (journal) {
        journal->setFailureHandler(cannotProtect);
    } else {
        cannotProtect(whyNone);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    ignoreBrokenPipeSignal();

    QList<QByteArray> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QByteArray(argv[i]));
    }
    const CommandLine command = parseCommandLine(arguments);
    if (!command.run) {
        return command.exitStatus;
    }
    if (command.history) {
        return printHistory();
    }
    installStopSignals();
    QElapsedTimer clock;
    clock.start();

    StandardOutputLog log(command.json ? StandardOutputLog::Format::JsonLines
                                       : StandardOutputLog::Format::Text);
    ProgressLine progress(isTerminal(StandardStream::Error));
    if (isTerminal(StandardStream::Output)) {
        // Both streams on one screen: lines must not land in the status line.
        log.setBeforeWrite([&progress] { progress.clear(); });
    }

    // Before anything else: files a killed run left half-rewritten.
    const StartedUp started = startUp(
        log, [&log] { log.flush(); }, command.conversion);
    const std::unique_ptr<Journal> &journal = started.journal;
    if (!command.conversion.dryRun) {
        protectAgainstInterruption(journal.get(), started.whyNoJournal, progress, log);
    }
    std::optional<RecordedRun> undone;
    if (command.undoLast) {
        QString why;
        undone = runToUndo(&why);
        if (!undone) {
            printError(why);
            return SomeLeftAlone;
        }
        printError(QLatin1String("undoing the run of ") + runTimeText(undone->started) +
                   QLatin1String(" (") + QString::number(undone->fileCount) +
                   QLatin1String(" files converted)"));
    }
    // Every run that writes is recorded, so that a later one can undo it or
    // leave its files out; without a state folder it says so once.
    std::unique_ptr<RunRecord> record;
    if (!command.conversion.dryRun) {
        QString reason;
        record = RunRecord::create(QStringLiteral("cl2velmora-cli"),
                                   undone ? undone->paths : command.paths, command.conversion.undo,
                                   &reason);
        if (!record) {
            printError(QLatin1String("keeps no history of this run: ") + reason);
        }
    }
    // Read while the run starts its search.
    std::unique_ptr<EarlierConversions> earlier;
    if (!command.conversion.undo) {
        earlier = EarlierConversions::fromHistory(record.get());
    }

    // The whole command line is one run: a file reached under several names
    // or through several arguments is converted once.
    ConversionOptions options = command.conversion;
    options.journal = journal.get();
    options.record = record.get();
    ConversionRun run(options);
    run.earlier = earlier.get();
    // A signal, or a reader that left, stops the run between two files.
    run.setStopProbe([&log] { return caughtStopSignal() != 0 || log.isBroken(); });
    // The status line shares the terminal with the log's writer thread.
    run.searching = [&progress, &log](const QString &folder) {
        log.exclusive([&] { progress.showSearching(folder); });
    };
    run.progress = [&progress, &log](qsizetype done, qsizetype total) {
        log.exclusive([&] { progress.update(done, total); });
    };
    if (undone) {
        UndoConversion(undone->files, log, run);
    } else {
        ConvertPaths(command.paths, log, run);
    }
    const bool written = log.flush();
    RunSummary summary = log.summary();
    summary.turnedAgain = run.turnedAgain();
    if (record) {
        record->finish(summary.stopped);
    }
    const int signal = caughtStopSignal();
    // A signal noticed only once every file was done ends a complete run.
    const int status = !written                         ? SomeFailed
                       : signal != 0 && summary.stopped ? 128 + signal
                       : summary.anyFailure()           ? SomeFailed
                       : summary.anyLeftAlone()         ? SomeLeftAlone
                                                        : AllSucceeded;
    const double seconds = double(clock.elapsed()) / 1000;
    if (command.json) {
        log.appendRaw(jsonSummary(summary, seconds, status));
        log.flush();
    }
    log.exclusive([&progress] { progress.clear(); });
    if (!written) {
        // The run stopped as on a stop request: say why where it can be read.
        printError(QLatin1String("standard output could not be written (") + log.brokenReason() +
                   QLatin1String("); the run was stopped, and files it converted may be "
                                 "missing from its output"));
    }
    if (summary.turnedAgain > 0) {
        printError(turnedAgainNote(summary.turnedAgain));
    }
    if (command.stats || isTerminal(StandardStream::Error)) {
        printError(summary.text() + QLatin1String(", in ") + QString::number(seconds, 'f', 2) +
                   QLatin1String(" s"));
    }
    return status;
}
