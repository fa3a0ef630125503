// The journal of files in flight and the repair at the next start: the real
// command-line program killed between a file's two writes, then started again.
#include "convert/Journal.h"
#include "convert/JournalRepair.h"
#include "convert/Module1.h"
#include "convert/StartUp.h"
#include "support/Cl2Fixture.h"
#include "support/ProcessRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

// The environment of a program the fault library drives: orders such as
// "4:kill" (see tests/faults/faults.cpp).
QProcessEnvironment withFaults(const QString &orders)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LD_PRELOAD"_s, QStringLiteral(VELMORA_FAULTS_PATH));
    environment.insert(u"VELMORA_FAULT_PWRITE"_s, orders);
    return environment;
}

// Runs the program, killed between the two writes of the n-th file it writes
// when n > 0.
ProcessRun runCli(const QStringList &arguments, int n = 0)
{
    return runProcess(QStringLiteral(CL2VELMORA_CLI_PATH), arguments,
                      n > 0 ? withFaults(u"%1:kill"_s.arg(2 * n))
                            : QProcessEnvironment::systemEnvironment());
}

// What a run said: its output lines, its error lines, then how it ended.
QStringList transcript(const ProcessRun &run)
{
    QStringList lines = QString::fromUtf8(run.out + run.err).split(u'\n', Qt::SkipEmptyParts);
    return lines << (run.finished ? u"exit %1"_s.arg(run.exitCode) : u"did not end"_s);
}

const QString otherDone = realignedLine(u"other"_s);

QString putBackLine(const QString &path)
{
    return "SUCCESS: File ("_L1 + path + ") was put back as it was before an interrupted run"_L1;
}

QString uncheckedLine(const QString &path, const QString &why)
{
    return "ERROR: File ("_L1 + path + ") could not be checked after an interrupted run: "_L1 + why;
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

// Where the first record begins: slots of 64 KiB follow the 32-byte header,
// and an unused one begins with a zero length.
qsizetype firstRecord(const QByteArray &journal)
{
    qsizetype at = 32;
    while (at < journal.size() && int32At(journal, at) == 0) {
        at += 64 * 1024;
    }
    return at;
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

// What happens to the half-written file and its record before the next start.
enum class Change { Cut, Flip, Whole, Partner, Torn, Live, Byte, Longer, Copy, Away, Fifo, Link };

} // namespace

class tst_Journal : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void aKilledRunIsPutBack_data();
    void aKilledRunIsPutBack();
    void aFileChangedAfterAKill_data();
    void aFileChangedAfterAKill();
    void unusableStateFolderDoesNotStopAConversion_data();
    void unusableStateFolderDoesNotStopAConversion();
    void untrustedJournalIsNotApplied_data();
    void untrustedJournalIsNotApplied();
    void aJournalCutInsideItsSlotsIsReported();
    void aFileDeeperThanPathMaxIsPutBack();
    void aStartWaitsForARepairUnderWay();
    void aDryRunAfterAKillWritesNothing();
    void aJournalTakesAFreeName();
    void aFailedRecordIsSaidOnce();
    void theLaterRecordOfAFileCounts();
    void journalsOfNoRunAreSetAside();
    void aRecordTooLongForAWorkerIsKept();
    void startUpRepairsThenMakesTheJournal_data();
    void startUpRepairsThenMakesTheJournal();

private:
    // A file a killed run left half-written, and that run's journal.
    struct Killed
    {
        QString file, journal;
        QByteArray original, half;
    };
    Killed killBetweenWrites(const QString &name);
    QByteArray converted(const QByteArray &before, bool undo = false);
    QStringList startAgain(const QStringList &options = {});
    QString journals() const { return m_state->filePath(u"cl2velmora"_s); }
    QStringList journalEntries() const
    {
        return QDir(journals()).entryList({u"journal-*"_s}, QDir::AllEntries | QDir::System);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_state;
    int m_starts = 0;
};

void tst_Journal::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_state = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid() && m_state->isValid());
    // The program's journals go here, not into the home folder.
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state->path()));
}

// The bytes a whole conversion gives, made by the core on a scratch copy.
QByteArray tst_Journal::converted(const QByteArray &before, bool undo)
{
    const QString scratch = putFile(*m_dir, u"scratch/copy.cl2"_s, before);
    StringMessageLog log;
    if (!ReorderDirections(scratch, log, {.undo = undo, .dryRun = false})) {
        qFatal("scratch conversion failed: %s", qPrintable(log.text()));
    }
    return readFile(scratch);
}

tst_Journal::Killed tst_Journal::killBetweenWrites(const QString &name)
{
    Killed killed;
    killed.original = makeEightDirectionCl2(3);
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

// The program started again on a new file, as a user would after a kill: what
// it said, that file called "other".
QStringList tst_Journal::startAgain(const QStringList &options)
{
    const QString other =
        putFile(*m_dir, u"other %1.cl2"_s.arg(++m_starts), makeEightDirectionCl2(2));
    return transcript(runCli(options + QStringList{other})).replaceInStrings(other, u"other"_s);
}

void tst_Journal::aKilledRunIsPutBack_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("killAt"); // of three files, the one being written when killed
    QTest::addColumn<bool>("links"); // the run given symbolic links to the files
    QTest::newRow("first file") << QStringList() << 2 << 1 << false;
    QTest::newRow("groups without frames") << QStringList() << 0 << 2 << false;
    // The partner's table then lies beyond the first 4 KiB of the file.
    QTest::newRow("second file, long tables") << QStringList() << 1100 << 2 << false;
    QTest::newRow("undo, third file") << QStringList{u"--undo"_s} << 3 << 3 << false;
    QTest::newRow("sync, long tables") << QStringList{u"--sync"_s} << 1100 << 2 << false;
    // Put back through the link, by the name the run was given.
    QTest::newRow("through a link") << QStringList() << 3 << 2 << true;
}

void tst_Journal::aKilledRunIsPutBack()
{
    QFETCH(QStringList, options);
    QFETCH(int, frames);
    QFETCH(int, killAt);
    QFETCH(bool, links);
    // Undo takes a file converted once.
    const QByteArray fresh = makeEightDirectionCl2(frames, 2);
    const bool undo = options.contains(u"--undo"_s);
    const QByteArray original = undo ? converted(fresh) : fresh;
    const QByteArray whole = converted(original, undo), half = halfWritten(original, whole);
    QStringList files, given;
    for (int i = 1; i <= 3; ++i) {
        files << putFile(*m_dir, u"file %1 (x).cl2"_s.arg(i), original);
        given << (links ? m_dir->filePath(u"link %1.cl2"_s.arg(i)) : files.last());
        QVERIFY(!links || QFile::link(files.last(), given.last()));
    }
    QVERIFY(!runCli(options + given, killAt).finished);
    for (int i = 1; i <= 3; ++i) {
        QVERIFY(readFile(files[i - 1]) == (i < killAt ? whole : i == killAt ? half : original));
    }
    QCOMPARE(journalEntries().size(), 1);
    QCOMPARE(startAgain(), (QStringList{putBackLine(given[killAt - 1]), otherDone, u"exit 0"_s}));
    for (int i = 1; i <= 3; ++i) {
        QVERIFY(readFile(files[i - 1]) == (i < killAt ? whole : original));
    }
    QCOMPARE(journalEntries(), QStringList());
}

void tst_Journal::aFileChangedAfterAKill_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("line"); // what the next start says of the file; empty: nothing
    const QString putBack = u"was put back as it was before an interrupted run"_s;
    // A torn record was being written when the run died: the file's writes had
    // not begun, and the record is not to be trusted.
    QTest::newRow("record cut short") << Change::Cut << QString();
    QTest::newRow("record with a wrong byte") << Change::Flip << QString();
    // The second write was made after all, or only the second.
    QTest::newRow("written whole") << Change::Whole << QString();
    QTest::newRow("only the partner's table written") << Change::Partner << putBack;
    QTest::newRow("second write torn") << Change::Torn << putBack;
    // Its owner still runs: the next start leaves it alone, until it ends.
    QTest::newRow("journal held by a live process") << Change::Live << QString();
    const QString left = u"could not be checked after an interrupted run: "_s;
    QTest::newRow("a byte of its table")
        << Change::Byte << left + u"its bytes were changed since"_s;
    QTest::newRow("longer") << Change::Longer << left + u"its length changed from"_s;
    QTest::newRow("replaced by a copy")
        << Change::Copy << left + u"another file has taken its name"_s;
    // Out of reach for a while: its record waits for it.
    QTest::newRow("moved away")
        << Change::Away
        << left + u"it could not be opened (No such file or directory); it will "
                  "be checked again at the next start (removing ("_s;
    // Something else has its name now: neither followed, nor waited for.
    QTest::newRow("a FIFO in its place")
        << Change::Fifo << left + u"not a regular file; it was left as it is"_s;
    QTest::newRow("a symbolic link to a copy in its place")
        << Change::Link << left + u"another file has taken its name"_s;
}

void tst_Journal::aFileChangedAfterAKill()
{
    QFETCH(Change, change);
    QFETCH(QString, line);
    const Killed killed = killBetweenWrites(u"file (x).cl2"_s);
    const QString &file = killed.file;
    const QByteArray whole = converted(killed.original), &half = killed.half;
    const qsizetype partner = int32At(killed.original, 4) + 8; // into group 1's table
    QByteArray bytes = change == Change::Whole     ? whole
                       : change == Change::Partner ? halfWritten(whole, killed.original)
                       : change == Change::Torn    ? whole.left(partner) + half.mid(partner)
                       : change <= Change::Flip    ? killed.original
                                                   : half;
    // The record: a byte of its copy of the partner's table flipped, or its
    // checksum cut off.
    QByteArray record = readFile(killed.journal);
    const qsizetype end = firstRecord(record) + int32At(record, firstRecord(record) + 4);
    if (change == Change::Flip) {
        record[end - 20] = static_cast<char>(record[end - 20] ^ 0x40);
    } else if (change == Change::Cut) {
        record = record.left(end - 4) + QByteArray(4, '\0') + record.mid(end);
    }
    QVERIFY(writeFile(killed.journal, record));
    // A copy has the same bytes, but is another file, never written into.
    QVERIFY(change != Change::Copy || (QFile::copy(file, file + u'~') && QFile::remove(file) &&
                                       QFile::rename(file + u'~', file)));
    if (change == Change::Byte) {
        bytes[40] = static_cast<char>(bytes[40] ^ 0x11);
    }
    bytes += change == Change::Longer ? "x" : "";
    // Made before the file goes, so that it cannot be given the file's inode.
    const QString aside = m_dir->filePath(u"aside.cl2"_s);
    QVERIFY(change != Change::Link || writeFile(aside, bytes));
    const QString away = file + u".away"_s;
    QVERIFY(change >= Change::Away ? QFile::rename(file, away) : writeFile(file, bytes));
    QVERIFY(change != Change::Fifo || ::mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
    QVERIFY(change != Change::Link || QFile::link(aside, file));
    LockedFile held; // as the journal's live owner holds it
    QString error;
    QVERIFY(change != Change::Live ||
            held.claim(QFile::encodeName(killed.journal), &error) == LockedFile::Claim::Claimed);

    const QStringList next = startAgain();
    const bool left = line.startsWith(u"could not"_s), waits = change == Change::Away;
    QCOMPARE(next.mid(next.size() - 2), (QStringList{otherDone, left ? u"exit 3"_s : u"exit 0"_s}));
    QCOMPARE(next.size(), line.isEmpty() ? 2 : 3); // the repair's line, then the run's
    QVERIFY2(line.isEmpty() || next[0].startsWith("ERROR: File ("_L1 + file + ") "_L1 + line) ||
                 next[0] == putBackLine(file),
             qPrintable(next[0]));
    QVERIFY(waits || change == Change::Fifo ||
            readFile(file) == (line.contains(u"put back"_s) ? killed.original : bytes));
    QCOMPARE(journalEntries().isEmpty(), change != Change::Live && !waits);
    // Once its owner ends, a journal is repaired; after that, nothing is said
    // but of a file still out of reach.
    held.close();
    const QStringList after = startAgain();
    QCOMPARE(after.size(), change == Change::Live || waits ? 3 : 2);
    QVERIFY(change != Change::Live || readFile(file) == killed.original);
    if (waits) { // until the first start that reaches it
        QCOMPARE(after[0], next[0]);
        QVERIFY(next[0].endsWith(killed.journal + ") gives it up)"_L1) &&
                QFile::rename(away, file));
        QCOMPARE(startAgain(), (QStringList{putBackLine(file), otherDone, u"exit 0"_s}));
        QCOMPARE(readFile(file), killed.original);
        QCOMPARE(journalEntries(), QStringList());
    }
}

void tst_Journal::unusableStateFolderDoesNotStopAConversion_data()
{
    // The variables' values and the error said once; @ stands for the
    // temporary state folder. made: the journals' folder made there.
    QTest::addColumn<QString>("stateHome");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("plainFile"); // made a regular file there first
    QTest::addColumn<QString>("made");
    QTest::addColumn<QString>("error");
    const QString home = u"@/home"_s, fallback = u"home/.local/state/cl2velmora"_s;
    QTest::newRow("missing, is made")
        << u"@/a/b"_s << home << QString() << u"a/b/cl2velmora"_s << QString();
    QTest::newRow("empty: under the home folder")
        << QString() << home << QString() << fallback << QString();
    QTest::newRow("relative: as if not set")
        << u"state"_s << home << QString() << fallback << QString();
    QTest::newRow("neither names a folder") << QString() << u"home"_s << QString() << QString()
                                            << u"neither XDG_STATE_HOME nor HOME names a folder"_s;
    QTest::newRow("a folder above it is a file")
        << u"@/file/sub"_s << home << u"file"_s << QString() << u"@/file/sub: Not a directory"_s;
    QTest::newRow("its folder is a file") << u"@/home"_s << home << u"home/cl2velmora"_s
                                          << QString() << u"@/home/cl2velmora: Not a directory"_s;
}

void tst_Journal::unusableStateFolderDoesNotStopAConversion()
{
    QFETCH(QString, stateHome);
    QFETCH(QString, home);
    QFETCH(QString, plainFile);
    QFETCH(QString, made);
    QFETCH(QString, error);
    if (!plainFile.isEmpty()) {
        putFile(*m_state, plainFile, "not a folder");
    }
    const QByteArray oldHome = qgetenv("HOME");
    const auto restore = qScopeGuard([&] { qputenv("HOME", oldHome); });
    for (auto [name, value] : {std::pair{"XDG_STATE_HOME", stateHome}, {"HOME", home}}) {
        qputenv(name, QFile::encodeName(value.replace(u'@', m_state->path())));
    }
    const QByteArray original = makeEightDirectionCl2(3);
    const QString first = putFile(*m_dir, u"one.cl2"_s, original);
    const QString second = putFile(*m_dir, u"two.cl2"_s, original);
    QStringList expected{realignedLine(first), realignedLine(second)};
    error.replace(u'@', m_state->path());
    if (!error.isEmpty()) {
        expected << "cl2velmora-cli: cannot protect against interruption: "_L1 + error
                 << "cl2velmora-cli: keeps no history of this run: "_L1 + error;
    }
    QCOMPARE(transcript(runCli({first, second})), expected << u"exit 0"_s);
    QCOMPARE(framesBySlot(readFile(second)), slotsAfterConversion(original));
    if (!made.isEmpty()) {
        const QFileInfo folder(m_state->filePath(made));
        QCOMPARE(folder.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        // A run that ended deletes its journal and keeps its record.
        QCOMPARE(QDir(folder.filePath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{u"history"_s});
        QCOMPARE(QDir(folder.filePath() + u"/history"_s).entryList(QDir::Files).size(), 1);
    }
}

// A journal is read only when the user could have written it alone; anything
// else is said once and set aside, and the file it names is left alone.
void tst_Journal::untrustedJournalIsNotApplied_data()
{
    QTest::addColumn<QString>("change"); // shell: $1 the journal, $2 its folder, $3 a free path
    QTest::addColumn<QString>("why");    // of the journal, or after "folder: " of its folder
    QTest::newRow("another user's journal")
        << u"chown 65534:65534 \"$1\""_s
        << u"is not trusted: it belongs to another user (uid 65534)"_s;
    QTest::newRow("group-writable journal")
        << u"chmod 0620 \"$1\""_s << u"is not trusted: other users can write to it (mode 0620)"_s;
    QTest::newRow("symbolic link as journal") << u"mv \"$1\" \"$3\" && ln -s \"$3\" \"$1\""_s
                                              << u"is not trusted: it is a symbolic link"_s;
    QTest::newRow("huge sparse journal")
        << u"truncate -s 1T \"$1\""_s
        << u"could not be read: it is longer (1099511627776 bytes) than its header allows"_s;
    QTest::newRow("group-writable folder")
        << u"chmod 0770 \"$2\""_s << u"folder: other users can write to it (mode 0770)"_s;
    QTest::newRow("other-writable folder")
        << u"chmod 0707 \"$2\""_s << u"folder: other users can write to it (mode 0707)"_s;
    QTest::newRow("symbolic link as folder")
        << u"mv \"$2\" \"$3\" && ln -s \"$3\" \"$2\""_s << u"folder: it is a symbolic link"_s;
}

void tst_Journal::untrustedJournalIsNotApplied()
{
    QFETCH(QString, change);
    QFETCH(QString, why);
    if (change.startsWith(u"chown"_s) && ::geteuid() != 0) {
        QSKIP("only root can give a file to another user");
    }
    const Killed killed = killBetweenWrites(u"victim.cl2"_s);
    const QByteArray journalBytes = readFile(killed.journal);
    const QString elsewhere = m_dir->filePath(u"elsewhere"_s);
    QCOMPARE(QProcess::execute(u"sh"_s,
                               {u"-c"_s, change, u"sh"_s, killed.journal, journals(), elsewhere}),
             0);

    // Said once: the journal is set aside; a folder is never written into.
    // The history lives in the same folder and trusts it no more; the second
    // run turns the file a second time, and says so.
    const QString other = putFile(*m_dir, u"other.cl2"_s, makeEightDirectionCl2(2));
    const QString folderError = journals() + ": "_L1 + why.mid(8);
    const QStringList ofFolder{
        realignedLine(other),
        "cl2velmora-cli: cannot protect against interruption: "_L1 + folderError,
        "cl2velmora-cli: keeps no history of this run: "_L1 + folderError, u"exit 0"_s};
    const bool folder = why.startsWith(u"folder: "_s);
    const QStringList first{setAsideLine(killed.journal, why), realignedLine(other), u"exit 3"_s};
    const QStringList second{realignedLine(other),
                             u"cl2velmora-cli: 1 file was converted a second time: an earlier run "
                             "had converted it, and it was not changed since (cl2velmora-cli "
                             "--undo-last undoes this run; --skip-converted leaves such files "
                             "out)"_s,
                             u"exit 0"_s};
    QCOMPARE(transcript(runCli({other})), folder ? ofFolder : first);
    QCOMPARE(transcript(runCli({other})), folder ? ofFolder : second);
    QCOMPARE(readFile(killed.file), killed.half);
    if (QFileInfo(elsewhere).isFile()) { // where the link led is left as it was
        QCOMPARE(readFile(elsewhere), journalBytes);
    }
    // Set aside without being filled in.
    struct stat info;
    QVERIFY(folder ||
            (::stat(QFile::encodeName(killed.journal + u".bad"_s).constData(), &info) == 0 &&
             info.st_blocks * 512 < 64 * 1024 * 1024));
}

// A journal that ends inside its slots was cut by something else than its
// run: the files whose records it cut into are named, and it is kept.
void tst_Journal::aJournalCutInsideItsSlotsIsReported()
{
    const Killed killed = killBetweenWrites(u"cut.cl2"_s);
    const QByteArray journal = readFile(killed.journal);
    const qsizetype at = firstRecord(journal);
    // Its path is left whole, its blocks are not.
    QVERIFY(writeFile(killed.journal, journal.left(at + 88 + int32At(journal, at + 56) + 10)));
    QCOMPARE(startAgain(),
             (QStringList{uncheckedLine(killed.file, u"its record in the journal was cut short; "
                                                     "it may be left half-rewritten"_s),
                          setAsideLine(killed.journal, u"was cut short inside its slots"_s),
                          otherDone, u"exit 3"_s}));
    QCOMPARE(readFile(killed.file), killed.half);
    QCOMPARE(journalEntries(), QStringList{QFileInfo(killed.journal).fileName() + u".bad"_s});
}

// A batch reaches a file deeper than PATH_MAX by folder descriptors; the
// repair reaches it the same way.
void tst_Journal::aFileDeeperThanPathMaxIsPutBack()
{
    const QString top = m_dir->filePath(u"deep"_s);
    const auto removeTree = qScopeGuard([&top] { QProcess::execute(u"rm"_s, {u"-rf"_s, top}); });
    QVERIFY(QDir().mkpath(top));
    int at = ::open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int depth = 0; depth < 3000 && at >= 0; ++depth) {
        const int next = ::mkdirat(at, "d", 0700) == 0
                             ? ::openat(at, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                             : -1;
        ::close(at);
        at = next;
    }
    QVERIFY(at >= 0);
    const auto closeBottom = qScopeGuard([at] { ::close(at); });
    // Reached here through the bottom folder's descriptor.
    const QString bottom = u"/proc/self/fd/%1/f.cl2"_s.arg(at);
    const QByteArray original = makeEightDirectionCl2(3);
    QVERIFY(writeFile(bottom, original));
    QVERIFY(!runCli({top}, 1).finished);
    QCOMPARE(readFile(bottom), halfWritten(original, converted(original)));
    const QString path = top + u"/d"_s.repeated(3000) + u"/f.cl2"_s;
    QVERIFY(path.size() > PATH_MAX);
    QCOMPARE(startAgain(), (QStringList{putBackLine(path), otherDone, u"exit 0"_s}));
    QCOMPARE(readFile(bottom), original);
}

// A start while another program puts a file back waits until it is done;
// without that it would take the journal for a live run's and convert the
// half-written file.
void tst_Journal::aStartWaitsForARepairUnderWay()
{
    const Killed killed = killBetweenWrites(u"held.cl2"_s);
    QProcess repairing; // stops at its first write: the putting back
    repairing.setProcessEnvironment(withFaults(u"1:stop"_s));
    const QString other = putFile(*m_dir, u"other.cl2"_s, makeEightDirectionCl2(2));
    repairing.start(QStringLiteral(CL2VELMORA_CLI_PATH), {other});
    QVERIFY(repairing.waitForStarted() && awaitStopped(repairing.processId()));
    QProcess starting;
    starting.start(QStringLiteral(CL2VELMORA_CLI_PATH), {killed.file});
    QVERIFY(starting.waitForStarted());
    QVERIFY(!starting.waitForFinished(1500)); // it waits
    QCOMPARE(readFile(killed.file), killed.half);
    QCOMPARE(::kill(static_cast<pid_t>(repairing.processId()), SIGCONT), 0);
    QVERIFY(repairing.waitForFinished(60000) && starting.waitForFinished(60000));
    QCOMPARE(repairing.readAllStandardOutput(),
             (putBackLine(killed.file) + u'\n' + realignedLine(other) + u'\n').toUtf8());
    QCOMPARE(starting.readAllStandardOutput(), realignedLine(killed.file).toUtf8() + '\n');
    QCOMPARE(readFile(killed.file), converted(killed.original));
}

// A dry run after a kill names the half-written file, exits 3, and writes
// nothing: the file and the journal are as the kill left them.
void tst_Journal::aDryRunAfterAKillWritesNothing()
{
    const Killed killed = killBetweenWrites(u"dry.cl2"_s);
    const QByteArray journal = readFile(killed.journal);
    const QStringList entries = QDir(journals()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QCOMPARE(startAgain({u"--dry-run"_s}),
             (QStringList{"ERROR: File ("_L1 + killed.file +
                              ") was left half-rewritten by an interrupted run; a run without "
                              "--dry-run will put it back"_L1,
                          u"SUCCESS: File (other) directions would be realigned"_s, u"exit 3"_s}));
    QCOMPARE(readFile(killed.file), killed.half);
    QCOMPARE(readFile(killed.journal), journal);
    QCOMPARE(QDir(journals()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), entries);
    // The next real run puts it back.
    QCOMPARE(startAgain().value(0), putBackLine(killed.file));
    QCOMPARE(readFile(killed.file), killed.original);
}

// A dead process with this one's id may have left journals under every name
// it could take: a journal is made under the first free one. They are empty,
// and the repair removes them.
void tst_Journal::aJournalTakesAFreeName()
{
    const QString stem = u"cl2velmora/journal-%1"_s.arg(QCoreApplication::applicationPid());
    for (int n = 0; n < 100; ++n) {
        putFile(*m_state, stem + (n ? u"-%1.bin"_s.arg(n) : u".bin"_s), {});
    }
    QString reason;
    QVERIFY(!Journal::create(Journal::Durability::PowerLoss, &reason, 3));
    QVERIFY2(reason.endsWith(stem + u"-99.bin: File exists"_s), qPrintable(reason));
    const QString free = m_state->filePath(stem + u"-98.bin"_s);
    QVERIFY(QFile::remove(free) && QFile::remove(m_state->filePath(stem + u"-99.bin"_s)));
    std::unique_ptr<Journal> journal = Journal::create(Journal::Durability::PowerLoss, &reason, 3);
    QCOMPARE(journal ? QFile::decodeName(journal->path()) : reason, free);
    journal.reset(); // removed as its run ends
    QVERIFY(!QFile::exists(free));
    StringMessageLog log;
    RepairInterruptedRuns(log);
    QCOMPARE(log.lines(), QStringList());
    QCOMPARE(journalEntries(), QStringList());
}

// A file that is not open cannot be recorded; the failure is said once.
void tst_Journal::aFailedRecordIsSaidOnce()
{
    QString reason;
    const std::unique_ptr<Journal> journal =
        Journal::create(Journal::Durability::PowerLoss, &reason, 3);
    QVERIFY2(journal, qPrintable(reason));
    QStringList failures;
    journal->setFailureHandler([&](const QString &why) { failures << why; });
    BinaryFile closed;
    for (int i = 0; i < 2; ++i) {
        QVERIFY(!journal->record(0, "/x.cl2", closed, DirectionSwap::Forward, DirectionTables()));
        journal->deliverFailure();
    }
    QCOMPARE(failures, QStringList{u"/x.cl2: Bad file descriptor"_s});
}

// A long-lived process may record one file twice, in two slots: the later
// record describes the file; the earlier one would call it changed. A file
// recorded and then written whole is left converted, also one too long for
// any slot but the last.
void tst_Journal::theLaterRecordOfAFileCounts()
{
    QVERIFY(::fcntl(0, F_GETFD) != -1 || ::open("/dev/null", O_RDONLY) == 0);
    const uint descriptors = QDir(u"/proc/self/fd"_s).count();
    const QByteArray original = makeEightDirectionCl2(3);
    const QByteArray longOriginal = makeEightDirectionCl2(9000, 1);
    const QString file = putFile(*m_dir, u"twice.cl2"_s, original);
    const QString longFile = putFile(*m_dir, u"long.cl2"_s, longOriginal);
    // The journal records names relative to the folder it was made in.
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    // Descriptor 0 is free: the journal takes it, then the first one repaired.
    QCOMPARE(::close(0), 0);
    QString reason;
    std::unique_ptr<Journal> journal = Journal::create(Journal::Durability::PowerLoss, &reason, 3);
    QVERIFY(QDir::setCurrent(cwd));
    QVERIFY2(journal, qPrintable(reason));
    QCOMPARE(recordThenWrite(*journal, 0, file, 2, "twice.cl2"), QString());
    QCOMPARE(recordThenWrite(*journal, 0, longFile, 0), u"not recorded"_s);
    QCOMPARE(recordThenWrite(*journal, 2, longFile, 2), QString());
    QCOMPARE(recordThenWrite(*journal, 1, file, 1, "twice.cl2"), QString());
    // What the process leaves when it dies: its journal, unlocked.
    QVERIFY(QFile::copy(QFile::decodeName(journal->path()), journals() + u"/journal-1.bin"_s));
    journal.reset(); // on descriptor 0, and still removed as its run ends
    QCOMPARE(journalEntries(), QStringList{u"journal-1.bin"_s});
    StringMessageLog log;
    RepairInterruptedRuns(log);
    QCOMPARE(::open("/dev/null", O_RDONLY), 0);
    QCOMPARE(log.lines(), QStringList{putBackLine(file)});
    QCOMPARE(journalEntries(), QStringList());
    QCOMPARE(readFile(file), converted(original));
    QCOMPARE(readFile(longFile), converted(longOriginal));
    // Every file opened or mapped here or by the repair was let go again.
    QCOMPARE(QDir(u"/proc/self/fd"_s).count(), descriptors);
    QVERIFY(!readFile(u"/proc/self/maps"_s).contains("/journal-"));
}

// A record whose checksum holds but which makes no sense (the path "/" alone:
// "" opened in the root folder) is none of ours: nothing in its journal is
// trusted. One cut short in its header is set aside too, once; an empty one
// is of a process that died as it started, and goes.
void tst_Journal::journalsOfNoRunAreSetAside()
{
    const QString file = putFile(*m_dir, u"a.cl2"_s, makeEightDirectionCl2(3));
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(u"/"_s));
    QString reason;
    std::unique_ptr<Journal> odd = Journal::create(Journal::Durability::ProcessDeath, &reason);
    QVERIFY(QDir::setCurrent(cwd) && odd);
    QCOMPARE(recordThenWrite(*odd, 0, file, 0, ""_ba), QString());
    const QString oddJournal = journals() + u"/journal-2.bin"_s;
    QVERIFY(QFile::copy(QFile::decodeName(odd->path()), oddJournal));
    odd.reset();
    const QString cut = putFile(*m_state, u"cl2velmora/journal-3.bin"_s, "CL2VJRNL\x01");
    putFile(*m_state, u"cl2velmora/journal-4.bin"_s, "");
    StringMessageLog log;
    RepairInterruptedRuns(log);
    QCOMPARE(
        log.lines(),
        (QStringList{
            setAsideLine(oddJournal, u"could not be read: a record in slot 0 is not valid"_s),
            setAsideLine(cut, u"could not be read: it does not begin with a valid header"_s)}));
    QCOMPARE(readFile(cut + u".bad"_s), "CL2VJRNL\x01");
    QCOMPARE(journalEntries(), (QStringList{u"journal-2.bin.bad"_s, u"journal-3.bin.bad"_s}));
    log.Clear();
    RepairInterruptedRuns(log);
    QCOMPARE(log.lines(), QStringList());
}

// A record longer than a worker's slot goes to the last slot, the run's own:
// such a file is written by the calling thread, never by a worker.
void tst_Journal::aRecordTooLongForAWorkerIsKept()
{
    const QByteArray original = makeEightDirectionCl2(9000, 1);
    QStringList files;
    for (int i = 0; i < 64; ++i) {
        files << putFile(*m_dir, u"f%1.cl2"_s.arg(i, 2, 10, QChar(u'0')), original);
    }
    QString reason;
    const std::unique_ptr<Journal> journal =
        Journal::create(Journal::Durability::ProcessDeath, &reason, 3);
    QVERIFY2(journal, qPrintable(reason));
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> byWorkers = 0;
    DirectionTables::setBetweenWritesForTesting(
        [&] { byWorkers += std::this_thread::get_id() != caller; });
    StringMessageLog log;
    ConversionRun run({.journal = journal.get()});
    run.options().jobs = 2;
    const BatchResult result = ConvertPaths({m_dir->path()}, log, run);
    DirectionTables::setBetweenWritesForTesting({});
    QVERIFY(result.failed == 0 && result.found == 64);
    QCOMPARE(byWorkers.load(), 0);
    const QList<QList<QByteArray>> after = slotsAfterConversion(original);
    for (const QString &file : files) {
        QCOMPARE(framesBySlot(readFile(file)), after);
    }
}

void tst_Journal::startUpRepairsThenMakesTheJournal_data()
{
    QTest::addColumn<bool>("dryRun");
    QTest::addColumn<int>("jobs");
    QTest::newRow("one thread") << false << 1;
    QTest::newRow("eight threads") << false << 8;
    QTest::newRow("dry run") << true << 8;
}

// Both programs start this way: the repair's lines are shown before the run
// goes on, and the journal has a slot for each thread and one for the run's.
void tst_Journal::startUpRepairsThenMakesTheJournal()
{
    QFETCH(bool, dryRun);
    QFETCH(int, jobs);
    // Cut in its header: the repair reports it, and sets it aside unless dry.
    const QString cut = putFile(*m_state, u"cl2velmora/journal-3.bin"_s, "CL2VJRNL\x01");
    StringMessageLog log;
    QStringList shown; // the log each time it is shown
    const StartedUp started =
        startUp(log, [&] { shown << log.lines(); }, {.dryRun = dryRun, .jobs = jobs});
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].startsWith("ERROR: Journal ("_L1 + cut + ")"_L1), qPrintable(shown[0]));
    QCOMPARE(QFile::exists(cut + u".bad"_s), !dryRun);
    QCOMPARE(started.whyNoJournal, QString());
    QCOMPARE(started.journal != nullptr, !dryRun);
    if (started.journal) {
        QCOMPARE(started.journal->slotCount(), jobs);
        QVERIFY(QFile::exists(QFile::decodeName(started.journal->path())));
    }
}

QTEST_GUILESS_MAIN(tst_Journal)
#include "tst_Journal.moc"
