#include "convert/Journal.h"
#include "support/Cl2Fixture.h"
#include "support/ModalDriver.h"
#include "support/RunGate.h"
#include "ui/FileFilter.h"
#include "ui/Form1.h"
#include "ui/Form2.h"
#include "ui/Form3.h"

#include <QDir>
#include <QDropEvent>
#include <QFontInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace velmora;
using namespace velmora::test;

namespace {

const QLatin1String CrLf("\r\n");
const QString PreviousLog = QStringLiteral("ERROR: File (earlier.cl2) isn't a 8 directions file");

} // namespace

class tst_Form1 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowIsLaidOutAsDesigned();
    void dialogFilterTakesQtForm_data();
    void dialogFilterTakesQtForm();
    void singleFileRoad_data();
    void singleFileRoad();
    void conversionsGoThroughTheJournal_data();
    void conversionsGoThroughTheJournal();
    void logBoxKeepsOneLinePerMessage();
    void droppedFilesAreConvertedUnderOneClearedLog();
    void droppedFolderRunsTheFolderRoad();
    void remoteDropIsRefused();
    void exitEndsTheProgramWithEveryWindowGone_data();
    void exitEndsTheProgramWithEveryWindowGone();
    void undoPutsBackWhatTheLastRunConverted();
    void aRunStopsBetweenFiles_data();
    void aRunStopsBetweenFiles();

private:
    void drop(const QList<QUrl> &urls, bool expectAccepted);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Form1> m_form;
};

void tst_Form1::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_form = std::make_unique<Form1>();
    m_form->Form_Load();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void tst_Form1::cleanup()
{
    m_form.reset();
    m_dir.reset();
}

void tst_Form1::windowIsLaidOutAsDesigned()
{
    Form1 &form = *m_form;
    QCOMPARE(form.windowTitle(), QStringLiteral("CL2 Direction Velmora"));
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QCOMPARE(form.centralWidget()->size(), QSize(608, 178)); // 9120 x 2670 twips
    QCOMPARE(form.centralWidget()->y(), form.menuBar()->height());
    QVERIFY(!form.windowIcon().pixmap(QSize(16, 16)).isNull());
    QVERIFY(!form.windowIcon().pixmap(QSize(32, 32)).isNull());

    QCOMPARE(form.Command1->text(), QStringLiteral("&Single File Conversion"));
    QCOMPARE(form.Command1->geometry(), QRect(16, 8, 129, 25));
    QCOMPARE(form.Command3->text(), QStringLiteral("Scan &Folder Conversion"));
    QCOMPARE(form.Command3->geometry(), QRect(448, 8, 129, 25));
    QCOMPARE(form.Text2->geometry(), QRect(24, 40, 569, 123));
    QVERIFY(form.Text2->isReadOnly());
    QCOMPARE(form.Text2->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(form.Label2->text(), QStringLiteral("Message Log"));
    QCOMPARE(form.Label2->geometry(), QRect(232, 8, 137, 33));
    QVERIFY(form.Label2->font().bold());
    QCOMPARE(form.Label2->font().pointSizeF(), 13.5);
    QCOMPARE(form.Label2->palette().color(QPalette::WindowText), QColor(255, 0, 0));

    for (const QWidget *control :
         {static_cast<QWidget *>(form.Command1), static_cast<QWidget *>(form.Command3),
          static_cast<QWidget *>(form.Label2)}) {
        // The built-in face, whatever the machine has installed.
        QCOMPARE(QFontInfo(control->font()).family(), QStringLiteral("Liberation Sans"));
        const QString text = control->property("text").toString().remove(u'&');
        QVERIFY2(control->fontMetrics().horizontalAdvance(text) < control->width(),
                 qPrintable(text + QLatin1String(" is cut off")));
    }

    QCOMPARE(form.Command1->nextInFocusChain(), form.Command3);
    QCOMPARE(form.Command3->nextInFocusChain(), form.Text2);

    const QList<QAction *> bar = form.menuBar()->actions();
    QCOMPARE(bar.size(), 2);
    QCOMPARE(bar[0]->text(), QStringLiteral("&File"));
    QCOMPARE(bar[0]->menu()->actions(), (QList<QAction *>{form.mnuundo, form.mnuexit}));
    QCOMPARE(form.mnuexit->text(), QStringLiteral("&Exit"));
    QCOMPARE(bar[1], form.mnuabout);
    QCOMPARE(form.mnuabout->text(), QStringLiteral("&About"));
    QVERIFY(!form.mnuabout->menu());

    const QRect screen = form.screen()->availableGeometry();
    QVERIFY(qAbs(form.frameGeometry().center().x() - screen.center().x()) <= 1);
    QCOMPARE(form.fileFilter(), QStringLiteral("Diablo Graphics (*.cl2)"));
}

void tst_Form1::dialogFilterTakesQtForm_data()
{
    QTest::addColumn<QString>("classic");
    QTest::addColumn<QString>("qt");
    QTest::newRow("pattern already named") << QStringLiteral("Diablo Graphics (*.cl2)|*.cl2")
                                           << QStringLiteral("Diablo Graphics (*.cl2)");
    QTest::newRow("pattern added, two entries") << QStringLiteral("Sprites|*.cl2;*.cel|All|*")
                                                << QStringLiteral("Sprites (*.cl2 *.cel);;All (*)");
}

void tst_Form1::dialogFilterTakesQtForm()
{
    QFETCH(QString, classic);
    QFETCH(QString, qt);
    QCOMPARE(qtNameFilter(classic), qt);
}

void tst_Form1::singleFileRoad_data()
{
    QTest::addColumn<QString>("fileName");     // relative to the temporary folder
    QTest::addColumn<QString>("content");      // eight, single, or none (not on disk)
    QTest::addColumn<bool>("answerCancels");   // the chooser answers "" instead
    QTest::addColumn<QString>("expectedLine"); // success, refusal, or previous

    QTest::newRow("cancelled") << QStringLiteral("a.cl2") << QStringLiteral("eight") << true
                               << QStringLiteral("previous");
    QTest::newRow("missing file") << QStringLiteral("gone.cl2") << QStringLiteral("none") << false
                                  << QStringLiteral("previous");
    QTest::newRow("8-direction file") << QStringLiteral("warrior.cl2") << QStringLiteral("eight")
                                      << false << QStringLiteral("success");
    QTest::newRow("single-direction file") << QStringLiteral("item.cl2") << QStringLiteral("single")
                                           << false << QStringLiteral("refusal");
    QTest::newRow("spaces and parentheses")
        << QStringLiteral("my sprites (v2)/attack (n) 1.CL2") << QStringLiteral("eight") << false
        << QStringLiteral("success");
}

void tst_Form1::singleFileRoad()
{
    QFETCH(QString, fileName);
    QFETCH(QString, content);
    QFETCH(bool, answerCancels);
    QFETCH(QString, expectedLine);

    const QString path = m_dir->filePath(fileName);
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QByteArray before;
    if (content == QLatin1String("eight")) {
        before = makeEightDirectionCl2(5);
    } else if (content == QLatin1String("single")) {
        before = makeSingleDirectionCl2(7);
    }
    if (content != QLatin1String("none")) {
        QVERIFY(writeFile(path, before));
    }

    m_form->log().AppendLine(PreviousLog);
    m_form->log().flush();
    int asked = 0;
    m_form->setFileChooser([&] {
        ++asked;
        return answerCancels ? QString() : path;
    });
    QSignalSpy finished(m_form.get(), &Form1::runFinished);
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    QCOMPARE(asked, 1);
    if (expectedLine != QLatin1String("previous")) {
        QVERIFY(finished.wait());
    }

    QString expected = PreviousLog + CrLf;
    if (expectedLine == QLatin1String("success")) {
        expected = realignedLine(path) + CrLf;
    } else if (expectedLine == QLatin1String("refusal")) {
        expected = notEightDirectionsLine(path) + CrLf;
    }
    QCOMPARE(m_form->logText(), expected);
    // What the user sees is the same text, with the box's own line breaks.
    QCOMPARE(m_form->Text2->toPlainText() + u'\n',
             QString(expected).replace(CrLf, QLatin1String("\n")));
    QCOMPARE(m_form->windowTitle(), Form1::Caption);

    if (content == QLatin1String("none")) {
        QVERIFY(!QFileInfo::exists(path));
    } else if (expectedLine == QLatin1String("success")) {
        QCOMPARE(framesBySlot(readFile(path)), slotsAfterConversion(before));
    } else {
        QCOMPARE(readFile(path), before);
    }
}

void tst_Form1::conversionsGoThroughTheJournal_data()
{
    QTest::addColumn<bool>("usable");

    QTest::newRow("journal") << true;
    QTest::newRow("no usable state folder") << false;
}

void tst_Form1::conversionsGoThroughTheJournal()
{
    QFETCH(bool, usable);
    QTemporaryDir state;
    QVERIFY(state.isValid());
    const QString home = state.filePath(QStringLiteral("state"));
    if (!usable) {
        QVERIFY(writeFile(home, "a file, not a folder"));
    }
    qputenv("XDG_STATE_HOME", QFile::encodeName(home));
    QString whyNone;
    const std::unique_ptr<Journal> journal =
        Journal::create(Journal::Durability::ProcessDeath, &whyNone);
    QCOMPARE(journal != nullptr, usable);
    m_form->setJournal(journal.get(), whyNone);
    const QString path = m_dir->filePath(QStringLiteral("recorded.cl2"));
    QVERIFY(writeFile(path, makeEightDirectionCl2(3)));
    m_form->setFileChooser([&] { return path; });

    QSignalSpy finished(m_form.get(), &Form1::runFinished);
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    QVERIFY(finished.wait());

    if (usable) {
        QCOMPARE(m_form->logText(), realignedLine(path) + CrLf);
        // The file's record sits in the journal's first slot.
        const QByteArray recorded = readFile(QFile::decodeName(journal->path()));
        QCOMPARE(recorded.mid(32, 4), QByteArrayLiteral("CLVR"));
        QVERIFY(recorded.contains(QFile::encodeName(path)));
    } else {
        QCOMPARE(m_form->logText(),
                 QLatin1String("ERROR: Files cannot be protected against interruption: ") +
                     whyNone + CrLf + realignedLine(path) + CrLf);
    }
    m_form->setJournal(nullptr);
}

void tst_Form1::logBoxKeepsOneLinePerMessage()
{
    LogBox &log = m_form->log();
    log.AppendLine(QStringLiteral("stale"));
    log.flush();
    log.Clear();
    QCOMPARE(m_form->logText(), QString());
    QVERIFY(m_form->Text2->toPlainText().isEmpty());

    // Lines wait until shown, but the log's text has them all along.
    log.AppendLine(QStringLiteral("SUCCESS: one"));
    log.AppendLine(QString());
    log.AppendLine(QStringLiteral("ERROR: File (odd\nname.cl2) isn't a 8 directions file"));
    QCOMPARE(log.lineCount(), 3);
    QCOMPARE(m_form->logText(),
             QStringLiteral("SUCCESS: one\r\n\r\n"
                            "ERROR: File (odd\uFFFDname.cl2) isn't a 8 directions file\r\n"));
    log.flush();
    QCOMPARE(m_form->Text2->document()->blockCount(), 3);
    log.AppendLine(QStringLiteral("SUCCESS: four"));
    log.flush();
    QCOMPARE(m_form->Text2->document()->blockCount(), 4);
    QVERIFY(m_form->logText().endsWith(QLatin1String("\r\nSUCCESS: four\r\n")));

    // A long log keeps its newest line in view.
    for (int i = 0; i < 500; ++i) {
        log.AppendLine(QStringLiteral("SUCCESS: line %1").arg(i));
        log.Repaint();
    }
    log.flush();
    QCOMPARE(log.lineCount(), 504);
    QCOMPARE(m_form->Text2->document()->blockCount(), 504);
    const QScrollBar *bar = m_form->Text2->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
}

void tst_Form1::drop(const QList<QUrl> &urls, bool expectAccepted)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = m_form->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_form.get(), &enter);
    QCOMPARE(enter.isAccepted(), expectAccepted);
    if (!expectAccepted) {
        return;
    }
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_form.get(), &dropped);
    QVERIFY(dropped.isAccepted());
}

void tst_Form1::droppedFilesAreConvertedUnderOneClearedLog()
{
    const QString good = m_dir->filePath(QStringLiteral("good one.cl2"));
    const QString bad = m_dir->filePath(QStringLiteral("bad.cl2"));
    const QString vanished = m_dir->filePath(QStringLiteral("vanished.cl2"));
    const QByteArray eight = makeEightDirectionCl2(3);
    const QByteArray single = makeSingleDirectionCl2(4);
    QVERIFY(writeFile(good, eight));
    QVERIFY(writeFile(bad, single));

    m_form->log().AppendLine(PreviousLog);
    m_form->log().flush();
    // The good file is dropped twice: one drop converts it once.
    drop({QUrl::fromLocalFile(good), QUrl::fromLocalFile(bad), QUrl::fromLocalFile(vanished),
          QUrl::fromLocalFile(good)},
         true);
    QTRY_COMPARE(m_form->log().lineCount(), 4);

    const QStringList lines = m_form->logText().split(CrLf);
    QCOMPARE(lines.size(), 5); // four lines, each ended
    QCOMPARE(lines[0], realignedLine(good));
    QCOMPARE(lines[1], notEightDirectionsLine(bad));
    QVERIFY2(lines[2].startsWith(QLatin1String("ERROR: File (") + vanished + QLatin1String(") ")),
             qPrintable(lines[2]));
    QCOMPARE(lines[3], QLatin1String("ERROR: File (") + good +
                           QLatin1String(") was already converted in this run"));
    QVERIFY(lines[4].isEmpty());
    QCOMPARE(framesBySlot(readFile(good)), slotsAfterConversion(eight));
    QCOMPARE(readFile(bad), single);
    QCOMPARE(m_form->windowTitle(), Form1::Caption);
}

void tst_Form1::droppedFolderRunsTheFolderRoad()
{
    const QString folder = m_dir->filePath(QStringLiteral("sprites"));
    QVERIFY(QDir().mkpath(folder + QLatin1String("/deeper")));
    const QString top = folder + QLatin1String("/top.cl2");
    const QString below = folder + QLatin1String("/deeper/below.cl2");
    const QByteArray eight = makeEightDirectionCl2(2);
    QVERIFY(writeFile(top, eight));
    QVERIFY(writeFile(below, eight));
    QVERIFY(writeFile(folder + QLatin1String("/notes.txt"), QByteArrayLiteral("keep")));

    m_form->log().AppendLine(PreviousLog);
    m_form->log().flush();
    drop({QUrl::fromLocalFile(folder)}, true);
    QTRY_COMPARE(m_form->log().lineCount(), 3);

    // Breadth-first: the folder's own file comes before the one below it.
    QCOMPARE(m_form->logText(), QLatin1String("SUCCESS: (2) files were found on (") + folder +
                                    QLatin1String(") and subfolders\r\n") + realignedLine(top) +
                                    CrLf + realignedLine(below) + CrLf);
    QCOMPARE(framesBySlot(readFile(top)), slotsAfterConversion(eight));
    QCOMPARE(framesBySlot(readFile(below)), slotsAfterConversion(eight));
    QCOMPARE(readFile(folder + QLatin1String("/notes.txt")), QByteArrayLiteral("keep"));
}

void tst_Form1::remoteDropIsRefused()
{
    const QString local = m_dir->filePath(QStringLiteral("local.cl2"));
    const QByteArray eight = makeEightDirectionCl2(2);
    QVERIFY(writeFile(local, eight));
    m_form->log().AppendLine(PreviousLog);
    drop({QUrl::fromLocalFile(local), QUrl(QStringLiteral("https://example.org/a.cl2"))}, false);
    QTest::qWait(50);
    QCOMPARE(m_form->logText(), PreviousLog + CrLf);
    QCOMPARE(readFile(local), eight);
}

void tst_Form1::exitEndsTheProgramWithEveryWindowGone_data()
{
    QTest::addColumn<bool>("byCloseBox");
    QTest::newRow("Exit menu") << false;
    QTest::newRow("close box") << true;
}

void tst_Form1::exitEndsTheProgramWithEveryWindowGone()
{
    QFETCH(bool, byCloseBox);

    // Both dialogs have been used and are now hidden.
    {
        ModalDriver ok([](QWidget *dialog) {
            QTest::mouseClick(qobject_cast<Form3 *>(dialog)->Command1, Qt::LeftButton);
        });
        m_form->mnuabout->trigger();
        QVERIFY(ok.acted() && !ok.stuck());
        ModalDriver cancel([](QWidget *dialog) {
            QTest::mouseClick(qobject_cast<Form2 *>(dialog)->Command2, Qt::LeftButton);
        });
        QTest::mouseClick(m_form->Command3, Qt::LeftButton);
        QVERIFY(cancel.acted() && !cancel.stuck());
        QVERIFY(m_form->form2() && m_form->form3());
    }

    // The program's own main loop, as main() runs it; the guard ends it with
    // another code if the command does not.
    QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    guard.start(5000);
    QTimer::singleShot(0, m_form.get(), [&] {
        if (byCloseBox) {
            m_form->close();
        } else {
            m_form->mnuexit->trigger();
        }
    });
    QCOMPARE(QCoreApplication::exec(), 0);
    QCOMPARE(quitting.size(), 1);
    QVERIFY(!m_form->isVisible());
    for (QWidget *window : QApplication::topLevelWidgets()) {
        QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
    }
}

void tst_Form1::undoPutsBackWhatTheLastRunConverted()
{
    const QByteArray eight = makeEightDirectionCl2(3);
    const QString first = m_dir->filePath(QStringLiteral("first.cl2"));
    const QString second = m_dir->filePath(QStringLiteral("second.cl2"));
    QVERIFY(writeFile(first, eight));
    QVERIFY(writeFile(second, eight));
    QVERIFY(!m_form->mnuundo->isEnabled());
    QCOMPARE(m_form->mnuundo->shortcut(), QKeySequence(QKeySequence::Undo));

    QSignalSpy finished(m_form.get(), &Form1::runFinished);
    drop({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)}, true);
    QVERIFY(finished.wait());
    QVERIFY(m_form->mnuundo->isEnabled());
    QVERIFY(readFile(first) != eight);

    m_form->mnuundo->trigger();
    QVERIFY(finished.wait());
    QCOMPARE(m_form->logText(), QLatin1String("SUCCESS: File (") + first +
                                    QLatin1String(") directions were restored\r\n") +
                                    QLatin1String("SUCCESS: File (") + second +
                                    QLatin1String(") directions were restored\r\n"));
    QCOMPARE(readFile(first), eight);
    QCOMPARE(readFile(second), eight);
    // Undone once: nothing is left to undo.
    QVERIFY(!m_form->mnuundo->isEnabled());
    m_form->mnuundo->trigger();
    QTest::qWait(20);
    QCOMPARE(finished.size(), 2);
    QCOMPARE(readFile(first), eight);
}

void tst_Form1::aRunStopsBetweenFiles_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("close box") << QStringLiteral("close");
    QTest::newRow("Escape") << QStringLiteral("escape");
    QTest::newRow("File > Exit") << QStringLiteral("exit");
}

void tst_Form1::aRunStopsBetweenFiles()
{
    QFETCH(QString, input);
    const QByteArray eight = makeEightDirectionCl2(2);
    QList<QUrl> urls;
    QStringList files;
    for (const char *name : {"1.cl2", "2.cl2", "3.cl2"}) {
        files << m_dir->filePath(QLatin1String(name));
        QVERIFY(writeFile(files.last(), eight));
        urls << QUrl::fromLocalFile(files.last());
    }
    RunGate gate(1);
    m_form->setRunObserver([&gate](ConversionRun &run) { gate.attach(run); });
    QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });

    drop(urls, true);
    QTRY_VERIFY(gate.held());
    QVERIFY(!m_form->Command1->isEnabled());
    QVERIFY(!m_form->Command3->isEnabled());
    if (input == QLatin1String("exit")) {
        // The program ends once the file in hand is done, from its own loop.
        QTimer::singleShot(0, m_form.get(), [&] {
            m_form->mnuexit->trigger();
            gate.open();
        });
        guard.start(5000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(quitting.size(), 1);
        QVERIFY(!m_form->isVisible());
    } else {
        QSignalSpy finished(m_form.get(), &Form1::runFinished);
        if (input == QLatin1String("close")) {
            m_form->close();
        } else {
            QTest::keyClick(m_form.get(), Qt::Key_Escape);
        }
        gate.open();
        QVERIFY(finished.wait());
        QVERIFY(m_form->isVisible());
        QVERIFY(m_form->Command1->isEnabled());
    }
    QCOMPARE(m_form->logText(), realignedLine(files[0]) + CrLf +
                                    QLatin1String("ERROR: Conversion stopped after (1) of (3) "
                                                  "files\r\n"));
    QCOMPARE(framesBySlot(readFile(files[0])), slotsAfterConversion(eight));
    QCOMPARE(readFile(files[1]), eight);
    QCOMPARE(readFile(files[2]), eight);
}

QTEST_MAIN(tst_Form1)
#include "tst_Form1.moc"
