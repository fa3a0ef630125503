#include "convert/Journal.h"
#include "support/Cl2Fixture.h"
#include "ui/DirListBox.h"
#include "ui/DriveListBox.h"
#include "ui/FileFilter.h"
#include "ui/Form1.h"
#include "ui/Form2.h"
#include "ui/Form3.h"
#include "ui/LogView.h"
#include "ui/LogWindow.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include <atomic>

using namespace velmora;
using namespace velmora::test;
using namespace Qt::StringLiterals;

namespace {

// Runs the program's own main loop, as main() does, around step; a guard ends
// it with another code if the step does not end the program.
int runMainLoop(const std::function<void()> &step)
{
    QTimer guard;
    guard.callOnTimeout(qApp, [] { QCoreApplication::exit(1); });
    guard.start(5000);
    QTimer::singleShot(0, qApp, step);
    return QCoreApplication::exec();
}

const QString PreviousLog = u"ERROR: File (earlier.cl2) isn't a 8 directions file"_s;
const QString Stopped = u"ERROR: Conversion stopped after (2) of (3) files"_s;

// '@' stands for the test folder in expected log lines.
QString realigned(const char *name)
{
    return u"SUCCESS: File (@/%1) directions were realigned"_s.arg(QLatin1String(name));
}

// Two roads into a run (the folder dialog has a test of its own), and the
// input that comes while it is held.
enum class Road { Chooser, Drop };
enum class During { Nothing, Drop, CloseBox, Exit };

// What the caption adds once a run is over.
QString summary(int done, int refused, int failed)
{
    return u" - %1 converted, %2 not 8-direction, %3 failed"_s.arg(done).arg(refused).arg(failed);
}

// The main window over a folder of sample files, driven the way a user
// drives it.
class FormTest
{
public:
    FormTest()
    {
        const QByteArray good = makeEightDirectionCl2(2);
        for (const char *name : {"good one.cl2", "sprites/top.cl2", "sprites/deeper/below.cl2",
                                 "batch/1.cl2", "batch/2.cl2", "batch/3.cl2"}) {
            files.insert(putFile(dir, QLatin1String(name), good), good);
        }
        files.insert(putFile(dir, u"bad.cl2"_s, makeSingleDirectionCl2(4)),
                     makeSingleDirectionCl2(4));
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        // Shown, as an earlier run's line would be by now.
        form.log().AppendLine(PreviousLog);
        form.log().flush();
    }

    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }

    // Drags the named files (or URLs) onto the middle of the window and drops
    // them there.
    void drop(const QStringList &names, bool accepted)
    {
        QList<QUrl> urls;
        for (const QString &name : names) {
            urls << (name.contains(u':') ? QUrl(name) : QUrl::fromLocalFile(dir.filePath(name)));
        }
        QMimeData data;
        data.setUrls(urls);
        QWidget *target = form.childAt(form.rect().center());
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        QCOMPARE(dropped.isAccepted(), accepted);
    }

    // A run observer: one file after another, so that a stop comes right
    // after the file in hand; the run is held once after files files until
    // the gate opens or the run is asked to stop.
    std::function<void(ConversionRun &)> holdAfter(qsizetype files)
    {
        return [=, this](ConversionRun &run) {
            run.options().jobs = 1;
            run.progress = [=, this, &run, report = run.progress](qsizetype done, qsizetype total) {
                report(done, total);
                if (done == files && !held.exchange(true)) {
                    while (!run.stopRequested() && !gate.tryAcquire(1, 10)) {
                    }
                }
            };
        };
    }

    // The log holds the expected lines, each ended by CR LF; a line may go on
    // past what is expected (a system's reason).
    void checkLog(const QStringList &expected)
    {
        QStringList lines = form.logText().split(u"\r\n"_s);
        QCOMPARE(lines.takeLast(), QString());
        QCOMPARE(lines.size(), expected.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QVERIFY2(lines[i].startsWith(QString(expected[i]).replace(u'@', dir.path())),
                     qPrintable(lines[i]));
        }
    }

    // A file the log says was realigned is converted exactly once; any other
    // is untouched.
    void checkFiles()
    {
        for (const auto &[file, before] : files.asKeyValueRange()) {
            QVERIFY2(form.logText().contains(realignedLine(file))
                         ? framesBySlot(readFile(file)) == slotsAfterConversion(before)
                         : readFile(file) == before,
                     qPrintable(file));
        }
    }

    // Runs open(), which shows a modal dialog, and the action on the dialog
    // while it is up. The dialog, once hidden again; null if it did not show
    // or stayed up (it is then hidden, so the test fails instead of hanging).
    template <typename Dialog>
    Dialog *whileModal(const std::function<void()> &open,
                       const std::function<void(Dialog &)> &action)
    {
        QPointer<Dialog> shown;
        QTimer poll;
        poll.callOnTimeout([&] {
            shown = qobject_cast<Dialog *>(QApplication::activeModalWidget());
            if (shown && shown->isVisible()) {
                poll.stop();
                action(*shown);
                if (!QTest::qWaitFor([&] { return !shown->isVisible(); })) {
                    shown->hide();
                    shown = nullptr;
                }
            }
        });
        poll.start(10);
        open();
        return QTest::currentTestFailed() ? nullptr : shown.get();
    }

    // Shows the folder dialog with a click on the window's button and runs
    // the action while it is up; the dialog, once hidden again.
    Form2 *runDialog(const std::function<void(Form2 &)> &action)
    {
        return whileModal<Form2>([&] { QTest::mouseClick(form.Command3, Qt::LeftButton); }, action);
    }

    QTemporaryDir dir;
    QMap<QString, QByteArray> files; // every file made, with its bytes
    QSemaphore gate;
    std::atomic<bool> held{false};
    Form1 form;
};

} // namespace

// The three windows: the main one, the folder dialog and the About box, which
// share one fixture.
class tst_Forms : public QObject
{
    Q_OBJECT

private slots:
    void init() { t = std::make_unique<FormTest>(); }
    void cleanup() { t.reset(); }

    void roads_data()
    {
        // What the file chooser answers (one name) or what is dropped; what
        // comes while the run is held after two files; the log the road ends
        // with (the earlier log when nothing ran) and how the caption sums the
        // run up.
        QTest::addColumn<Road>("road");
        QTest::addColumn<QStringList>("input");
        QTest::addColumn<During>("during");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QString>("caption");
        const auto row = [](const char *name, Road road, const QStringList &input,
                            const QStringList &log, const QString &caption = {},
                            During during = During::Nothing) {
            QTest::newRow(name) << road << input << during << log << Form1::Caption + caption;
        };
        row("cancelled", Road::Chooser, {QString()}, {PreviousLog});
        row("8-direction file", Road::Chooser, {u"good one.cl2"_s},
            {u"ERROR: Files cannot be protected against interruption: no state folder"_s,
             realigned("good one.cl2")},
            summary(1, 0, 0));
        row("remote URL refused", Road::Drop, {u"good one.cl2"_s, u"https://example.org/a.cl2"_s},
            {PreviousLog});
        // Input during a run of three files: a drop is ignored, anything else
        // stops the run after the file in hand.
        const QStringList batch{u"batch/1.cl2"_s, u"batch/2.cl2"_s, u"batch/3.cl2"_s};
        const QStringList done{realigned("batch/1.cl2"), realigned("batch/2.cl2")};
        row("drop during a run", Road::Drop, batch, done + QStringList{realigned("batch/3.cl2")},
            summary(3, 0, 0), During::Drop);
        row("close box during a run", Road::Drop, batch, done + QStringList{Stopped},
            summary(2, 0, 0) + u", stopped"_s, During::CloseBox);
        row("Exit during a run", Road::Drop, batch, done + QStringList{Stopped},
            summary(2, 0, 0) + u", stopped"_s, During::Exit);
    }

    void roads()
    {
        QFETCH(Road, road);
        QFETCH(QStringList, input);
        QFETCH(During, during);
        QFETCH(QStringList, log);
        QFETCH(QString, caption);
        Form1 &form = t->form;
        const bool runs = log.first() != PreviousLog;
        QSignalSpy finished(&form, &Form1::runFinished);
        std::unique_ptr<Journal> journal; // outlives the run
        const Journal *given = nullptr;
        if (road == Road::Chooser) {
            // A window without a journal says why in each run's log.
            form.setJournal(nullptr, u"no state folder"_s);
            const QString answer = input[0].isEmpty() ? QString() : t->dir.filePath(input[0]);
            form.setFileChooser([&] { return answer; });
            // The chooser offers the sprites; a classic filter may name several.
            QCOMPARE(form.fileFilter(), u"Diablo Graphics (*.cl2)"_s);
            QCOMPARE(qtNameFilter(u"Sprites|*.cl2;*.cel|All|*"_s),
                     u"Sprites (*.cl2 *.cel);;All (*)"_s);
            QTest::mouseClick(form.Command1, Qt::LeftButton);
        } else {
            // The window hands its journal to each run.
            qputenv("XDG_STATE_HOME", QFile::encodeName(t->path("state")));
            QString why;
            journal = Journal::create(Journal::Durability::ProcessDeath, &why);
            QVERIFY2(journal, qPrintable(why));
            form.setJournal(journal.get());
            form.setRunObserver([&given, hold = t->holdAfter(during == During::Nothing ? -1 : 2)](
                                    ConversionRun &run) {
                given = run.options().journal;
                hold(run);
            });
            t->drop(input, runs);
        }
        // Held after two of the three files: the box and the caption show how far
        // the run got and nothing can start another; then the input comes.
        if (during != During::Nothing) {
            QTRY_VERIFY(t->held);
            QTRY_VERIFY(form.Text2->toPlainText().contains(u"2.cl2) directions"_s));
            const QRegularExpression progress(u"^CL2 Direction Velmora - [12] / 3$"_s);
            QTRY_VERIFY(progress.match(form.windowTitle()).hasMatch());
            QVERIFY(!form.Command1->isEnabled() && !form.Command3->isEnabled() &&
                    !form.mnuabout->isEnabled() && !form.mnuundo->isEnabled());
            if (during == During::Drop) {
                t->drop({u"bad.cl2"_s}, false);
                t->gate.release();
            } else if (during == During::CloseBox) {
                QVERIFY(!form.close());
            } else {
                // The program ends once the file in hand is done, from its own loop.
                QCOMPARE(runMainLoop([&] { form.mnuexit->trigger(); }), 0);
            }
        }
        QVERIFY(!QTest::currentTestFailed());
        QCoreApplication::processEvents();
        QTRY_COMPARE(finished.size(), runs ? 1 : 0);
        QVERIFY(form.Command1->isEnabled() && form.Command3->isEnabled());
        QCOMPARE(form.windowTitle(), caption);
        QCOMPARE(given, runs ? journal.get() : nullptr);
        t->checkLog(log);
        t->checkFiles();
    }

    void logBoxKeepsOneLinePerMessage()
    {
        LogBox &log = t->form.log();
        LogView *box = t->form.Text2;
        log.Repaint();
        log.Clear();
        // Lines wait until shown, but the log's text has them all along.
        for (const QString &line :
             {u"SUCCESS: one"_s, QString(), u"ERROR: File (odd\nname.cl2)"_s}) {
            log.AppendLine(line);
        }
        QCOMPARE(t->form.logText(), u"SUCCESS: one\r\n\r\nERROR: File (odd\uFFFDname.cl2)\r\n"_s);
        log.Repaint(); // the first since the log was cleared: shown at once
        QCOMPARE(box->lineCount(), 3);
        log.AppendLine(u"SUCCESS: four"_s);
        log.Repaint(); // shown once the frame is over
        QTRY_COMPARE(box->toPlainText().replace(u'\n', u"\r\n"_s) + u"\r\n"_s, t->form.logText());

        // Selected with the mouse (dragged, then a shift-click) or the keys,
        // and copied.
        QWidget *area = box->viewport();
        const int height = box->fontMetrics().height();
        const auto at = [&](int line, bool end) {
            return QPoint(end ? area->width() - 1 : 0, line * height + height / 2);
        };
        QTest::mousePress(area, Qt::LeftButton, {}, at(0, false));
        QTest::mouseMove(area, at(3, true));
        QTest::mouseRelease(area, Qt::LeftButton, {}, at(3, true));
        const QString all = box->toPlainText();
        QCOMPARE(box->selectedText(), all);
        QTest::mouseClick(area, Qt::LeftButton, Qt::ShiftModifier, at(2, false));
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"SUCCESS: one\n\n"_s);
        // A click at the end clears it; the keys then select up to the start.
        QTest::mouseClick(area, Qt::LeftButton, {}, at(3, true));
        QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(box->selectedText(), all);

        // A long log follows its newest line, unless scrolled away from it.
        for (int i = 0; i < 500; ++i) {
            log.AppendLine(u"SUCCESS: line %1"_s.arg(i));
        }
        log.flush();
        QScrollBar *bar = box->verticalScrollBar();
        QCOMPARE(box->selectedText(), all); // new lines leave it alone
        QVERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier);
        log.AppendLine(u"SUCCESS: last"_s);
        log.flush();
        QCOMPARE(bar->value(), 0);
        QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(bar->value(), bar->maximum());
    }

    // The About entry, clicked in the menu bar as a user does, returns once Ok
    // has hidden the box. Then Exit's shortcut Ctrl+Q ends the program, every
    // window gone.
    void menusShowAboutAndEndTheProgram()
    {
        QMenuBar *bar = t->form.menuBar();
        const Form3 *about = t->whileModal<Form3>(
            [&] {
                QTest::mouseClick(bar, Qt::LeftButton, {},
                                  bar->actionGeometry(t->form.mnuabout).center());
            },
            [](Form3 &box) { QTest::mouseClick(box.Command1, Qt::LeftButton); });
        QVERIFY(about && about->parentWidget() == &t->form);
        // The built-in face, whatever the machine has installed.
        QCOMPARE(QFontInfo(about->Command1->font()).family(), u"Liberation Sans"_s);
        t->form.activateWindow(); // where the keys go
        QTRY_VERIFY(t->form.isActiveWindow());
        QCOMPARE(runMainLoop([&] { QTest::keyClick(&t->form, Qt::Key_Q, Qt::ControlModifier); }),
                 0);
        for (QWidget *window : QApplication::topLevelWidgets()) {
            QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
        }
    }

    // Undo Last Conversion puts back exactly the files the last run converted,
    // once, even in a window started again over the same history; a run that
    // turns files a second time says so in the caption.
    void undoPutsBackTheLastRun()
    {
        qputenv("XDG_STATE_HOME", QFile::encodeName(t->path("state")));
        t->form.keepHistory();
        QSignalSpy finished(&t->form, &Form1::runFinished);
        t->drop({u"batch/1.cl2"_s}, true);
        QVERIFY(finished.wait());
        t->drop({u"good one.cl2"_s, u"bad.cl2"_s, u"sprites"_s}, true);
        QVERIFY(finished.wait());
        QVERIFY(t->form.mnuundo->text().startsWith(u"&Undo Last Conversion (3 files, "_s));

        Form1 again; // as if started again over the same state folder
        again.keepHistory();
        again.show();
        QVERIFY(QTest::qWaitForWindowActive(&again));
        QVERIFY(again.mnuundo->text().startsWith(u"&Undo Last Conversion (3 files, "_s));
        QSignalSpy undone(&again, &Form1::runFinished);
        QTest::keyClick(&again, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(undone.wait());
        for (const char *name : {"good one.cl2", "sprites/top.cl2", "sprites/deeper/below.cl2"}) {
            QCOMPARE(readFile(t->path(name)), t->files.value(t->path(name)));
            QVERIFY(again.logText().contains(
                u"SUCCESS: File (%1) directions were restored\r\n"_s.arg(t->path(name))));
        }
        // Undone once: nothing is left to undo.
        QCOMPARE(again.mnuundo->text(), u"&Undo Last Conversion"_s);
        QVERIFY(!again.mnuundo->isEnabled());
        // Converted by the first run and not changed since: turned again.
        again.convertDropped({t->path("batch/1.cl2"), t->path("batch/2.cl2")});
        QVERIFY(undone.wait());
        QCOMPARE(again.windowTitle(),
                 Form1::Caption + summary(2, 0, 0) +
                     u"; 1 converted a second time (Undo Last Conversion undoes the run)"_s);
    }

    // A window that goes while its run goes on stops the run between two
    // files and waits for it.
    void aWindowThatGoesStopsItsRun()
    {
        auto form = std::make_unique<Form1>();
        form->setRunObserver(t->holdAfter(1));
        form->convertFolder(t->path("batch"));
        QTRY_VERIFY(t->held);
        form.reset();
        const QString first = t->path("batch/1.cl2"), second = t->path("batch/2.cl2");
        QCOMPARE(framesBySlot(readFile(first)), slotsAfterConversion(t->files.value(first)));
        QCOMPARE(readFile(second), t->files.value(second));
    }

    // The folder dialog starts where the program was started, its drive list
    // on that folder's drive; choosing a drive opens it. Its folder list holds
    // the root first and the opened folder's subfolders, hidden ones included;
    // a click or an arrow only highlights, Enter or a double click opens.
    // Proceed converts the opened folder, the dialog shows how far the batch
    // is, and Escape stops it. Shown again, it is the same dialog, where it
    // was, with no stale progress.
    void dialogConvertsTheOpenedFolder()
    {
        QVERIFY(QDir(t->dir.path()).mkdir(u".wine"_s));
        t->form.setRunObserver(t->holdAfter(2));
        QVERIFY(QDir::setCurrent(QDir::homePath()));
        Form2 *first = t->runDialog([&](Form2 &scan) {
            DirListBox &list = *scan.Dir1;
            QCOMPARE(list.path(), QDir::homePath());
            QCOMPARE(scan.Drive1->currentIndex(), 1);
            // The root and the home folder are offered whatever is mounted.
            QTest::keyClick(scan.Drive1, Qt::Key_Up);
            QCOMPARE(list.path(), QDir::rootPath());
            QVERIFY(list.setPath(t->path("batch/../")) && !list.setPath(t->path("missing")));
            // The root first, and below the opened folder its subfolders,
            // hidden ones included.
            QCOMPARE(list.item(0)->text(), u"/"_s);
            const int opened = list.count() - 4;
            QCOMPARE(list.item(opened + 1)->text(), u".wine"_s);
            const auto entry = [&](int row) {
                return list.visualItemRect(list.item(row)).center();
            };
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, entry(opened + 1));
            QTest::keyClick(&list, Qt::Key_Down);
            QCOMPARE(scan.m_folder->toolTip(), t->dir.path());
            QTest::keyClick(&list, Qt::Key_Enter);
            QCOMPARE(scan.m_folder->toolTip(), t->path("batch"));
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, entry(opened));
            QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, entry(opened));
            QCOMPARE(list.path(), t->dir.path());
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, entry(opened + 2));
            QTest::keyClick(&list, Qt::Key_Return);
            QCOMPARE(scan.m_folder->toolTip(), t->path("batch"));
            QVERIFY(scan.m_folder->text().startsWith(u"Proceed converts: "_s));
            QTest::mouseClick(scan.Command2, Qt::LeftButton);
        });
        QVERIFY(first);
        QSignalSpy finished(&t->form, &Form1::runFinished);
        QCOMPARE(t->runDialog([&](Form2 &scan) {
            QTest::keyClick(scan.Dir1, Qt::Key_Up); // the folder above, highlighted
            QTest::mouseClick(scan.Command1, Qt::LeftButton);
            QTRY_COMPARE(scan.m_progress->text(), u"Converting: 2 of 3 files done"_s);
            emit t->form.searchProgress(1, 3); // as a search reports before the files
            QCOMPARE(scan.m_progress->text(), u"Searching: 1 folder listed, 3 files found"_s);
            // While the run goes on only Cancel, Escape or the close box takes
            // input: it stops the run after the file in hand.
            QVERIFY(scan.Command2->isEnabled() && !scan.Command1->isEnabled() &&
                    !scan.Dir1->isEnabled() && !scan.Drive1->isEnabled());
            QTest::keyClick(&scan, Qt::Key_Escape);
        }),
                 first);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(t->form.windowTitle(), Form1::Caption + summary(2, 0, 0) + u", stopped"_s);
        t->checkLog({u"SUCCESS: (3) files were found on (@/batch) and subfolders"_s,
                     realigned("batch/1.cl2"), realigned("batch/2.cl2"), Stopped});
        t->checkFiles();
        QVERIFY(t->runDialog([&](Form2 &scan) {
            QVERIFY(scan.m_progress->text().isEmpty());
            QCOMPARE(scan.m_folder->toolTip(), t->path("batch"));
            QTest::keyClick(&scan, Qt::Key_Escape);
        }));
    }

    // The log window over a batch with converted, refused and failing files:
    // the same lines as the log, the failures only, Find, and Save Log from
    // either window.
    void logWindowFiltersFindsAndSaves()
    {
        Form1 &form = t->form;
        putFile(t->dir, u"review/short.cl2"_s, makeEightDirectionCl2(2).left(40));
        putFile(t->dir, u"review/fine.cl2"_s, makeEightDirectionCl2(2));
        QSignalSpy finished(&form, &Form1::runFinished);
        t->drop({u"good one.cl2"_s, u"bad.cl2"_s, u"vanished.cl2"_s, u"review"_s}, true);
        QVERIFY(finished.wait());
        // One run under a cleared log, whatever each file or folder comes to.
        QCOMPARE(form.windowTitle(), Form1::Caption + summary(2, 1, 2));
        t->checkFiles();
        const QStringList all = form.logText().split(u"\r\n"_s, Qt::SkipEmptyParts);
        // Save Log writes the lines as the window shows them, each ended by
        // CR LF: the main window's, the whole log.
        QString saveTo = t->path("all.log");
        form.setSaveChooser([&saveTo] { return saveTo; });
        QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(readFile(saveTo), form.logText().toUtf8());

        QTest::keyClick(&form, Qt::Key_L, Qt::ControlModifier);
        LogWindow *window = form.logWindow();
        QVERIFY(window && QTest::qWaitForWindowExposed(window));
        LogView *view = window->m_view;
        QCOMPARE(view->toPlainText(), all.join(u'\n'));
        QCOMPARE(window->m_counts->text(), u"6 lines, 2 failures"_s);
        // Failures only: the file that cannot be opened and the damaged one,
        // not the file that is simply not an 8-direction file.
        QTest::mouseClick(window->m_failuresOnly, Qt::LeftButton);
        QCOMPARE(view->toPlainText(), all[2] + u'\n' + all[5]); // vanished.cl2, short.cl2

        // Find goes from match to match, round past the end, both ways; Find
        // Next also answers F3.
        QTest::mouseClick(window->m_failuresOnly, Qt::LeftButton);
        QTest::keyClicks(window->m_findText, u"REALIGNED"_s);
        QTest::keyClick(window->m_findText, Qt::Key_Return);
        QCOMPARE(view->selectedText(), u"realigned"_s);
        QCOMPARE(view->cursorLine(), 0);
        QTest::mouseClick(window->m_findNext, Qt::LeftButton);
        QCOMPARE(view->cursorLine(), 4);
        QTest::keyClick(window, Qt::Key_F3);
        QCOMPARE(view->cursorLine(), 0);
        QTest::mouseClick(window->m_findPrevious, Qt::LeftButton);
        QCOMPARE(view->cursorLine(), 4);
        QTest::mouseClick(window->m_findPrevious, Qt::LeftButton);
        QCOMPARE(view->cursorLine(), 0);
        QVERIFY(window->statusBar()->currentMessage().isEmpty());
        QTest::mouseClick(window->m_failuresOnly, Qt::LeftButton);

        // The log window's saves what it shows, or says why it cannot.
        saveTo = t->path("failures.log");
        QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(readFile(saveTo), (all[2] + u"\r\n"_s + all[5] + u"\r\n"_s).toUtf8());
        saveTo = t->path("no such folder/x.log");
        bool warned = false; // the box is gone once it returns
        t->whileModal<QMessageBox>([&] { window->m_save->trigger(); },
                                   [&](QMessageBox &box) {
                                       warned = box.text().startsWith(
                                           u"The log could not be saved to "_s);
                                       box.done(0);
                                   });
        QVERIFY(warned);

        // The next run clears the log and the window follows it, filter kept.
        t->drop({u"review/short.cl2"_s, u"batch/1.cl2"_s}, true);
        QVERIFY(finished.wait());
        QCOMPARE(window->m_counts->text(), u"2 lines, 1 failures"_s);
        QCOMPARE(view->toPlainText(), all[5]);
    }

private:
    std::unique_ptr<FormTest> t;
};

QTEST_MAIN(tst_Forms)
#include "tst_Forms.moc"
