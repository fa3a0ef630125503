// The command-line program, run as a real process on files in a temporary folder.
#include "support/Cl2Fixture.h"
#include "support/ProcessRun.h"

#include <QRegularExpression>
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

ProcessRun runCli(const QStringList &arguments, const std::function<void()> &childSetup = {},
                  const std::function<void(qint64)> &whileRunning = {})
{
    return runProcess(QStringLiteral(CL2VELMORA_CLI_PATH), arguments,
                      QProcessEnvironment::systemEnvironment(), childSetup, whileRunning);
}

QStringList outputLines(const QByteArray &out, const QString &root)
{
    return QString::fromUtf8(out).replace(root, u"ROOT"_s).split(u'\n', Qt::SkipEmptyParts);
}

// What a terminal shows after these bytes: "\r" goes back to the start of the
// line, ESC [ K erases to its end, anything else is written over what is there.
QStringList screen(const QByteArray &bytes, const QString &root)
{
    QList<QByteArray> rows{{}};
    qsizetype column = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            column = 0;
            rows.resize(rows.size() + (bytes[i] == '\n' ? 1 : 0));
        } else if (bytes.mid(i, 3) == "\x1b[K") {
            rows.last().truncate(column);
            i += 2;
        } else {
            rows.last().resize(qMax(rows.last().size(), column + 1));
            rows.last()[column++] = bytes[i];
        }
    }
    return outputLines(rows.join('\n'), root);
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

    void road_data()
    {
        // In ROOT: hero (uneven groups), heros (no extension, long tables),
        // bad.cl2 (one direction) and tree/ (see road()), which an ordinary
        // user cannot wholly list. Refusals and links are the core's tests.
        QTest::addColumn<QStringList>("before"); // a run that must end first
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("lines"); // only the first with --help
        QTest::addColumn<int>("exitCode");
        const auto row = [](const char *name, const QStringList &arguments,
                            const QStringList &lines, int exitCode,
                            const QStringList &before = {}) {
            QTest::newRow(name) << before << arguments << lines << exitCode;
        };
        const QString hero = u"ROOT/hero (copy 2).cl2"_s, heros = u"ROOT/héros ünd 日本"_s;
        const auto line = [](const QString &path, const QString &what = u"were realigned"_s) {
            return u"SUCCESS: File (%1) directions %2"_s.arg(path, what);
        };
        const QString locked =
            u"ERROR: Folder (ROOT/tree/locked) could not be listed: Permission denied"_s;
        const auto tree = [&](const QString &what) {
            QStringList lines{u"SUCCESS: (23) files were found on (ROOT/tree) and subfolders"_s,
                              line(u"ROOT/tree/a.cl2"_s, what)};
            for (int i = 10; i < 30; ++i) {
                lines << line(u"ROOT/tree/many/%1.cl2"_s.arg(i), what);
            }
            return lines << line(u"ROOT/tree/sub/B.CL2"_s, what)
                         << notEightDirectionsLine(u"ROOT/tree/sub/c.cl2"_s) << locked;
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
                tree(u"were restored"_s), 1, {u"ROOT/tree"_s});
        }
        row("folder, mask", {u"--mask"_s, u"*3.*"_s, u"ROOT/tree/many"_s},
            {u"SUCCESS: (2) files matching (*3.*) were found on (ROOT/tree/many) and subfolders"_s,
             line(u"ROOT/tree/many/13.cl2"_s), line(u"ROOT/tree/many/23.cl2"_s)},
            0);
        row("--help", {u"--help"_s}, {u"Usage: cl2velmora-cli [options] PATH..."_s}, 0);
        row("usage error: no path", {u"--dry-run"_s}, {}, 2);
        row("usage error: unknown option", {u"--frobnicate"_s, hero}, {}, 2);
        row("usage error: no jobs", {u"--jobs"_s, u"0"_s, hero}, {}, 2);
        row("usage error: too many jobs", {u"-j"_s, u"257"_s, hero}, {}, 2);
    }

    void road()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, lines);
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        const QString root = dir.path();
        const auto at = [&root](const char *name) {
            return QFile::encodeName(root + QLatin1String(name));
        };
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
        for (int i = 10; i < 30; ++i) {
            files.insert(u"tree/many/%1.cl2"_s.arg(i), makeEightDirectionCl2(1 + i % 4));
        }
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            putFile(dir, it.key(), it.value());
        }
        QVERIFY(::chmod(at("").constData(), 0755) == 0 &&
                ::chmod(at("/tree/locked").constData(), 0) == 0);
        if (!before.isEmpty()) {
            QVERIFY(runCli(before.replaceInStrings(u"ROOT"_s, root), becomeNobody).finished);
        }

        const ProcessRun run = runCli(arguments.replaceInStrings(u"ROOT"_s, root), becomeNobody);

        ::chmod(at("/tree/locked").constData(), 0755);
        QVERIFY2(run.finished, run.err.constData());
        QCOMPARE(run.exitCode, exitCode);
        if (exitCode == 2) {
            QVERIFY2(run.err.contains("\nTry 'cl2velmora-cli --help' for more information.\n"),
                     run.err.constData());
        } else {
            QCOMPARE(run.err, QByteArray()); // no status line unless on a terminal
        }
        QStringList out = outputLines(run.out, root);
        QCOMPARE(arguments.contains(u"--help"_s) ? out.mid(0, 1) : out, lines);
        QVERIFY(!run.out.contains("--no-journal")); // only for measuring, not in the help
        // What the log calls realigned is, once; every other file keeps its bytes.
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QByteArray now = readFile(root + u'/' + it.key());
            QVERIFY2(out.contains(realignedLine(u"ROOT/"_s + it.key()))
                         ? framesBySlot(now) == slotsAfterConversion(it.value())
                         : now == it.value(),
                     qPrintable(it.key()));
        }
    }

    void interruptedBatch_data()
    {
        // A folder of files; the program stands still after the second, long
        // enough for its log to be due at the next file.
        QTest::addColumn<int>("signal"); // sent then
        QTest::addColumn<QString>("streams");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("converted"); // the first ones
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("status"); // the last status line drawn
        const auto done = [](int files, int converted) {
            QStringList lines{
                u"SUCCESS: (%1) files were found on (ROOT) and subfolders"_s.arg(files)};
            for (int i = 0; i < converted; ++i) {
                lines << realignedLine(u"ROOT/%1.cl2"_s.arg(i));
            }
            return lines;
        };
        const auto row = [](const char *name, int signal, const char *streams, int files,
                            int converted, int exitCode, const QStringList &lines = {},
                            const QString &status = {}) {
            QTest::newRow(name) << signal << QString::fromLatin1(streams) << files << converted
                                << exitCode << lines << status;
        };
        const QStringList stopped =
            done(5, 2) + QStringList{u"ERROR: Conversion stopped after (2) of (5) files"_s};
        row("SIGINT", SIGINT, "pipes", 5, 2, 128 + SIGINT, stopped);
        row("SIGTERM", SIGTERM, "pipes", 5, 2, 128 + SIGTERM, stopped);
        row("SIGHUP", SIGHUP, "pipes", 5, 2, 128 + SIGHUP, stopped);
        // Its log, due at the next file, goes into a pipe nobody reads any more:
        // the run stops, or ends with the files done.
        row("reader left", 0, "reader left", 5, 3, 1);
        row("reader left at the last file", 0, "reader left", 3, 3, 1);
        // The status line is erased before the log goes out, and at the end.
        const QString rate = u"\r3 / 3 files, \\d+ files/s\x1b\\[K"_s;
        row("log on the terminal", 0, "terminal", 3, 3, 0, done(3, 3), rate);
        row("status on the terminal, log on a pipe", 0, "status on the terminal", 3, 3, 0,
            done(3, 3), rate);
        // Done within a millisecond of the first file: no rate yet.
        row("two quick files on the terminal", 0, "terminal", 2, 2, 0, done(2, 2),
            u"\r2 / 2 files(, \\d+ files/s)?\x1b\\[K"_s);
    }

    void interruptedBatch()
    {
        QFETCH(int, signal);
        QFETCH(QString, streams);
        QFETCH(int, files);
        QFETCH(int, converted);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        QFETCH(QString, status);
        QTemporaryDir dir;
        // Too long for the status line, which shows the end of the name.
        const QString folder = dir.filePath(QString(70, u'f'));
        const QByteArray before = makeEightDirectionCl2(2);
        for (int i = 0; i < files; ++i) {
            putFile(dir, u"%1/%2.cl2"_s.arg(QString(70, u'f')).arg(i), before);
        }
        int ends[2]; // this end, the program's
        const bool terminal = streams.endsWith(u"terminal"_s);
        QVERIFY(terminal ? ::openpty(&ends[0], &ends[1], nullptr, nullptr, nullptr) == 0
                         : ::pipe2(ends, O_CLOEXEC) == 0);
        const bool out = streams == u"reader left"_s || streams == u"terminal"_s;

        qputenv("CL2VELMORA_TEST_SUSPEND_AFTER", "2");
        const ProcessRun run = runCli(
            {folder},
            [&ends, out, terminal] {
                for (const int stream : {out ? STDOUT_FILENO : -1, terminal ? STDERR_FILENO : -1}) {
                    ::dup2(ends[1], stream);
                }
                // A broken pipe keeps its default deadly signal, as from a shell.
                std::signal(SIGPIPE, SIG_DFL);
            },
            [&](qint64 pid) {
                ::close(ends[1]); // the program holds its own
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
                QCOMPARE(::tgkill(pid_t(pid), pid_t(pid), signal), 0);
                QCOMPARE(::kill(pid_t(pid), SIGCONT), 0);
            });
        qunsetenv("CL2VELMORA_TEST_SUSPEND_AFTER");
        QByteArray shown;
        char buffer[4096];
        for (ssize_t n; ends[0] >= 0 && (n = ::read(ends[0], buffer, sizeof buffer)) > 0;) {
            shown.append(buffer, n);
        }
        ::close(ends[0]);

        QVERIFY2(run.finished, "killed by a signal or timed out");
        QCOMPARE(run.exitCode, exitCode);
        // The log shows whole, with no trace of the status line among its lines.
        QCOMPARE(screen(shown, folder) + outputLines(run.out, folder), lines);
        const QString text = QString::fromUtf8(shown);
        QVERIFY2(!terminal ||
                     text.contains(u"\rSearching ..."_s + folder.right(57) + u" ...\x1b[K"_s),
                 shown.constData());
        QVERIFY2(status.isEmpty() || text.contains(QRegularExpression(status)), shown.constData());
        for (int i = 0; i < files; ++i) {
            const QByteArray now = readFile(folder + u"/%1.cl2"_s.arg(i));
            QVERIFY(i < converted ? framesBySlot(now) == slotsAfterConversion(before)
                                  : now == before);
        }
    }

private:
    QTemporaryDir m_state;
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
