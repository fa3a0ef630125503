#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

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
ProcessRun
runProcess(const QString &program, const QStringList &arguments,
           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
           const std::function<void()> &childSetup = {},
           const std::function<void(qint64)> &whileRunning = {});

// The test's environment without any display, so a program that reaches for
// the window system fails.
QProcessEnvironment environmentWithoutDisplay();

} // namespace velmora::test
