#pragma once

#include <QProcess>

namespace velmora::test {

// What a program run as a child process did.
struct ProcessRun
{
    bool finished = false; // ended by itself, not by a signal, a timeout or a failed start
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// childSetup runs in the child just before the program starts (e.g. to change
// its standard streams); whileRunning runs here, with the child's id, once it
// has started.
inline ProcessRun
runProcess(const QString &program, const QStringList &arguments,
           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
           const std::function<void()> &childSetup = {},
           const std::function<void(qint64)> &whileRunning = {})
{
    QProcess process;
    process.setProcessEnvironment(environment);
    if (childSetup) {
        process.setChildProcessModifier(childSetup);
    }
    process.start(program, arguments);
    if (whileRunning && process.waitForStarted()) {
        whileRunning(process.processId());
    }
    const bool finished =
        process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return {finished, process.exitCode(), process.readAllStandardOutput(),
            process.readAllStandardError() + (finished ? "" : process.errorString().toUtf8())};
}

} // namespace velmora::test
