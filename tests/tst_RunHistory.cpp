// The history of runs, through the real command line: --history, --undo-last
// after a kill, --skip-converted after a stop, the note on files turned twice,
// the bounds and the trust checks of the records.
#include "convert/RunHistory.h"
#include "convert/RunRecord.h"
#include "convert/WrittenStamps.h"
#include "support/Cl2Fixture.h"
#include "support/ProcessRun.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>

using namespace velmora;
using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

// Runs the program; faults: orders for the fault library, such as "60:kill"
// (see tests/faults/faults.cpp).
ProcessRun runCli(const QStringList &arguments, const QString &faults = {},
                  const std::function<void(qint64)> &whileRunning = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!faults.isEmpty()) {
        environment.insert(u"LD_PRELOAD"_s, QStringLiteral(VELMORA_FAULTS_PATH));
        environment.insert(u"VELMORA_FAULT_PWRITE"_s, faults);
    }
    return runProcess(QStringLiteral(CL2VELMORA_CLI_PATH), arguments, environment, {},
                      whileRunning);
}

QStringList lines(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).split(u'\n', Qt::SkipEmptyParts);
}

QString restoredLine(const QString &path)
{
    return "SUCCESS: File ("_L1 + path + ") directions were restored"_L1;
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

    // count 8-direction files in batch/, all alike; their paths.
    QStringList makeBatch(int count = 5) { return makeBatch(count, m_original); }
    QStringList makeBatch(int count, const QByteArray &original)
    {
        QStringList paths;
        for (int i = 0; i < count; ++i) {
            paths << putFile(*m_dir, u"batch/%1.cl2"_s.arg(i, 2, 10, QChar(u'0')), original);
        }
        return paths;
    }
    QString batchFolder() const { return m_dir->filePath(u"batch"_s); }
    QString records() const { return m_state->filePath(u"cl2velmora/history"_s); }
    QStringList recordNames() const { return QDir(records()).entryList(QDir::Files); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_state;
    const QByteArray m_original = makeEightDirectionCl2(3);

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_state = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid() && m_state->isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state->path()));
    }

    // Only runs that convert are kept, the 20 latest, each in a file the user
    // alone can read; they are listed oldest first. With none there is
    // nothing to undo.
    void historyListsTheLatestRuns()
    {
        const ProcessRun none = runCli({u"--undo-last"_s});
        QVERIFY2(none.exitCode == 1 && none.out.isEmpty() &&
                     none.err.endsWith(": no run has been recorded: nothing to undo\n"),
                 none.err.constData());
        makeBatch();
        const QString single = putFile(*m_dir, u"single.cl2"_s, m_original);
        const QString refused = putFile(*m_dir, u"one.cl2"_s, makeSingleDirectionCl2(2));
        QCOMPARE(runCli({batchFolder()}).exitCode, 0);
        QCOMPARE(runCli({u"--undo"_s, single, single}).exitCode, 1); // named twice: left alone
        QCOMPARE(runCli({u"--dry-run"_s, batchFolder()}).exitCode, 0);
        QCOMPARE(runCli({refused}).exitCode, 1);
        const ProcessRun history = runCli({u"--history"_s});
        QCOMPARE(history.exitCode, 0);
        const QRegularExpression time(
            u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  cl2velmora-cli  "_s);
        QCOMPARE(lines(history.out).replaceInStrings(time, QString()),
                 (QStringList{u"5 files converted  finished  "_s + batchFolder(),
                              u"1 file restored  finished  "_s + single + u' ' + single}));
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(runCli({single}).exitCode, 0);
        }
        const QStringList kept = recordNames();
        QCOMPARE(kept.size(), 20);
        // Runs that convert nothing cost no record its place.
        QCOMPARE(runCli({u"--dry-run"_s, single}).exitCode, 0);
        QCOMPARE(runCli({refused}).exitCode, 1);
        QCOMPARE(recordNames(), kept);
        QCOMPARE(lines(runCli({u"--history"_s}).out).size(), 20);
        for (const QString &name : recordNames()) {
            QCOMPARE(QFileInfo(records() + u'/' + name).permissions(),
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        }
    }

    // Killed between the two writes of a file: the repair at the next start
    // puts that one back. Killed after a file's last write, before the run
    // recorded it: the repair adds it to the run's record. Either way
    // --undo-last then restores every file the run converted whole, also those
    // a batch on several threads had converted ahead of its log, and leaves
    // the files it never reached as they were.
    void undoLastAfterAKill_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::addColumn<int>("frameSize");
        QTest::addColumn<QString>("orders");
        QTest::addColumn<int>("putBack"); // -1: as many as the threads left so
        // Frames of 2 KiB put the partner table past the first 4 KiB: each
        // file takes two writes, and the 60th write is the second of the
        // 30th file. A smaller file takes one.
        QTest::newRow("between two writes, one thread") << 1 << 2048 << u"60:kill"_s << 1;
        QTest::newRow("after the last write, one thread") << 1 << 16 << u"30:killafter"_s << 0;
        QTest::newRow("between two writes, eight threads") << 8 << 2048 << u"60:kill"_s << -1;
        QTest::newRow("after the last write, eight threads") << 8 << 16 << u"30:killafter"_s << -1;
    }

    void undoLastAfterAKill()
    {
        QFETCH(int, jobs);
        QFETCH(int, frameSize);
        QFETCH(QString, orders);
        QFETCH(int, putBack);
        const QByteArray original = makeEightDirectionCl2(3, frameSize);
        const QStringList batch = makeBatch(60, original);
        QVERIFY(!runCli({u"-j%1"_s.arg(jobs), batchFolder()}, orders).finished);
        const qsizetype changed = std::ranges::count_if(
            batch, [&original](const QString &file) { return readFile(file) != original; });
        QVERIFY(changed >= 30);
        QVERIFY(
            lines(runCli({u"--history"_s}).out).value(0).contains(u" files converted  killed  "_s));

        const ProcessRun undo = runCli({u"--undo-last"_s});
        QVERIFY2(undo.exitCode == 0 && undo.err.startsWith("cl2velmora-cli: undoing the run of "),
                 undo.err.constData());
        // The repair's lines come first; each changed file was put back by it
        // or restored by the undo.
        const QStringList shown = lines(undo.out);
        const qsizetype repaired =
            shown.filter(u") was put back as it was before an interrupted run"_s).size();
        QCOMPARE(shown.size(), changed);
        QCOMPARE(shown.mid(repaired).filter(u") directions were restored"_s).size(),
                 changed - repaired);
        if (putBack >= 0) { // one thread: in order
            QCOMPARE(changed, 30);
            QCOMPARE(repaired, putBack);
            QCOMPARE(shown.value(putBack), restoredLine(batch[0]));
        }
        for (const QString &file : batch) {
            QVERIFY2(readFile(file) == original, qPrintable(file));
        }
    }

    // A file written since or replaced is left as it is; an undo is not undone.
    void undoLastLeavesAFileChangedSince()
    {
        const QStringList batch = makeBatch();
        QCOMPARE(runCli({batchFolder()}).exitCode, 0);
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
        const ProcessRun again = runCli({u"--undo-last"_s});
        QVERIFY2(again.exitCode == 1 && again.out.isEmpty() &&
                     again.err.endsWith(") was itself an undo: nothing to undo\n"),
                 again.err.constData());
        QCOMPARE(readFile(batch[0]), m_original);
    }

    // Stopped (a signal while the third file is written): a run with
    // --skip-converted leaves out the three converted, converts the other two,
    // and no file is turned twice. A run without it turns them again.
    void skipConvertedResumesAStoppedRun()
    {
        const QStringList batch = makeBatch();
        const ProcessRun stopped = runCli({u"-j1"_s, batchFolder()}, u"3:stop"_s, [](qint64 pid) {
            if (awaitStopped(pid)) {
                ::kill(pid_t(pid), SIGINT);
                ::kill(pid_t(pid), SIGCONT);
            }
        });
        QCOMPARE(stopped.exitCode, 128 + SIGINT);
        QCOMPARE(lines(stopped.out).constLast(),
                 u"ERROR: Conversion stopped after (3) of (5) files"_s);
        QVERIFY(
            lines(runCli({u"--history"_s}).out).value(0).contains(u"3 files converted  stopped"_s));

        const ProcessRun resumed = runCli({u"--skip-converted"_s, batchFolder()});
        QCOMPARE(resumed.exitCode, 0);
        QCOMPARE(resumed.err, QByteArray());
        const QStringList shown = lines(resumed.out);
        QCOMPARE(shown.size(), 6);
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(shown[i + 1].startsWith("SUCCESS: File ("_L1 + batch[i] +
                                             ") was left out: a run on "_L1) &&
                         shown[i + 1].endsWith(u" converted it"_s),
                     qPrintable(shown[i + 1]));
        }
        QCOMPARE(shown.mid(4), (QStringList{realignedLine(batch[3]), realignedLine(batch[4])}));
        for (const QString &file : batch) {
            QCOMPARE(framesBySlot(readFile(file)), slotsAfterConversion(m_original));
        }
        // Run again, what the two runs converted is converted a second time,
        // and that is said; a file changed in between is not counted, nor is a
        // file undone since.
        QVERIFY(writeFile(batch[0], m_original));
        const ProcessRun again = runCli({batchFolder()});
        QCOMPARE(lines(again.out).size(), 6); // the log lines stay as they are
        QCOMPARE(QString::fromUtf8(again.err), turnedAgainNote(4) + u'\n');
        QCOMPARE(runCli({u"--undo-last"_s}).exitCode, 0);
        QCOMPARE(runCli({batch[1]}).err, QByteArray());
        QCOMPARE(QString::fromUtf8(runCli({batch[1]}).err), turnedAgainNote(1) + u'\n');
    }

    // A record another user could have written is neither listed nor undone.
    void anUntrustedRecordIsNotRead_data()
    {
        QTest::addColumn<QString>("change"); // shell: $1 the last record, $2 a free path
        QTest::addColumn<QString>("why");
        QTest::newRow("group-writable")
            << u"chmod 0620 \"$1\""_s << u"other users can write to it (mode 0620)"_s;
        QTest::newRow("symbolic link")
            << u"mv \"$1\" \"$2\" && ln -s \"$2\" \"$1\""_s << u"it is a symbolic link"_s;
        QTest::newRow("not a record")
            << u"printf %200s > \"$1\""_s << u"it does not begin with a valid header"_s;
    }

    void anUntrustedRecordIsNotRead()
    {
        QFETCH(QString, change);
        QFETCH(QString, why);
        const QStringList batch = makeBatch(2);
        QCOMPARE(runCli({batch[0]}).exitCode, 0);
        QCOMPARE(runCli({batch[1]}).exitCode, 0);
        const QString last = records() + u'/' + recordNames().constLast();
        const QStringList arguments{u"-c"_s, change, u"sh"_s, last,
                                    m_dir->filePath(u"elsewhere"_s)};
        QCOMPARE(QProcess::execute(u"sh"_s, arguments), 0);
        const ProcessRun history = runCli({u"--history"_s});
        QCOMPARE(history.exitCode, 3);
        QCOMPARE(lines(history.out).size(), 1);
        QCOMPARE(QString::fromUtf8(history.err),
                 "cl2velmora-cli: a record of a run was left out: "_L1 + last + ": "_L1 + why +
                     u'\n');
        // Nor is the run before it undone in its place.
        const ProcessRun undo = runCli({u"--undo-last"_s});
        QCOMPARE(undo.exitCode, 1);
        QCOMPARE(QString::fromUtf8(undo.err), "cl2velmora-cli: the last record of a run ("_L1 +
                                                  last + ") cannot be used: "_L1 + why +
                                                  "; nothing was undone\n"_L1);
        QVERIFY(readFile(batch[0]) != m_original);
    }

    // A record of thousands of files, read a window at a time, gives back
    // each file as written: path, identity and stamp, in order.
    void aLongRecordReadsBackWhole()
    {
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        QString why;
        std::unique_ptr<RunRecord> record = RunRecord::create(u"test"_s, {"/given"}, true, &why);
        QVERIFY2(record, qPrintable(why));
        const int files = 3000; // some 250 KiB
        for (int i = 0; i < files; ++i) {
            record->add(FileId{7, std::uint64_t(i)}, FileStamp{i, 1000 * i, 1000 * (i % 3)},
                        "/folder " + QByteArray::number(i / 100) + '/', "f.cl2");
        }
        record.reset();
        const std::optional<RecordedRun> run = readLastRun(RecordDetail::Files);
        QVERIFY(run && run->unreadable.isEmpty() && run->undo && run->fileCount == files);
        QVERIFY(run->started.toMSecsSinceEpoch() >= before && run->paths == QList{"/given"_ba});
        for (int i = 0; i < files; ++i) {
            QByteArray path;
            run->files.files.encodedPath(i, path);
            QCOMPARE(path, "/folder " + QByteArray::number(i / 100) + "/f.cl2");
            QCOMPARE(run->files.files.id(i).inode, std::uint64_t(i));
            QCOMPARE(run->files.stamps[std::size_t(i)], (FileStamp{i, 1000 * i, 1000 * (i % 3)}));
        }
    }

    // A written file's stamp taken from the clock always holds the time the
    // system gave it; a file system that stamps otherwise is found out, and
    // its files are asked of the system from then on.
    void writtenFilesAreStampedAsTheSystemStampsThem_data()
    {
        QTest::addColumn<bool>("stampedOtherwise");
        QTest::newRow("stamped by this clock") << false;
        QTest::newRow("stamped otherwise") << true;
    }

    void writtenFilesAreStampedAsTheSystemStampsThem()
    {
        QFETCH(bool, stampedOtherwise);
        WrittenStamps stamps;
        qsizetype spans = 0;
        for (int i = 0; i < 200; ++i) {
            const QString path = m_dir->filePath(QString::number(i));
            QVERIFY(writeFile(path, "x"));
            BinaryFile file;
            QString error;
            const std::int64_t before = BinaryFile::beforeWriting();
            QVERIFY2(file.open(path, &error) && file.writeAt(0, "y", 1, &error), qPrintable(error));
            if (stampedOtherwise && i == 3) {
                const timespec times[2] = {{0, UTIME_OMIT}, {1000, 0}};
                QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);
            }
            const FileStamp stamp = stamps.after(file, before);
            QVERIFY2(stamp.admits(file.stamp()), qPrintable(path));
            spans += stamp.earlierByNs > 0 ? 1 : 0;
        }
        QCOMPARE(stamps.trusted(), !stampedOtherwise);
        QCOMPARE(spans > 100, !stampedOtherwise);
    }
};

QTEST_GUILESS_MAIN(tst_RunHistory)
#include "tst_RunHistory.moc"
