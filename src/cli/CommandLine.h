#pragma once

#include "convert/Module1.h"

#include <QString>
#include <QStringList>

namespace velmora {

// Exit statuses of cl2velmora-cli.
enum ExitStatus : int { AllSucceeded = 0, SomeFailed = 1, UsageError = 2 };

// More threads than this only wait on each other.
inline constexpr int MaxJobs = 256;

// What the command line asks for: either a run over paths, or an immediate
// exit whose text (help, version, usage error) has already been printed.
struct CommandLine
{
    bool run = false;
    int exitStatus = AllSucceeded;
    ConversionOptions conversion;
    // Files and journal reach the disk in an order that survives a power cut.
    bool sync = false;
    QString maskList;
    int jobs = ConversionRun::DefaultJobs;
    QStringList paths;
};

CommandLine parseCommandLine(const QStringList &arguments);

} // namespace velmora
