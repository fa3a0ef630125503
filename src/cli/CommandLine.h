#pragma once

#include "convert/Module1.h"

#include <QString>
#include <QStringList>

namespace velmora {

// Exit statuses of cl2velmora-cli, in the manner of grep and diff: 1 for an
// outcome a script may expect (files that are not 8-direction files were
// left as they are), 2 for a command it got wrong, and beyond, as rsync
// does, for trouble: 3 when a file or folder failed.
enum ExitStatus : int { AllSucceeded = 0, SomeLeftAlone = 1, UsageError = 2, SomeFailed = 3 };

// More threads than this only wait on each other.
inline constexpr int MaxJobs = 256;

// What the command line asks for: either a run over paths, or an immediate
// exit whose text (help, version, usage error) has already been printed.
struct CommandLine
{
    bool run = false;
    int exitStatus = AllSucceeded;
    // What the run is asked to do: undo, dry run, jobs, masks, durability.
    ConversionOptions conversion;
    // Each entry as a JSON object, then a summary object.
    bool json = false;
    // The summary on standard error even when it is not a terminal.
    bool stats = false;
    // List the recorded runs and exit.
    bool history = false;
    // Undo the files of the last recorded run that are unchanged since.
    bool undoLast = false;
    // As the system spells them: a name that is not UTF-8 is taken as it is.
    QList<QByteArray> paths;
};

// Parses the program's arguments as the system gave them (argv).
CommandLine parseCommandLine(const QList<QByteArray> &arguments);

} // namespace velmora
