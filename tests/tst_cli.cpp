// The command-line program, run as a real process on files in a temporary folder.
#include "support/Cl2Fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <unistd.h>

using namespace velmora::test;

namespace {

struct CliRun
{
    bool finished = false; // ended by itself, not by a signal or a timeout
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

CliRun runCli(const QStringList &arguments, const std::function<void()> &childSetup = {})
{
    QProcess process;
    process.setProgram(QStringLiteral(CL2VELMORA_CLI_PATH));
    process.setArguments(arguments);
    if (childSetup) {
        process.setChildProcessModifier(childSetup);
    }
    process.start();
    CliRun run;
    run.finished = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QByteArray convertedLine(const QString &path)
{
    return (realignedLine(path) + u'\n').toUtf8();
}

QByteArray notEightDirectionsOutput(const QString &path)
{
    return (notEightDirectionsLine(path) + u'\n').toUtf8();
}

QByteArray filePrefix(const char *status, const QString &path)
{
    return (QLatin1String(status) + QLatin1String("File (") + path + QLatin1String(") ")).toUtf8();
}

QList<QByteArray> outputLines(const QByteArray &out)
{
    QList<QByteArray> lines = out.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

// A tree for the folder runs: matches in the top folder, in a folder whose own
// name looks like a match, and one level down with mixed-case extensions,
// besides names that must be left alone.
struct FolderTree
{
    QString root;
    QStringList matches;   // in search order
    QStringList leftAlone; // must keep their bytes whatever the run
    QString badMatch;      // the one match that is not an 8-direction file
};

FolderTree makeFolderTree(const QString &root)
{
    FolderTree tree;
    tree.root = root;
    QDir(root).mkpath(QStringLiteral("data.cl2"));
    QDir(root).mkpath(QStringLiteral("sub"));
    const QByteArray good = makeEightDirectionCl2(2);
    const auto add = [&](const QString &name, const QByteArray &bytes) {
        const QString path = root + QLatin1Char('/') + name;
        writeFile(path, bytes);
        return path;
    };
    tree.matches << add(QStringLiteral("a.cl2"), good)
                 << add(QStringLiteral("data.cl2/inner.Cl2"), makeEightDirectionCl2(4))
                 << add(QStringLiteral("sub/B.CL2"), good);
    tree.badMatch = add(QStringLiteral("sub/c.cl2"), makeSingleDirectionCl2(3));
    tree.matches << tree.badMatch;
    tree.leftAlone << add(QStringLiteral("x.cl2.bak"), good)
                   << add(QStringLiteral("readme.txt"), QByteArrayLiteral("not a sprite\n"))
                   << add(QStringLiteral("sub/y.cl2x"), good);
    return tree;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // The program's journal goes here, not into the home folder.
        QVERIFY(m_state.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
    }
    void convertsGoodFile_data();
    void convertsGoodFile();
    void reportsEachPathInOrder();
    void missingPathIsReportedNotCreated();
    void usageError_data();
    void usageError();
    void dryRunWritesNothing_data();
    void dryRunWritesNothing();
    void undoRestoresOriginalBytes_data();
    void undoRestoresOriginalBytes();
    void printsVersionAndHelp();
    void convertsFolderTree_data();
    void convertsFolderTree();
    void folderMaskChoosesFiles();
    void emptyFolderIsAnError();
    void fileNamedTwiceIsConvertedOnce_data();
    void fileNamedTwiceIsConvertedOnce();
    void closedOutputEndsWithoutSignal();

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_state;
    QString path(const QString &name) const { return m_dir.filePath(name); }
};

void TestCli::convertsGoodFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("frames");

    // A named file is converted whatever its name; the line shows it verbatim.
    QTest::newRow("spaces and parentheses") << QStringLiteral("my hero (copy 2).cl2") << 1;
    QTest::newRow("non-ASCII name, no extension") << QStringLiteral("héros ünd 日本") << 40;
}

void TestCli::convertsGoodFile()
{
    QFETCH(QString, name);
    QFETCH(int, frames);
    const QString file = path(name);
    const QByteArray before = makeEightDirectionCl2(frames);
    QVERIFY(writeFile(file, before));

    const CliRun run = runCli({file});

    QVERIFY2(run.finished, run.err.constData());
    QCOMPARE(run.out, convertedLine(file));
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    const QByteArray after = readFile(file);
    QCOMPARE(after.size(), before.size());
    QVERIFY(after != before);
    QCOMPARE(framesBySlot(after), slotsAfterConversion(before));
}

void TestCli::reportsEachPathInOrder()
{
    const QString good = path(QStringLiteral("order-good.cl2"));
    const QString bad = path(QStringLiteral("order-bad.cl2"));
    const QString good2 = path(QStringLiteral("order-good2.cl2"));
    const QByteArray before = makeEightDirectionCl2(3);
    const QByteArray badBytes = makeSingleDirectionCl2(3);
    QVERIFY(writeFile(good, before));
    QVERIFY(writeFile(bad, badBytes));
    QVERIFY(writeFile(good2, before));

    const CliRun run = runCli({good, bad, good2});

    QVERIFY2(run.finished, run.err.constData());
    QCOMPARE(run.out, convertedLine(good) + notEightDirectionsOutput(bad) + convertedLine(good2));
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(framesBySlot(readFile(good)), slotsAfterConversion(before));
    QCOMPARE(readFile(good2), readFile(good));
    QCOMPARE(readFile(bad), badBytes);
}

void TestCli::missingPathIsReportedNotCreated()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    const QString missing = empty.filePath(QStringLiteral("absent.cl2"));

    const CliRun run = runCli({missing});

    QVERIFY2(run.finished, run.err.constData());
    QVERIFY2(run.out.startsWith(filePrefix("ERROR: ", missing)), run.out.constData());
    QCOMPARE(run.out.count('\n'), 1);
    QCOMPARE(run.exitCode, 1);
    QVERIFY(!QFileInfo::exists(missing));
    QCOMPARE(QDir(empty.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

void TestCli::usageError_data()
{
    QTest::addColumn<QStringList>("arguments"); // FILE stands for a convertible file

    const QString file = QStringLiteral("FILE");
    QTest::newRow("no arguments") << QStringList();
    QTest::newRow("options but no path") << QStringList{QStringLiteral("--dry-run")};
    QTest::newRow("unknown long option") << QStringList{QStringLiteral("--frobnicate"), file};
    QTest::newRow("unknown short option") << QStringList{QStringLiteral("-x"), file};
    QTest::newRow("mask without its list") << QStringList{file, QStringLiteral("--mask")};
}

void TestCli::usageError()
{
    QFETCH(QStringList, arguments);
    const QString file = path(QStringLiteral("usage.cl2"));
    const QByteArray bytes = makeEightDirectionCl2(2);
    QVERIFY(writeFile(file, bytes));
    arguments.replaceInStrings(QStringLiteral("FILE"), file);

    const CliRun run = runCli(arguments);

    QVERIFY2(run.finished, run.err.constData());
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.contains("--help"), run.err.constData());
    QCOMPARE(readFile(file), bytes);
}

void TestCli::dryRunWritesNothing_data()
{
    QTest::addColumn<QStringList>("options");

    QTest::newRow("-n") << QStringList{QStringLiteral("-n")};
    QTest::newRow("--dry-run") << QStringList{QStringLiteral("--dry-run")};
    QTest::newRow("--dry-run --undo")
        << QStringList{QStringLiteral("--dry-run"), QStringLiteral("--undo")};
}

void TestCli::dryRunWritesNothing()
{
    QFETCH(QStringList, options);
    const QString file = path(QStringLiteral("dry run.cl2"));
    const QByteArray bytes = makeEightDirectionCl2(3);
    QVERIFY(writeFile(file, bytes));

    const CliRun run = runCli(options << file);

    QVERIFY2(run.finished, run.err.constData());
    QVERIFY2(run.out.startsWith(filePrefix("SUCCESS: ", file)), run.out.constData());
    QCOMPARE(run.out.count('\n'), 1);
    QVERIFY(run.out != convertedLine(file)); // it must not claim to have written
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(readFile(file), bytes);
}

void TestCli::undoRestoresOriginalBytes_data()
{
    QTest::addColumn<QString>("undoOption");
    QTest::addColumn<int>("conversions");
    QTest::addColumn<QByteArray>("original");

    // A second conversion needs the group now first to hold as many frames as
    // the first; a file with uneven groups is refused then, not damaged.
    const QByteArray uneven = makeEightDirectionCl2({3, 3, 4, 2, 5, 1, 6, 3});
    QTest::newRow("-u after one") << QStringLiteral("-u") << 1 << uneven;
    QTest::newRow("--undo after one") << QStringLiteral("--undo") << 1 << uneven;
    QTest::newRow("--undo twice after two")
        << QStringLiteral("--undo") << 2 << makeEightDirectionCl2(4);
}

void TestCli::undoRestoresOriginalBytes()
{
    QFETCH(QString, undoOption);
    QFETCH(int, conversions);
    QFETCH(QByteArray, original);
    const QString file = path(QStringLiteral("undo.cl2"));
    QVERIFY(writeFile(file, original));

    for (int i = 0; i < conversions; ++i) {
        const CliRun run = runCli({file});
        QVERIFY2(run.finished, run.err.constData());
        QCOMPARE(run.exitCode, 0);
    }
    QVERIFY(readFile(file) != original);
    for (int i = 0; i < conversions; ++i) {
        const CliRun run = runCli({undoOption, file});
        QVERIFY2(run.finished, run.err.constData());
        QVERIFY2(run.out.startsWith(filePrefix("SUCCESS: ", file)), run.out.constData());
        QCOMPARE(run.exitCode, 0);
    }
    QCOMPARE(readFile(file), original);
}

void TestCli::printsVersionAndHelp()
{
    const CliRun version = runCli({QStringLiteral("--version")});
    QVERIFY(version.finished);
    QCOMPARE(version.out, QByteArray("CL2 Velmora version 1.1.0\n"));
    QCOMPARE(version.exitCode, 0);

    const CliRun help = runCli({QStringLiteral("--help")});
    QVERIFY(help.finished);
    QCOMPARE(help.exitCode, 0);
    QVERIFY2(help.out.startsWith("Usage: cl2velmora-cli [options] PATH..."), help.out.constData());
    for (const char *option : {"--dry-run", "--undo", "--mask", "--version"}) {
        QVERIFY2(help.out.contains(option), option);
    }
}

void TestCli::convertsFolderTree_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("writes");
    QTest::addColumn<QString>("success"); // what a success line says after the path

    QTest::newRow("convert") << QStringList() << true
                             << QStringLiteral("directions were realigned");
    QTest::newRow("dry run") << QStringList{QStringLiteral("--dry-run")} << false
                             << QStringLiteral("directions would be realigned");
}

void TestCli::convertsFolderTree()
{
    QFETCH(QStringList, options);
    QFETCH(bool, writes);
    QFETCH(QString, success);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const FolderTree tree = makeFolderTree(dir.path());
    QHash<QString, QByteArray> before;
    for (const QString &file : tree.matches + tree.leftAlone) {
        before.insert(file, readFile(file));
    }

    const CliRun run = runCli(options << tree.root);

    QVERIFY2(run.finished, run.err.constData());
    QList<QByteArray> expected{QByteArrayLiteral("SUCCESS: (4) files were found on (") +
                               tree.root.toUtf8() + QByteArrayLiteral(") and subfolders")};
    for (const QString &file : tree.matches) {
        expected.append(file == tree.badMatch ? notEightDirectionsOutput(file).chopped(1)
                                              : filePrefix("SUCCESS: ", file) + success.toUtf8());
    }
    QCOMPARE(outputLines(run.out), expected);
    QCOMPARE(run.err, QByteArray()); // no status line when standard error is not a terminal
    QCOMPARE(run.exitCode, 1);
    for (const QString &file : tree.matches) {
        if (writes && file != tree.badMatch) {
            QCOMPARE(framesBySlot(readFile(file)), slotsAfterConversion(before[file]));
        } else {
            QCOMPARE(readFile(file), before[file]);
        }
    }
    for (const QString &file : tree.leftAlone) {
        QCOMPARE(readFile(file), before[file]);
    }
}

void TestCli::folderMaskChoosesFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const FolderTree tree = makeFolderTree(dir.path());
    const QString chosen = tree.root + QStringLiteral("/sub/B.CL2");
    const QByteArray chosenBefore = readFile(chosen);

    const CliRun run = runCli({QStringLiteral("--mask"), QStringLiteral("b*"), tree.root});

    QVERIFY2(run.finished, run.err.constData());
    const QList<QByteArray> lines = outputLines(run.out);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith("SUCCESS: (1) "), lines[0].constData());
    QVERIFY2(lines[0].contains(tree.root.toUtf8()), lines[0].constData());
    QCOMPARE(lines[1] + '\n', convertedLine(chosen));
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(framesBySlot(readFile(chosen)), slotsAfterConversion(chosenBefore));
    QCOMPARE(readFile(tree.matches.first()), makeEightDirectionCl2(2)); // a.cl2 not chosen
}

void TestCli::emptyFolderIsAnError()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(dir.filePath(QStringLiteral("notes.txt")), makeEightDirectionCl2(2)));

    const CliRun run = runCli({dir.path()});

    QVERIFY2(run.finished, run.err.constData());
    QCOMPARE(run.out, QByteArrayLiteral("ERROR: No *.cl2 files were found on (") +
                          dir.path().toUtf8() + QByteArrayLiteral(") and subfolders\n"));
    QCOMPARE(run.exitCode, 1);
}

void TestCli::fileNamedTwiceIsConvertedOnce_data()
{
    QTest::addColumn<QString>("secondName"); // how the second argument reaches the file

    QTest::newRow("same spelling") << QStringLiteral("twice.cl2");
    QTest::newRow("through ./") << QStringLiteral("./twice.cl2");
    QTest::newRow("symbolic link") << QStringLiteral("link-to-twice.cl2");
}

void TestCli::fileNamedTwiceIsConvertedOnce()
{
    QFETCH(QString, secondName);
    const QString file = path(QStringLiteral("twice.cl2"));
    const QByteArray before = makeEightDirectionCl2(3);
    QVERIFY(writeFile(file, before));
    const QString second = path(secondName);
    if (secondName.startsWith(QLatin1String("link"))) {
        QFile::remove(second);
        QVERIFY(QFile::link(file, second));
    }

    const CliRun run = runCli({file, second});

    QVERIFY2(run.finished, run.err.constData());
    const QList<QByteArray> lines = outputLines(run.out);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0] + '\n', convertedLine(file));
    QVERIFY2(lines[1].contains(second.toUtf8()), lines[1].constData());
    QCOMPARE(framesBySlot(readFile(file)), slotsAfterConversion(before));
}

void TestCli::closedOutputEndsWithoutSignal()
{
    const QString file = path(QStringLiteral("closed output.cl2"));
    QVERIFY(writeFile(file, makeEightDirectionCl2(2)));

    // Standard output becomes a pipe nobody reads, as after `| head -1` has
    // left; a broken pipe keeps its default deadly signal in the child.
    const CliRun run = runCli({file}, [] {
        int ends[2];
        if (::pipe(ends) != 0) {
            ::_exit(99);
        }
        ::close(ends[0]);
        ::dup2(ends[1], STDOUT_FILENO);
        ::close(ends[1]);
        std::signal(SIGPIPE, SIG_DFL);
    });

    QVERIFY2(run.finished, "killed by a signal or timed out");
    QCOMPARE(run.exitCode, 1);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
