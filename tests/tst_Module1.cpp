#include "convert/DirectionTables.h"
#include "convert/Module1.h"
#include "platform/BinaryFile.h"
#include "search/modTree.h"
#include "support/Cl2Fixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

QString errorLine(const QString &path, const QString &problem)
{
    return "ERROR: File ("_L1 + path + ") "_L1 + problem;
}

QString foundLine(qsizetype count, const QString &folder)
{
    return u"SUCCESS: (%1) files were found on (%2) and subfolders"_s.arg(count).arg(folder);
}

const QString twice = u"was already converted in this run"_s;

} // namespace

class tst_Module1 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void refusesFilesItWouldDamage_data();
    void refusesFilesItWouldDamage();
    void faultsAreReported_data();
    void faultsAreReported();
    void namesChangedAfterTheSearchThenStopAndUndo();
    void everyWayGivesTheSameRun_data();
    void everyWayGivesTheSameRun();
    void claimsKnowEveryFileAgain();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    struct stat m_input = {};
    uint m_descriptors = 0;
};

void tst_Module1::initTestCase()
{
    // Descriptor 0 leads to /dev/null; after each test it must still do so: no
    // file, refused or converted, closes a descriptor it does not own.
    const int fd = ::open("/dev/null", O_RDONLY);
    QVERIFY(fd == 0 || (::dup2(fd, 0) == 0 && ::close(fd) == 0));
    QCOMPARE(::fstat(0, &m_input), 0);
}

void tst_Module1::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_descriptors = QDir(u"/proc/self/fd"_s).count();
}

void tst_Module1::cleanup()
{
    BinaryFile::failWritesForTesting(0, 0, 0);
    m_dir.reset();
    struct stat input;
    QCOMPARE(::fstat(0, &input), 0);
    QVERIFY(input.st_ino == m_input.st_ino && input.st_dev == m_input.st_dev);
    // Every file a run opened is closed, also those opened ahead of a stop.
    QCOMPARE(QDir(u"/proc/self/fd"_s).count(), m_descriptors);
}

// The replayed fuzz corpus holds each of these files and more, and checks that
// what is refused is left untouched; here, that each is refused, given alone,
// for the right reason.
void tst_Module1::refusesFilesItWouldDamage_data()
{
    QTest::addColumn<QByteArray>("image"); // or <missing>, <pipe>
    QTest::addColumn<bool>("undo");
    QTest::addColumn<QString>("reason");

    const QByteArray good = makeEightDirectionCl2(4, 8);
    const qint32 g1 = int32At(good, 4);
    const qint32 g4 = int32At(good, 16);
    const auto with = [&](qsizetype offset, qint32 value) {
        QByteArray bytes = good;
        setInt32At(bytes, offset, value);
        return bytes;
    };
    const QString overlap = u"overlap"_s;
    QTest::newRow("empty") << QByteArray() << false << u"isn't a 8 directions file"_s;
    QTest::newRow("negative frame count")
        << with(32, -1) << false << u"negative frame count (-1)"_s;
    QTest::newRow("group 1 holds fewer frames")
        << with(g1, 3) << false << u"different frame counts (4 and 3)"_s;
    QTest::newRow("count near 2^31")
        << with(32, 0x7ffffffe) << false << u"beyond the reach of 32-bit offsets"_s;
    QTest::newRow("group 1 inside group 0's table") << with(4, 40) << false << overlap;
    // At the header's end, where group 0 begins: the overlap, not the offset.
    QTest::newRow("group 3 where group 0 begins") << with(12, 32) << false << overlap;
    QTest::newRow("group 3 inside group 1's table") << with(12, g1 + 4) << false << overlap;
    QTest::newRow("group 3 negative")
        << with(12, -8) << false << u"direction 3 at an impossible offset (-8)"_s;
    QTest::newRow("offset overflows once moved")
        << with(g1 + 4, 0x7ffffff0) << false << u"does not fit in 32 bits"_s;
    // Undoing trades tables with the group in slot 4 instead of slot 1.
    QTest::newRow("undo, slot 4 holds fewer frames")
        << with(g4, 2) << true << u"different frame counts (4 and 2)"_s;
    QTest::newRow("header only") << good.left(32) << false << u"run past the end of the file"_s;
    // Tables longer than the first read of a file, cut short.
    const QByteArray longTables = makeEightDirectionCl2(2000, 2);
    QTest::newRow("long tables cut short") << longTables.left(int32At(longTables, 4) + 4000)
                                           << false << u"run past the end of the file"_s;
    // What cannot be opened; a missing file is never created.
    const QString unopened = u"could not be opened: "_s;
    QTest::newRow("missing") << "<missing>"_ba << false
                             << unopened + u"No such file or directory"_s;
    QTest::newRow("a pipe") << "<pipe>"_ba << false << unopened + u"not a regular file"_s;
}

void tst_Module1::refusesFilesItWouldDamage()
{
    QFETCH(QByteArray, image);
    QFETCH(bool, undo);
    QFETCH(QString, reason);
    const QString path = m_dir->filePath(u"broken (copy).cl2"_s);
    QVERIFY(image == "<missing>" ||
            (image == "<pipe>" ? ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0
                               : writeFile(path, image)));
    StringMessageLog log;
    ConversionRun run({.undo = undo, .dryRun = false});
    // A file given alone is no batch: it has no count, no progress.
    bool progressed = false;
    run.progress = [&progressed](qsizetype, qsizetype) { progressed = true; };
    QVERIFY(ConvertPaths({path}, log, run).failed == 1 && !progressed);
    QCOMPARE(log.lines().size(), 1);
    QVERIFY2(log.lines()[0].startsWith(errorLine(path, {})) && log.lines()[0].contains(reason),
             qPrintable(log.lines()[0]));
    QCOMPARE(log.repaintCount(), 1);
    QCOMPARE(FileExists(path), !image.startsWith('<'));
    QVERIFY(image.startsWith('<') || readFile(path) == image);
}

void tst_Module1::faultsAreReported_data()
{
    QTest::addColumn<int>("frameSize"); // 256: two writes, the partner past the first 4 KiB
    QTest::addColumn<int>("skip");      // writes that go through before `count` fail, torn
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("badClose");
    QTest::addColumn<bool>("dryRun");
    QTest::addColumn<QString>("problem");
    const QString full = u"could not be written (No space left on device)"_s;
    const QString putBack = full + u"; its original bytes were put back"_s;
    const QString closed = u"was rewritten, but closing it failed (Input/output error): on a "
                           "network file system the new bytes may not have reached the server"_s;
    QTest::newRow("header write torn") << 256 << 0 << 1 << false << false << putBack;
    // The put-back is torn too, but it tore where the failed write did.
    QTest::newRow("header write torn, put-back torn over it")
        << 256 << 0 << 2 << false << false << putBack;
    QTest::newRow("second table write torn") << 256 << 1 << 1 << false << false << putBack;
    QTest::newRow("restoring fails too") << 256 << 1 << 3 << false << false
                                         << full + u" and putting its original bytes back failed"_s;
    QTest::newRow("one write torn") << 16 << 0 << 1 << false << false << putBack;
    QTest::newRow("one write torn, put-back torn over it")
        << 16 << 0 << 2 << false << false << putBack;
    QTest::newRow("close fails") << 16 << 0 << 0 << true << false << closed;
    QTest::newRow("close fails, dry run")
        << 16 << 0 << 0 << true << true << u"could not be closed: Input/output error"_s;
}

// Each fault in the single-file road and in a folder's.
void tst_Module1::faultsAreReported()
{
    QFETCH(int, frameSize);
    QFETCH(int, skip);
    QFETCH(int, count);
    QFETCH(bool, badClose);
    QFETCH(bool, dryRun);
    QFETCH(QString, problem);
    const QByteArray original = makeEightDirectionCl2(20, frameSize);
    const QString path = putFile(*m_dir, u"disk full.cl2"_s, original);
    for (const bool inFolder : {false, true}) {
        QVERIFY(writeFile(path, original));
        ConversionRun run({.undo = false, .dryRun = dryRun});
        StringMessageLog log;
        BinaryFile::failWritesForTesting(skip, count, ENOSPC);
        if (badClose) {
            BinaryFile::failNextCloseForTesting(EIO);
        }
        QVERIFY(inFolder ? ScanFolder(m_dir->path(), log, run).failed == 1
                         : !ReorderDirections(path, log, run));
        QVERIFY2(log.lines().constLast().startsWith(errorLine(path, problem)),
                 qPrintable(log.lines().constLast()));
        if (count < 3) { // else the file is left damaged
            QCOMPARE(framesBySlot(readFile(path)),
                     badClose && !dryRun ? slotsAfterConversion(original) : framesBySlot(original));
            // Written bytes stay written: the file must not be converted again.
            QCOMPARE(!ReorderDirections(path, log, run), badClose);
            QVERIFY(!badClose || log.lines().constLast().endsWith(
                                     dryRun ? u"would already be converted in this run"_s : twice));
        }
    }
}

// One file at a time, so that no file is open ahead of the change: once the
// first file is converted, the second disappears, the third name comes to lead
// to the first file and the folder of the last three moves away; after the
// eighth, the run is asked to stop. Undo then puts back what the run
// converted, unless its name now leads to another file.
void tst_Module1::namesChangedAfterTheSearchThenStopAndUndo()
{
    const QByteArray original = makeEightDirectionCl2(2), single = makeSingleDirectionCl2(2);
    QStringList files;
    for (int i = 1; i <= 9; ++i) {
        files << putFile(*m_dir, (i > 6 ? u"sub/%1.cl2"_s : u"%1.cl2"_s).arg(i),
                         i == 5 ? single : original);
    }
    auto run = std::make_unique<ConversionRun>();
    run->options().jobs = 1;
    run->keepConvertedList();
    bool changed = false;
    run->progress = [&](qsizetype done, qsizetype) {
        if (done == 1) {
            changed = QFile::remove(files[1]) && QFile::remove(files[2]) &&
                      ::link(QFile::encodeName(files[0]).constData(),
                             QFile::encodeName(files[2]).constData()) == 0 &&
                      QDir(m_dir->path()).rename(u"sub"_s, u"moved"_s);
        }
        if (done == 8) {
            run->requestStop();
        }
    };
    StringMessageLog log;
    const BatchResult result = ScanFolder(m_dir->path(), log, *run);
    QVERIFY(changed);
    const QString gone = u"could not be opened: No such file or directory"_s;
    QCOMPARE(
        log.lines(),
        (QStringList{foundLine(9, m_dir->path()), realignedLine(files[0]),
                     errorLine(files[1], gone), errorLine(files[2], twice), realignedLine(files[3]),
                     errorLine(files[4], u"isn't a 8 directions file"_s), realignedLine(files[5]),
                     errorLine(files[6], gone), errorLine(files[7], gone),
                     u"ERROR: Conversion stopped after (8) of (9) files"_s}));
    QVERIFY(result.stopped && result.failed == 5);
    QCOMPARE(framesBySlot(readFile(files[0])), slotsAfterConversion(original));

    // The window keeps a copy of the list for its undo; the run goes.
    const ConvertedFiles converted = run->convertedFiles();
    run.reset();
    const QByteArray stranger = makeEightDirectionCl2(1);
    QVERIFY(QFile::remove(files[3]) && writeFile(files[3], stranger));
    putFile(*m_dir, u"new.cl2"_s, original);
    ConversionRun undo({.undo = true, .dryRun = false});
    log.Clear();
    UndoConversion(converted, log, undo);
    QCOMPARE(log.lines(),
             (QStringList{"SUCCESS: File ("_L1 + files[0] + ") directions were restored"_L1,
                          errorLine(files[3], u"is no longer the file that was converted"_s),
                          "SUCCESS: File ("_L1 + files[5] + ") directions were restored"_L1}));
    QCOMPARE(readFile(files[0]), original);
    QCOMPARE(readFile(files[3]), stranger);
    QCOMPARE(readFile(files[4]), single);
}

namespace {

// A tree with every kind of entry a search meets: two names of one file and
// a link to it, files that are not 8-direction ones or are cut short, a pipe
// and a link to nothing that match the mask, a folder that matches it, links
// that lead back up (loops), a folder that cannot be listed, and enough
// folders for every thread to have work.
void makeMixedTree(const QTemporaryDir &dir)
{
    const QByteArray good = makeEightDirectionCl2(3);
    putFile(dir, u"tree/a.cl2"_s, good);
    putFile(dir, u"tree/single.cl2"_s, makeSingleDirectionCl2(4));
    putFile(dir, u"tree/cut.cl2"_s, good.left(40));
    putFile(dir, u"tree/readme.txt"_s, "text");
    putFile(dir, u"tree/data.cl2/x.cl2"_s, good);
    putFile(dir, u"tree/locked/z.cl2"_s, good);
    for (int i = 0; i < 40; ++i) {
        const QString folder = u"tree/d%1/"_s.arg(i, 2, 10, QChar(u'0'));
        putFile(dir, folder + u"f.cl2"_s, makeEightDirectionCl2(1 + i % 5));
        putFile(dir, folder + u"g.CL2"_s, i % 7 == 3 ? makeSingleDirectionCl2(2) : good);
    }
    if (!makeTree(dir.filePath(u"tree"_s),
                  u"b.cl2=a.cl2 pipe.cl2| c.cl2>a.cl2 gone.cl2>nowhere.cl2 "
                  u"loop>. d05/up>.. d07/again.cl2>../a.cl2"_s)) {
        qFatal("cannot make the mixed tree");
    }
}

// Every regular file below tree by its path, links not followed.
QHash<QString, QByteArray> filesBelow(const QString &tree)
{
    QHash<QString, QByteArray> files;
    QDirIterator it(tree, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileInfo().isFile()) {
            files.insert(path, readFile(path));
        }
    }
    return files;
}

// What a run on the mixed tree came to.
struct TreeRun
{
    QStringList lines;
    QHash<QString, QByteArray> bytes; // of every file after it
    BatchResult result;
};

// Makes the mixed tree afresh and runs the batch on it, then on a file in it
// again, as a user without root's power would, for whom the folder without
// permissions cannot be listed (root hands the tree to nobody and acts as
// nobody for the run); without a run, gives the bytes as made.
TreeRun runOnMixedTree(const QTemporaryDir &dir, ConversionRun *run)
{
    const QString tree = dir.filePath(u"tree"_s);
    const QByteArray locked = QFile::encodeName(tree + u"/locked"_s);
    const bool root = ::geteuid() == 0;
    makeMixedTree(dir);
    TreeRun done;
    if (run) {
        if (::chmod(QFile::encodeName(dir.path()).constData(), 0755) != 0 ||
            ::chmod(locked.constData(), 0) != 0 ||
            (root && (QProcess::execute(u"chown"_s, {u"-hR"_s, u"65534:65534"_s, tree}) != 0 ||
                      ::seteuid(65534) != 0))) {
            qFatal("cannot hand the mixed tree to a user");
        }
        StringMessageLog log;
        done.result = ConvertPaths({tree, tree + u"/a.cl2"_s}, log, *run);
        done.lines = log.lines();
        if ((root && ::seteuid(0) != 0) || ::chmod(locked.constData(), 0755) != 0) {
            qFatal("cannot take the mixed tree back");
        }
    }
    done.bytes = filesBelow(tree);
    if (!QDir(tree).removeRecursively()) {
        qFatal("cannot remove the mixed tree");
    }
    return done;
}

// The files the search finds in the mixed tree.
constexpr qsizetype inTree = 89;

// What one file after another gives on the mixed tree: in search order, one
// line each, and each file converted once however its names reach it.
QStringList mixedTreeLines(const QString &tree)
{
    const auto line = [&tree](const QString &name, const QString &problem = {}) {
        const QString path = tree + u'/' + name;
        return problem.isEmpty() ? realignedLine(path) : errorLine(path, problem);
    };
    const QString notEight = u"isn't a 8 directions file"_s;
    const QString notRegular = u"is not a regular file (%1)"_s;
    QStringList lines{foundLine(inTree, tree),
                      line(u"a.cl2"_s),
                      line(u"b.cl2"_s, twice),
                      line(u"c.cl2"_s, twice),
                      line(u"cut.cl2"_s, u"has frame tables that run past the end of the file"_s),
                      line(u"gone.cl2"_s, notRegular.arg(u"a symbolic link to nothing"_s)),
                      line(u"pipe.cl2"_s, notRegular.arg(u"a pipe"_s)),
                      line(u"single.cl2"_s, notEight)};
    for (int i = 0; i < 40; ++i) {
        const QString folder = u"d%1/"_s.arg(i, 2, 10, QChar(u'0'));
        if (i == 7) {
            lines << line(folder + u"again.cl2"_s, twice);
        }
        lines << line(folder + u"f.cl2"_s)
              << line(folder + u"g.CL2"_s, i % 7 == 3 ? notEight : QString());
    }
    return lines << line(u"data.cl2/x.cl2"_s)
                 << u"ERROR: Folder (%1/locked) could not be listed: Permission denied"_s.arg(tree)
                 << line(u"a.cl2"_s, twice);
}

} // namespace

void tst_Module1::everyWayGivesTheSameRun_data()
{
    QTest::addColumn<int>("jobs");
    QTest::addColumn<bool>("overlap");
    QTest::addColumn<QString>("stop"); // none, as the search starts, while searching or writing
    QTest::newRow("two jobs") << 2 << true << QString();
    QTest::newRow("two jobs, listed first") << 2 << false << QString();
    QTest::newRow("eight jobs") << 8 << true << QString();
    QTest::newRow("eight jobs, listed first") << 8 << false << QString();
    QTest::newRow("stop as the search starts") << 2 << true << u"start"_s;
    QTest::newRow("stop as the search starts, listed first") << 2 << false << u"start"_s;
    QTest::newRow("two jobs, stop while searching") << 2 << true << u"searching"_s;
    QTest::newRow("eight jobs, stop while searching") << 8 << true << u"searching"_s;
    QTest::newRow("one job, stop while writing") << 1 << false << u"writing"_s;
    QTest::newRow("eight jobs, stop while writing") << 8 << false << u"writing"_s;
}

// One file after another is the measure: any number of threads, with the
// search overlapped or not, gives the same lines and the same bytes. A stop
// leaves every file either converted, with its line as one file after another
// gives it, or untouched without one; the paths after the folder are not taken.
void tst_Module1::everyWayGivesTheSameRun()
{
    QFETCH(int, jobs);
    QFETCH(bool, overlap);
    QFETCH(QString, stop);
    const QString tree = m_dir->filePath(u"tree"_s);
    ConversionRun serial;
    serial.options().jobs = 1;
    QList<std::pair<qsizetype, qsizetype>> progress;
    serial.progress = [&](qsizetype done, qsizetype total) { progress.append({done, total}); };
    const TreeRun expected = runOnMixedTree(*m_dir, &serial);
    QCOMPARE(expected.lines, mixedTreeLines(tree));
    QVERIFY(expected.result.found == inTree + 1 && expected.result.failed == 15);
    // Progress counts the files found, then the paths given: two.
    QCOMPARE(progress.size(), inTree + 1);
    QCOMPARE(progress.at(inTree - 1), (std::pair<qsizetype, qsizetype>{inTree, inTree}));
    QCOMPARE(progress.constLast(), (std::pair<qsizetype, qsizetype>{2, 2}));
    const TreeRun original = runOnMixedTree(*m_dir, nullptr);

    ConversionRun run;
    run.options().jobs = jobs;
    run.options().overlapSearch = overlap;
    std::atomic<int> written{0};
    DirectionTables::setAfterFirstWriteForTesting([&] {
        if (++written == 3 && stop == "writing"_L1) {
            run.requestStop();
        }
    });
    if (stop == "start"_L1) {
        run.searching = [&run](const QString &) { run.requestStop(); };
    }
    // At the fifth folder the search waits until files are converted, then
    // the run is asked to stop.
    bool waited = stop != "searching"_L1;
    int folders = 0;
    setFolderTakenForTesting([&](qsizetype) {
        if (++folders == 5 && !waited) {
            const QDeadlineTimer deadline(20000);
            while (written < 3 && !deadline.hasExpired()) {
                QThread::msleep(1);
            }
            waited = written >= 3;
            run.requestStop();
        }
    });
    const TreeRun got = runOnMixedTree(*m_dir, &run);
    setFolderTakenForTesting({});
    DirectionTables::setAfterFirstWriteForTesting({});
    QVERIFY(waited);
    QCOMPARE(got.result.stopped, !stop.isEmpty());
    if (stop.isEmpty()) {
        QCOMPARE(got.lines, expected.lines);
        QCOMPARE(got.bytes, expected.bytes);
        QCOMPARE(got.result.found, expected.result.found);
        return;
    }
    if (stop == "start"_L1) {
        QCOMPARE(got.lines,
                 QStringList{u"ERROR: Conversion stopped while searching (%1) and "
                             u"subfolders; no file found there was converted"_s.arg(tree)});
        QCOMPARE(got.bytes, original.bytes);
        QCOMPARE(got.result.failed, 1);
        return;
    }
    // The count of the files found by the stop, their lines as one after
    // another gives them (each in the serial run's order), and where the run
    // stopped.
    const QStringList &lines = got.lines;
    const qsizetype found = lines.first().section(u'(', 1, 1).section(u')', 0, 0).toLongLong();
    QCOMPARE(lines.first(), foundLine(found, tree));
    const bool searching = stop == "searching"_L1;
    QVERIFY2(searching ? found > 0 && found < inTree : found == inTree, qPrintable(lines.first()));
    const QStringList fileLines = lines.mid(1, lines.size() - 2);
    QStringList kept = expected.lines;
    kept.removeIf([&fileLines](const QString &line) { return !fileLines.contains(line); });
    QCOMPARE(fileLines, kept);
    const qsizetype converted = fileLines.filter(u"SUCCESS: File"_s).size();
    const qsizetype done = converted + fileLines.filter(u"ERROR: File"_s).size();
    // Each thread had at most one file between its first write and its line.
    QVERIFY2(converted >= 3 && (searching || converted <= 3 + jobs), qPrintable(lines.constLast()));
    QCOMPARE(lines.constLast(),
             searching
                 ? u"ERROR: Conversion stopped while searching (%1) and subfolders, after "
                   u"(%2) of the (%3) files found so far"_s.arg(tree)
                       .arg(done)
                       .arg(found)
                 : u"ERROR: Conversion stopped after (%1) of (%2) files"_s.arg(done).arg(found));
    for (auto it = original.bytes.cbegin(); it != original.bytes.cend(); ++it) {
        const bool changed =
            lines.contains(realignedLine(it.key())) ||
            (it.key().endsWith(u"/b.cl2"_s) && lines.contains(realignedLine(tree + u"/a.cl2"_s)));
        QVERIFY2(got.bytes.value(it.key()) ==
                     (changed ? expected.bytes.value(it.key()) : it.value()),
                 qPrintable(it.key()));
    }
}

// A run of many files on two devices, their inode numbers in runs as a file
// system gives them: each file's first name claims it under a number of its
// own, and every later name finds that claim, also after the table grew.
void tst_Module1::claimsKnowEveryFileAgain()
{
    ConversionRun run;
    const std::uint32_t count = 150000;
    const auto idOf = [](std::uint32_t i) {
        return FileId{i % 3 == 0 ? 2049u : 66311u, 1000 + i / 3 + (i % 3 == 2 ? 1u << 20 : 0u)};
    };
    std::uint32_t number = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        QVERIFY(run.claim(idOf(i), &number));
        QCOMPARE(number, i);
    }
    for (std::uint32_t i = count; i-- > 0;) {
        QVERIFY(!run.claim(idOf(i), &number));
        QCOMPARE(number, i);
    }
    QVERIFY(run.claim(FileId{2049u, 0}, &number));
    QCOMPARE(number, count);
}

QTEST_GUILESS_MAIN(tst_Module1)
#include "tst_Module1.moc"