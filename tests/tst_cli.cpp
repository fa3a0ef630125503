// The command-line program, run as a real process on files in a temporary folder.
#include "support/Cl2Fixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

struct CliRun
{
    bool finished = false; // ended by itself, not by a signal or a timeout
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

CliRun runCli(const QStringList &arguments, const std::function<void()> &childSetup = {},
              const QString &workingDirectory = {})
{
    QProcess process;
    process.setProgram(QStringLiteral(CL2VELMORA_CLI_PATH));
    process.setArguments(arguments);
    process.setWorkingDirectory(workingDirectory);
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

// Runs the child as an unprivileged user when the tests run as root, so that
// permissions are what an ordinary user meets.
void becomeNobody()
{
    if (::getuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
        ::_exit(98);
    }
}

// Whether the process with this id is stopped (as by SIGSTOP).
bool isSuspended(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')');
    return end > 0 && line.mid(end + 2, 1) == "T";
}

qsizetype countLines(const QByteArray &out, const QByteArray &ending)
{
    qsizetype n = 0;
    for (const QByteArray &line : outputLines(out)) {
        n += line.endsWith(ending) ? 1 : 0;
    }
    return n;
}

// Writes a file an ordinary user may rewrite.
bool writeShared(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0666);
    const bool ok = fd >= 0 && ::fchmod(fd, 0666) == 0 &&
                    ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

// A tree with every kind of file a batch meets: good files in several
// folders, refused ones, a long table past the first read, a hard and a
// symbolic link to good files, a link back to the top (a loop), and a folder
// that cannot be listed.
bool makeMixedTree(const QByteArray &root)
{
    const auto at = [&root](const QByteArray &name) { return QByteArray(root + name); };
    bool ok = ::chmod(root.constData(), 0755) == 0;
    for (const char *folder : {"/a", "/a/deep", "/b", "/locked"}) {
        ok = ok && ::mkdir(at(folder).constData(), 0777) == 0;
    }
    for (int i = 0; i < 24; ++i) {
        const char *folder = i % 3 == 0 ? "/a/" : i % 3 == 1 ? "/b/" : "/a/deep/";
        ok = ok && writeShared(at(folder + QByteArray::number(i) + ".cl2"),
                               makeEightDirectionCl2(1 + i % 4));
    }
    // Its first table runs past the end: the file is refused after a second read.
    QByteArray cut = makeEightDirectionCl2(1500);
    cut.truncate(5000);
    ok = ok && writeShared(at("/single.cl2"), makeSingleDirectionCl2(3)) &&
         writeShared(at("/cut.cl2"), cut) &&
         writeShared(at("/long.cl2"), makeEightDirectionCl2(1500)) &&
         writeShared(at("/locked/hidden.cl2"), makeEightDirectionCl2(2)) &&
         ::link(at("/a/0.cl2").constData(), at("/b/hard.cl2").constData()) == 0 &&
         ::symlink("../a/deep/2.cl2", at("/b/soft.cl2").constData()) == 0 &&
         ::symlink("..", at("/b/loop").constData()) == 0;
    return ok && ::chmod(at("/locked").constData(), 0) == 0;
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
    void overlappingArgumentsConvertEachFileOnce_data();
    void overlappingArgumentsConvertEachFileOnce();
    void foldersThatCannotBeListedAreReported_data();
    void foldersThatCannotBeListedAreReported();
    void stopSignalEndsTheBatchBetweenFiles_data();
    void stopSignalEndsTheBatchBetweenFiles();
    void severalJobsGiveWhatOneJobGives_data();
    void severalJobsGiveWhatOneJobGives();

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
    for (const QString &option : {QStringLiteral("--version"), QStringLiteral("-v")}) {
        const CliRun version = runCli({option});
        QVERIFY(version.finished);
        QCOMPARE(version.out, QByteArray("CL2 Velmora version 1.1.0\n"));
        QCOMPARE(version.exitCode, 0);
    }

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

void TestCli::overlappingArgumentsConvertEachFileOnce_data()
{
    // In a folder holding d/a.cl2, d/sub/b.cl2 and link -> d.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("repeats"); // names that reach a file already converted

    QTest::newRow("same folder twice") << QStringList{u"d"_s, u"d"_s} << 2;
    QTest::newRow("folder and folder/") << QStringList{u"d"_s, u"d/"_s} << 2;
    QTest::newRow("folder, then a file in it") << QStringList{u"d"_s, u"d/a.cl2"_s} << 1;
    QTest::newRow("a file, then its folder") << QStringList{u"d/a.cl2"_s, u"d"_s} << 1;
    QTest::newRow("folder, then its subfolder") << QStringList{u"d"_s, u"d/sub"_s} << 1;
    QTest::newRow("subfolder, then its folder") << QStringList{u"d/sub"_s, u"d"_s} << 1;
    QTest::newRow("link to the folder beside it") << QStringList{u"d"_s, u"link"_s} << 2;
    QTest::newRow("a file through the link, then the folder")
        << QStringList{u"link/sub/b.cl2"_s, u"d"_s} << 1;
    QTest::newRow("bind mount") << QStringList{u"d"_s, u"mnt"_s} << 2;
}

void TestCli::overlappingArgumentsConvertEachFileOnce()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, repeats);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QDir root(dir.path());
    QVERIFY(root.mkpath(u"d/sub"_s));
    const QByteArray before = makeEightDirectionCl2(3);
    QVERIFY(writeFile(root.filePath(u"d/a.cl2"_s), before));
    QVERIFY(writeFile(root.filePath(u"d/sub/b.cl2"_s), before));
    QVERIFY(QFile::link(root.filePath(u"d"_s), root.filePath(u"link"_s)));
    const bool bind = arguments.contains(u"mnt"_s);
    if (bind) {
        QVERIFY(root.mkdir(u"mnt"_s));
        QProcess mount;
        mount.start(u"mount"_s, {u"--bind"_s, root.filePath(u"d"_s), root.filePath(u"mnt"_s)});
        if (!mount.waitForFinished() || mount.exitCode() != 0) {
            QSKIP("bind mounts need a privileged user");
        }
    }

    const CliRun run = runCli(arguments, {}, dir.path());

    if (bind) {
        QProcess::execute(u"umount"_s, {root.filePath(u"mnt"_s)});
    }
    QVERIFY2(run.finished, run.err.constData());
    QCOMPARE(countLines(run.out, "directions were realigned"), 2);
    QCOMPARE(countLines(run.out, "was already converted in this run"), repeats);
    QCOMPARE(run.exitCode, 1);
    for (const QString &name : {u"d/a.cl2"_s, u"d/sub/b.cl2"_s}) {
        QCOMPARE(framesBySlot(readFile(root.filePath(name))), slotsAfterConversion(before));
    }
}

void TestCli::foldersThatCannotBeListedAreReported_data()
{
    // A tree holding a.cl2, locked/b.cl2 (no access) and a folder whose name
    // is not UTF-8 holding c.cl2.
    QTest::addColumn<QString>("start");     // relative to the tree's root
    QTest::addColumn<QStringList>("lines"); // with ROOT for the root
    QTest::addColumn<int>("exitCode");

    const QString locked = u"ERROR: Folder (ROOT/locked) could not be listed: Permission denied"_s;
    QTest::newRow("unreadable subfolder")
        << QString()
        << QStringList{u"SUCCESS: (2) files were found on (ROOT) and subfolders"_s,
                       u"SUCCESS: File (ROOT/a.cl2) directions were realigned"_s,
                       u"SUCCESS: File (ROOT/odd\uFFFD/c.cl2) directions were "
                       u"realigned"_s,
                       locked}
        << 1;
    QTest::newRow("unreadable start folder")
        << u"/locked"_s
        << QStringList{u"ERROR: No *.cl2 files were found on (ROOT/locked) and subfolders"_s,
                       locked}
        << 1;
}

void TestCli::foldersThatCannotBeListedAreReported()
{
    QFETCH(QString, start);
    QFETCH(QStringList, lines);
    QFETCH(int, exitCode);
    // Ordinary users meet permissions that root passes: the program runs as
    // one, in a tree it may enter.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray root = QFile::encodeName(dir.path());
    QVERIFY(::chmod(root.constData(), 0755) == 0);
    const QByteArray odd = root + "/odd\xff";
    const QByteArray locked = root + "/locked";
    QVERIFY(::mkdir(locked.constData(), 0755) == 0);
    QVERIFY(::mkdir(odd.constData(), 0777) == 0);
    const QByteArray before = makeEightDirectionCl2(2);
    for (const QByteArray &file :
         QList<QByteArray>{root + "/a.cl2", locked + "/b.cl2", odd + "/c.cl2"}) {
        QVERIFY(::close(::open(file.constData(), O_CREAT | O_WRONLY, 0666)) == 0);
        QVERIFY(::chmod(file.constData(), 0666) == 0);
        const int fd = ::open(file.constData(), O_WRONLY);
        QVERIFY(fd >= 0 && ::write(fd, before.constData(), size_t(before.size())) == before.size());
        ::close(fd);
    }
    QVERIFY(::chmod(locked.constData(), 0) == 0);

    const CliRun run = runCli({dir.path() + start}, becomeNobody);

    ::chmod(locked.constData(), 0755);
    // A name that is not UTF-8 cannot be removed through a QString.
    ::unlink(QByteArray(odd + "/c.cl2").constData());
    ::rmdir(odd.constData());
    QVERIFY2(run.finished, run.err.constData());
    QStringList expected;
    for (QString line : lines) {
        expected << line.replace(u"ROOT"_s, dir.path()).replace(u"\\uFFFD"_s, QChar(0xFFFD));
    }
    QCOMPARE(QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts), expected);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(readFile(dir.path() + u"/locked/b.cl2"_s), before);
}

void TestCli::stopSignalEndsTheBatchBetweenFiles_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("Ctrl+C") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestCli::stopSignalEndsTheBatchBetweenFiles()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray before = makeEightDirectionCl2(2);
    QStringList files;
    for (int i = 1; i <= 5; ++i) {
        files << dir.filePath(u"%1.cl2"_s.arg(i));
        QVERIFY(writeFile(files.last(), before));
    }
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"CL2VELMORA_TEST_SUSPEND_AFTER"_s, u"2"_s);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(CL2VELMORA_CLI_PATH), {dir.path()});
    QVERIFY(process.waitForStarted());
    // The program stops itself after its second file; the signal lands there.
    QTRY_VERIFY(isSuspended(process.processId()));
    QCOMPARE(::kill(pid_t(process.processId()), signal), 0);
    QCOMPARE(::kill(pid_t(process.processId()), SIGCONT), 0);
    QVERIFY(process.waitForFinished(60000));

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 128 + signal);
    QStringList expected{u"SUCCESS: (5) files were found on (%1) and subfolders"_s.arg(dir.path()),
                         realignedLine(files[0]), realignedLine(files[1]),
                         u"ERROR: Conversion stopped after (2) of (5) files"_s};
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts),
             expected);
    QCOMPARE(framesBySlot(readFile(files[1])), slotsAfterConversion(before));
    QCOMPARE(readFile(files[2]), before);
}

void TestCli::severalJobsGiveWhatOneJobGives_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("convert") << QStringList();
    QTest::newRow("dry run") << QStringList{u"--dry-run"_s};
    QTest::newRow("undo") << QStringList{u"--undo"_s};
}

void TestCli::severalJobsGiveWhatOneJobGives()
{
    QFETCH(QStringList, options);
    // Two identical trees: one converted a file at a time, one with many in
    // flight. The log and every byte must come out the same.
    QTemporaryDir one;
    QTemporaryDir several;
    QVERIFY(one.isValid() && several.isValid());
    QVERIFY(makeMixedTree(QFile::encodeName(one.path())));
    QVERIFY(makeMixedTree(QFile::encodeName(several.path())));

    const CliRun sequential =
        runCli(QStringList(options) << u"--jobs"_s << u"1"_s << one.path(), becomeNobody);
    const CliRun parallel =
        runCli(QStringList(options) << u"--jobs"_s << u"8"_s << several.path(), becomeNobody);

    ::chmod(QFile::encodeName(one.path() + u"/locked"_s).constData(), 0755);
    ::chmod(QFile::encodeName(several.path() + u"/locked"_s).constData(), 0755);
    QVERIFY2(sequential.finished && parallel.finished, parallel.err.constData());
    QCOMPARE(parallel.exitCode, sequential.exitCode);
    QCOMPARE(QString::fromUtf8(parallel.out).replace(several.path(), u"ROOT"_s),
             QString::fromUtf8(sequential.out).replace(one.path(), u"ROOT"_s));
    // Each kind of line is there, so the comparison covers them all.
    const QString log = QString::fromUtf8(sequential.out).replace(one.path(), u"ROOT"_s);
    for (const char *kind : {"SUCCESS: (29) files", "isn't a 8 directions file", "run past the end",
                             "already", "(ROOT/locked) could not be listed"}) {
        QVERIFY2(log.contains(QLatin1String(kind)),
                 qPrintable(QLatin1String(kind) + u"\n"_s + log));
    }
    QDirIterator files(one.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    int compared = 0;
    while (files.hasNext()) {
        const QString file = files.next();
        const QString twin = several.path() + file.mid(one.path().size());
        QVERIFY2(readFile(file) == readFile(twin), qPrintable(file));
        ++compared;
    }
    QCOMPARE(compared, 30);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
