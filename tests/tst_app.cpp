#include "support/ProcessRun.h"

#include <QTest>

using namespace velmora::test;

// The windowed program run as a real process, with no display: whatever it
// answers on the command line must not need one.
class tst_app : public QObject
{
    Q_OBJECT

private slots:
    void printsVersion_data();
    void printsVersion();
    void printsHelp();
    void refusesUnknownArguments_data();
    void refusesUnknownArguments();

private:
    static ProcessRun run(const QStringList &arguments)
    {
        return runProcess(QStringLiteral(CL2VELMORA_APP_PATH), arguments,
                          environmentWithoutDisplay());
    }
};

void tst_app::printsVersion_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")};
    QTest::newRow("-v") << QStringList{QStringLiteral("-v")};
    // Qt's own options are taken out before ours are read.
    QTest::newRow("after a Qt option") << QStringList{
        QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--version")};
}

void tst_app::printsVersion()
{
    QFETCH(QStringList, arguments);
    const ProcessRun version = run(arguments);
    QVERIFY2(version.finished, version.err.constData());
    QCOMPARE(version.out, QByteArray("CL2 Velmora version " CL2VELMORA_VERSION "\n"));
    QCOMPARE(version.exitCode, 0);
}

void tst_app::printsHelp()
{
    const ProcessRun help = run({QStringLiteral("--help")});
    QVERIFY2(help.finished, help.err.constData());
    QCOMPARE(help.exitCode, 0);
    QVERIFY2(help.out.startsWith("Usage: cl2velmora [options]\n"), help.out.constData());
    for (const char *option : {"-h, --help", "-v, --version"}) {
        QVERIFY2(help.out.contains(option), option);
    }
}

void tst_app::refusesUnknownArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("a path") << QStringList{QStringLiteral("sprite.cl2")}
                            << QByteArray("cl2velmora: unexpected argument 'sprite.cl2'\n");
    // An unknown option can only be told from Qt's own once the window
    // system has been reached, so this row names one.
    QTest::newRow("an unknown option")
        << QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen"),
                       QStringLiteral("--frobnicate")}
        << QByteArray("cl2velmora: Unknown option 'frobnicate'.\n");
}

void tst_app::refusesUnknownArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, reason);
    const ProcessRun refused = run(arguments);
    QVERIFY2(refused.finished, refused.err.constData());
    QCOMPARE(refused.exitCode, 2);
    QCOMPARE(refused.out, QByteArray());
    QVERIFY2(refused.err.contains(reason), refused.err.constData());
    QVERIFY2(refused.err.contains("Try 'cl2velmora --help'"), refused.err.constData());
}

QTEST_GUILESS_MAIN(tst_app)
#include "tst_app.moc"
