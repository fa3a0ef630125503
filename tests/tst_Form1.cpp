#include "convert/Journal.h"
#include "support/FormTest.h"
#include "ui/FileFilter.h"
#include "ui/Form2.h"
#include "ui/Form3.h"

#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>

using namespace velmora;
using namespace velmora::test;

namespace {

// Runs the program's own main loop, as main() does, around step; a guard ends
// it with another code if the step does not end the program.
int runMainLoop(const std::function<void()> &step)
{
    QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
    QTimer guard;
    guard.callOnTimeout(qApp, [] { QCoreApplication::exit(1); });
    guard.start(5000);
    QTimer::singleShot(0, qApp, step);
    const int code = QCoreApplication::exec();
    return quitting.size() == 1 ? code : -1;
}

} // namespace

class tst_Form1 : public QObject
{
    Q_OBJECT

private slots:
    void init() { t = std::make_unique<FormTest>(); }
    void cleanup() { t.reset(); }

    void windowCarriesItsOwnFontAndIcon();
    void singleFileRoad_data();
    void singleFileRoad();
    void logBoxKeepsOneLinePerMessage();
    void drops_data();
    void drops();
    void exitEndsTheProgram_data();
    void exitEndsTheProgram();
    void undoPutsBackTheLastRun();
    void inputDuringABatch_data();
    void inputDuringABatch();

private:
    std::unique_ptr<FormTest> t;
};

void tst_Form1::windowCarriesItsOwnFontAndIcon()
{
    Form1 &form = t->form;
    QCOMPARE(form.font().pointSizeF(), 8.25);
    for (const QWidget *control :
         std::initializer_list<const QWidget *>{form.Command1, form.Command3, form.Label2}) {
        // The built-in face, whatever the machine has installed.
        QCOMPARE(QFontInfo(control->font()).family(), u"Liberation Sans"_s);
        const QString text = control->property("text").toString().remove(u'&');
        QVERIFY2(control->fontMetrics().horizontalAdvance(text) < control->width(),
                 qPrintable(text + u" is cut off"_s));
    }
    // Fixed in size, first shown in the middle of the screen.
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(qAbs(form.frameGeometry().center().x() - form.screen()->geometry().center().x()) <= 1);
    QCOMPARE(form.fileFilter(), u"Diablo Graphics (*.cl2)"_s);
    QCOMPARE(qtNameFilter(u"Sprites|*.cl2;*.cel|All|*"_s), u"Sprites (*.cl2 *.cel);;All (*)"_s);

    // A navy tile, red marks at the top and bottom, yellow ones between, a white centre.
    const QImage icon = form.windowIcon().pixmap(QSize(32, 32)).toImage();
    const QColor navy(0, 0, 128);
    for (const auto &[x, y, colour] :
         std::initializer_list<std::tuple<int, int, QColor>>{{0, 0, Qt::transparent},
                                                             {16, 0, navy},
                                                             {16, 10, navy},
                                                             {16, 16, Qt::white},
                                                             {16, 5, Qt::red},
                                                             {16, 27, Qt::red},
                                                             {8, 8, Qt::yellow},
                                                             {8, 23, Qt::yellow},
                                                             {27, 16, Qt::yellow}}) {
        QCOMPARE(icon.pixelColor(x, y).rgba(), colour.rgba());
    }
}

void tst_Form1::singleFileRoad_data()
{
    QTest::addColumn<QString>("answer"); // what the file chooser answers
    QTest::addColumn<int>("journal");    // none set (0), usable (1), no usable state folder (2)
    QTest::addColumn<QStringList>("log");

    QTest::newRow("cancelled") << QString() << 0 << QStringList{PreviousLog};
    QTest::newRow("missing file") << u"gone.cl2"_s << 0 << QStringList{PreviousLog};
    QTest::newRow("8-direction file")
        << u"good one.cl2"_s << 1 << QStringList{realigned("good one.cl2")};
    QTest::newRow("single-direction file")
        << u"bad.cl2"_s << 0 << QStringList{u"ERROR: File (@/bad.cl2) isn't a 8 directions file"_s};
    QTest::newRow("spaces and parentheses")
        << u"my sprites (v2)/attack (n) 1.CL2"_s << 0
        << QStringList{realigned("my sprites (v2)/attack (n) 1.CL2")};
    QTest::newRow("no usable state folder")
        << u"good one.cl2"_s << 2
        << QStringList{u"ERROR: Files cannot be protected against interruption: "_s,
                       realigned("good one.cl2")};
}

void tst_Form1::singleFileRoad()
{
    QFETCH(QString, answer);
    QFETCH(int, journal);
    QFETCH(QStringList, log);
    std::unique_ptr<Journal> recording;
    if (journal > 0) {
        const QString state = t->path("state");
        QVERIFY(journal == 1 || writeFile(state, "a file, not a folder"));
        qputenv("XDG_STATE_HOME", QFile::encodeName(state));
        QString whyNone;
        recording = Journal::create(Journal::Durability::ProcessDeath, &whyNone);
        QCOMPARE(!recording, journal == 2);
        t->form.setJournal(recording.get(), whyNone);
    }
    int asked = 0;
    t->form.setFileChooser([&] {
        ++asked;
        return answer.isEmpty() ? answer : t->dir.filePath(answer);
    });
    QSignalSpy finished(&t->form, &Form1::runFinished);
    QTest::mouseClick(t->form.Command1, Qt::LeftButton);
    QCOMPARE(asked, 1);
    QVERIFY(log.first() == PreviousLog || finished.wait());
    t->checkLog(log);
    // What the user sees is the same text, with the box's own line breaks.
    QCOMPARE(t->form.Text2->toPlainText() + u'\n', t->form.logText().replace(u"\r\n"_s, u"\n"_s));
    QCOMPARE(t->form.windowTitle(), Form1::Caption);
    // The log can be selected (and copied) with the keyboard.
    QTest::keyClick(t->form.Text2, Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(t->form.Text2->textCursor().hasSelection());
    t->checkFiles();
    // A recording journal holds the file while it is rewritten.
    QVERIFY(!recording || readFile(QFile::decodeName(recording->path()))
                              .contains(QFile::encodeName(t->dir.filePath(answer))));
}

void tst_Form1::logBoxKeepsOneLinePerMessage()
{
    LogBox &log = t->form.log();
    QPlainTextEdit *box = t->form.Text2;
    log.AppendLine(u"stale"_s);
    log.Repaint();
    log.Clear();
    QVERIFY(t->form.logText().isEmpty() && box->toPlainText().isEmpty());
    // Lines wait until shown, but the log's text has them all along.
    log.AppendLine(u"SUCCESS: one"_s);
    log.AppendLine(QString());
    log.AppendLine(u"ERROR: File (odd\nname.cl2)"_s);
    QCOMPARE(log.lineCount(), 3);
    QCOMPARE(t->form.logText(), u"SUCCESS: one\r\n\r\nERROR: File (odd\uFFFDname.cl2)\r\n"_s);
    log.Repaint(); // the first since the log was cleared: shown at once
    QCOMPARE(box->blockCount(), 3);
    log.AppendLine(u"SUCCESS: four"_s);
    log.Repaint(); // shown when the frame is over at the latest
    QTRY_COMPARE(box->blockCount(), 4);
    QCOMPARE(box->toPlainText().replace(u'\n', u"\r\n"_s) + u"\r\n"_s, t->form.logText());

    // A long log follows its newest line.
    for (int i = 0; i < 500; ++i) {
        log.AppendLine(u"SUCCESS: line %1"_s.arg(i));
        log.Repaint();
    }
    log.flush();
    QCOMPARE(box->blockCount(), 504);
    QScrollBar *bar = box->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
}

void tst_Form1::drops_data()
{
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QStringList>("log");

    // One run under a cleared log; a file dropped twice is converted once.
    QTest::newRow("files") << QStringList{u"good one.cl2"_s, u"bad.cl2"_s, u"vanished.cl2"_s,
                                          u"good one.cl2"_s}
                           << QStringList{realigned("good one.cl2"),
                                          u"ERROR: File (@/bad.cl2) isn't a 8 directions file"_s,
                                          u"ERROR: File (@/vanished.cl2) could not be opened: "_s,
                                          u"ERROR: File (@/good one.cl2) was already converted"_s};
    // Breadth-first: the folder's own file before the one below it.
    QTest::newRow("folder") << QStringList{u"sprites"_s}
                            << QStringList{u"SUCCESS: (2) files were found on (@/sprites) and"_s,
                                           realigned("sprites/top.cl2"),
                                           realigned("sprites/deeper/below.cl2")};
    QTest::newRow("remote URL refused")
        << QStringList{u"good one.cl2"_s, u"https://example.org/a.cl2"_s}
        << QStringList{PreviousLog};
}

void tst_Form1::drops()
{
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, log);
    const bool accepted = log.first() != PreviousLog;
    QSignalSpy finished(&t->form, &Form1::runFinished);
    t->drop(dropped, accepted);
    QCoreApplication::processEvents();
    QTRY_COMPARE(finished.size(), accepted ? 1 : 0);
    t->checkLog(log);
    t->checkFiles();
}

void tst_Form1::exitEndsTheProgram_data()
{
    QTest::addColumn<bool>("byCloseBox");
    QTest::newRow("Exit menu") << false;
    QTest::newRow("close box") << true;
}

void tst_Form1::exitEndsTheProgram()
{
    QFETCH(bool, byCloseBox);
    Form1 &form = t->form;
    // Both dialogs have been used and are now hidden.
    QVERIFY(t->whileModal<Form3>(
        [&] { form.mnuabout->trigger(); },
        [](Form3 &about) { QTest::mouseClick(about.Command1, Qt::LeftButton); }));
    QVERIFY(t->whileModal<Form2>(
        [&] { QTest::mouseClick(form.Command3, Qt::LeftButton); },
        [](Form2 &scan) { QTest::mouseClick(scan.Command2, Qt::LeftButton); }));
    QCOMPARE(runMainLoop([&] { byCloseBox ? void(form.close()) : form.mnuexit->trigger(); }), 0);
    for (QWidget *window : QApplication::topLevelWidgets()) {
        QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
    }
}

void tst_Form1::undoPutsBackTheLastRun()
{
    QVERIFY(!t->form.mnuundo->isEnabled());
    QSignalSpy finished(&t->form, &Form1::runFinished);
    t->drop({u"batch/1.cl2"_s}, true);
    QVERIFY(finished.wait());
    QVERIFY(t->form.mnuundo->isEnabled());
    t->holdRuns(1);
    t->drop({u"good one.cl2"_s, u"bad.cl2"_s, u"sprites"_s}, true);
    QTRY_VERIFY(t->held);
    // The first line shows while the run goes on; no undo can start then.
    QTRY_VERIFY(t->form.Text2->toPlainText().startsWith(realignedLine(t->path("good one.cl2"))));
    QVERIFY(!t->form.mnuundo->isEnabled());
    t->gate.release();
    QVERIFY(finished.wait());

    QTest::keyClick(&t->form, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(finished.wait());
    // Exactly the files the last run converted go back, in its order.
    t->checkLog({u"SUCCESS: File (@/good one.cl2) directions were restored"_s,
                 u"SUCCESS: File (@/sprites/top.cl2) directions were restored"_s,
                 u"SUCCESS: File (@/sprites/deeper/below.cl2) directions were restored"_s});
    const QString earlier = t->path("batch/1.cl2");
    QCOMPARE(framesBySlot(readFile(earlier)), slotsAfterConversion(t->files.take(earlier)));
    t->checkFiles();
    // Undone once: nothing is left to undo.
    QVERIFY(!t->form.mnuundo->isEnabled());
    t->form.mnuundo_Click();
    QVERIFY(!t->form.isBusy());
}

void tst_Form1::inputDuringABatch_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("another drop") << u"drop"_s;
    QTest::newRow("close box") << u"close"_s;
    QTest::newRow("Escape") << u"escape"_s;
    QTest::newRow("File > Exit") << u"exit"_s;
}

void tst_Form1::inputDuringABatch()
{
    QFETCH(QString, input);
    Form1 &form = t->form;
    t->holdRuns(2);
    QSignalSpy finished(&form, &Form1::runFinished);
    t->drop({u"batch/1.cl2"_s, u"batch/2.cl2"_s, u"batch/3.cl2"_s}, true);
    QTRY_VERIFY(t->held);
    // Mid-run, the box and the caption show how far it got; nothing else starts.
    QTRY_VERIFY(form.Text2->toPlainText().contains(u"2.cl2) directions"_s));
    const QRegularExpression progress(u"^CL2 Direction Velmora - [12] / 3$"_s);
    QTRY_VERIFY(progress.match(form.windowTitle()).hasMatch());
    QVERIFY(!form.Command1->isEnabled() && !form.Command3->isEnabled());
    QVERIFY(!form.mnuabout->isEnabled() && !form.mnuundo->isEnabled());
    if (input == u"drop"_s) {
        t->drop({u"bad.cl2"_s}, false);
    } else if (input == u"close"_s) {
        QVERIFY(!form.close());
    } else if (input == u"escape"_s) {
        QTest::keyClick(&form, Qt::Key_Escape);
    } else {
        // The program ends once the file in hand is done, from its own loop.
        QCOMPARE(runMainLoop([&] {
                     form.mnuexit->trigger();
                     t->gate.release();
                 }),
                 0);
    }
    t->gate.release();
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(form.isVisible(), input != u"exit"_s);
    QVERIFY(form.Command1->isEnabled());
    QCOMPARE(form.windowTitle(), Form1::Caption);
    t->checkLog({realigned("batch/1.cl2"), realigned("batch/2.cl2"),
                 input == u"drop"_s ? realigned("batch/3.cl2")
                                    : u"ERROR: Conversion stopped after (2) of (3) files"_s});
    t->checkFiles();
}

QTEST_MAIN(tst_Form1)
#include "tst_Form1.moc"
