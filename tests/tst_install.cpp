#include "support/Cl2Fixture.h"
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
    void installedFilesPassTheValidators()
    {
        QTemporaryDir prefix;
        const auto run = [&](const QString &program, const QStringList &arguments) {
            const ProcessRun done = runProcess(program, arguments, environmentWithoutDisplay());
            const QByteArray out = done.out + done.err;
            [&] { QVERIFY2(done.finished && done.exitCode == 0, out.constData()); }();
            return out;
        };
        run(QStringLiteral(CMAKE_COMMAND),
            {u"--install"_s, QStringLiteral(CL2VELMORA_BUILD_DIR), u"--prefix"_s, prefix.path()});
        // Hints count too: a clean desktop entry prints nothing.
        const QString desktop =
            prefix.filePath(u"share/applications/" CL2VELMORA_APP_ID ".desktop"_s);
        QCOMPARE(run(u"desktop-file-validate"_s, {desktop}), QByteArray());
        // The tree check validates the metadata and finds the desktop entry it
        // launches; it passes an empty tree, so it must name the file it checked.
        QVERIFY(run(u"appstreamcli"_s, {u"validate-tree"_s, u"--no-net"_s, prefix.path()})
                    .contains(CL2VELMORA_APP_ID ".metainfo.xml"));
        // The entry starts the installed program and shows the installed icon.
        const QByteArray entry = readFile(desktop);
        QVERIFY(entry.contains("\nExec=cl2velmora\n") &&
                entry.contains("\nIcon=" CL2VELMORA_APP_ID "\n"));
        for (int size : {16, 32, 48, 64, 128, 256}) {
            const QImage icon(prefix.filePath(u"share/icons/hicolor/%1x%1/apps/" CL2VELMORA_APP_ID
                                              ".png"_s.arg(size)));
            QVERIFY(icon.size() == QSize(size, size) && icon.hasAlphaChannel());
        }
        for (const QString &path :
             {u"share/icons/hicolor/scalable/apps/" CL2VELMORA_APP_ID ".svg"_s,
              u"share/bash-completion/completions/cl2velmora-cli"_s,
              u"share/doc/cl2velmora/LICENSE.LiberationSans"_s}) {
            QVERIFY2(QFileInfo(prefix.filePath(path)).size() > 0, qPrintable(path));
        }
        // Both programs and their manual pages carry the version.
        for (const QString &program : {u"cl2velmora"_s, u"cl2velmora-cli"_s}) {
            QCOMPARE(run(prefix.filePath(u"bin/"_s + program), {u"--version"_s}),
                     QByteArray("CL2 Velmora version " CL2VELMORA_VERSION "\n"));
            const QByteArray page = run(
                u"gzip"_s, {u"-dc"_s, prefix.filePath(u"share/man/man1/%1.1.gz"_s.arg(program))});
            QVERIFY2(page.startsWith(".TH CL2VELMORA") &&
                         page.contains("\"CL2 Velmora " CL2VELMORA_VERSION "\""),
                     page.left(80).constData());
        }
    }
};

QTEST_GUILESS_MAIN(tst_install)
#include "tst_install.moc"
