#pragma once

#include "convert/Module1.h"

#include <QString>
#include <QStringList>

namespace velmora {

// Exit statuses of cl2velmora-cli.
enum ExitStatus : int { AllSucceeded = 0, SomeFailed = 1, UsageError = 2 };

// What the command line asks for: either a run over paths, or an immediate
// exit whose text (help, version, usage error) has already been printed.
struct CommandLine
{
    bool run = false;
    int exitStatus = AllSucceeded;
    ConversionOptions conversion;
    QString maskList;
    QStringList paths;
};

CommandLine parseCommandLine(const QStringList &arguments);

} // namespace velmora
