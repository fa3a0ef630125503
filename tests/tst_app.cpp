#include "support/ProcessRun.h"

#include <QTest>

using namespace velmora::test;
using namespace Qt::StringLiterals;

// The windowed program run as a real process, with no display: whatever it
// answers on the command line must not need one.
class tst_app : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        // How standard output starts; with a usage error, what standard error
        // says while standard output stays empty.
        QTest::addColumn<QByteArray>("expected");
        const QByteArray tryHelp("\nTry 'cl2velmora --help' for more information.\n");
        const QStringList offscreen{u"-platform"_s, u"offscreen"_s};
        // Qt's own options are taken out before ours are read; the installed
        // programs' --version is checked on installation.
        QTest::newRow("-v after a Qt option")
            << offscreen + QStringList{u"-v"_s} << 0
            << QByteArray("CL2 Velmora version " CL2VELMORA_VERSION "\n");
        QTest::newRow("--help") << QStringList{u"--help"_s} << 0
                                << QByteArray("Usage: cl2velmora [options]\n");
        QTest::newRow("a path") << QStringList{u"sprite.cl2"_s} << 2
                                << "cl2velmora: unexpected argument 'sprite.cl2'" + tryHelp;
        // An unknown option can only be told from Qt's own once the window
        // system has been reached, so this row names one.
        QTest::newRow("an unknown option") << offscreen + QStringList{u"--frobnicate"_s} << 2
                                           << "cl2velmora: Unknown option 'frobnicate'." + tryHelp;
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, expected);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(QLatin1String(name));
        }
        const ProcessRun run =
            runProcess(QStringLiteral(CL2VELMORA_APP_PATH), arguments, environment);
        QVERIFY2(run.finished && run.exitCode == exitCode, run.err.constData());
        QVERIFY2(exitCode == 0 ? run.out.startsWith(expected)
                               : run.out.isEmpty() && run.err.contains(expected),
                 QByteArray(run.out + run.err).constData());
    }
};

QTEST_GUILESS_MAIN(tst_app)
#include "tst_app.moc"
