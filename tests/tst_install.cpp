#include "support/ProcessRun.h"

#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace velmora::test;
using namespace Qt::StringLiterals;

// Installs the build into a temporary prefix, as `cmake --install` does for a
// user or a package, and checks what lands there with the distribution's own
// validators.
class tst_install : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid());
        const ProcessRun install = runProcess(
            QStringLiteral(CMAKE_COMMAND),
            {u"--install"_s, QStringLiteral(CL2VELMORA_BUILD_DIR), u"--prefix"_s, m_prefix.path()});
        QVERIFY2(install.finished && install.exitCode == 0, install.err.constData());
    }

    void installsEveryFile()
    {
        // The programs and manual pages are read by the next test.
        for (const QString &path :
             {u"share/icons/hicolor/scalable/apps/" CL2VELMORA_APP_ID ".svg"_s,
              u"share/bash-completion/completions/cl2velmora-cli"_s,
              u"share/doc/cl2velmora/LICENSE.LiberationSans"_s}) {
            const QFileInfo file(m_prefix.filePath(path));
            QVERIFY2(file.isFile() && file.size() > 0 && !file.isExecutable(), qPrintable(path));
        }
        for (int size : {16, 32, 48, 64, 128, 256}) {
            const QImage icon(m_prefix.filePath(u"share/icons/hicolor/%1x%1/apps/" CL2VELMORA_APP_ID
                                                ".png"_s.arg(size)));
            QVERIFY(icon.size() == QSize(size, size) && icon.hasAlphaChannel());
        }
    }

    void validatorsPass()
    {
        // Hints count too: a clean desktop entry prints nothing.
        const ProcessRun entry =
            runProcess(u"desktop-file-validate"_s, {m_prefix.filePath(desktop)});
        QVERIFY2(entry.finished && entry.exitCode == 0 && entry.out + entry.err == "",
                 QByteArray(entry.out + entry.err).constData());
        // The tree check validates the metadata and finds the desktop entry it
        // launches; it passes an empty tree, so it must name the file it checked.
        const ProcessRun tree =
            runProcess(u"appstreamcli"_s, {u"validate-tree"_s, u"--no-net"_s, m_prefix.path()});
        QVERIFY2(tree.finished && tree.exitCode == 0 &&
                     tree.out.contains(QByteArray(CL2VELMORA_APP_ID ".metainfo.xml")),
                 QByteArray(tree.out + tree.err).constData());
        // It starts the installed program and shows the installed icon.
        QFile file(m_prefix.filePath(desktop));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("\nExec=cl2velmora\n") &&
                text.contains("\nIcon=" CL2VELMORA_APP_ID "\n"));
    }

    void programsAndManualPagesCarryTheVersion()
    {
        for (const QString &program : {u"cl2velmora"_s, u"cl2velmora-cli"_s}) {
            const ProcessRun version = runProcess(m_prefix.filePath(u"bin/"_s + program),
                                                  {u"--version"_s}, environmentWithoutDisplay());
            QVERIFY2(version.finished && version.exitCode == 0, version.err.constData());
            QCOMPARE(version.out, QByteArray("CL2 Velmora version " CL2VELMORA_VERSION "\n"));
            const ProcessRun page = runProcess(
                u"gzip"_s, {u"-dc"_s, m_prefix.filePath(u"share/man/man1/%1.1.gz"_s.arg(program))});
            QVERIFY2(page.out.startsWith(".TH CL2VELMORA") &&
                         page.out.contains("\"CL2 Velmora " CL2VELMORA_VERSION "\""),
                     page.out.left(80).constData());
        }
    }

private:
    const QString desktop = u"share/applications/" CL2VELMORA_APP_ID ".desktop"_s;
    QTemporaryDir m_prefix;
};

QTEST_GUILESS_MAIN(tst_install)
#include "tst_install.moc"
