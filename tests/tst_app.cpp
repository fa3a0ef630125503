#include "support/ProcessRun.h"

#include <QTest>

using namespace velmora::test;
using namespace Qt::StringLiterals;

// The windowed program run as a real process, with no display: whatever it
// answers on the command line must not need one. Its folder road without a
// user (CL2VELMORA_BENCH_FOLDER) is the benchmark's.
class tst_app : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out"); // how standard output starts
        QTest::addColumn<QByteArray>("err"); // what standard error includes
        const QByteArray tryHelp("\nTry 'cl2velmora --help' for more information.\n");
        const QStringList offscreen{u"-platform"_s, u"offscreen"_s};
        // Qt's own options are taken out before ours are read; the installed
        // programs' --version is checked on installation.
        const QByteArray version("CL2 Velmora version " CL2VELMORA_VERSION "\n");
        QTest::newRow("-v after a Qt option")
            << offscreen + QStringList{u"-v"_s} << 0 << version << QByteArray();
        QTest::newRow("--help") << QStringList{u"--help"_s} << 0
                                << QByteArray("Usage: cl2velmora [options]\n") << QByteArray();
        QTest::newRow("a path") << QStringList{u"sprite.cl2"_s} << 2 << QByteArray()
                                << "cl2velmora: unexpected argument 'sprite.cl2'" + tryHelp;
        // An unknown option can only be told from Qt's own once the window
        // system has been reached, so this row names one.
        QTest::newRow("an unknown option")
            << offscreen + QStringList{u"--frobnicate"_s} << 2 << QByteArray()
            << "cl2velmora: Unknown option 'frobnicate'." + tryHelp;
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        const ProcessRun run =
            runProcess(QStringLiteral(CL2VELMORA_APP_PATH), arguments, environmentWithoutDisplay());
        QVERIFY2(run.finished && run.exitCode == exitCode, run.err.constData());
        QVERIFY2(out.isEmpty() ? run.out.isEmpty() : run.out.startsWith(out), run.out.constData());
        QVERIFY2(run.err.contains(err), run.err.constData());
    }
};

QTEST_GUILESS_MAIN(tst_app)
#include "tst_app.moc"
