#include "cli/CommandLine.h"
#include "cli/ProgressLine.h"
#include "cli/StandardOutputLog.h"

#include "convert/Module1.h"
#include "platform/BinaryFile.h"
#include "platform/Terminal.h"

#include <QCoreApplication>

using namespace velmora;

namespace {

// Converts one folder tree; the status line on standard error follows it.
void convertFolder(const QString &folder, const CommandLine &command, StandardOutputLog &log,
                   ProgressLine &progress)
{
    ScanOptions options;
    options.conversion = command.conversion;
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

    // A file named twice on one command line is converted once.
    ConvertedFiles namedFiles;
    for (const QString &path : command.paths) {
        if (isDirectory(path)) {
            convertFolder(path, command, log, progress);
        } else {
            ReorderDirections(path, log, command.conversion, &namedFiles);
        }
        if (log.isBroken()) {
            break;
        }
    }
    const bool written = log.flush();
    return written && !log.sawError() ? AllSucceeded : SomeFailed;
}
