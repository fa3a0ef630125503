// The journal of files in flight and the repair at the next start: the real
// command-line program killed between a file's two writes, then started again.
#include "convert/Journal.h"
#include "convert/JournalRepair.h"
#include "convert/Module1.h"
#include "convert/StartUp.h"
#include "support/Cl2Fixture.h"
#include "support/ProcessRun.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace velmora;
using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

// Runs the program, killed right after its n-th write to a file when n > 0
// (by the fault library, tests/faults/faults.cpp).
ProcessRun runCli(const QStringList &arguments, int n = 0)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (n > 0) {
        environment.insert(u"LD_PRELOAD"_s, QStringLiteral(VELMORA_FAULTS_PATH));
        environment.insert(u"VELMORA_FAULT_PWRITE"_s, u"%1:killafter"_s.arg(n));
    }
    return runProcess(QStringLiteral(CL2VELMORA_CLI_PATH), arguments, environment);
}

// Runs sh -c script with the arguments as $1, $2 ...; its exit status.
int shell(const QString &script, const QStringList &arguments)
{
    return QProcess::execute(u"sh"_s, QStringList{u"-c"_s, script, u"sh"_s} + arguments);
}

const QString otherDone = realignedLine(u"other"_s);

QString putBackLine(const QString &path)
{
    return "SUCCESS: File ("_L1 + path + ") was put back as it was before an interrupted run"_L1;
}

QString setAsideLine(const QString &journal, const QString &why)
{
    return "ERROR: Journal ("_L1 + journal + ") of an interrupted run "_L1 + why +
           "; it was kept as ("_L1 + journal +
           ".bad); a file being converted then may be left half-rewritten"_L1;
}

// The file as a run killed between its two writes leaves it: the front block
// (header, first frame count and table) written, the partner's table not yet.
QByteArray halfWritten(const QByteArray &before, const QByteArray &after)
{
    const qsizetype front = 36 + 4 * (int32At(before, 32) + 1);
    return after.left(front) + before.mid(front);
}

// Records path in slot (under the name `as` when given), then makes `writes`
// of the file's two writes: what failed, or nothing.
QString recordThenWrite(Journal &into, int slot, const QString &path, int writes,
                        const QByteArray &as = QByteArray())
{
    BinaryFile open;
    DirectionTables tables;
    QString error;
    if (!open.open(path, &error) || !tables.load(open, DirectionSwap::Forward).isEmpty()) {
        return u"not loaded: "_s + error;
    }
    if (!into.record(slot, as.isNull() ? QFile::encodeName(path) : as, open, DirectionSwap::Forward,
                     tables)) {
        return u"not recorded"_s;
    }
    if (writes == 1) {
        open.writeAt(0, tables.newFront().data(), std::ssize(tables.newFront()), &error);
    }
    return writes == 2 ? tables.store(open) : error;
}

// What happens to the half-written file's bytes and its record before the
// next start; Half: neither changes.
// Live, Dry: the next start keeps the journal (its owner still runs, or the
// start is a dry run).
enum class Change { Cut, Flip, Whole, Partner, Torn, Half, SlotsCut, Live, Dry };

} // namespace

class tst_Journal : public QObject
{
    Q_OBJECT

    // A file a killed run left half-written, and that run's journal.
    struct Killed
    {
        QString file, journal;
        QByteArray original, half;
    };

    // The bytes a whole conversion gives, made by the core on a scratch copy.
    QByteArray converted(const QByteArray &before, bool undo = false)
    {
        const QString scratch = putFile(*m_dir, u"scratch/copy.cl2"_s, before);
        StringMessageLog log;
        if (!ReorderDirections(scratch, log, {.undo = undo, .dryRun = false})) {
            qFatal("scratch conversion failed: %s", qPrintable(log.text()));
        }
        return readFile(scratch);
    }

    Killed killBetweenWrites(const QString &name)
    {
        Killed killed;
        // Its second group starts past the first 4 KiB: two writes.
        killed.original = makeEightDirectionCl2(3, 2048);
        killed.half = halfWritten(killed.original, converted(killed.original));
        killed.file = putFile(*m_dir, name, killed.original);
        const ProcessRun run = runCli({killed.file}, 1);
        const QStringList found = journalEntries();
        if (run.finished || readFile(killed.file) != killed.half || found.size() != 1) {
            qFatal("the run was not killed between its writes: %s", run.out.constData());
        }
        killed.journal = journals() + u'/' + found[0];
        return killed;
    }

    // The program started again on a new file, as a user would after a kill:
    // its output lines, its error lines, then how it ended, that file called
    // "other".
    QStringList startAgain(const QStringList &options = {})
    {
        const QString other =
            putFile(*m_dir, u"other %1.cl2"_s.arg(++m_starts), makeEightDirectionCl2(2));
        const ProcessRun run = runCli(options + QStringList{other});
        QStringList lines = QString::fromUtf8(run.out + run.err).split(u'\n', Qt::SkipEmptyParts);
        lines << (run.finished ? u"exit %1"_s.arg(run.exitCode) : u"did not end"_s);
        return lines.replaceInStrings(other, u"other"_s);
    }

    QString journals() const { return m_state->filePath(u"cl2velmora"_s); }
    QStringList journalEntries() const
    {
        return QDir(journals()).entryList({u"journal-*"_s}, QDir::AllEntries | QDir::System);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_state;
    int m_starts = 0;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_state = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid() && m_state->isValid());
        // The program's journals go here, not into the home folder.
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state->path()));
    }

    void aKilledRunIsPutBack_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("frameSize");
        QTest::addColumn<int>("writes"); // each file takes to be rewritten
        QTest::addColumn<int>("killAt"); // of three files, the one being written when killed
        QTest::addColumn<bool>("links"); // the run given symbolic links to the files
        // A file whose partner table lies beyond the first 4 KiB takes two
        // writes: killed between them, it is put back. A smaller one is
        // rewritten by one write: killed after it, it is left converted.
        QTest::newRow("first file") << QStringList() << 2 << 2048 << 2 << 1 << false;
        QTest::newRow("second file, long tables") << QStringList() << 1100 << 2 << 2 << 2 << false;
        QTest::newRow("undo, third file")
            << QStringList{u"--undo"_s} << 3 << 2048 << 2 << 3 << false;
        // Put back through the link, by the name the run was given.
        QTest::newRow("through a link") << QStringList() << 3 << 2048 << 2 << 2 << true;
        QTest::newRow("one write") << QStringList() << 3 << 2 << 1 << 2 << false;
        QTest::newRow("groups without frames") << QStringList() << 0 << 2 << 1 << 2 << false;
    }

    void aKilledRunIsPutBack()
    {
        QFETCH(QStringList, options);
        QFETCH(int, frames);
        QFETCH(int, frameSize);
        QFETCH(int, writes);
        QFETCH(int, killAt);
        QFETCH(bool, links);
        // Undo takes a file converted once.
        const QByteArray fresh = makeEightDirectionCl2(frames, frameSize);
        const bool undo = options.contains(u"--undo"_s);
        const QByteArray original = undo ? converted(fresh) : fresh;
        const QByteArray whole = converted(original, undo);
        QStringList files, given;
        for (int i = 1; i <= 3; ++i) {
            files << putFile(*m_dir, u"file %1 (x).cl2"_s.arg(i), original);
            given << (links ? m_dir->filePath(u"link %1.cl2"_s.arg(i)) : files.last());
            QVERIFY(!links || QFile::link(files.last(), given.last()));
        }
        QVERIFY(!runCli(options + given, (killAt - 1) * writes + 1).finished);
        QCOMPARE(journalEntries().size(), 1);
        const bool putBack = writes == 2;
        QCOMPARE(startAgain(),
                 (putBack ? QStringList{putBackLine(given[killAt - 1]), otherDone, u"exit 0"_s}
                          : QStringList{otherDone, u"exit 0"_s}));
        for (int i = 1; i <= 3; ++i) {
            const bool done = i < killAt || (i == killAt && !putBack);
            QVERIFY(readFile(files[i - 1]) == (done ? whole : original));
        }
        QCOMPARE(journalEntries(), QStringList());
    }

    // The file or its journal changed between the kill and the next start:
    // the file is put back only when its bytes show the run's own writes, and
    // a journal the user could not have written alone is set aside unread.
    void aFileChangedAfterAKill_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("said");   // the lines the next start begins with; empty: none
        QTest::addColumn<QString>("script"); // shell: $1 the file, $2 the journal, $3 a free path
        const auto row = [](const char *name, Change change, const QString &said,
                            const QString &script = QString()) {
            QTest::newRow(name) << change << said << script;
        };
        const QString putBack = putBackLine(u"<file>"_s);
        const QString left =
            u"ERROR: File (<file>) could not be checked after an interrupted run: "_s;
        const QString journal = u"ERROR: Journal (<journal>) of an interrupted run "_s;
        // A torn record was being written when the run died: the file's writes
        // had not begun, and the record is not to be trusted.
        row("record cut short", Change::Cut, {});
        row("record with a wrong byte", Change::Flip, {});
        // The second write was made after all, or only the second.
        row("written whole", Change::Whole, {});
        row("only the partner's table written", Change::Partner, putBack);
        row("second write torn", Change::Torn, putBack);
        // Its owner still runs: the next start leaves it alone, until it ends.
        row("journal held by a live process", Change::Live, {});
        // A dry run names the file and writes nothing; the next run puts it back.
        row("dry run", Change::Dry,
            u"ERROR: File (<file>) was left half-rewritten by an interrupted run; a run without "
            "--dry-run will put it back"_s);
        row("a byte of its table", Change::Half, left + u"its bytes were changed since"_s,
            u"printf x | dd of=\"$1\" bs=1 seek=40 conv=notrunc status=none"_s);
        row("longer", Change::Half, left + u"its length changed from"_s, u"printf x >> \"$1\""_s);
        row("replaced by a copy", Change::Half, left + u"another file has taken its name"_s,
            u"cp \"$1\" \"$1~\" && mv \"$1~\" \"$1\""_s);
        // Out of reach for a while: its record waits for it.
        row("moved away", Change::Half,
            left + u"it could not be opened (No such file or directory); it will be checked "
                   "again at the next start (removing (<journal>) gives it up)"_s,
            u"mv \"$1\" \"$1.away\""_s);
        // Something else has its name now: neither followed, nor waited for.
        row("a FIFO in its place", Change::Half,
            left + u"not a regular file; it was left as it is"_s, u"rm \"$1\" && mkfifo \"$1\""_s);
        row("a symbolic link to a copy in its place", Change::Half,
            left + u"another file has taken its name"_s,
            u"cp \"$1\" \"$3\" && rm \"$1\" && ln -s \"$3\" \"$1\""_s);
        // A journal that ends inside its slots was cut by something else than
        // its run: the files whose records it cut into are named.
        row("journal cut inside its slots", Change::SlotsCut,
            left + u"its record in the journal was cut short; it may be left half-rewritten\n"_s +
                journal + u"was cut short inside its slots"_s);
        // A journal the user could not have written alone is set aside unread.
        row("another user's journal", Change::Half,
            journal + u"is not trusted: it belongs to another user (uid 65534)"_s,
            u"chown 65534:65534 \"$2\""_s);
        row("group-writable journal", Change::Half,
            journal + u"is not trusted: other users can write to it (mode 0620)"_s,
            u"chmod 0620 \"$2\""_s);
        row("symbolic link as journal", Change::Half,
            journal + u"is not trusted: it is a symbolic link"_s,
            u"mv \"$2\" \"$3\" && ln -s \"$3\" \"$2\""_s);
        row("huge sparse journal", Change::Half,
            journal + u"could not be read: it is longer (1099511627776 bytes) than its header "
                      "allows"_s,
            u"truncate -s 1T \"$2\""_s);
    }

    void aFileChangedAfterAKill()
    {
        QFETCH(Change, change);
        QFETCH(QString, said);
        QFETCH(QString, script);
        if (script.startsWith(u"chown"_s) && ::geteuid() != 0) {
            QSKIP("only root can give a file to another user");
        }
        const Killed killed = killBetweenWrites(u"file (x).cl2"_s);
        const QString &file = killed.file, elsewhere = m_dir->filePath(u"elsewhere"_s);
        const QByteArray whole = converted(killed.original), &half = killed.half;
        const qsizetype partner = int32At(killed.original, 4) + 8; // into group 1's table
        const QByteArray bytes = change == Change::Whole     ? whole
                                 : change == Change::Partner ? halfWritten(whole, killed.original)
                                 : change == Change::Torn ? whole.left(partner) + half.mid(partner)
                                 : change <= Change::Flip ? killed.original
                                                          : half;
        // The record: a byte of its copy of the partner's table flipped, its
        // checksum cut off, or the journal cut after its path. Slots of 64 KiB
        // follow the 32-byte header; an unused one begins with a zero length.
        QByteArray record = readFile(killed.journal);
        qsizetype at = 32;
        while (at < record.size() && int32At(record, at) == 0) {
            at += 64 * 1024;
        }
        const qsizetype end = at + int32At(record, at + 4);
        if (change == Change::Flip) {
            record[end - 20] = static_cast<char>(record[end - 20] ^ 0x40);
        } else if (change == Change::Cut) {
            record = record.left(end - 4) + QByteArray(4, '\0') + record.mid(end);
        } else if (change == Change::SlotsCut) {
            record = record.left(at + 88 + int32At(record, at + 56) + 10);
        }
        QVERIFY(writeFile(killed.journal, record) && writeFile(file, bytes));
        QCOMPARE(shell(script, {file, killed.journal, elsewhere}), 0);
        LockedFile held; // as the journal's live owner holds it
        QString error;
        QVERIFY(change != Change::Live || held.claim(QFile::encodeName(killed.journal), &error) ==
                                              LockedFile::Claim::Claimed);
        // What the next start finds there, when it is a file.
        const QByteArray left = QFileInfo(file).isFile() ? readFile(file) : QByteArray();

        const QStringList next =
            startAgain(change == Change::Dry ? QStringList{u"--dry-run"_s} : QStringList());
        const QStringList lines = said.replace(u"<file>"_s, file)
                                      .replace(u"<journal>"_s, killed.journal)
                                      .split(u'\n', Qt::SkipEmptyParts);
        const bool waits = said.contains(u"checked again"_s),
                   kept = waits || change >= Change::Live;
        const QString otherLine = change == Change::Dry
                                      ? u"SUCCESS: File (other) directions would be realigned"_s
                                      : otherDone;
        QCOMPARE(next.mid(lines.size()),
                 (QStringList{otherLine, said.startsWith(u"ERROR"_s) ? u"exit 3"_s : u"exit 0"_s}));
        for (int i = 0; i < lines.size(); ++i) {
            QVERIFY2(next[i].startsWith(lines[i]), qPrintable(next[i]));
        }
        QVERIFY((left.isEmpty() && !QFileInfo(file).isFile()) ||
                readFile(file) == (said.contains(u"was put back"_s) ? killed.original : left));
        QCOMPARE(QFile::exists(killed.journal), kept);
        // A journal kept is repaired once its owner ends, or by a run not dry;
        // after that, nothing is said but of a file still out of reach.
        held.close();
        const QStringList after = startAgain();
        QCOMPARE(after.size(), kept ? 3 : 2);
        QVERIFY(change < Change::Live || readFile(file) == killed.original);
        if (waits) { // until the first start that reaches it
            QCOMPARE(after[0], next[0]);
            QVERIFY(QFile::rename(file + u".away"_s, file));
            QCOMPARE(startAgain(), (QStringList{putBackLine(file), otherDone, u"exit 0"_s}));
            QCOMPARE(readFile(file), killed.original);
            QCOMPARE(journalEntries(), QStringList());
        }
    }

    // No state folder the program can trust: it converts all the same, says
    // why once, and a journal in a folder others could write to is not
    // applied.
    void unusableStateFolderDoesNotStopAConversion_data()
    {
        // The variables' values and the error said; @ stands for the temporary
        // state folder, where a killed run left its journal and `script` then
        // ran. made: the journals' folder made there.
        QTest::addColumn<QString>("stateHome");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("made");
        QTest::addColumn<QString>("error");
        const QString home = u"@/home"_s, fallback = u"home/.local/state/cl2velmora"_s;
        QTest::newRow("missing, is made")
            << u"@/a/b"_s << home << QString() << u"a/b/cl2velmora"_s << QString();
        QTest::newRow("empty: under the home folder")
            << QString() << home << QString() << fallback << QString();
        QTest::newRow("neither names a folder")
            << QString() << u"home"_s << QString() << QString()
            << u"neither XDG_STATE_HOME nor HOME names a folder"_s;
        QTest::newRow("a folder above it is a file")
            << u"@/file/sub"_s << home << u"touch file"_s << QString()
            << u"@/file/sub: Not a directory"_s;
        QTest::newRow("its folder is a file")
            << u"@/home"_s << home << u"mkdir home && touch home/cl2velmora"_s << QString()
            << u"@/home/cl2velmora: Not a directory"_s;
        QTest::newRow("group-writable folder")
            << u"@"_s << home << u"chmod 0770 cl2velmora"_s << QString()
            << u"@/cl2velmora: other users can write to it (mode 0770)"_s;
        QTest::newRow("other-writable folder")
            << u"@"_s << home << u"chmod 0707 cl2velmora"_s << QString()
            << u"@/cl2velmora: other users can write to it (mode 0707)"_s;
        QTest::newRow("symbolic link as folder")
            << u"@"_s << home << u"mv cl2velmora real && ln -s real cl2velmora"_s << QString()
            << u"@/cl2velmora: it is a symbolic link"_s;
    }

    void unusableStateFolderDoesNotStopAConversion()
    {
        QFETCH(QString, stateHome);
        QFETCH(QString, home);
        QFETCH(QString, script);
        QFETCH(QString, made);
        QFETCH(QString, error);
        const Killed killed = killBetweenWrites(u"killed.cl2"_s);
        QCOMPARE(shell(u"cd \"$1\" || exit 1\n"_s + script, {m_state->path()}), 0);
        const QByteArray oldHome = qgetenv("HOME");
        const auto restore = qScopeGuard([&] { qputenv("HOME", oldHome); });
        for (auto [name, value] : {std::pair{"XDG_STATE_HOME", stateHome}, {"HOME", home}}) {
            qputenv(name, QFile::encodeName(value.replace(u'@', m_state->path())));
        }
        QStringList expected{otherDone};
        error.replace(u'@', m_state->path());
        if (!error.isEmpty()) {
            expected << "cl2velmora-cli: cannot protect against interruption: "_L1 + error
                     << "cl2velmora-cli: keeps no history of this run: "_L1 + error;
        }
        QCOMPARE(startAgain(), expected << u"exit 0"_s);
        QCOMPARE(readFile(killed.file), killed.half);
        const QFile::Permissions userOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
        QVERIFY(made.isEmpty() || QFileInfo(m_state->filePath(made)).permissions() == userOnly);
    }

    // A file that is not open cannot be recorded; the failure is said once.
    // A journal is removed as its run ends.
    void aFailedRecordIsSaidOnce()
    {
        QString reason;
        std::unique_ptr<Journal> journal = Journal::create(Journal::Durability::PowerLoss, &reason);
        QVERIFY2(journal, qPrintable(reason));
        QStringList failures;
        journal->setFailureHandler([&](const QString &why) { failures << why; });
        BinaryFile closed;
        for (int i = 0; i < 2; ++i) {
            QVERIFY(!journal->record(0, "/x.cl2", closed, DirectionSwap::Forward, {}));
            journal->deliverFailure();
        }
        QCOMPARE(failures, QStringList{u"/x.cl2: Bad file descriptor"_s});
        journal.reset();
        QCOMPARE(journalEntries(), QStringList());
    }

    // A long-lived process may record one file twice, in two slots: the later
    // record describes the file; the earlier one would call it changed. A file
    // recorded and then written whole is left converted, also one too long for
    // any slot but the last. A record whose checksum holds but which makes no
    // sense (the path "/" alone: "" opened in the root folder) is none of
    // ours: nothing in its journal is trusted, and that is said once.
    void theLaterRecordOfAFileCounts()
    {
        const QByteArray original = makeEightDirectionCl2(3);
        const QByteArray longOriginal = makeEightDirectionCl2(9000, 1);
        const QString file = putFile(*m_dir, u"twice.cl2"_s, original);
        const QString longFile = putFile(*m_dir, u"long.cl2"_s, longOriginal);
        // The journal records names relative to the folder it was made in.
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir->path()));
        QString reason;
        std::unique_ptr<Journal> journal =
            Journal::create(Journal::Durability::PowerLoss, &reason, 3);
        QVERIFY(QDir::setCurrent(cwd));
        QVERIFY2(journal, qPrintable(reason));
        QCOMPARE(recordThenWrite(*journal, 0, file, 2, "twice.cl2"), QString());
        QCOMPARE(recordThenWrite(*journal, 0, longFile, 0), u"not recorded"_s);
        QCOMPARE(recordThenWrite(*journal, 2, longFile, 2), QString());
        QCOMPARE(recordThenWrite(*journal, 1, file, 1, "twice.cl2"), QString());
        // What the process leaves when it dies: its journal, unlocked.
        QVERIFY(QFile::copy(QFile::decodeName(journal->path()), journals() + u"/journal-1.bin"_s));
        journal.reset();
        QVERIFY(QDir::setCurrent(u"/"_s));
        std::unique_ptr<Journal> odd = Journal::create(Journal::Durability::ProcessDeath, &reason);
        QVERIFY(QDir::setCurrent(cwd) && odd);
        QCOMPARE(recordThenWrite(*odd, 0, file, 0, ""_ba), QString());
        const QString oddJournal = journals() + u"/journal-2.bin"_s;
        QVERIFY(QFile::copy(QFile::decodeName(odd->path()), oddJournal));
        odd.reset();
        // One cut short in its header is set aside whole.
        const QString cut = putFile(*m_state, u"cl2velmora/journal-3.bin"_s, "CL2VJRNL\x01");
        StringMessageLog log;
        RepairInterruptedRuns(log);
        const QString oddWhy = u"could not be read: a record in slot 0 is not valid"_s;
        const QString cutWhy = u"could not be read: it does not begin with a valid header"_s;
        QCOMPARE(log.lines(), (QStringList{putBackLine(file), setAsideLine(oddJournal, oddWhy),
                                           setAsideLine(cut, cutWhy)}));
        QCOMPARE(journalEntries(), (QStringList{u"journal-2.bin.bad"_s, u"journal-3.bin.bad"_s}));
        QCOMPARE(readFile(cut + u".bad"_s), "CL2VJRNL\x01");
        log.Clear();
        RepairInterruptedRuns(log);
        QCOMPARE(log.lines(), QStringList());
        QCOMPARE(readFile(file), converted(original));
        QCOMPARE(readFile(longFile), converted(longOriginal));
    }

    // The start gives the journal a slot for each thread, none idle. A record
    // too long for a worker's slot is made by the run's own thread, in the
    // last slot, which may grow: two threads never share a slot.
    void aRecordTooLongForAWorkerIsKept()
    {
        const QByteArray original = makeEightDirectionCl2(9000, 1);
        QStringList files;
        for (int i = 0; i < 64; ++i) {
            files << putFile(*m_dir, u"f%1.cl2"_s.arg(i, 2, 10, QChar(u'0')), original);
        }
        StringMessageLog log;
        ConversionOptions options;
        options.jobs = 2;
        const StartedUp started = startUp(
            log, [] {}, options);
        QVERIFY2(started.journal, qPrintable(started.whyNoJournal));
        QCOMPARE(started.journal->slotCount(), 2);
        const std::thread::id caller = std::this_thread::get_id();
        std::atomic<int> written = 0;
        std::atomic<int> byWorkers = 0;
        DirectionTables::setAfterFirstWriteForTesting([&] {
            ++written;
            byWorkers += std::this_thread::get_id() != caller;
        });
        options.journal = started.journal.get();
        ConversionRun run(options);
        const BatchResult result = ConvertPaths({m_dir->path()}, log, run);
        DirectionTables::setAfterFirstWriteForTesting({});
        QVERIFY(result.failed == 0 && result.found == 64);
        QCOMPARE(written.load(), 64);
        QCOMPARE(byWorkers.load(), 0);
        for (const QString &file : files) {
            QCOMPARE(readFile(file), converted(original));
        }
    }
};

QTEST_GUILESS_MAIN(tst_Journal)
#include "tst_Journal.moc"
