#include "convert/Module1.h"
#include "platform/BinaryFile.h"
#include "support/Cl2Fixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

// The frames each slot shows, as direction numbers read back from the payloads.
QList<int> slotDirections(const QByteArray &image)
{
    QList<int> directions;
    for (const QList<QByteArray> &frames : framesBySlot(image)) {
        directions.append(frames.isEmpty() ? -1
                                           : (static_cast<unsigned char>(frames[0][0]) & 0x0f));
    }
    return directions;
}

} // namespace

class tst_Module1 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rewritesFramesIntoTheNewOrder_data();
    void rewritesFramesIntoTheNewOrder();
    void repeatedConversionsCycleBack();
    void undoGivesBackTheOriginalBytes();
    void refusesFilesItWouldDamage_data();
    void refusesFilesItWouldDamage();
    void refusesWhatItCannotOpen();
    void dryRunWritesNothing();
    void failedWriteIsReportedAndRolledBack_data();
    void failedWriteIsReportedAndRolledBack();
    void aFileReachedTwiceInOneBatchIsConvertedOnce();

    void scanFolderLogsCountThenEachFile();
    void scanFolderWithNothingToConvert();
    void scanFolderNamesAnOtherMask();
    void scanFolderGoesOnWhenAFileVanishes();
    void scanFolderStopsBetweenFilesWhenAsked();
    void scanFolderChecksLongTablesAgainstTheFile();
    void scanFolderConvertsAFileUnderTwoNamesOnce();
    void scanFolderReachesNamesThatAreNotUtf8();
    void aNameReplacedAfterTheSearchIsNotConvertedTwice();
    void failedCloseAfterWritingSaysTheFileWasRewritten();
    void undoPutsBackExactlyWhatTheRunConverted();
    void fileExists();

private:
    QString put(const QString &name, const QByteArray &bytes);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_Module1::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_Module1::cleanup()
{
    BinaryFile::failWritesForTesting(0, 0, 0);
    m_dir.reset();
}

QString tst_Module1::put(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir->filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!writeFile(path, bytes)) {
        qFatal("cannot write fixture %s", qPrintable(path));
    }
    return path;
}

void tst_Module1::rewritesFramesIntoTheNewOrder_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("frameSize");
    QTest::newRow("no frames") << 0 << 16;
    QTest::newRow("one frame") << 1 << 16;
    QTest::newRow("eight frames") << 8 << 40;
    // A table longer than the first read of the file.
    QTest::newRow("1500 frames") << 1500 << 3;
}

void tst_Module1::rewritesFramesIntoTheNewOrder()
{
    QFETCH(int, frames);
    QFETCH(int, frameSize);
    const QByteArray before = makeEightDirectionCl2(frames, frameSize);
    const QString path = put(QStringLiteral("hero.cl2"), before);

    StringMessageLog log;
    QVERIFY(ReorderDirections(path, log));
    QCOMPARE(log.lines(), QStringList{realignedLine(path)});
    QCOMPARE(log.repaintCount(), 1);

    const QByteArray after = readFile(path);
    QCOMPARE(after.size(), before.size());
    const auto G = [&](int k) { return int32At(before, 4 * k); };
    const std::array<int, 8> header{G(0), G(3), G(5), G(7), G(1), G(2), G(4), G(6)};
    for (int j = 0; j < 8; ++j) {
        QCOMPARE(int32At(after, 4 * j), header[j]);
    }
    for (int i = 0; i <= frames; ++i) {
        QCOMPARE(int32At(after, G(0) + 4 + 4 * i), int32At(before, G(1) + 4 + 4 * i) + G(1) - G(0));
        QCOMPARE(int32At(after, G(1) + 4 + 4 * i), int32At(before, G(0) + 4 + 4 * i) + G(0) - G(1));
    }
    // Nothing but the header and the two tables changed.
    const qsizetype table = 4 * (frames + 1);
    QByteArray masked = after;
    masked.replace(0, 32, before.left(32));
    masked.replace(G(0) + 4, table, before.mid(G(0) + 4, table));
    masked.replace(G(1) + 4, table, before.mid(G(1) + 4, table));
    QCOMPARE(masked, before);

    // Frame by frame, slot j shows what slot DirectionOrder[j] showed.
    QCOMPARE(framesBySlot(after), slotsAfterConversion(before));
}

void tst_Module1::repeatedConversionsCycleBack()
{
    const QByteArray original = makeEightDirectionCl2(3, 10);
    const QString path = put(QStringLiteral("cycle.cl2"), original);
    StringMessageLog log;
    QVERIFY(ReorderDirections(path, log));
    QVERIFY(ReorderDirections(path, log));
    QCOMPARE(slotDirections(readFile(path)), (QList<int>{3, 7, 2, 6, 1, 5, 0, 4}));
    for (int i = 0; i < 4; ++i) {
        QVERIFY(ReorderDirections(path, log));
    }
    // The slots show their first frames again; the header's offsets themselves
    // need not stand where they began.
    QCOMPARE(framesBySlot(readFile(path)), framesBySlot(original));
    QCOMPARE(log.lines().size(), 6);
    for (const QString &line : log.lines()) {
        QCOMPARE(line, realignedLine(path));
    }
}

void tst_Module1::undoGivesBackTheOriginalBytes()
{
    const QByteArray original = makeEightDirectionCl2(5, 12);
    const QString path = put(QStringLiteral("undo me (1).cl2"), original);
    StringMessageLog log;
    const ConversionOptions undo{.undo = true, .dryRun = false};

    QVERIFY(ReorderDirections(path, log));
    const QByteArray once = readFile(path);
    QVERIFY(ReorderDirections(path, log));
    QVERIFY(ReorderDirections(path, log, undo));
    QCOMPARE(readFile(path), once);
    QVERIFY(ReorderDirections(path, log, undo));
    QCOMPARE(readFile(path), original);
    QCOMPARE(log.lines().last(),
             QLatin1String("SUCCESS: File (") + path + QLatin1String(") directions were restored"));
}

void tst_Module1::refusesFilesItWouldDamage_data()
{
    QTest::addColumn<QByteArray>("image");
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
    const QString notEight = QStringLiteral("isn't a 8 directions file");

    QTest::newRow("empty file") << QByteArray() << false << notEight;
    QTest::newRow("shorter than a header") << good.left(31) << false << notEight;
    QTest::newRow("single direction") << makeSingleDirectionCl2(7) << false << notEight;
    QTest::newRow("other format") << QByteArray("GIF89a and some more bytes to pass 32 bytes")
                                  << false << notEight;
    QTest::newRow("single direction, 32 frames")
        << makeSingleDirectionCl2(32, 1000) << false << QStringLiteral("overlap");
    QTest::newRow("header only") << good.left(32) << false
                                 << QStringLiteral("run past the end of the file");
    QTest::newRow("negative frame count")
        << with(32, -1) << false << QStringLiteral("negative frame count (-1)");
    QTest::newRow("group 1 holds fewer frames")
        << with(g1, 3) << false << QStringLiteral("different frame counts (4 and 3)");
    QTest::newRow("group 1 holds more frames")
        << with(g1, 5) << false << QStringLiteral("different frame counts (4 and 5)");
    QTest::newRow("count too large for the file")
        << with(32, 100000) << false << QStringLiteral("overlap (direction 1");
    QTest::newRow("count near 2^31")
        << with(32, 0x7ffffffe) << false << QStringLiteral("beyond the reach of 32-bit offsets");
    QTest::newRow("truncated in group 1's table")
        << good.left(g1 + 8) << false << QStringLiteral("run past the end of the file");
    QTest::newRow("group 1 at the header") << with(4, 32) << false << QStringLiteral("overlap");
    QTest::newRow("group 1 inside group 0's table")
        << with(4, 40) << false << QStringLiteral("overlap");
    QTest::newRow("group 5 inside group 1's table")
        << with(20, g1 + 8) << false << QStringLiteral("overlap");
    QTest::newRow("group 3 negative")
        << with(12, -8) << false << QStringLiteral("direction 3 at an impossible offset (-8)");
    QTest::newRow("offset overflows once moved")
        << with(g1 + 4, 0x7ffffff0) << false << QStringLiteral("does not fit in 32 bits");
    // Undoing trades tables with the group in slot 4 instead of slot 1.
    QTest::newRow("undo, slot 4 holds fewer frames")
        << with(g4, 2) << true << QStringLiteral("different frame counts (4 and 2)");
    QTest::newRow("undo, slot 4 inside group 0's table")
        << with(16, 44) << true << QStringLiteral("overlap");
    QTest::newRow("undo, offset overflows once moved")
        << with(g4 + 8, 0x7ffffff0) << true << QStringLiteral("does not fit in 32 bits");
}

void tst_Module1::refusesFilesItWouldDamage()
{
    QFETCH(QByteArray, image);
    QFETCH(bool, undo);
    QFETCH(QString, reason);
    const QString path = put(QStringLiteral("broken (copy).cl2"), image);

    for (const bool dryRun : {true, false}) {
        StringMessageLog log;
        QVERIFY(!ReorderDirections(path, log, {.undo = undo, .dryRun = dryRun}));
        QCOMPARE(log.lines().size(), 1);
        const QString line = log.lines().front();
        QVERIFY2(line.startsWith(QLatin1String("ERROR: File (") + path + QLatin1String(") ")),
                 qPrintable(line));
        QVERIFY2(line.contains(reason), qPrintable(line));
        QCOMPARE(log.repaintCount(), 1);
        QCOMPARE(readFile(path), image);
    }
}

void tst_Module1::refusesWhatItCannotOpen()
{
    const QString missing = m_dir->filePath(QStringLiteral("gone.cl2"));
    const QString fifo = m_dir->filePath(QStringLiteral("pipe.cl2"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    const QList<std::pair<QString, QString>> cases{
        {missing, QStringLiteral("could not be opened: No such file or directory")},
        {m_dir->path(), QStringLiteral("could not be opened: Is a directory")},
        {fifo, QStringLiteral("could not be opened: not a regular file")},
    };
    for (const auto &[path, reason] : cases) {
        StringMessageLog log;
        QVERIFY(!ReorderDirections(path, log));
        QCOMPARE(log.lines(),
                 QStringList{QLatin1String("ERROR: File (") + path + QLatin1String(") ") + reason});
    }
    // A missing file is never created.
    QVERIFY(!QFile::exists(missing));
}

void tst_Module1::dryRunWritesNothing()
{
    const QByteArray original = makeEightDirectionCl2(6);
    const QString path = put(QStringLiteral("dry.cl2"), original);
    StringMessageLog log;
    QVERIFY(ReorderDirections(path, log, {.undo = false, .dryRun = true}));
    QVERIFY(ReorderDirections(path, log, {.undo = true, .dryRun = true}));
    QCOMPARE(log.lines(), (QStringList{
                              QLatin1String("SUCCESS: File (") + path +
                                  QLatin1String(") directions would be realigned"),
                              QLatin1String("SUCCESS: File (") + path +
                                  QLatin1String(") directions would be restored"),
                          }));
    QCOMPARE(readFile(path), original);
}

void tst_Module1::failedWriteIsReportedAndRolledBack_data()
{
    QTest::addColumn<int>("skip");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("header write torn")
        << 0 << 1 << QStringLiteral("; its original bytes were put back");
    QTest::newRow("second table write torn")
        << 1 << 1 << QStringLiteral("; its original bytes were put back");
    QTest::newRow("restoring fails too")
        << 1 << 3 << QStringLiteral("putting its original bytes back failed too");
}

void tst_Module1::failedWriteIsReportedAndRolledBack()
{
    QFETCH(int, skip);
    QFETCH(int, count);
    QFETCH(QString, outcome);
    const QByteArray original = makeEightDirectionCl2(20);
    const QString path = put(QStringLiteral("disk full.cl2"), original);

    BinaryFile::failWritesForTesting(skip, count, ENOSPC);
    StringMessageLog log;
    QVERIFY(!ReorderDirections(path, log));
    QCOMPARE(log.lines().size(), 1);
    const QString line = log.lines().front();
    QVERIFY2(line.startsWith(QLatin1String("ERROR: File (") + path +
                             QLatin1String(") could not be written (No space left on device)")),
             qPrintable(line));
    QVERIFY2(line.contains(outcome), qPrintable(line));
    if (!outcome.contains(QLatin1String("failed too"))) {
        QCOMPARE(readFile(path), original);
    }
}

void tst_Module1::aFileReachedTwiceInOneBatchIsConvertedOnce()
{
    const QByteArray original = makeEightDirectionCl2(3);
    const QString path = put(QStringLiteral("a.cl2"), original);
    const QString hard = m_dir->filePath(QStringLiteral("hard.cl2"));
    const QString soft = m_dir->filePath(QStringLiteral("soft.cl2"));
    QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(hard).constData()), 0);
    QVERIFY(QFile::link(path, soft));

    StringMessageLog log;
    ConversionRun run;
    QVERIFY(ReorderDirections(path, log, run));
    const QByteArray once = readFile(path);
    QVERIFY(!ReorderDirections(hard, log, run));
    QVERIFY(!ReorderDirections(soft, log, run));
    QCOMPARE(readFile(path), once);
    QCOMPARE(log.lines().size(), 3);
    QCOMPARE(log.lines()[1], QLatin1String("ERROR: File (") + hard +
                                 QLatin1String(") was already converted in this run"));
    QVERIFY(log.lines()[2].startsWith(QLatin1String("ERROR: File (") + soft));
}

void tst_Module1::scanFolderLogsCountThenEachFile()
{
    put(QStringLiteral("one.cl2"), makeEightDirectionCl2(2));
    put(QStringLiteral("sub/two.CL2"), makeSingleDirectionCl2(5));
    put(QStringLiteral("sub/deeper/three.Cl2"), makeEightDirectionCl2(1));
    put(QStringLiteral("sub/notes.txt"), QByteArray("text"));
    const QString folder = m_dir->path();

    StringMessageLog log;
    QList<std::pair<qsizetype, qsizetype>> progress;
    ConversionRun run;
    run.progress = [&](qsizetype done, qsizetype total) { progress.append({done, total}); };
    const BatchResult result = ScanFolder(folder, log, run);
    QCOMPARE(result.found, 3);
    QCOMPARE(result.failed, 1);
    QCOMPARE(log.lines(), (QStringList{
                              QLatin1String("SUCCESS: (3) files were found on (") + folder +
                                  QLatin1String(") and subfolders"),
                              realignedLine(folder + QLatin1String("/one.cl2")),
                              QLatin1String("ERROR: File (") + folder +
                                  QLatin1String("/sub/two.CL2) isn't a 8 directions file"),
                              realignedLine(folder + QLatin1String("/sub/deeper/three.Cl2")),
                          }));
    QCOMPARE(progress, (QList<std::pair<qsizetype, qsizetype>>{{1, 3}, {2, 3}, {3, 3}}));
}

void tst_Module1::scanFolderWithNothingToConvert()
{
    put(QStringLiteral("readme.txt"), QByteArray("x"));
    put(QStringLiteral("keep.cl2.bak"), makeEightDirectionCl2(1));
    QDir(m_dir->path()).mkdir(QStringLiteral("data.cl2"));
    const QString folder = m_dir->path() + u'/';
    StringMessageLog log;
    const BatchResult result = ScanFolder(folder, log);
    QCOMPARE(result.found, 0);
    QCOMPARE(log.lines(), QStringList{QLatin1String("ERROR: No *.cl2 files were found on (") +
                                      folder + QLatin1String(") and subfolders")});
}

void tst_Module1::scanFolderNamesAnOtherMask()
{
    put(QStringLiteral("a.cel"), makeEightDirectionCl2(1));
    put(QStringLiteral("b.cl2"), makeEightDirectionCl2(1));
    const QString folder = m_dir->path();
    ConversionRun run;
    run.maskList = QStringLiteral("*.cel");
    StringMessageLog log;
    ScanFolder(folder, log, run);
    QCOMPARE(log.lines().size(), 2);
    QCOMPARE(log.lines()[0], QLatin1String("SUCCESS: (1) files matching (*.cel) were found on (") +
                                 folder + QLatin1String(") and subfolders"));

    run.maskList = QStringLiteral("*.none");
    log.Clear();
    ScanFolder(folder, log, run);
    QCOMPARE(log.lines(),
             QStringList{QLatin1String("ERROR: No files matching (*.none) were found on (") +
                         folder + QLatin1String(") and subfolders")});
}

void tst_Module1::scanFolderGoesOnWhenAFileVanishes()
{
    const QString first = put(QStringLiteral("1.cl2"), makeEightDirectionCl2(1));
    const QString second = put(QStringLiteral("2.cl2"), makeEightDirectionCl2(1));
    const QString third = put(QStringLiteral("3.cl2"), makeEightDirectionCl2(1));
    ConversionRun run;
    // One file at a time, so that no file is open ahead of the change.
    run.jobs = 1;
    // The second file disappears after the search found it.
    run.progress = [&](qsizetype done, qsizetype) {
        if (done == 1) {
            QFile::remove(second);
        }
    };
    StringMessageLog log;
    const BatchResult result = ScanFolder(m_dir->path(), log, run);
    QCOMPARE(result.failed, 1);
    QCOMPARE(log.lines().size(), 4);
    QCOMPARE(log.lines()[1], realignedLine(first));
    QCOMPARE(log.lines()[2], QLatin1String("ERROR: File (") + second +
                                 QLatin1String(") could not be opened: No such file or directory"));
    QCOMPARE(log.lines()[3], realignedLine(third));
    QVERIFY(!QFile::exists(second));
}

void tst_Module1::scanFolderStopsBetweenFilesWhenAsked()
{
    const QByteArray original = makeEightDirectionCl2(1);
    const QString first = put(QStringLiteral("1.cl2"), original);
    const QString second = put(QStringLiteral("2.cl2"), original);
    ConversionRun run;
    run.progress = [&run](qsizetype, qsizetype) { run.requestStop(); };
    StringMessageLog log;
    const BatchResult result = ScanFolder(m_dir->path(), log, run);
    QVERIFY(result.stopped);
    QCOMPARE(log.lines().size(), 3);
    QCOMPARE(log.lines()[1], realignedLine(first));
    QCOMPARE(log.lines()[2], u"ERROR: Conversion stopped after (1) of (2) files"_s);
    QCOMPARE(readFile(second), original);
}

void tst_Module1::scanFolderChecksLongTablesAgainstTheFile()
{
    // Tables longer than the first read of a file: one whole, one cut short.
    const QByteArray whole = makeEightDirectionCl2(2000, 2);
    const QByteArray cut = whole.left(int32At(whole, 4) + 4000);
    const QString good = put(QStringLiteral("a.cl2"), whole);
    const QString bad = put(QStringLiteral("b.cl2"), cut);
    StringMessageLog log;
    ScanFolder(m_dir->path(), log);
    QCOMPARE(log.lines().size(), 3);
    QCOMPARE(log.lines()[1], realignedLine(good));
    QCOMPARE(log.lines()[2],
             QLatin1String("ERROR: File (") + bad +
                 QLatin1String(") has frame tables that run past the end of the file"));
    QCOMPARE(framesBySlot(readFile(good)), slotsAfterConversion(whole));
    QCOMPARE(readFile(bad), cut);
}

void tst_Module1::scanFolderConvertsAFileUnderTwoNamesOnce()
{
    const QByteArray original = makeEightDirectionCl2(2);
    const QString path = put(QStringLiteral("a.cl2"), original);
    const QString hard = m_dir->filePath(QStringLiteral("b.cl2"));
    const QString soft = m_dir->filePath(QStringLiteral("sub/c.cl2"));
    QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(hard).constData()), 0);
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("sub"))));
    QVERIFY(QFile::link(path, soft));
    const QString other = put(QStringLiteral("sub/d.cl2"), original);

    StringMessageLog log;
    const BatchResult result = ScanFolder(m_dir->path(), log);
    QCOMPARE(result.failed, 2);
    const QString twice = QStringLiteral(") was already converted in this run");
    QCOMPARE(log.lines(), (QStringList{
                              QLatin1String("SUCCESS: (4) files were found on (") + m_dir->path() +
                                  QLatin1String(") and subfolders"),
                              realignedLine(path),
                              QLatin1String("ERROR: File (") + hard + twice,
                              QLatin1String("ERROR: File (") + soft + twice,
                              realignedLine(other),
                          }));
    QCOMPARE(framesBySlot(readFile(path)), slotsAfterConversion(original));
    QCOMPARE(framesBySlot(readFile(other)), slotsAfterConversion(original));
}

void tst_Module1::scanFolderReachesNamesThatAreNotUtf8()
{
    // A name the system holds as bytes that are no UTF-8 is shown as best it
    // can be, and still opened by its own bytes.
    const QByteArray original = makeEightDirectionCl2(2);
    const QByteArray name = QFile::encodeName(m_dir->path()) + QByteArray("/bad\xff.cl2");
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, original.constData(), size_t(original.size())), ssize_t(original.size()));
    ::close(fd);

    StringMessageLog log;
    ScanFolder(m_dir->path(), log);
    QCOMPARE(log.lines().size(), 2);
    QVERIFY2(log.lines()[1].startsWith(QLatin1String("SUCCESS: File (") + m_dir->path() +
                                       QLatin1String("/bad")),
             qPrintable(log.lines()[1]));
    QByteArray after(original.size(), '\0');
    const int again = ::open(name.constData(), O_RDONLY);
    QVERIFY(again >= 0);
    QCOMPARE(::read(again, after.data(), size_t(after.size())), ssize_t(after.size()));
    ::close(again);
    ::unlink(name.constData());
    QCOMPARE(framesBySlot(after), slotsAfterConversion(original));
}

void tst_Module1::aNameReplacedAfterTheSearchIsNotConvertedTwice()
{
    const QByteArray original = makeEightDirectionCl2(2);
    const QString first = put(QStringLiteral("a.cl2"), original);
    const QString second = put(QStringLiteral("b.cl2"), original);
    ConversionRun run;
    run.jobs = 1;
    // Once the first file is converted, the second name is made to lead to it.
    run.progress = [&](qsizetype done, qsizetype) {
        if (done == 1) {
            QFile::remove(second);
            QCOMPARE(
                ::link(QFile::encodeName(first).constData(), QFile::encodeName(second).constData()),
                0);
        }
    };
    StringMessageLog log;
    ScanFolder(m_dir->path(), log, run);
    QCOMPARE(log.lines().size(), 3);
    QCOMPARE(log.lines()[2],
             QLatin1String("ERROR: File (") + second + ") was already converted in this run"_L1);
    QCOMPARE(framesBySlot(readFile(first)), slotsAfterConversion(original));
}

void tst_Module1::failedCloseAfterWritingSaysTheFileWasRewritten()
{
    const QByteArray original = makeEightDirectionCl2(2);
    const QString path = put(QStringLiteral("on a share.cl2"), original);
    BinaryFile::failNextCloseForTesting(EIO);
    StringMessageLog log;
    QVERIFY(!ReorderDirections(path, log));
    QCOMPARE(log.lines(), QStringList{QLatin1String("ERROR: File (") + path +
                                      ") was rewritten, but closing it failed (Input/output "
                                      "error): on a network file system the new bytes may not "
                                      "have reached the server"_L1});
    QCOMPARE(framesBySlot(readFile(path)), slotsAfterConversion(original));
}

void tst_Module1::undoPutsBackExactlyWhatTheRunConverted()
{
    const QByteArray original = makeEightDirectionCl2(3);
    const QString kept = put(QStringLiteral("kept.cl2"), original);
    const QString replaced = put(QStringLiteral("sub/replaced.cl2"), original);
    const QString refused = put(QStringLiteral("sub/single.cl2"), makeSingleDirectionCl2(2));
    ConversionRun run;
    run.keepConvertedList();
    StringMessageLog log;
    ScanFolder(m_dir->path(), log, run);
    const ConvertedFiles &converted = run.convertedFiles();
    QCOMPARE(converted.files.size(), 2);
    // After the run, one name comes to lead to another file.
    const QByteArray stranger = makeEightDirectionCl2(1);
    QVERIFY(QFile::remove(replaced));
    QVERIFY(writeFile(replaced, stranger));
    put(QStringLiteral("new.cl2"), original);

    ConversionRun undo({.undo = true, .dryRun = false});
    log.Clear();
    UndoConversion(converted, log, undo);
    QCOMPARE(log.lines(),
             (QStringList{QLatin1String("SUCCESS: File (") + kept + ") directions were restored"_L1,
                          QLatin1String("ERROR: File (") + replaced +
                              ") is no longer the file that was converted"_L1}));
    QCOMPARE(readFile(kept), original);
    QCOMPARE(readFile(replaced), stranger);
    QCOMPARE(readFile(refused), makeSingleDirectionCl2(2));
}

void tst_Module1::fileExists()
{
    const QString file = put(QStringLiteral("here.cl2"), QByteArray());
    QVERIFY(FileExists(file));
    QVERIFY(!FileExists(m_dir->filePath(QStringLiteral("absent.cl2"))));
    QVERIFY(!FileExists(m_dir->path()));
}

QTEST_GUILESS_MAIN(tst_Module1)
#include "tst_Module1.moc"
