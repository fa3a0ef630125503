// The command-line program, run as a real process on files in a temporary folder.
#include "support/Cl2Fixture.h"
#include "support/ProcessRun.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

ProcessRun runCli(const QStringList &arguments, const std::function<void()> &childSetup,
                  const std::function<void(qint64)> &whileRunning = {})
{
    return runProcess(QStringLiteral(CL2VELMORA_CLI_PATH), arguments,
                      QProcessEnvironment::systemEnvironment(), childSetup, whileRunning);
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

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Files and folders an ordinary user may rewrite, as becomeNobody's runs must.
        ::umask(0);
        // The program's journal goes here, not into the home folder.
        QVERIFY(m_state.isValid() &&
                ::chmod(QFile::encodeName(m_state.path()).constData(), 0777) == 0);
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
    }

    void run_data()
    {
        // In ROOT: hero (uneven groups), heros (no extension, long tables),
        // bad.cl2 (one direction), 0.cl2 to 4.cl2 in a folder whose name is too
        // long for the status line, and tree/ (see run()), which an ordinary user cannot
        // wholly list. Refusals and links are the core's tests.
        QTest::addColumn<QStringList>("before"); // a run that must end first
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("lines"); // only the first with --help
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("streams"); // on a terminal, or a pipe read here
        QTest::addColumn<int>("heldAt");      // the write where the program stands still
        QTest::addColumn<int>("signal");      // sent while it stands still
        QTest::addColumn<QString>("status");  // what the terminal shows, in order
        const auto row = [](const char *name, const QStringList &arguments,
                            const QStringList &lines, int exitCode, const QString &streams = {},
                            int heldAt = 0, int signal = 0, const QString &status = {},
                            const QStringList &before = {}) {
            QTest::newRow(name) << before << arguments << lines << exitCode << streams << heldAt
                                << signal << status;
        };
        const QString hero = u"ROOT/hero (copy 2).cl2"_s, heros = u"ROOT/héros ünd 日本"_s;
        const auto line = [](const QString &path, const QString &what = u"were realigned"_s) {
            return u"SUCCESS: File (%1) directions %2"_s.arg(path, what);
        };
        const auto tree = [&](const QString &what) {
            QStringList lines{u"SUCCESS: (23) files were found on (ROOT/tree) and subfolders"_s,
                              line(u"ROOT/tree/a.cl2"_s, what)};
            for (int i = 10; i < 30; ++i) {
                lines << line(u"ROOT/tree/many/%1.cl2"_s.arg(i), what);
            }
            return lines << line(u"ROOT/tree/sub/B.CL2"_s, what)
                         << notEightDirectionsLine(u"ROOT/tree/sub/c.cl2"_s)
                         << u"ERROR: Folder (ROOT/tree/locked) could not be listed: "
                            u"Permission denied"_s;
        };
        const QString folder = u"ROOT/"_s + QString(70, u'f'); // the one held below
        const auto held = [&folder](int converted) {
            QStringList lines{
                u"SUCCESS: (5) files were found on (%1) and subfolders"_s.arg(folder)};
            for (int i = 0; i < converted; ++i) {
                lines << realignedLine(folder + u"/%1.cl2"_s.arg(i));
            }
            return lines;
        };

        row("a file, synced, most jobs", {u"--sync"_s, u"-j"_s, u"256"_s, hero}, {line(hero)}, 0);
        // The whole command line is one run: a file named twice is converted once.
        row("files in order", {hero, u"ROOT/bad.cl2"_s, heros, u"ROOT/tree/../hero (copy 2).cl2"_s},
            {line(hero), notEightDirectionsLine(u"ROOT/bad.cl2"_s), line(heros),
             u"ERROR: File (ROOT/tree/../hero (copy 2).cl2) was already converted in this run"_s},
            1);
        // One file at a time or many in flight: the same log, the same bytes.
        for (const QString &jobs : {u"1"_s, u"8"_s}) {
            const QStringList folder{u"-j"_s, jobs, u"ROOT/tree"_s};
            row(qPrintable(u"folder, %1 jobs"_s.arg(jobs)), folder, tree(u"were realigned"_s), 1);
            row(qPrintable(u"folder, dry run, %1 jobs"_s.arg(jobs)), QStringList{u"-n"_s} + folder,
                tree(u"would be realigned"_s), 1);
            row(qPrintable(u"folder, undo, %1 jobs"_s.arg(jobs)), QStringList{u"-u"_s} + folder,
                tree(u"were restored"_s), 1, {}, 0, 0, {}, {u"ROOT/tree"_s});
        }
        row("folder, mask", {u"--mask"_s, u"*3.*"_s, u"ROOT/tree/many"_s},
            {u"SUCCESS: (2) files matching (*3.*) were found on (ROOT/tree/many) and subfolders"_s,
             line(u"ROOT/tree/many/13.cl2"_s), line(u"ROOT/tree/many/23.cl2"_s)},
            0);
        // A folder it could not list is a failure, even when every file converts.
        row("folder, mask, a folder not listed", {u"--mask"_s, u"a.cl2"_s, u"ROOT/tree"_s},
            {u"SUCCESS: (1) files matching (a.cl2) were found on (ROOT/tree) and subfolders"_s,
             line(u"ROOT/tree/a.cl2"_s), tree({}).constLast()},
            1);
        // Nothing found under the default mask: an unreadable start folder.
        row("folder not listed", {u"ROOT/tree/locked"_s},
            {u"ERROR: No *.cl2 files were found on (ROOT/tree/locked) and subfolders"_s,
             tree({}).constLast()},
            1);
        row("folder, malformed mask", {u"--mask"_s, u"*.cl2 [z-a]"_s, u"ROOT/tree"_s},
            {u"ERROR: The mask list (*.cl2 [z-a]) is not valid: descending range 'z-a' in mask "
             u"\"*[z-a]*\""_s},
            1);
        row("--help", {u"--help"_s}, {u"Usage: cl2velmora-cli [options] PATH..."_s}, 0);
        row("usage error: no path", {u"--dry-run"_s}, {}, 2);
        row("usage error: unknown option", {u"--frobnicate"_s, hero}, {}, 2);
        row("usage error: no jobs", {u"--jobs"_s, u"0"_s, hero}, {}, 2);
        row("usage error: too many jobs", {u"-j"_s, u"257"_s, hero}, {}, 2);
        // No hidden way to run without the journal.
        row("usage error: no journal", {u"--no-journal"_s, hero}, {}, 2);

        // A conversion writes twice a file: the 2n-th write is the n-th file's
        // last. Held long enough for the log to be due at the next file. A
        // stop signal ends the run there. One file after another: the run
        // stops right after the file in hand.
        const QStringList serial{u"-j"_s, u"1"_s, folder};
        const QStringList stopped =
            held(2) + QStringList{u"ERROR: Conversion stopped after (2) of (5) files"_s};
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            row(qPrintable(u"signal %1"_s.arg(signal)), serial, stopped, 128 + signal, {}, 4,
                signal);
        }
        // Its log goes into a pipe nobody reads any more: the run stops, or ends
        // with the files done.
        row("reader left", serial, held(3), 1, u"reader left"_s, 5);
        row("reader left at the last file", serial, held(5), 1, u"reader left"_s, 9);
        // The status line is erased before the log goes out, and at the end.
        const QString status =
            u"\rSearching \\.{3}f{57} \\.{3}\x1b\\[K[\\s\\S]*\r5 / 5 files, \\d+ files/s\x1b\\[K"_s;
        row("log on the terminal", serial, held(5), 0, u"terminal"_s, 4, 0, status);
        row("status on the terminal, log on a pipe", serial, held(5), 0,
            u"status on the terminal"_s, 4, 0, status);
        // Done within a millisecond of the first file: no rate yet.
        row("two quick files on the terminal", {folder + u"/0.cl2"_s, folder + u"/1.cl2"_s},
            held(2).mid(1), 0, u"terminal"_s, 4, 0, u"\r2 / 2 files(, \\d+ files/s)?\x1b\\[K"_s);
    }

    void run()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, lines);
        QFETCH(int, exitCode);
        QFETCH(QString, streams);
        QFETCH(int, heldAt);
        QFETCH(int, signal);
        QFETCH(QString, status);
        QTemporaryDir dir;
        const QString root = dir.path(), held = QString(70, u'f');
        const QByteArray top = QFile::encodeName(root), locked = top + "/tree/locked";
        const QByteArray good = makeEightDirectionCl2(2), bad = makeSingleDirectionCl2(3);
        QHash<QString, QByteArray> files{
            {u"hero (copy 2).cl2"_s, makeEightDirectionCl2({3, 3, 4, 2, 5, 1, 6, 3})},
            {u"héros ünd 日本"_s, makeEightDirectionCl2(40)},
            {u"bad.cl2"_s, bad},
            {u"tree/a.cl2"_s, good},
            {u"tree/sub/B.CL2"_s, good},
            {u"tree/sub/c.cl2"_s, bad},
            {u"tree/locked/b.cl2"_s, good},
            {u"tree/readme.txt"_s, "not a sprite\n"}};
        for (int i = 0; i < 25; ++i) {
            files.insert(i < 5 ? u"%1/%2.cl2"_s.arg(held).arg(i) : u"tree/many/%1.cl2"_s.arg(i + 5),
                         i < 5 ? good : makeEightDirectionCl2(1 + (i + 5) % 4));
        }
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            putFile(dir, it.key(), it.value());
        }
        QVERIFY(::chmod(top.constData(), 0755) == 0 && ::chmod(locked.constData(), 0) == 0);
        if (!before.isEmpty()) {
            QVERIFY(runCli(before.replaceInStrings(u"ROOT"_s, root), becomeNobody).finished);
        }
        int ends[2] = {-1, -1}; // this end, the program's
        const bool terminal = streams.endsWith(u"terminal"_s);
        QVERIFY(streams.isEmpty() ||
                (terminal ? ::openpty(&ends[0], &ends[1], nullptr, nullptr, nullptr)
                          : ::pipe2(ends, O_CLOEXEC)) == 0);
        const bool out = streams == u"reader left"_s || streams == u"terminal"_s;

        // The fault library stops the program at that write, before it is made.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (heldAt > 0) {
            environment.insert(u"LD_PRELOAD"_s, QStringLiteral(VELMORA_FAULTS_PATH));
            environment.insert(u"VELMORA_FAULT_PWRITE"_s, u"%1:stop"_s.arg(heldAt));
        }
        const ProcessRun run = runProcess(
            QStringLiteral(CL2VELMORA_CLI_PATH), arguments.replaceInStrings(u"ROOT"_s, root),
            environment,
            [&ends, out, terminal] {
                for (const int stream : {out ? STDOUT_FILENO : -1, terminal ? STDERR_FILENO : -1}) {
                    ::dup2(ends[1], stream);
                }
                // A broken pipe keeps its default deadly signal, as from a shell.
                std::signal(SIGPIPE, SIG_DFL);
                becomeNobody();
            },
            [&](qint64 pid) {
                ::close(ends[1]); // the program holds its own
                if (heldAt == 0) {
                    return;
                }
                // Waits up to half a minute, away from the event loop, which
                // would take the program's end from this wait.
                siginfo_t state{};
                for (int i = 0; i < 3000 && state.si_pid == 0; ++i) {
                    QTest::qSleep(10);
                    ::waitid(P_PID, id_t(pid), &state, WSTOPPED | WEXITED | WNOWAIT | WNOHANG);
                }
                QCOMPARE(state.si_code, CLD_STOPPED);
                if (streams == u"reader left"_s) {
                    ::close(std::exchange(ends[0], -1));
                }
                QTest::qSleep(300);
                // To the thread that stood still, which must not go on to the
                // next file: sent to the process, it may be taken by another.
                // With one job, the program's main thread is the one writing.
                QCOMPARE(::tgkill(pid_t(pid), pid_t(pid), signal), 0);
                QCOMPARE(::kill(pid_t(pid), SIGCONT), 0);
            });
        QByteArray shown;
        char buffer[4096];
        for (ssize_t n; ends[0] >= 0 && (n = ::read(ends[0], buffer, sizeof buffer)) > 0;) {
            shown.append(buffer, n);
        }
        ::close(ends[0]);

        ::chmod(locked.constData(), 0755);
        QVERIFY2(run.finished, run.err.constData());
        QCOMPARE(run.exitCode, exitCode);
        // No status line unless on a terminal; a reader that left is told of.
        QVERIFY2(exitCode == 2
                     ? run.err.contains("\nTry 'cl2velmora-cli --help' for more information.\n")
                 : streams == u"reader left"_s
                     ? run.err.startsWith("cl2velmora-cli: standard output could not be written "
                                          "(Broken pipe)")
                     : run.err.isEmpty(),
                 run.err.constData());
        // The log shows whole, with no trace of the status line among its lines.
        const QStringList log = logOnTerminal(shown, root) + outputLines(run.out, root);
        if (streams != u"reader left"_s) {
            QCOMPARE(arguments.contains(u"--help"_s) ? log.mid(0, 1) : log, lines);
        }
        QVERIFY2(QString::fromUtf8(shown).contains(QRegularExpression(status)), shown.constData());
        // What the log calls realigned is, once; every other file keeps its bytes.
        // The program learns that its reader left only when it next writes:
        // the file whose write was held and some after it are converted, in
        // order.
        bool inOrder = true;
        for (int i = 0; streams == u"reader left"_s && i < 5; ++i) {
            const QString name = u"%1/%2.cl2"_s.arg(held).arg(i);
            const bool converted = readFile(root + u'/' + name) != files.value(name);
            QVERIFY(i >= (heldAt + 1) / 2 || converted);
            QVERIFY(inOrder || !converted);
            inOrder = converted;
            files.remove(name);
        }
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QByteArray now = readFile(root + u'/' + it.key());
            QVERIFY2(lines.contains(realignedLine(u"ROOT/"_s + it.key()))
                         ? framesBySlot(now) == slotsAfterConversion(it.value())
                         : now == it.value(),
                     qPrintable(it.key()));
        }
    }

    // Its journal's disk fills up during the run: the program says once that
    // it cannot protect the files, and converts them all the same.
    void journalOnAFullDisk()
    {
        QTemporaryDir dir, state;
        const QString full = state.filePath(u"small"_s);
        QVERIFY(QDir().mkpath(full));
        if (QProcess::execute(
                u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=1m"_s, u"tmpfs"_s, full}) != 0) {
            QSKIP("mounting a small file system needs a privileged user");
        }
        const auto unmount = qScopeGuard([&full] { QProcess::execute(u"umount"_s, {full}); });
        // Each record is larger than the room beside the journal's slots.
        const QByteArray big = makeEightDirectionCl2(80000, 4);
        const QStringList files{putFile(dir, u"a.cl2"_s, big), putFile(dir, u"b.cl2"_s, big)};
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_STATE_HOME"_s, full);
        const ProcessRun run = runProcess(QStringLiteral(CL2VELMORA_CLI_PATH), files, environment);
        QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
        QCOMPARE(outputLines(run.out, dir.path()),
                 (QStringList{realignedLine(u"ROOT/a.cl2"_s), realignedLine(u"ROOT/b.cl2"_s)}));
        QCOMPARE(run.err.count("cannot protect against interruption: "), 1);
        QVERIFY2(run.err.contains("No space left on device\n"), run.err.constData());
        for (const QString &file : files) {
            QCOMPARE(framesBySlot(readFile(file)), slotsAfterConversion(big));
        }
    }

    // Paths a script hands over: one a line, or NUL-ended for names that hold
    // a newline; each file once per run, however often it is named.
    void filesFrom_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("list"); // on standard input
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("exitCode");
        const QString a = u"ROOT/a.cl2"_s, nl = u"ROOT/n\nl.cl2"_s;
        QTest::newRow("lines") << QStringList{u"--files-from"_s, u"-"_s}
                               << QByteArray("ROOT/a.cl2\n\nROOT/sub\n")
                               << QStringList{realignedLine(a),
                                              u"SUCCESS: (1) files were found on (ROOT/sub) and "
                                              u"subfolders"_s,
                                              realignedLine(u"ROOT/sub/b.cl2"_s)}
                               << 0;
        QTest::newRow("NUL-ended, named twice")
            << QStringList{u"-0"_s, u"--files-from"_s, u"-"_s, u"ROOT/a.cl2"_s}
            << QByteArray("ROOT/n\nl.cl2\0ROOT/a.cl2\0", 26)
            << QStringList{realignedLine(a), realignedLine(nl),
                           u"ERROR: File (ROOT/a.cl2) was already converted in this run"_s}
            << 1;
        QTest::newRow("empty list")
            << QStringList{u"--files-from"_s, u"-"_s} << QByteArray() << QStringList{} << 0;
        QTest::newRow("list not readable")
            << QStringList{u"--files-from"_s, u"ROOT/none"_s} << QByteArray() << QStringList{} << 2;
        QTest::newRow("--null alone")
            << QStringList{u"-0"_s, u"ROOT/a.cl2"_s} << QByteArray() << QStringList{} << 2;
    }

    void filesFrom()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, list);
        QFETCH(QStringList, lines);
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        const QByteArray good = makeEightDirectionCl2(2);
        for (const QString &name : {u"a.cl2"_s, u"n\nl.cl2"_s, u"sub/b.cl2"_s}) {
            putFile(dir, name, good);
        }
        const QString input = dir.filePath(u"list"_s);
        QVERIFY(writeFile(input, list.replace("ROOT", QFile::encodeName(dir.path()))));
        const ProcessRun run = runCli(options.replaceInStrings(u"ROOT"_s, dir.path()), [&input] {
            const int fd = ::open(QFile::encodeName(input).constData(), O_RDONLY);
            ::dup2(fd, STDIN_FILENO);
        });
        QVERIFY2(run.finished, run.err.constData());
        QCOMPARE(run.exitCode, exitCode);
        // Compared whole: a name that holds a newline spans two lines.
        QCOMPARE(QString::fromUtf8(run.out).replace(dir.path(), u"ROOT"_s),
                 lines.isEmpty() ? QString() : lines.join(u'\n') + u'\n');
    }

    // Standard output that takes no more (a full disk here) stops the run as
    // a stop request does, and the reason goes to standard error.
    void outputThatCannotBeWrittenStopsTheRun()
    {
        QTemporaryDir dir;
        const QByteArray good = makeEightDirectionCl2(1);
        constexpr int count = 2000;
        for (int i = 0; i < count; ++i) {
            putFile(dir, u"d%1/%2.cl2"_s.arg(i % 20).arg(i), good);
        }
        const ProcessRun run = runCli({dir.path()}, [] {
            const int fd = ::open("/dev/full", O_WRONLY);
            ::dup2(fd, STDOUT_FILENO);
        });
        QVERIFY2(run.finished, run.err.constData());
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith("cl2velmora-cli: standard output could not be written (No "
                                    "space left on device)"),
                 run.err.constData());
        int converted = 0;
        for (int i = 0; i < count; ++i) {
            const QByteArray now = readFile(dir.filePath(u"d%1/%2.cl2"_s.arg(i % 20).arg(i)));
            QVERIFY(now == good || framesBySlot(now) == slotsAfterConversion(good));
            converted += now != good;
        }
        QVERIFY2(converted < count, qPrintable(QString::number(converted)));
    }

    // Lines do not wait for the end of the run: while one file's write takes
    // seconds, the lines of the files before it are already out.
    void linesGoOutWhileTheRunGoesOn()
    {
        QTemporaryDir dir;
        const QByteArray good = makeEightDirectionCl2(1);
        QStringList files;
        for (int i = 0; i < 4; ++i) {
            files << putFile(dir, u"%1.cl2"_s.arg(i), good);
        }
        int ends[2];
        QVERIFY(::pipe2(ends, O_CLOEXEC) == 0);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LD_PRELOAD"_s, QStringLiteral(VELMORA_FAULTS_PATH));
        environment.insert(u"VELMORA_FAULT_PWRITE"_s, u"5:sleep"_s); // the third file's first
        QByteArray early;
        const ProcessRun run = runProcess(
            QStringLiteral(CL2VELMORA_CLI_PATH), QStringList{u"-j"_s, u"1"_s} + files, environment,
            [&ends] { ::dup2(ends[1], STDOUT_FILENO); },
            [&](qint64 pid) {
                ::close(ends[1]);
                char buffer[4096];
                while (early.count('\n') < 2) {
                    const ssize_t n = ::read(ends[0], buffer, sizeof buffer);
                    if (n <= 0) {
                        break;
                    }
                    early.append(buffer, n);
                }
                // Still asleep in the third file's write.
                siginfo_t state{};
                QCOMPARE(::waitid(P_PID, id_t(pid), &state, WEXITED | WNOWAIT | WNOHANG), 0);
                QCOMPARE(state.si_pid, 0);
            });
        ::close(ends[0]);
        QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
        QCOMPARE(outputLines(early, dir.path()),
                 (QStringList{realignedLine(u"ROOT/0.cl2"_s), realignedLine(u"ROOT/1.cl2"_s)}));
    }

private:
    QTemporaryDir m_state;
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
