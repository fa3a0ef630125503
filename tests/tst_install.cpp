#include "support/ProcessRun.h"

#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

const QString AppId = QStringLiteral(CL2VELMORA_APP_ID);
const QStringList Programs{u"cl2velmora"_s, u"cl2velmora-cli"_s};

} // namespace

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
        QStringList paths{u"share/applications/%1.desktop"_s.arg(AppId),
                          u"share/metainfo/%1.metainfo.xml"_s.arg(AppId),
                          u"share/icons/hicolor/scalable/apps/%1.svg"_s.arg(AppId),
                          u"share/bash-completion/completions/cl2velmora-cli"_s,
                          u"share/doc/cl2velmora/LICENSE.LiberationSans"_s};
        for (const QString &program : Programs) {
            paths << u"bin/"_s + program << u"share/man/man1/%1.1.gz"_s.arg(program);
        }
        for (const QString &path : std::as_const(paths)) {
            const QFileInfo file(installed(path));
            QVERIFY2(file.isFile() && file.size() > 0, qPrintable(path));
            QVERIFY2(file.isExecutable() == path.startsWith(u"bin/"_s), qPrintable(path));
        }
        for (int size : {16, 32, 48, 64, 128, 256}) {
            const QImage icon(
                installed(u"share/icons/hicolor/%1x%1/apps/%2.png"_s.arg(size).arg(AppId)));
            QCOMPARE(icon.size(), QSize(size, size));
            QVERIFY(icon.hasAlphaChannel());
        }
    }

    void validatorsPass()
    {
        // Hints count too: a clean desktop entry prints nothing.
        const ProcessRun entry = runProcess(
            u"desktop-file-validate"_s, {installed(u"share/applications/%1.desktop"_s.arg(AppId))});
        QVERIFY2(entry.finished && entry.exitCode == 0 && entry.out + entry.err == "",
                 QByteArray(entry.out + entry.err).constData());
        // The tree check validates the metadata and finds the desktop entry it
        // launches; it passes an empty tree, so it must name the file it checked.
        const ProcessRun tree =
            runProcess(u"appstreamcli"_s, {u"validate-tree"_s, u"--no-net"_s, m_prefix.path()});
        QVERIFY2(tree.finished && tree.exitCode == 0 &&
                     tree.out.contains(QByteArray(CL2VELMORA_APP_ID ".metainfo.xml")),
                 QByteArray(tree.out + tree.err).constData());
    }

    void programsAndManualPagesCarryTheVersion()
    {
        for (const QString &program : Programs) {
            const ProcessRun version = runProcess(installed(u"bin/"_s + program), {u"--version"_s},
                                                  environmentWithoutDisplay());
            QVERIFY2(version.finished && version.exitCode == 0, version.err.constData());
            QCOMPARE(version.out, QByteArray("CL2 Velmora version " CL2VELMORA_VERSION "\n"));
            const ProcessRun page = runProcess(
                u"gzip"_s, {u"-dc"_s, installed(u"share/man/man1/%1.1.gz"_s.arg(program))});
            QVERIFY2(page.out.startsWith(".TH CL2VELMORA"), page.out.left(80).constData());
            QVERIFY(page.out.contains("\"CL2 Velmora " CL2VELMORA_VERSION "\""));
        }
        // The desktop entry starts the installed program and shows the installed icon.
        QFile entry(installed(u"share/applications/%1.desktop"_s.arg(AppId)));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QByteArray text = entry.readAll();
        QVERIFY(text.contains("\nExec=cl2velmora\n") &&
                text.contains("\nIcon=" CL2VELMORA_APP_ID "\n"));
    }

private:
    QString installed(const QString &relative) const { return m_prefix.filePath(relative); }

    QTemporaryDir m_prefix;
};

QTEST_GUILESS_MAIN(tst_install)
#include "tst_install.moc"
