// The journal of files in flight and the repair at the next start: the real
// command-line program killed between a file's two writes, then started again.
#include "convert/DirectionTables.h"
#include "convert/Journal.h"
#include "convert/Module1.h"
#include "platform/LockedFile.h"
#include "support/Cl2Fixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

struct CliRun
{
    bool finished = false; // ended by itself, not by a signal or a timeout
    bool killed = false;   // ended by a signal
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

CliRun runCli(const QStringList &arguments, int killBetweenWritesOf = 0)
{
    QProcess process;
    process.setProgram(QStringLiteral(CL2VELMORA_CLI_PATH));
    process.setArguments(arguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (killBetweenWritesOf > 0) {
        environment.insert(QStringLiteral("CL2VELMORA_TEST_KILL_BETWEEN_WRITES"),
                           QString::number(killBetweenWritesOf));
    }
    process.setProcessEnvironment(environment);
    process.start();
    CliRun run;
    const bool ended = process.waitForFinished(60000);
    run.finished = ended && process.exitStatus() == QProcess::NormalExit;
    run.killed = ended && process.exitStatus() == QProcess::CrashExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QList<QByteArray> outputLines(const QByteArray &out)
{
    QList<QByteArray> lines = out.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

QByteArray putBackLine(const QString &path)
{
    return (QLatin1String("SUCCESS: File (") + path +
            QLatin1String(") was put back as it was before an interrupted run"))
        .toUtf8();
}

QByteArray cannotCheckPrefix(const QString &path)
{
    return (QLatin1String("ERROR: File (") + path +
            QLatin1String(") could not be checked after an interrupted run: "))
        .toUtf8();
}

qsizetype frontBlockSize(const QByteArray &image)
{
    return 36 + 4 * (int32At(image, 32) + 1);
}

// The file as a run killed between its two writes leaves it: the front block
// written, the partner group's table not yet.
QByteArray halfWritten(const QByteArray &before, const QByteArray &after)
{
    QByteArray mixed = before;
    const qsizetype front = frontBlockSize(before);
    mixed.replace(0, front, after.left(front));
    return mixed;
}

} // namespace

class tst_Journal : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void killedBetweenWritesIsPutBack_data();
    void killedBetweenWritesIsPutBack();
    void randomKillsLeaveEachFileWhole();
    void tornRecordIsIgnored_data();
    void tornRecordIsIgnored();
    void unreadableJournalIsKeptAndReportedOnce_data();
    void unreadableJournalIsKeptAndReportedOnce();
    void journalOfALiveProcessIsLeftAlone();
    void fileChangedAfterTheKillIsLeftAlone_data();
    void fileChangedAfterTheKillIsLeftAlone();
    void unusableStateFolderDoesNotStopAConversion_data();
    void unusableStateFolderDoesNotStopAConversion();
    void latestRecordOfAFileCountsAcrossSlots();

private:
    QString put(const QString &name, const QByteArray &bytes);
    QByteArray converted(const QByteArray &before, bool undo = false);
    QString journalFolder() const { return m_state->filePath(QStringLiteral("cl2velmora")); }
    QStringList journalFolderEntries() const
    {
        return QDir(journalFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }
    // Kills the program between the two writes of path, its only file, and
    // returns the journal it left.
    QString killWhileWriting(const QString &path);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_state;
};

void tst_Journal::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_state = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid() && m_state->isValid());
    // The program's journals go here, not into the home folder.
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state->path()));
}

QString tst_Journal::put(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir->filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!writeFile(path, bytes)) {
        qFatal("cannot write fixture %s", qPrintable(path));
    }
    return path;
}

// The bytes a whole conversion gives, made by the core on a scratch copy.
QByteArray tst_Journal::converted(const QByteArray &before, bool undo)
{
    const QString scratch = put(QStringLiteral("scratch/copy.cl2"), before);
    StringMessageLog log;
    ConversionOptions options;
    options.undo = undo;
    if (!ReorderDirections(scratch, log, options)) {
        qFatal("scratch conversion failed: %s", qPrintable(log.text()));
    }
    return readFile(scratch);
}

QString tst_Journal::killWhileWriting(const QString &path)
{
    const QByteArray before = readFile(path);
    const CliRun run = runCli({path}, 1);
    if (!run.killed || readFile(path) != halfWritten(before, converted(before))) {
        qWarning("the run was not killed between the two writes");
        return {};
    }
    const QStringList journals = journalFolderEntries();
    return journals.size() == 1 ? QDir(journalFolder()).filePath(journals.first()) : QString();
}

void tst_Journal::killedBetweenWritesIsPutBack_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("killAt"); // of three files, the one being written when killed

    QTest::newRow("first file") << QStringList() << 2 << 1;
    // The partner's table then lies beyond the first 4 KiB of the file.
    QTest::newRow("second file, long tables") << QStringList() << 1100 << 2;
    QTest::newRow("undo, third file") << QStringList{QStringLiteral("--undo")} << 3 << 3;
    QTest::newRow("sync, long tables") << QStringList{QStringLiteral("--sync")} << 1100 << 2;
}

void tst_Journal::killedBetweenWritesIsPutBack()
{
    QFETCH(QStringList, options);
    QFETCH(int, frames);
    QFETCH(int, killAt);
    const bool undo = options.contains(QStringLiteral("--undo"));
    // Undo takes a file converted once.
    const QByteArray original =
        undo ? converted(makeEightDirectionCl2(frames, 2)) : makeEightDirectionCl2(frames, 2);
    const QByteArray done = converted(original, undo);
    QStringList files;
    for (int i = 1; i <= 3; ++i) {
        files << put(QStringLiteral("file %1 (x).cl2").arg(i), original);
    }

    const CliRun killed = runCli(options + files, killAt);
    QVERIFY2(killed.killed, killed.err.constData());
    for (int i = 1; i <= 3; ++i) {
        const QByteArray expected = i < killAt    ? done
                                    : i == killAt ? halfWritten(original, done)
                                                  : original;
        QVERIFY2(readFile(files[i - 1]) == expected, qPrintable(files[i - 1]));
    }
    QCOMPARE(journalFolderEntries().size(), 1);

    const QString half = files[killAt - 1];
    const CliRun next = runCli({QStringLiteral("--dry-run"), half});
    QVERIFY2(next.finished, next.err.constData());
    const QList<QByteArray> lines = outputLines(next.out);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], putBackLine(half));
    QVERIFY2(lines[1].startsWith("SUCCESS: "), lines[1].constData());
    QCOMPARE(next.err, QByteArray());
    QCOMPARE(next.exitCode, 0);
    QCOMPARE(readFile(half), original);
    for (int i = 1; i < killAt; ++i) {
        QCOMPARE(readFile(files[i - 1]), done);
    }
    QCOMPARE(journalFolderEntries(), QStringList());

    // Nothing left to do: the next start says nothing about it.
    const CliRun third = runCli({QStringLiteral("--dry-run"), half});
    QCOMPARE(outputLines(third.out).size(), 1);
}

void tst_Journal::randomKillsLeaveEachFileWhole()
{
    // Long tables: each file's second write lies far beyond the first 4 KiB,
    // the writes are long enough to be cut in the middle, and the batch lasts
    // long enough for kills to land in it.
    const QByteArray original = makeEightDirectionCl2(12000, 1);
    const QByteArray done = converted(original);
    QStringList files;
    for (int i = 0; i < 12; ++i) {
        files << put(QStringLiteral("batch/f%1.cl2").arg(i, 2, 10, QLatin1Char('0')), original);
    }
    const QString batch = m_dir->filePath(QStringLiteral("batch"));
    // The journal is there from just before the first write to just after the
    // last. Starts the program and returns once its journal is there (true),
    // or once the program has ended without our seeing it: on a busy machine
    // this process may get the processor back too late.
    const auto startUntilJournal = [&](QProcess &process) {
        process.setProgram(QStringLiteral(CL2VELMORA_CLI_PATH));
        process.setArguments({batch});
        process.start();
        if (!process.waitForStarted()) {
            return false;
        }
        const QString journal = journalFolder() + QLatin1String("/journal-") +
                                QString::number(process.processId()) + QLatin1String(".bin");
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            if (QFileInfo::exists(journal)) {
                return true;
            }
            if (process.waitForFinished(0)) {
                return false;
            }
            QThread::usleep(20);
        }
        return false;
    };
    // The wait above may have seen the program end already.
    const auto ended = [](QProcess &process) {
        return process.state() == QProcess::NotRunning || process.waitForFinished(20000);
    };

    // How long the batch lasts: kills fall at random instants within it.
    qint64 batchUs = 0;
    for (int attempt = 0; attempt < 20 && batchUs == 0; ++attempt) {
        QProcess whole;
        const bool seen = startUntilJournal(whole);
        QElapsedTimer batchTime;
        batchTime.start();
        QVERIFY(ended(whole));
        if (seen) {
            batchUs = std::max<qint64>(batchTime.nsecsElapsed() / 1000, 1);
        }
    }
    QVERIFY2(batchUs > 0, "the journal of a whole run was never seen");

    QRandomGenerator &random = *QRandomGenerator::global();
    int killedInBatch = 0;
    int putBack = 0;
    for (int round = 0; round < 8; ++round) {
        for (const QString &file : files) {
            QVERIFY(writeFile(file, original));
        }
        QProcess process;
        if (startUntilJournal(process)) {
            QThread::usleep(static_cast<unsigned long>(random.bounded(batchUs)));
            process.kill();
        }
        QVERIFY(ended(process));
        killedInBatch += process.exitStatus() == QProcess::CrashExit;

        const CliRun next = runCli({QStringLiteral("--dry-run"), batch});
        QVERIFY2(next.finished, next.err.constData());
        for (const QByteArray &line : outputLines(next.out)) {
            QVERIFY2(!line.startsWith("ERROR"), line.constData());
            putBack += line.contains("was put back");
        }
        for (const QString &file : files) {
            const QByteArray now = readFile(file);
            QVERIFY2(now == original || now == done, qPrintable(file));
        }
        QCOMPARE(journalFolderEntries(), QStringList());
    }
    qInfo("batch lasts %lld us; %d of 8 runs killed in it, %d files put back", batchUs,
          killedInBatch, putBack);
}

void tst_Journal::tornRecordIsIgnored_data()
{
    QTest::addColumn<bool>("cutShort"); // else one byte of the record is wrong

    QTest::newRow("record cut short") << true;
    QTest::newRow("record with a wrong byte") << false;
}

void tst_Journal::tornRecordIsIgnored()
{
    QFETCH(bool, cutShort);
    const QByteArray original = makeEightDirectionCl2(4);
    const QString file = put(QStringLiteral("torn.cl2"), original);
    const QString journal = killWhileWriting(file);
    QVERIFY(!journal.isEmpty());
    // A torn record was being written when the run died: the file's writes had
    // not begun.
    QVERIFY(writeFile(file, original));
    QByteArray bytes = readFile(journal);
    if (cutShort) {
        bytes.chop(10);
    } else {
        bytes[bytes.size() - 20] = static_cast<char>(bytes[bytes.size() - 20] ^ 0x40);
    }
    QVERIFY(writeFile(journal, bytes));

    const CliRun next = runCli({QStringLiteral("--dry-run"), file});
    QVERIFY2(next.finished, next.err.constData());
    QCOMPARE(outputLines(next.out).size(), 1); // the dry run's own line
    QCOMPARE(next.exitCode, 0);
    QCOMPARE(readFile(file), original);
    QCOMPARE(journalFolderEntries(), QStringList());
}

void tst_Journal::unreadableJournalIsKeptAndReportedOnce_data()
{
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("not a journal") << QByteArrayLiteral("some other program's notes\n");
    QTest::newRow("header cut short") << QByteArrayLiteral("CL2VJRNL\x01");
}

void tst_Journal::unreadableJournalIsKeptAndReportedOnce()
{
    QFETCH(QByteArray, contents);
    QVERIFY(QDir().mkpath(journalFolder()));
    const QString journal = QDir(journalFolder()).filePath(QStringLiteral("journal-4242.bin"));
    QVERIFY(writeFile(journal, contents));
    const QString file = put(QStringLiteral("any.cl2"), makeEightDirectionCl2(2));

    const CliRun first = runCli({QStringLiteral("--dry-run"), file});
    QVERIFY2(first.finished, first.err.constData());
    const QList<QByteArray> lines = outputLines(first.out);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith(
                 (QLatin1String("ERROR: Journal (") + journal + QLatin1String(") ")).toUtf8()),
             lines[0].constData());
    QCOMPARE(first.exitCode, 1);
    QCOMPARE(journalFolderEntries(), QStringList{QStringLiteral("journal-4242.bin.bad")});
    QCOMPARE(readFile(journal + QLatin1String(".bad")), contents);

    const CliRun second = runCli({QStringLiteral("--dry-run"), file});
    QVERIFY2(second.finished, second.err.constData());
    QCOMPARE(outputLines(second.out).size(), 1);
    QCOMPARE(second.exitCode, 0);
}

void tst_Journal::journalOfALiveProcessIsLeftAlone()
{
    const QByteArray original = makeEightDirectionCl2(3);
    const QString file = put(QStringLiteral("live.cl2"), original);
    const QString journal = killWhileWriting(file);
    QVERIFY(!journal.isEmpty());
    const QByteArray half = readFile(file);

    {
        // This process now holds the journal as its live owner would.
        LockedFile held;
        QString error;
        QCOMPARE(held.claim(QFile::encodeName(journal), &error), LockedFile::Claim::Claimed);
        const CliRun next = runCli({QStringLiteral("--dry-run"), file});
        QVERIFY2(next.finished, next.err.constData());
        QCOMPARE(outputLines(next.out).size(), 1);
        QCOMPARE(readFile(file), half);
        QVERIFY(QFileInfo::exists(journal));
    }

    const CliRun after = runCli({QStringLiteral("--dry-run"), file});
    QCOMPARE(outputLines(after.out).value(0), putBackLine(file));
    QCOMPARE(readFile(file), original);
}

void tst_Journal::fileChangedAfterTheKillIsLeftAlone_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("why");

    QTest::newRow("a byte of its table") << QStringLiteral("byte") << QStringLiteral("bytes");
    QTest::newRow("longer") << QStringLiteral("append") << QStringLiteral("length");
    QTest::newRow("replaced by a copy")
        << QStringLiteral("replace") << QStringLiteral("another file");
    QTest::newRow("removed") << QStringLiteral("remove") << QStringLiteral("opened");
}

void tst_Journal::fileChangedAfterTheKillIsLeftAlone()
{
    QFETCH(QString, change);
    QFETCH(QString, why);
    const QString file = put(QStringLiteral("changed.cl2"), makeEightDirectionCl2(3));
    QVERIFY(!killWhileWriting(file).isEmpty());
    QByteArray bytes = readFile(file);
    if (change == QLatin1String("byte")) {
        bytes[40] = static_cast<char>(bytes[40] ^ 0x11);
        QVERIFY(writeFile(file, bytes));
    } else if (change == QLatin1String("append")) {
        bytes.append('x');
        QVERIFY(writeFile(file, bytes));
    } else if (change == QLatin1String("replace")) {
        // Same bytes, another file: never written into.
        const QString copy = put(QStringLiteral("copy.cl2"), bytes);
        QVERIFY(QFile::remove(file));
        QVERIFY(QFile::rename(copy, file));
    } else {
        QVERIFY(QFile::remove(file));
    }

    const QString other = put(QStringLiteral("other.cl2"), makeEightDirectionCl2(2));
    const CliRun next = runCli({QStringLiteral("--dry-run"), other});
    QVERIFY2(next.finished, next.err.constData());
    const QList<QByteArray> lines = outputLines(next.out);
    QCOMPARE(lines.size(), 2); // the repair's line, then the dry run's
    QVERIFY2(lines[0].startsWith(cannotCheckPrefix(file)), lines[0].constData());
    QVERIFY2(lines[0].contains(why.toUtf8()), lines[0].constData());
    QCOMPARE(next.exitCode, 1);
    if (change != QLatin1String("remove")) {
        QCOMPARE(readFile(file), bytes);
    }
    QCOMPARE(journalFolderEntries(), QStringList());
}

void tst_Journal::unusableStateFolderDoesNotStopAConversion_data()
{
    QTest::addColumn<QString>("stateHome"); // under the temporary state folder
    QTest::addColumn<QString>("plainFile"); // made a regular file there first
    QTest::addColumn<bool>("protects");

    QTest::newRow("missing, is made") << QStringLiteral("a/b") << QString() << true;
    QTest::newRow("XDG_STATE_HOME is a file")
        << QStringLiteral("file") << QStringLiteral("file") << false;
    QTest::newRow("its folder is a file")
        << QStringLiteral("home") << QStringLiteral("home/cl2velmora") << false;
}

void tst_Journal::unusableStateFolderDoesNotStopAConversion()
{
    QFETCH(QString, stateHome);
    QFETCH(QString, plainFile);
    QFETCH(bool, protects);
    if (!plainFile.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(m_state->filePath(plainFile)).absolutePath()));
        QVERIFY(writeFile(m_state->filePath(plainFile), "not a folder"));
    }
    const QString home = m_state->filePath(stateHome);
    qputenv("XDG_STATE_HOME", QFile::encodeName(home));
    const QByteArray original = makeEightDirectionCl2(3);
    const QString first = put(QStringLiteral("one.cl2"), original);
    const QString second = put(QStringLiteral("two.cl2"), original);

    const CliRun run = runCli({first, second});

    QVERIFY2(run.finished, run.err.constData());
    QCOMPARE(run.out, (realignedLine(first) + u'\n' + realignedLine(second) + u'\n').toUtf8());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(framesBySlot(readFile(second)), slotsAfterConversion(original));
    if (protects) {
        QCOMPARE(run.err, QByteArray());
        const QFileInfo folder(home + QLatin1String("/cl2velmora"));
        QVERIFY(folder.isDir());
        QCOMPARE(folder.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        QCOMPARE(QDir(folder.filePath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList()); // a run that ended deletes its journal
    } else {
        QVERIFY2(run.err.startsWith("cl2velmora-cli: cannot protect against interruption: "),
                 run.err.constData());
        QCOMPARE(run.err.count('\n'), 1);
    }
}

void tst_Journal::latestRecordOfAFileCountsAcrossSlots()
{
    // A long-lived process may record one file twice, in two slots: the later
    // record describes the file; the earlier one would call it changed.
    const QByteArray original = makeEightDirectionCl2(3);
    const QByteArray once = converted(original);
    const QString file = put(QStringLiteral("twice.cl2"), original);
    const QByteArray longOriginal = makeEightDirectionCl2(9000, 1);
    const QString longFile = put(QStringLiteral("long.cl2"), longOriginal);

    QString reason;
    std::unique_ptr<Journal> journal =
        Journal::create(Journal::Durability::ProcessDeath, &reason, 3);
    QVERIFY2(journal, qPrintable(reason));
    QString error;
    {
        BinaryFile open;
        QVERIFY(open.open(file, &error));
        DirectionTables tables;
        QCOMPARE(tables.load(open, DirectionSwap::Forward), QString());
        QVERIFY(journal->record(0, QFile::encodeName(file), open, DirectionSwap::Forward, tables));
        QCOMPARE(tables.store(open), QString());
    }
    {
        BinaryFile open;
        QVERIFY(open.open(file, &error));
        DirectionTables tables;
        QCOMPARE(tables.load(open, DirectionSwap::Forward), QString());
        QVERIFY(journal->record(1, QFile::encodeName(file), open, DirectionSwap::Forward, tables));
        // Killed after the first write.
        QVERIFY(open.writeAt(0, tables.newFront().data(), std::ssize(tables.newFront()), &error));
    }
    {
        // A record larger than a slot goes only into the last one.
        BinaryFile open;
        QVERIFY(open.open(longFile, &error));
        DirectionTables tables;
        QCOMPARE(tables.load(open, DirectionSwap::Forward), QString());
        QVERIFY(
            !journal->record(0, QFile::encodeName(longFile), open, DirectionSwap::Forward, tables));
        QVERIFY(
            journal->record(2, QFile::encodeName(longFile), open, DirectionSwap::Forward, tables));
    }
    // What the process leaves when it dies: its journal, unlocked.
    const QString left = QDir(journalFolder()).filePath(QStringLiteral("journal-1.bin"));
    QVERIFY(QFile::copy(QFile::decodeName(journal->path()), left));
    journal.reset();

    StringMessageLog log;
    RepairInterruptedRuns(log);

    QCOMPARE(log.lines(), QStringList{QString::fromUtf8(putBackLine(file))});
    QCOMPARE(readFile(file), once);
    QCOMPARE(readFile(longFile), longOriginal);
    QCOMPARE(journalFolderEntries(), QStringList());
}

QTEST_GUILESS_MAIN(tst_Journal)
#include "tst_Journal.moc"
