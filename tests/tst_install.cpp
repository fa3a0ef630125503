#include "support/ProcessRun.h"

#include <QDir>
#include <QFile>
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
            const ProcessRun done = runProcess(program, arguments);
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
        for (int size : {16, 32, 48, 64, 128, 256}) {
            const QImage icon(prefix.filePath(u"share/icons/hicolor/%1x%1/apps/" CL2VELMORA_APP_ID
                                              ".png"_s.arg(size)));
            QVERIFY(icon.size() == QSize(size, size) && icon.hasAlphaChannel());
        }
        // The built-in font's licence travels with the program.
        QVERIFY(QFile::exists(prefix.filePath(u"share/doc/cl2velmora/LICENSE.LiberationSans"_s)));
        for (const QString &program : {u"cl2velmora"_s, u"cl2velmora-cli"_s}) {
            QCOMPARE(run(prefix.filePath(u"bin/"_s + program), {u"--version"_s}),
                     QByteArray("CL2 Velmora version " CL2VELMORA_VERSION "\n"));
        }
    }

    // What the tests and the benchmark use to kill, stop or drive a program,
    // or to run it without its journal, is not in what is installed.
    void installedProgramsHaveNoTestHooks()
    {
        QTemporaryDir prefix;
        const ProcessRun install = runProcess(
            QStringLiteral(CMAKE_COMMAND),
            {u"--install"_s, QStringLiteral(CL2VELMORA_BUILD_DIR), u"--prefix"_s, prefix.path()});
        QVERIFY2(install.finished && install.exitCode == 0, install.err.constData());
        const QDir bin(prefix.filePath(u"bin"_s));
        QCOMPARE(bin.entryList(QDir::Files), (QStringList{u"cl2velmora"_s, u"cl2velmora-cli"_s}));
        for (const QString &program : bin.entryList(QDir::Files)) {
            QFile file(bin.filePath(program));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QCOMPARE(bytes.mid(1, 3), QByteArray("ELF"));
            // Names are in the program as bytes or, as QStringLiteral makes
            // them, in UTF-16.
            for (const QString &name : {u"CL2VELMORA_"_s, u"VELMORA_FAULT"_s, u"no-journal"_s}) {
                const QByteArray utf16(reinterpret_cast<const char *>(name.utf16()),
                                       name.size() * 2);
                QVERIFY2(!bytes.contains(name.toLatin1()) && !bytes.contains(utf16),
                         qPrintable(program + u": "_s + name));
            }
        }
    }
};

QTEST_GUILESS_MAIN(tst_install)
#include "tst_install.moc"
