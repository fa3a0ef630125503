#include "support/ProcessRun.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace velmora::test;

namespace {

const QString AppId = QStringLiteral(CL2VELMORA_APP_ID);
const QByteArray VersionLine("CL2 Velmora version " CL2VELMORA_VERSION "\n");

} // namespace

// Installs the build into a temporary prefix, as `cmake --install` does for a
// user or a package, and checks what lands there with the distribution's own
// validators.
class tst_install : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installsEveryFile_data();
    void installsEveryFile();
    void desktopEntryIsValid();
    void appStreamMetadataIsValid();
    void installedProgramsPrintTheVersion_data();
    void installedProgramsPrintTheVersion();
    void manualPagesCarryTheVersion_data();
    void manualPagesCarryTheVersion();
    void completionOffersEveryLongOption();

private:
    QString installed(const QString &relative) const { return m_prefix.filePath(relative); }

    QTemporaryDir m_prefix;
};

void tst_install::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    const ProcessRun install =
        runProcess(QStringLiteral(CMAKE_COMMAND),
                   {QStringLiteral("--install"), QStringLiteral(CL2VELMORA_BUILD_DIR),
                    QStringLiteral("--prefix"), m_prefix.path()});
    QVERIFY2(install.finished && install.exitCode == 0, install.err.constData());
}

void tst_install::installsEveryFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("iconSize"); // 0: not a PNG icon
    for (const char *program : {"cl2velmora", "cl2velmora-cli"}) {
        const QString name = QLatin1String(program);
        QTest::addRow("bin %s", program) << QStringLiteral("bin/") + name << 0;
        QTest::addRow("man %s", program)
            << QStringLiteral("share/man/man1/") + name + QStringLiteral(".1.gz") << 0;
    }
    QTest::newRow("desktop entry")
        << QStringLiteral("share/applications/") + AppId + QStringLiteral(".desktop") << 0;
    QTest::newRow("metainfo") << QStringLiteral("share/metainfo/") + AppId +
                                     QStringLiteral(".metainfo.xml")
                              << 0;
    QTest::newRow("scalable icon")
        << QStringLiteral("share/icons/hicolor/scalable/apps/") + AppId + QStringLiteral(".svg")
        << 0;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        QTest::addRow("icon %d", size)
            << QStringLiteral("share/icons/hicolor/%1x%1/apps/").arg(size) + AppId +
                   QStringLiteral(".png")
            << size;
    }
    QTest::newRow("bash completion")
        << QStringLiteral("share/bash-completion/completions/cl2velmora-cli") << 0;
    QTest::newRow("font licence") << QStringLiteral("share/doc/cl2velmora/LICENSE.LiberationSans")
                                  << 0;
}

void tst_install::installsEveryFile()
{
    QFETCH(QString, path);
    QFETCH(int, iconSize);
    const QFileInfo file(installed(path));
    QVERIFY2(file.isFile() && file.size() > 0, qPrintable(path));
    if (path.startsWith(QLatin1String("bin/"))) {
        QVERIFY(file.isExecutable());
    }
    if (iconSize > 0) {
        const QImage icon(file.filePath());
        QCOMPARE(icon.size(), QSize(iconSize, iconSize));
        QVERIFY(icon.hasAlphaChannel());
    }
}

void tst_install::desktopEntryIsValid()
{
    const QString entry =
        installed(QStringLiteral("share/applications/") + AppId + QStringLiteral(".desktop"));
    const ProcessRun validate = runProcess(QStringLiteral("desktop-file-validate"), {entry});
    QVERIFY2(validate.finished, validate.err.constData());
    // Hints count too: a clean entry prints nothing.
    QCOMPARE(validate.out + validate.err, QByteArray());
    QCOMPARE(validate.exitCode, 0);

    // It starts the installed program and shows the installed icon.
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains("\nExec=cl2velmora\n"));
    QVERIFY(text.contains(QByteArray("\nIcon=" + AppId.toUtf8() + "\n")));
}

void tst_install::appStreamMetadataIsValid()
{
    const QString name = AppId + QStringLiteral(".metainfo.xml");
    const ProcessRun file = runProcess(QStringLiteral("appstreamcli"),
                                       {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                        installed(QStringLiteral("share/metainfo/") + name)});
    QVERIFY2(file.finished, file.err.constData());
    QVERIFY2(file.exitCode == 0, QByteArray(file.out + file.err).constData());

    // The tree check also finds the desktop entry the metadata launches; it
    // passes an empty tree, so it must name the file it checked.
    const ProcessRun tree =
        runProcess(QStringLiteral("appstreamcli"),
                   {QStringLiteral("validate-tree"), QStringLiteral("--no-net"), m_prefix.path()});
    QVERIFY2(tree.finished, tree.err.constData());
    QVERIFY2(tree.exitCode == 0, QByteArray(tree.out + tree.err).constData());
    QVERIFY2(tree.out.contains(name.toUtf8()), tree.out.constData());
}

void tst_install::installedProgramsPrintTheVersion_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("windows") << QStringLiteral("bin/cl2velmora");
    QTest::newRow("command line") << QStringLiteral("bin/cl2velmora-cli");
}

void tst_install::installedProgramsPrintTheVersion()
{
    QFETCH(QString, program);
    const ProcessRun version =
        runProcess(installed(program), {QStringLiteral("--version")}, environmentWithoutDisplay());
    QVERIFY2(version.finished, version.err.constData());
    QCOMPARE(version.out, VersionLine);
    QCOMPARE(version.exitCode, 0);
}

void tst_install::manualPagesCarryTheVersion_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("cl2velmora") << QStringLiteral("share/man/man1/cl2velmora.1.gz");
    QTest::newRow("cl2velmora-cli") << QStringLiteral("share/man/man1/cl2velmora-cli.1.gz");
}

void tst_install::manualPagesCarryTheVersion()
{
    QFETCH(QString, page);
    const ProcessRun text =
        runProcess(QStringLiteral("gzip"), {QStringLiteral("-dc"), installed(page)});
    QVERIFY2(text.finished && text.exitCode == 0, text.err.constData());
    QVERIFY2(text.out.startsWith(".TH CL2VELMORA"), text.out.left(80).constData());
    QVERIFY(text.out.contains("\"CL2 Velmora " CL2VELMORA_VERSION "\""));
}

void tst_install::completionOffersEveryLongOption()
{
    const ProcessRun help =
        runProcess(installed(QStringLiteral("bin/cl2velmora-cli")), {QStringLiteral("--help")});
    QVERIFY2(help.finished && help.exitCode == 0, help.err.constData());
    QStringList options;
    const QRegularExpression longOption(QStringLiteral("(?<![\\w-])--[a-z][a-z-]*"));
    for (const QRegularExpressionMatch &match :
         longOption.globalMatch(QString::fromUtf8(help.out))) {
        if (!options.contains(match.captured())) {
            options.append(match.captured());
        }
    }
    QVERIFY(options.contains(QStringLiteral("--version")));

    // Each option completes from its first three characters, as bash would
    // offer it on Tab.
    const QString script = QStringLiteral(
        "source \"$1\" || exit 3\n"
        "shift\n"
        "for option; do\n"
        "  COMP_WORDS=(cl2velmora-cli \"${option:0:3}\"); COMP_CWORD=1; COMPREPLY=()\n"
        "  _cl2velmora_cli\n"
        "  printf '%s\\n' \"${COMPREPLY[@]}\"\n"
        "done\n");
    const ProcessRun completion = runProcess(
        QStringLiteral("bash"),
        QStringList{QStringLiteral("-c"), script, QStringLiteral("bash"),
                    installed(QStringLiteral("share/bash-completion/completions/cl2velmora-cli"))} +
            options);
    QVERIFY2(completion.finished && completion.exitCode == 0, completion.err.constData());
    const QStringList offered = QString::fromUtf8(completion.out).split(u'\n');
    for (const QString &option : options) {
        QVERIFY2(offered.contains(option), qPrintable(option + QLatin1String(" is not offered")));
    }
}

QTEST_GUILESS_MAIN(tst_install)
#include "tst_install.moc"
