// The command-line program, run as a real process on files in a temporary folder.
#include "convert/Module1.h"
#include "support/Cl2Fixture.h"
#include "support/ProcessRun.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

// Runs the child as an unprivileged user when the tests run as root, so that
// permissions are what an ordinary user meets.
void becomeNobody()
{
    if (::getuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
        ::_exit(98);
    }
}

// The program as the tests run it: a copy every user can reach (see initTestCase).
QString cliPath = QStringLiteral(CL2VELMORA_CLI_PATH);
QString faultsPath = QStringLiteral(VELMORA_FAULTS_PATH);

// Reads what comes through fd until the other end closes it; false when that
// has not happened within the time a child may run.
bool readToEnd(int fd, QByteArray &into)
{
    const QDeadlineTimer deadline(processTimeoutMs);
    char buffer[4096];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        const int events = ::poll(&ready, 1, int(deadline.remainingTime()));
        if (events == 0) {
            return false;
        }
        const ssize_t n = events < 0 ? -1 : ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, n);
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            return true; // a terminal whose other side is gone says EIO
        }
    }
}

QStringList outputLines(const QByteArray &out, const QString &root)
{
    return QString::fromUtf8(out).replace(root, u"ROOT"_s).split(u'\n', Qt::SkipEmptyParts);
}

// The log lines a terminal shows once the status line is gone. It is drawn as
// "\r" TEXT ESC [ K and erased as "\r" ESC [ K: before each log line, which
// must start on a clean line, and at the end.
QStringList logOnTerminal(const QByteArray &bytes, const QString &root)
{
    const QString text =
        QString::fromUtf8(bytes).replace(u"\r\n"_s, u"\n"_s); // as the terminal sends it
    const QRegularExpression unerased(u"[^\n](?<!\r\x1b\\[K)(?=SUCCESS:|ERROR:)|"
                                      u"\r[^\r\n\x1b]+\x1b\\[K(?![\\s\\S]*\r\x1b\\[K)"_s);
    return text.contains(unerased)
               ? QStringList{u"status line not erased: "_s + text}
               : outputLines(
                     QString(text).remove(QRegularExpression(u"\r[^\r\n]*\x1b\\[K"_s)).toUtf8(),
                     root);
}

// The environment of a child with these variables (NAME=VALUE) set and the
// fault library preloaded, which does nothing unless they order a fault.
QProcessEnvironment withFaults(const QStringList &orders)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LD_PRELOAD"_s, faultsPath);
#ifdef __SANITIZE_ADDRESS__
    // The sanitizer's runtime then comes second, which it would refuse.
    environment.insert(u"ASAN_OPTIONS"_s,
                       environment.value(u"ASAN_OPTIONS"_s) + u":verify_asan_link_order=0"_s);
#endif
    for (const QString &order : orders) {
        environment.insert(order.section(u'=', 0, 0), order.section(u'=', 1));
    }
    return environment;
}

// original converted `times` times, by the core on a copy.
QByteArray turned(const QByteArray &original, int times)
{
    QTemporaryDir dir;
    const QString copy = putFile(dir, u"copy.cl2"_s, original);
    for (int i = 0; i < times; ++i) {
        velmora::StringMessageLog log;
        if (!velmora::ReorderDirections(copy, log, velmora::ConversionOptions{})) {
            return {};
        }
    }
    return readFile(copy);
}

// How the program's streams are led in heldRun.
enum class Output {
    Captured,         // standard output read here
    ReaderLeaves,     // standard output into a pipe whose reader leaves while it is held
    Terminal,         // both on a terminal
    StatusOnTerminal, // standard error on a terminal, standard output read here
};

// The folder of heldRun's files: a name too long for the status line.
const QString HeldFolder(70, u'f');

// The files run() starts from, by name under dir, with their bytes.
QHash<QString, QByteArray> makeRoot(const QTemporaryDir &dir)
{
    const QByteArray good = makeEightDirectionCl2(2), bad = makeSingleDirectionCl2(3);
    QHash<QString, QByteArray> files{
        {u"hero (copy 2).cl2"_s, makeEightDirectionCl2({3, 3, 4, 2, 5, 1, 6, 3})},
        {u"héros ünd 日本"_s, makeEightDirectionCl2(40)},
        {u"bad.cl2"_s, bad},
        {u"n\nl.cl2"_s, good},
        {u"tree/a.cl2"_s, good},
        {u"tree/sub/B.CL2"_s, good},
        {u"tree/sub/c.cl2"_s, bad},
        {u"tree/locked/b.cl2"_s, good}};
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        putFile(dir, it.key(), it.value());
    }
    return files;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Files and folders an ordinary user may rewrite, as becomeNobody's runs must.
        ::umask(0);
        // The program's journal goes here, not into the home folder: a folder
        // of the user the runs take, as the program trusts no other.
        const QByteArray state = QFile::encodeName(m_state.path());
        QVERIFY(m_state.isValid() && ::chmod(state.constData(), 0700) == 0 &&
                (::getuid() != 0 || ::chown(state.constData(), 65534, 65534) == 0));
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
        // The build may lie in a folder other users cannot enter (a home of
        // mode 0700): the rows run as another user run copies from here of the
        // program (it links its core statically and Qt from the system) and of
        // the fault library.
        QVERIFY(m_bin.isValid() && ::chmod(QFile::encodeName(m_bin.path()).constData(), 0755) == 0);
        for (QString *path : {&cliPath, &faultsPath}) {
            const QString copy = m_bin.filePath(path->section(u'/', -1));
            QVERIFY(QFile::copy(*path, copy) &&
                    ::chmod(QFile::encodeName(copy).constData(), 0755) == 0);
            *path = copy;
        }
    }

    void run_data()
    {
        // In ROOT (see makeRoot): hero (uneven groups), heros (no extension, long
        // tables), bad.cl2 (one direction) and tree/, which an ordinary user
        // cannot wholly list. One row a road and exit status: the engine's own
        // cases (order, refusals, masks, links) are the core's tests.
        QTest::addColumn<QStringList>("arguments"); // with -u, the same without it runs first
        QTest::addColumn<QByteArray>("input");      // standard input; null: a folder there
        // Standard output's lines; the first only with --help, and standard
        // error's first line with a usage error (status 2).
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("exitCode");
        const auto row = [](const char *name, const QStringList &arguments,
                            const QStringList &lines, int exitCode, const QByteArray &input = "") {
            QTest::newRow(name) << arguments << input << lines << exitCode;
        };
        const QString hero = u"ROOT/hero (copy 2).cl2"_s, heros = u"ROOT/héros ünd 日本"_s;
        const auto line = [](const QString &path, const QString &what = u"were realigned"_s) {
            return u"SUCCESS: File (%1) directions %2"_s.arg(path, what);
        };
        const auto tree = [&](const QString &what) {
            return QStringList{u"SUCCESS: (3) files were found on (ROOT/tree) and subfolders"_s,
                               line(u"ROOT/tree/a.cl2"_s, what),
                               line(u"ROOT/tree/sub/B.CL2"_s, what),
                               notEightDirectionsLine(u"ROOT/tree/sub/c.cl2"_s),
                               u"ERROR: Folder (ROOT/tree/locked) could not be listed: "
                               u"Permission denied"_s};
        };

        row("a file, synced, most jobs", {u"--sync"_s, u"-j"_s, u"256"_s, hero}, {line(hero)}, 0);
        // The whole command line is one run: a file named twice is converted once;
        // files left as they are, and nothing else: status 1 alone.
        row("files in order", {hero, u"ROOT/bad.cl2"_s, heros, u"ROOT/tree/../hero (copy 2).cl2"_s},
            {line(hero), notEightDirectionsLine(u"ROOT/bad.cl2"_s), line(heros),
             u"ERROR: File (ROOT/tree/../hero (copy 2).cl2) was already converted in this run"_s},
            1);
        // A folder it could not list is a failure, even when every file converts;
        // the undo row's first run converts it.
        row("folder, dry run, one job", {u"-n"_s, u"-j"_s, u"1"_s, u"ROOT/tree"_s},
            tree(u"would be realigned"_s), 3);
        row("folder, undo", {u"-u"_s, u"ROOT/tree"_s}, tree(u"were restored"_s), 3);
        // A folder in which nothing matched is left as it is: no failure.
        row("folder, nothing matches", {u"--mask"_s, u"*.none"_s, u"ROOT/tree/sub"_s},
            {u"ERROR: No files matching (*.none) were found on (ROOT/tree/sub) and subfolders"_s},
            1);
        // Paths a script hands over: one a line, or NUL-ended for names that
        // hold a newline (shown escaped: one line a file); after the arguments.
        const QStringList list{u"--files-from"_s, u"-"_s};
        row("list, one a line", list,
            {line(hero), u"SUCCESS: (2) files were found on (ROOT/tree/sub) and subfolders"_s,
             line(u"ROOT/tree/sub/B.CL2"_s), notEightDirectionsLine(u"ROOT/tree/sub/c.cl2"_s)},
            1, "ROOT/hero (copy 2).cl2\n\nROOT/tree/sub\n");
        row("list, NUL-ended, a file named twice", QStringList{u"-0"_s, hero} + list,
            {line(hero), line(u"ROOT/n\\nl.cl2"_s),
             u"ERROR: File (ROOT/hero (copy 2).cl2) was already converted in this run"_s},
            1, QByteArray("ROOT/n\nl.cl2") + '\0' + "ROOT/hero (copy 2).cl2" + '\0');
        row("list, empty", list, {}, 0);
        row("--help", {u"--help"_s}, {u"Usage: cl2velmora-cli [options] PATH..."_s}, 0);
        const QString usage = u"cl2velmora-cli: "_s;
        row("usage error: no path", {u"--dry-run"_s}, {usage + u"no PATH given"_s}, 2);
        row("usage error: unknown option", {u"--frobnicate"_s, hero},
            {usage + u"Unknown option 'frobnicate'."_s}, 2);
        row("usage error: no jobs", {u"--jobs"_s, u"0"_s, hero},
            {usage + u"--jobs takes a number from 1 to 256, not '0'"_s}, 2);
        row("usage error: too many jobs", {u"-j"_s, u"257"_s, hero},
            {usage + u"--jobs takes a number from 1 to 256, not '257'"_s}, 2);
        row("usage error: list not there", {u"--files-from"_s, u"ROOT/none"_s},
            {usage + u"--files-from ROOT/none: No such file or directory"_s}, 2);
        // A list that cannot be read to its end says why.
        row("usage error: list a folder", list, {usage + u"--files-from -: Is a directory"_s}, 2,
            QByteArray());
        row("usage error: --null alone", {u"-0"_s, hero},
            {usage + u"--null goes with --files-from"_s}, 2);
    }

    void run()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QStringList, lines);
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        const QString root = dir.path();
        const QHash<QString, QByteArray> files = makeRoot(dir);
        const QByteArray locked = QFile::encodeName(root + u"/tree/locked"_s);
        // The folder open to the user the runs take, but for one of its folders.
        QVERIFY(::chmod(QFile::encodeName(root).constData(), 0755) == 0 &&
                ::chmod(locked.constData(), 0) == 0);
        const QByteArray in = QFile::encodeName(input.isNull() ? root : root + u"/input"_s);
        QVERIFY(input.isNull() ||
                writeFile(root + u"/input"_s, input.replace("ROOT", QFile::encodeName(root))));
        const auto asUser = [&in] {
            ::dup2(::open(in.constData(), O_RDONLY), STDIN_FILENO);
            becomeNobody();
        };
        arguments.replaceInStrings(u"ROOT"_s, root);
        if (arguments.removeAll(u"-u"_s) > 0) {
            QVERIFY(runProcess(cliPath, arguments, QProcessEnvironment::systemEnvironment(), asUser)
                        .finished);
            arguments.prepend(u"-u"_s);
        }
        const ProcessRun run =
            runProcess(cliPath, arguments, QProcessEnvironment::systemEnvironment(), asUser);
        ::chmod(locked.constData(), 0755);
        QVERIFY2(run.finished, run.err.constData());
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(exitCode == 2
                     ? run.out.isEmpty() &&
                           run.err.endsWith("\nTry 'cl2velmora-cli --help' for more information.\n")
                     : run.err.isEmpty(),
                 run.err.constData());
        const QStringList log = outputLines(exitCode == 2 ? run.err : run.out, root);
        QCOMPARE(exitCode == 2 || arguments.contains(u"--help"_s) ? log.mid(0, 1) : log, lines);
        // What the log calls realigned is, once; every other file keeps its bytes.
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QByteArray now = readFile(root + u'/' + it.key());
            const QString shown = QString(it.key()).replace(u'\n', u"\\n"_s);
            QVERIFY2(lines.contains(realignedLine(u"ROOT/"_s + shown))
                         ? framesBySlot(now) == slotsAfterConversion(it.value())
                         : now == it.value(),
                     qPrintable(it.key()));
        }
    }

    // A run of five files in a folder whose name is too long for the status
    // line, one after another, stood still at a write by the fault library: a
    // conversion rewrites a small file in one write, so the n-th write is the
    // n-th file's. Held long enough for the log to be due at the next file.
    void heldRun_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Output>("output");
        QTest::addColumn<int>("heldAt");
        QTest::addColumn<int>("signal");     // sent while it stands still
        QTest::addColumn<int>("converted");  // at least, when the reader left
        QTest::addColumn<QString>("status"); // what the terminal shows, in order
        const QString folder = u"ROOT/"_s + HeldFolder;
        const QStringList serial{u"-j"_s, u"1"_s, folder};
        // A stop signal ends the run right after the file in hand.
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            QTest::addRow("signal %d", signal)
                << serial << Output::Captured << 2 << signal << 2 << QString();
        }
        // Its log goes into a pipe nobody reads any more as its last file is
        // done (a run that stops is linesGoOutUntilTheirReaderLeaves).
        QTest::newRow("reader left at the last file")
            << serial << Output::ReaderLeaves << 5 << 0 << 5 << QString();
        // The status line is erased before the log goes out, and at the end.
        const QString status =
            u"\rSearching \\.{3}f{57} \\.{3}\x1b\\[K[\\s\\S]*\r5 / 5 files, \\d+ files/s\x1b\\[K"_s;
        QTest::newRow("log on the terminal") << serial << Output::Terminal << 2 << 0 << 5 << status;
        QTest::newRow("status on the terminal, log on a pipe")
            << serial << Output::StatusOnTerminal << 2 << 0 << 5 << status;
        // Done within a millisecond of the first file: no rate yet.
        QTest::newRow("two quick files on the terminal")
            << QStringList{folder + u"/0.cl2"_s, folder + u"/1.cl2"_s} << Output::Terminal << 2 << 0
            << 2 << u"\r2 / 2 files(, \\d+ files/s)?\x1b\\[K"_s;
    }

    void heldRun()
    {
        QFETCH(QStringList, arguments);
        QFETCH(Output, output);
        QFETCH(int, heldAt);
        QFETCH(int, signal);
        QFETCH(int, converted);
        QFETCH(QString, status);
        QTemporaryDir dir;
        const QString root = dir.path();
        const QByteArray good = makeEightDirectionCl2(2);
        QStringList files;
        for (int i = 0; i < 5; ++i) {
            files << putFile(dir, u"%1/%2.cl2"_s.arg(HeldFolder).arg(i), good);
        }
        QVERIFY(::chmod(QFile::encodeName(root).constData(), 0755) == 0); // for becomeNobody
        int ends[2] = {-1, -1};                                           // this end, the program's
        const bool terminal = output == Output::Terminal || output == Output::StatusOnTerminal;
        QVERIFY(output == Output::Captured ||
                (terminal ? ::openpty(&ends[0], &ends[1], nullptr, nullptr, nullptr)
                          : ::pipe2(ends, O_CLOEXEC)) == 0);
        const bool out = output == Output::ReaderLeaves || output == Output::Terminal;
        const ProcessRun run = runProcess(
            cliPath, arguments.replaceInStrings(u"ROOT"_s, root),
            withFaults({u"VELMORA_FAULT_PWRITE=%1:stop"_s.arg(heldAt)}),
            [&ends, out, terminal] {
                for (const int stream : {out ? STDOUT_FILENO : -1, terminal ? STDERR_FILENO : -1}) {
                    ::dup2(ends[1], stream);
                }
                // A broken pipe keeps its default deadly signal, as from a shell.
                std::signal(SIGPIPE, SIG_DFL);
                becomeNobody();
            },
            [&](qint64 pid) {
                ::close(std::exchange(ends[1], -1)); // the program holds its own
                QVERIFY(awaitStopped(pid));
                if (output == Output::ReaderLeaves) {
                    ::close(std::exchange(ends[0], -1));
                }
                QTest::qSleep(300);
                // To the thread that stood still, which must not go on to the
                // next file: sent to the process, it may be taken by another.
                // With one job, the program's main thread is the one writing.
                QVERIFY(signal == 0 || ::tgkill(pid_t(pid), pid_t(pid), signal) == 0);
                QCOMPARE(::kill(pid_t(pid), SIGCONT), 0);
            });
        QVERIFY(!QTest::currentTestFailed());
        ::close(ends[1]); // still open when the program did not start
        QByteArray shown;
        const bool allShown = ends[0] < 0 || readToEnd(ends[0], shown);
        ::close(ends[0]);
        QVERIFY2(run.finished, run.err.constData());
        QVERIFY2(allShown, "its stream stayed open after it ended");
        QCOMPARE(run.exitCode, signal != 0 ? 128 + signal : output == Output::ReaderLeaves ? 3 : 0);
        // No status line unless on a terminal; a reader that left is told of.
        QVERIFY2(output == Output::ReaderLeaves
                     ? run.err.startsWith("cl2velmora-cli: standard output could not be written "
                                          "(Broken pipe)")
                     : run.err.isEmpty(),
                 run.err.constData());
        QVERIFY2(QString::fromUtf8(shown).contains(QRegularExpression(status)), shown.constData());
        // The log shows whole, with no trace of the status line among its lines;
        // a terminal gets the run's summary at the end.
        QStringList log = logOnTerminal(shown, root);
        QVERIFY2(!terminal ||
                     (!log.isEmpty() && log.takeLast().contains(QRegularExpression(
                                            u"^cl2velmora-cli: files: .*, in [.\\d]+ s$"_s))),
                 shown.constData());
        QStringList lines;
        if (arguments.constLast().endsWith(HeldFolder)) {
            lines << u"SUCCESS: (5) files were found on (ROOT/%1) and subfolders"_s.arg(HeldFolder);
        }
        for (int i = 0; i < converted; ++i) {
            lines << realignedLine(u"ROOT/%1/%2.cl2"_s.arg(HeldFolder).arg(i));
        }
        if (signal != 0) {
            lines << u"ERROR: Conversion stopped after (%1) of (5) files"_s.arg(converted);
        }
        if (output != Output::ReaderLeaves) {
            QCOMPARE(log + outputLines(run.out, root), lines);
        }
        // The files converted come first, in order. The program learns that its
        // reader left only when it next writes: the file whose write was held
        // and maybe some after it are converted.
        const QByteArray once = turned(good, 1);
        QByteArrayList now;
        for (const QString &file : files) {
            now << readFile(file);
        }
        const int done = int(now.lastIndexOf(once)) + 1;
        QCOMPARE(now, QByteArrayList(done, once) + QByteArrayList(5 - done, good));
        QVERIFY(output == Output::ReaderLeaves ? done >= converted : done == converted);
    }

    // Its journal's disk fills up during the run: the program says once that
    // it cannot protect the files, and converts them all the same.
    void journalOnAFullDisk()
    {
        QTemporaryDir dir, state;
        if (QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=1m"_s, u"tmpfs"_s,
                                           state.path()}) != 0) {
            QSKIP("mounting a small file system needs a privileged user");
        }
        const auto unmount =
            qScopeGuard([&state] { QProcess::execute(u"umount"_s, {state.path()}); });
        // Each record is larger than the room beside the journal's slots.
        const QByteArray big = makeEightDirectionCl2(80000, 4);
        const QStringList files{putFile(dir, u"a.cl2"_s, big), putFile(dir, u"b.cl2"_s, big)};
        const ProcessRun run =
            runProcess(cliPath, files, withFaults({u"XDG_STATE_HOME="_s + state.path()}));
        QVERIFY2(run.finished && run.exitCode == 0 &&
                     run.err.count("cannot protect against interruption: ") == 1 &&
                     run.err.contains("No space left on device\n"),
                 run.err.constData());
        // Converted all the same; a file left alone would change the status.
        QCOMPARE(framesBySlot(readFile(files[1])), slotsAfterConversion(big));
    }

    // Three runs started together on overlapping trees take turns: each file is
    // turned once by each run that reaches it, whole, and each run's lines are
    // true. Every read and write is slowed down, so that the runs overlap and
    // every job is brought in, and every read comes short, also of tables
    // longer than the first read. Many jobs under a low limit of open files
    // (that raising cannot lift): no file is refused for the program's own
    // descriptors. A file another program holds throughout is left as it is,
    // with one line, after a wait.
    void runsAtOnce()
    {
        const QStringList trees{u"T/d00"_s, u"T"_s, u"T/d00/s"_s};
        QTemporaryDir dir;
        const QList<QByteArray> shapes{makeEightDirectionCl2(2), makeEightDirectionCl2(7),
                                       makeEightDirectionCl2(200)};
        QStringList files; // the f-th of shape f % 3
        for (int f = 0; f < 600; ++f) {
            const QString name = (f % 12 < 8 ? u"T/d%1/f%2.cl2"_s : u"T/d%1/s/g%2.cl2"_s)
                                     .arg(f / 12, 2, 10, QChar(u'0'))
                                     .arg(f);
            files << putFile(dir, name, shapes[f % 3]);
        }
        const QString held = putFile(dir, u"T/held.cl2"_s, shapes[0]);
        const int fd = ::open(QFile::encodeName(held).constData(), O_RDWR | O_CLOEXEC);
        const auto unlock = qScopeGuard([fd] { ::close(fd); });
        struct flock whole = {};
        whole.l_type = F_WRLCK;
        QVERIFY(fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &whole) == 0);
        QProcess runs[3];
        for (int i = 0; i < 3; ++i) {
            runs[i].setProcessEnvironment(
                withFaults({u"VELMORA_FAULT_SLOW_IO=500"_s, u"VELMORA_FAULT_SHORT_READS=1"_s}));
            runs[i].setChildProcessModifier([] {
                const rlimit low{256, 256};
                if (::setrlimit(RLIMIT_NOFILE, &low) != 0) {
                    ::_exit(97);
                }
            });
            runs[i].start(cliPath, {u"-j"_s, u"256"_s, dir.filePath(trees[i])});
        }
        QHash<QString, int> lines; // of all runs, how often each
        for (QProcess &run : runs) {
            QVERIFY2(run.waitForFinished(120000) && run.exitStatus() == QProcess::NormalExit &&
                         run.exitCode() == (&run == &runs[1] ? 3 : 0), // T, with the held file
                     run.readAllStandardError().constData());
            for (const QString &line :
                 QString::fromUtf8(run.readAllStandardOutput()).split(u'\n')) {
                ++lines[line];
            }
        }
        for (int f = 0; f < files.size(); ++f) {
            int reached = 0;
            for (const QString &tree : trees) {
                reached += files[f].startsWith(dir.filePath(tree) + u'/');
            }
            QCOMPARE(lines.value(realignedLine(files[f])), reached);
            QVERIFY2(readFile(files[f]) == turned(shapes[f % 3], reached), qPrintable(files[f]));
        }
        QCOMPARE(lines.value(
                     u"ERROR: File (%1) could not be locked: another program holds it"_s.arg(held)),
                 1);
        QCOMPARE(readFile(held), shapes[0]);
    }

    // Lines go out while the run goes on, not all at its end (these fill no
    // write on their own); when their reader leaves, the run stops as on a
    // stop request, and the reason goes to standard error.
    void linesGoOutUntilTheirReaderLeaves()
    {
        QTemporaryDir dir;
        const QByteArray good = makeEightDirectionCl2(1);
        QStringList files;
        for (int i = 0; i < 100; ++i) {
            files << putFile(dir, u"%1.cl2"_s.arg(i), good);
        }
        int ends[2];
        QVERIFY(::pipe2(ends, O_CLOEXEC) == 0);
        QByteArray first(4096, '\0'); // read, then the reader leaves
        // A slow disk: the run would take seconds.
        const ProcessRun run = runProcess(
            cliPath, {u"-j"_s, u"1"_s, dir.path()}, withFaults({u"VELMORA_FAULT_SLOW_IO=5000"_s}),
            [&ends] { ::dup2(ends[1], STDOUT_FILENO); },
            [&](qint64) {
                ::close(ends[1]);
                first.resize(std::max(ssize_t(0), ::read(ends[0], first.data(), first.size())));
                ::close(ends[0]);
            });
        QVERIFY2(run.finished && run.exitCode == 3, run.err.constData());
        QVERIFY2(first.startsWith("SUCCESS: (100) files were found on ("), first.constData());
        QVERIFY2(run.err.contains("cl2velmora-cli: standard output could not be written (Broken "
                                  "pipe); the run was stopped"),
                 run.err.constData());
        int untouched = 0;
        for (const QString &file : files) {
            untouched += readFile(file) == good;
        }
        QVERIFY(untouched > 0);
    }

    // The fields of --json, as a script reads them: one object a result, the
    // words of the text log in "message", then the summary; the counts on
    // standard error with --stats.
    void jsonFields()
    {
        QTemporaryDir dir;
        putFile(dir, u"sub/a.cl2"_s, makeEightDirectionCl2(1));
        putFile(dir, u"sub/b.cl2"_s, makeSingleDirectionCl2(2));
        // A name that is not UTF-8 is given by its bytes as well.
        const QByteArray odd = QFile::encodeName(dir.path()) + "/sub/c\xe9.cl2";
        const QString c = putFile(dir, u"c.cl2"_s, makeEightDirectionCl2(1));
        QCOMPARE(::rename(QFile::encodeName(c).constData(), odd.constData()), 0);
        // QTemporaryDir cannot remove a name it cannot decode.
        const auto remove = qScopeGuard([&odd] { ::unlink(odd.constData()); });
        const QString sub = dir.filePath(u"sub"_s), none = dir.filePath(u"none.cl2"_s);
        const ProcessRun run = runProcess(
            cliPath, {u"--json"_s, u"--stats"_s, u"-n"_s, u"--mask"_s, u"*.cl2"_s, sub, none, sub});
        QVERIFY2(run.finished && run.exitCode == 3, run.err.constData());
        QVERIFY2(run.err.startsWith("cl2velmora-cli: files: 2 converted, 2 not 8-direction files "
                                    "left as they are, 1 failed, 2 named again"),
                 run.err.constData());
        const QJsonArray results = // none when a line is not an object
            QJsonDocument::fromJson('[' + run.out.trimmed().replace('\n', ',') + ']').array();
        QCOMPARE(QByteArray::fromBase64(results[3][u"path_base64"_s].toString().toLatin1()), odd);
        QCOMPARE(results[4][u"message"_s].toString(),
                 u"ERROR: File (%1) could not be opened: No such file or directory"_s.arg(none));
        QJsonArray shown;
        for (const QJsonValue &result : results) {
            QJsonObject object = result.toObject();
            for (const QString &key : {u"seconds"_s, u"message"_s, u"path_base64"_s}) {
                object.remove(key);
            }
            shown << object;
        }
        const QByteArray expected = R"([
 {"status": "found", "path": "ROOT/sub", "count": 3},
 {"status": "converted", "path": "ROOT/sub/a.cl2", "dry_run": true, "undo": false},
 {"status": "not_eight_directions", "path": "ROOT/sub/b.cl2"},
 {"status": "converted", "path": "ROOT/sub/c\\xe9.cl2", "dry_run": true, "undo": false},
 {"status": "open_failed", "path": "ROOT/none.cl2", "reason": "No such file or directory"},
 {"status": "found", "path": "ROOT/sub", "count": 3},
 {"status": "already_converted", "path": "ROOT/sub/a.cl2", "dry_run": true, "undo": false},
 {"status": "not_eight_directions", "path": "ROOT/sub/b.cl2"},
 {"status": "already_converted", "path": "ROOT/sub/c\\xe9.cl2", "dry_run": true, "undo": false},
 {"status": "summary", "converted": 2, "not_eight_directions": 2, "already_converted": 2,
  "failed": 1, "folders_not_listed": 0, "put_back": 0, "skipped": 0, "converted_again": 0,
  "stopped": false, "exit_status": 3}])";
        QCOMPARE(QJsonDocument(shown)
                     .toJson()
                     .replace(QFile::encodeName(dir.path()), "ROOT")
                     .split('\n'),
                 QJsonDocument::fromJson(expected).toJson().split('\n'));
    }

private:
    QTemporaryDir m_state, m_bin;
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
