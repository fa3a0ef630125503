#include "support/Cl2Fixture.h"
#include "support/ProcessRun.h"

#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

// What a program printed on either stream; from a run that failed, text that
// no check expects.
QByteArray outputOf(const QString &program, const QStringList &arguments)
{
    const ProcessRun run = runProcess(program, arguments);
    return (run.finished && run.exitCode == 0 ? "" : "failed: ") + run.out + run.err;
}

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
        const QByteArray output = outputOf(
            QStringLiteral(CMAKE_COMMAND),
            {u"--install"_s, QStringLiteral(CL2VELMORA_BUILD_DIR), u"--prefix"_s, m_prefix.path()});
        QVERIFY2(!output.startsWith("failed: "), output.constData());
    }

    void installedFilesPassTheValidators()
    {
        // Hints count too: a clean desktop entry prints nothing.
        QCOMPARE(
            outputOf(u"desktop-file-validate"_s,
                     {m_prefix.filePath(u"share/applications/" CL2VELMORA_APP_ID ".desktop"_s)}),
            QByteArray());
        // The tree check validates the metadata and finds the desktop entry it
        // launches; it passes an empty tree, so it must name the file it checked.
        const QByteArray tree =
            outputOf(u"appstreamcli"_s, {u"validate-tree"_s, u"--no-net"_s, m_prefix.path()});
        QVERIFY2(tree.startsWith(CL2VELMORA_APP_ID ".metainfo.xml"), tree.constData());
        for (int size : {16, 32, 48, 64, 128, 256}) {
            const QImage icon(m_prefix.filePath(u"share/icons/hicolor/%1x%1/apps/" CL2VELMORA_APP_ID
                                                ".png"_s.arg(size)));
            QVERIFY(icon.size() == QSize(size, size) && icon.hasAlphaChannel());
        }
        // The built-in font's licence travels with the program.
        const QDir doc(m_prefix.filePath(u"share/doc/cl2velmora"_s));
        QVERIFY(doc.exists(u"LICENSE.LiberationSans"_s) && doc.exists(u"changelog.Debian.gz"_s));
        // The package's copyright file, in the machine-readable form: each
        // licence the files name has a paragraph of its own, its text indented
        // to its end.
        const QString text = QString::fromUtf8(readFile(doc.filePath(u"copyright"_s)));
        const QRegularExpression form(
            u"^Format: .+(\n.+)*\n\nFiles: .+(\n.+)*\nLicense: MIT(\n.+)*\n\nFiles: .+(\n.+)*"
            u"\nLicense: OFL-1.1(\n.+)*\n\nLicense: MIT\n Permission is hereby granted.*(\n .+)*"
            u"\n\nLicense: OFL-1.1\n SIL OPEN FONT LICENSE Version 1.1.*(\n .+)*\n?$"_s);
        QVERIFY2(form.match(text).hasMatch(), qPrintable(text));
    }

    // Only the two programs are installed, each answers --version, and what
    // the tests and the benchmark use to kill, stop or drive a program, or to
    // run it without its journal, is not in them.
    void installedProgramsHaveNoTestHooks()
    {
        const QDir bin(m_prefix.filePath(u"bin"_s));
        QCOMPARE(bin.entryList(QDir::Files), (QStringList{u"cl2velmora"_s, u"cl2velmora-cli"_s}));
        for (const QString &program : bin.entryList(QDir::Files)) {
            QCOMPARE(outputOf(bin.filePath(program), {u"--version"_s}),
                     QByteArray("CL2 Velmora version " CL2VELMORA_VERSION "\n"));
            const QByteArray bytes = readFile(bin.filePath(program));
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

private:
    QTemporaryDir m_prefix;
};

QTEST_GUILESS_MAIN(tst_install)
#include "tst_install.moc"
