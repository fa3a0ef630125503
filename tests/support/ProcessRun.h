#pragma once

#include <QProcess>
#include <QTest>

#include <sys/wait.h>

namespace velmora::test {

// What a program run as a child process did.
struct ProcessRun
{
    bool finished = false; // ended by itself, not by a signal, a timeout or a failed start
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// How long a child may run: one that has not ended by then is killed and the
// run counts as failed, so a hung program fails its row instead of the suite.
inline constexpr int processTimeoutMs = 60000;

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
    QByteArray failure;
    if (!process.waitForFinished(processTimeoutMs) && process.state() != QProcess::NotRunning) {
        process.kill(); // a stopped child dies too
        process.waitForFinished(-1);
        failure =
            "killed: it did not end within " + QByteArray::number(processTimeoutMs / 1000) + " s";
    }
    const bool finished = failure.isEmpty() && process.exitStatus() == QProcess::NormalExit &&
                          process.error() != QProcess::FailedToStart;
    return {finished, process.exitCode(), process.readAllStandardOutput(),
            process.readAllStandardError() + (finished            ? ""
                                              : failure.isEmpty() ? process.errorString().toUtf8()
                                                                  : failure)};
}

// Waits, away from the event loop (which would take the child's end from
// this wait), until the child stands still; false after half a minute.
inline bool awaitStopped(qint64 pid)
{
    siginfo_t state{};
    for (int i = 0; i < 3000 && state.si_pid == 0; ++i) {
        QTest::qSleep(10);
        ::waitid(P_PID, id_t(pid), &state, WSTOPPED | WEXITED | WNOWAIT | WNOHANG);
    }
    return state.si_code == CLD_STOPPED;
}

} // namespace velmora::test
