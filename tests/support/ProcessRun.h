#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace velmora::test {

// What a program run as a child process did.
struct ProcessRun
{
    bool finished = false; // ended by itself, not by a signal, a timeout or a failed start
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ProcessRun
runProcess(const QString &program, const QStringList &arguments,
           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// The test's environment without any display, so a program that reaches for
// the window system fails.
QProcessEnvironment environmentWithoutDisplay();

} // namespace velmora::test
