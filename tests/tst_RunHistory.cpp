// The history of runs, through the real command line: --history, --undo-last
// after a kill, --skip-converted after a stop, the note on files turned twice,
// the bounds and the trust checks of the records.
#include "convert/Module1.h"
#include "support/Cl2Fixture.h"
#include "support/ProcessRun.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

const QString cli = QStringLiteral(CL2VELMORA_CLI_PATH);

QProcessEnvironment withFaults(const QString &orders)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LD_PRELOAD"_s, QStringLiteral(VELMORA_FAULTS_PATH));
    environment.insert(u"VELMORA_FAULT_PWRITE"_s, orders);
    return environment;
}

ProcessRun runCli(const QStringList &arguments)
{
    return runProcess(cli, arguments);
}

QStringList lines(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).split(u'\n', Qt::SkipEmptyParts);
}

QString restoredLine(const QString &path)
{
    return "SUCCESS: File ("_L1 + path + ") directions were restored"_L1;
}

QString leftOutLine(const QString &path)
{
    return "SUCCESS: File ("_L1 + path + ") was left out: a run on "_L1;
}

QString turnedAgainNote(int n)
{
    return "cl2velmora-cli: "_L1 + QString::number(n) +
           (n == 1 ? " file was converted a second time: an earlier run had converted it, and it "
                     "was"_L1
                   : " files were converted a second time: an earlier run had converted them, "
                     "and they were"_L1) +
           " not changed since (cl2velmora-cli --undo-last undoes this run; --skip-converted "
           "leaves such files out)"_L1;
}

} // namespace

class tst_RunHistory : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void historyListsEachRun();
    void undoLastAfterAKill_data();
    void undoLastAfterAKill();
    void undoLastLeavesAFileChangedSince();
    void nothingToUndo_data();
    void nothingToUndo();
    void skipConvertedResumesAStoppedRun();
    void filesTurnedTwiceAreCounted();
    void theHistoryIsBounded();
    void anUntrustedRecordIsNotRead_data();
    void anUntrustedRecordIsNotRead();

private:
    // Five 8-direction files in batch/, all alike; their paths.
    QStringList makeBatch();
    QString records() const { return m_state->filePath(u"cl2velmora/history"_s); }
    QStringList recordNames() const { return QDir(records()).entryList(QDir::Files); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_state;
    const QByteArray m_original = makeEightDirectionCl2(3);
};

void tst_RunHistory::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_state = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid() && m_state->isValid());
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state->path()));
}

QStringList tst_RunHistory::makeBatch()
{
    QStringList paths;
    for (int i = 0; i < 5; ++i) {
        paths << putFile(*m_dir, u"batch/%1.cl2"_s.arg(i), m_original);
    }
    return paths;
}

void tst_RunHistory::historyListsEachRun()
{
    const QStringList batch = makeBatch();
    const QString single = putFile(*m_dir, u"single.cl2"_s, m_original);
    QVERIFY(runCli({m_dir->filePath(u"batch"_s)}).exitCode == 0);
    QVERIFY(runCli({u"--undo"_s, single, single}).exitCode == 1); // named twice: left alone
    const ProcessRun history = runCli({u"--history"_s});
    QVERIFY2(history.finished && history.exitCode == 0, history.err.constData());
    const QString time = u"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d"_s;
    const QStringList shown = lines(history.out);
    QCOMPARE(shown.size(), 2);
    QVERIFY2(QRegularExpression(u"^"_s + time +
                                u"  cl2velmora-cli  5 files converted  finished  "_s +
                                QRegularExpression::escape(m_dir->filePath(u"batch"_s)) + u"$"_s)
                 .match(shown[0])
                 .hasMatch(),
             qPrintable(shown[0]));
    QVERIFY2(QRegularExpression(u"^"_s + time + u"  cl2velmora-cli  1 file restored  finished  "_s +
                                QRegularExpression::escape(single + u' ' + single) + u"$"_s)
                 .match(shown[1])
                 .hasMatch(),
             qPrintable(shown[1]));
    // A run that converts nothing (a dry run, or only refusals) keeps no record.
    QVERIFY(runCli({u"--dry-run"_s, batch[0]}).exitCode == 0);
    const QString refused = putFile(*m_dir, u"one.cl2"_s, makeSingleDirectionCl2(2));
    QVERIFY(runCli({refused}).exitCode == 1);
    QCOMPARE(lines(runCli({u"--history"_s}).out).size(), 2);
}

// Killed between the two writes of a file: the repair at the next start
// puts that one back. Killed after a file's last write, before the run
// recorded it: the repair adds it to the run's record. Either way
// --undo-last then restores every file the run converted whole, also those
// a batch on several threads had converted ahead of its log, and leaves the
// files it never reached as they were.
void tst_RunHistory::undoLastAfterAKill_data()
{
    QTest::addColumn<int>("jobs");
    QTest::addColumn<QString>("orders");
    QTest::addColumn<int>("putBack"); // -1: as many as the threads left so
    QTest::addColumn<int>("restored");
    // The kill comes at the 60th write: on one thread, the second of the
    // 30th file.
    QTest::newRow("between two writes, one thread") << 1 << u"60:kill"_s << 1 << 29;
    QTest::newRow("after the last write, one thread") << 1 << u"60:killafter"_s << 0 << 30;
    QTest::newRow("between two writes, eight threads") << 8 << u"60:kill"_s << -1 << -1;
    QTest::newRow("after the last write, eight threads") << 8 << u"60:killafter"_s << -1 << -1;
}

void tst_RunHistory::undoLastAfterAKill()
{
    QFETCH(int, jobs);
    QFETCH(QString, orders);
    QFETCH(int, putBack);
    QFETCH(int, restored);
    QStringList batch;
    for (int i = 0; i < 60; ++i) {
        batch << putFile(*m_dir, u"batch/%1.cl2"_s.arg(i, 2, 10, QChar(u'0')), m_original);
    }
    const ProcessRun killed = runProcess(
        cli, {u"-j"_s + QString::number(jobs), m_dir->filePath(u"batch"_s)}, withFaults(orders));
    QVERIFY(!killed.finished);
    int changed = 0;
    for (const QString &file : batch) {
        changed += readFile(file) != m_original ? 1 : 0;
    }
    QVERIFY(changed >= 30);
    QVERIFY(lines(runCli({u"--history"_s}).out).value(0).contains(u" files converted  killed  "_s));

    const ProcessRun undo = runCli({u"--undo-last"_s});
    QVERIFY2(undo.finished && undo.exitCode == 0, undo.err.constData());
    QVERIFY(undo.err.startsWith("cl2velmora-cli: undoing the run of "));
    const QStringList shown = lines(undo.out);
    const QString putBackText = u") was put back as it was before an interrupted run"_s;
    const qsizetype shownPutBack = shown.filter(putBackText).size();
    for (int i = 0; i < shown.size(); ++i) { // the repair comes first
        QVERIFY2(
            shown[i].endsWith(i < shownPutBack ? putBackText : u") directions were restored"_s),
            qPrintable(shown[i]));
    }
    // Each changed file was put back by the repair or restored by the undo.
    QCOMPARE(shown.size(), changed);
    if (putBack >= 0) { // one thread: in order
        QCOMPARE(shownPutBack, putBack);
        QCOMPARE(shown.size() - shownPutBack, restored);
        QCOMPARE(shown.value(putBack), restoredLine(batch[0]));
    }
    for (const QString &file : batch) {
        QVERIFY2(readFile(file) == m_original, qPrintable(file));
    }
}

void tst_RunHistory::undoLastLeavesAFileChangedSince()
{
    const QStringList batch = makeBatch();
    QVERIFY(runCli({m_dir->filePath(u"batch"_s)}).exitCode == 0);
    const QByteArray converted = readFile(batch[1]);
    // Written since (the same bytes, a new time), and replaced by another file.
    QVERIFY(writeFile(batch[1], converted));
    QVERIFY(QFile::remove(batch[3]) && writeFile(batch[3], converted));
    const ProcessRun undo = runCli({u"--undo-last"_s});
    QCOMPARE(undo.exitCode, 3);
    const QString changed = u") is no longer the file that was converted"_s;
    QCOMPARE(lines(undo.out),
             (QStringList{restoredLine(batch[0]), "ERROR: File ("_L1 + batch[1] + changed,
                          restoredLine(batch[2]), "ERROR: File ("_L1 + batch[3] + changed,
                          restoredLine(batch[4])}));
    QCOMPARE(readFile(batch[1]), converted);
    QCOMPARE(readFile(batch[3]), converted);
    QCOMPARE(readFile(batch[4]), m_original);
}

void tst_RunHistory::nothingToUndo_data()
{
    QTest::addColumn<int>("runs"); // 0: none; 1: a conversion; 2: and its undo
    QTest::addColumn<QString>("why");
    QTest::newRow("no run") << 0 << u"no run has been recorded: nothing to undo"_s;
    QTest::newRow("undone already") << 2 << u") was itself an undo: nothing to undo"_s;
}

void tst_RunHistory::nothingToUndo()
{
    QFETCH(int, runs);
    QFETCH(QString, why);
    const QStringList batch = makeBatch();
    for (int i = 0; i < runs; ++i) {
        QVERIFY(runCli(i == 0 ? QStringList{batch[0]} : QStringList{u"--undo-last"_s}).exitCode ==
                0);
    }
    const ProcessRun undo = runCli({u"--undo-last"_s});
    QCOMPARE(undo.exitCode, 1);
    QCOMPARE(undo.out, QByteArray());
    QVERIFY2(QString::fromUtf8(undo.err).endsWith(why + u'\n'), undo.err.constData());
    QCOMPARE(readFile(batch[0]), m_original);
}

// Stopped (a signal while the third file is written): a run with
// --skip-converted leaves out the three converted, converts the other two,
// and no file is turned twice.
void tst_RunHistory::skipConvertedResumesAStoppedRun()
{
    const QStringList batch = makeBatch();
    const QString folder = m_dir->filePath(u"batch"_s);
    const ProcessRun stopped =
        runProcess(cli, {u"-j1"_s, folder}, withFaults(u"5:stop"_s), {}, [](qint64 pid) {
            if (awaitStopped(pid)) {
                ::kill(pid_t(pid), SIGINT);
                ::kill(pid_t(pid), SIGCONT);
            }
        });
    QCOMPARE(stopped.exitCode, 128 + SIGINT);
    QCOMPARE(lines(stopped.out).constLast(), u"ERROR: Conversion stopped after (3) of (5) files"_s);
    QVERIFY(lines(runCli({u"--history"_s}).out).value(0).contains(u"3 files converted  stopped"_s));

    const ProcessRun resumed = runCli({u"--skip-converted"_s, folder});
    QVERIFY2(resumed.finished && resumed.exitCode == 0, resumed.err.constData());
    const QStringList shown = lines(resumed.out);
    QCOMPARE(shown.size(), 6);
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(shown[i + 1].startsWith(leftOutLine(batch[i])) &&
                     shown[i + 1].endsWith(u" converted it"_s),
                 qPrintable(shown[i + 1]));
    }
    QCOMPARE(shown.mid(4), (QStringList{realignedLine(batch[3]), realignedLine(batch[4])}));
    QCOMPARE(resumed.err, QByteArray());
    const QByteArray once = readFile(batch[0]);
    QVERIFY(once != m_original);
    for (const QString &file : batch) {
        QCOMPARE(readFile(file), once);
    }
}

// A second run converts again what the first converted, and says how many;
// a file changed in between is not counted, nor is a file undone since.
void tst_RunHistory::filesTurnedTwiceAreCounted()
{
    const QStringList batch = makeBatch();
    const QString folder = m_dir->filePath(u"batch"_s);
    QVERIFY(runCli({folder}).exitCode == 0);
    QVERIFY(writeFile(batch[0], m_original));
    const ProcessRun again = runCli({folder});
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(lines(again.out).size(), 6); // the log lines stay as they are
    QCOMPARE(QString::fromUtf8(again.err), turnedAgainNote(4) + u'\n');
    // The second run undone: the files are converted once, and the record of
    // the first run no longer matches them.
    QVERIFY(runCli({u"--undo-last"_s}).exitCode == 0);
    const ProcessRun third = runCli({batch[1]});
    QCOMPARE(third.exitCode, 0);
    QCOMPARE(third.err, QByteArray());
    QCOMPARE(QString::fromUtf8(runCli({batch[1]}).err), turnedAgainNote(1) + u'\n');
}

void tst_RunHistory::theHistoryIsBounded()
{
    const QString file = putFile(*m_dir, u"one.cl2"_s, m_original);
    for (int i = 0; i < 22; ++i) {
        QVERIFY(runCli({file}).exitCode == 0);
    }
    QCOMPARE(recordNames().size(), 20);
    QCOMPARE(lines(runCli({u"--history"_s}).out).size(), 20);
    for (const QString &name : recordNames()) {
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(records() + u'/' + name).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
    }
}

enum class RecordChange { GroupWritable, Link, Garbage };

void tst_RunHistory::anUntrustedRecordIsNotRead_data()
{
    QTest::addColumn<RecordChange>("change");
    QTest::addColumn<QString>("why");
    QTest::newRow("group-writable")
        << RecordChange::GroupWritable << u"other users can write to it (mode 0620)"_s;
    QTest::newRow("symbolic link") << RecordChange::Link << u"it is a symbolic link"_s;
    QTest::newRow("not a record") << RecordChange::Garbage
                                  << u"it does not begin with a valid header"_s;
}

// A record another user could have written is neither listed nor undone.
void tst_RunHistory::anUntrustedRecordIsNotRead()
{
    QFETCH(RecordChange, change);
    QFETCH(QString, why);
    const QStringList batch = makeBatch();
    QVERIFY(runCli({batch[0]}).exitCode == 0);
    QVERIFY(runCli({batch[1]}).exitCode == 0);
    const QString last = records() + u'/' + recordNames().constLast();
    const QByteArray path = QFile::encodeName(last);
    const QString elsewhere = m_dir->filePath(u"elsewhere"_s);
    switch (change) {
    case RecordChange::GroupWritable:
        QCOMPARE(::chmod(path.constData(), 0620), 0);
        break;
    case RecordChange::Link:
        QVERIFY(QFile::rename(last, elsewhere) && QFile::link(elsewhere, last));
        break;
    case RecordChange::Garbage:
        QVERIFY(writeFile(last, QByteArray(200, 'x')));
        break;
    }
    const ProcessRun history = runCli({u"--history"_s});
    QCOMPARE(history.exitCode, 3);
    QCOMPARE(lines(history.out).size(), 1);
    QCOMPARE(QString::fromUtf8(history.err),
             "cl2velmora-cli: a record of a run was left out: "_L1 + last + ": "_L1 + why + u'\n');
    // Nor is the run before it undone in its place.
    const ProcessRun undo = runCli({u"--undo-last"_s});
    QCOMPARE(undo.exitCode, 1);
    QCOMPARE(QString::fromUtf8(undo.err), "cl2velmora-cli: the last record of a run ("_L1 + last +
                                              ") cannot be used: "_L1 + why +
                                              "; nothing was undone\n"_L1);
    QVERIFY(readFile(batch[0]) != m_original);
}

QTEST_GUILESS_MAIN(tst_RunHistory)
#include "tst_RunHistory.moc"
