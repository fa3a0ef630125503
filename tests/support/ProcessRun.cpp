#include "support/ProcessRun.h"

#include <QProcess>

namespace velmora::test {

ProcessRun runProcess(const QString &program, const QStringList &arguments,
                      const QProcessEnvironment &environment,
                      const std::function<void()> &childSetup,
                      const std::function<void(qint64)> &whileRunning)
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
    ProcessRun run;
    run.finished = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    if (!run.finished) {
        run.err += process.errorString().toUtf8();
    }
    return run;
}

QProcessEnvironment environmentWithoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QLatin1String(name));
    }
    return environment;
}

} // namespace velmora::test
