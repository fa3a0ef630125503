#include "support/Cl2Fixture.h"
#include "support/ModalDriver.h"
#include "support/RunGate.h"
#include "ui/DirListBox.h"
#include "ui/DriveListBox.h"
#include "ui/Form1.h"
#include "ui/Form2.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

namespace {

const QLatin1String CrLf("\r\n");
const QString PreviousLog = QStringLiteral("SUCCESS: File (earlier.cl2) directions were realigned");

QStringList entryTexts(const DirListBox &list)
{
    QStringList texts;
    for (int i = 0; i < list.count(); ++i) {
        texts.append(list.item(i)->text());
    }
    return texts;
}

QListWidgetItem *entryNamed(const DirListBox &list, const QString &text)
{
    for (int i = 0; i < list.count(); ++i) {
        if (list.item(i)->text() == text) {
            return list.item(i);
        }
    }
    return nullptr;
}

// The next widget Tab moves to, skipping parts of a control (a list's
// viewport) that take no focus of their own.
QWidget *nextTabStop(QWidget *from)
{
    QWidget *next = from->nextInFocusChain();
    while (next != from && !(next->focusPolicy() & Qt::TabFocus)) {
        next = next->nextInFocusChain();
    }
    return next;
}

} // namespace

class tst_Form2 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void proceedConvertsTheOpenedFolder();
    void proceedOnAFolderWithoutSpritesLogsOnlyTheError();
    void cancelKeepsLogAndDialogKeepsItsFolder();
    void dirListHighlightsOnClickAndOpensOnDoubleClick();
    void driveChoiceOpensThatDrive();
    void inputDuringABatchIsDroppedOrStopsIt_data();
    void inputDuringABatchIsDroppedOrStopsIt();

private:
    // Shows the folder-scan dialog with a real click on the main window's
    // button and runs the action on it while it is modal.
    void runDialog(const std::function<void(Form2 &)> &action);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Form1> m_main;
    QString m_tree;
};

void tst_Form2::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_tree = m_dir->filePath(QStringLiteral("sprites"));
    for (const char *sub : {"a", "B", "c/deep", ".wine"}) {
        QVERIFY(QDir(m_tree).mkpath(QLatin1String(sub)));
    }
    m_main = std::make_unique<Form1>();
    m_main->Form_Load();
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    m_main->log().AppendLine(PreviousLog);
    m_main->log().flush();
}

void tst_Form2::cleanup()
{
    m_main.reset();
    m_dir.reset();
}

void tst_Form2::runDialog(const std::function<void(Form2 &)> &action)
{
    bool wasModal = false;
    ModalDriver driver([&](QWidget *dialog) {
        auto *scan = qobject_cast<Form2 *>(dialog);
        QVERIFY(scan);
        wasModal = scan->isModal();
        action(*scan);
    });
    QTest::mouseClick(m_main->Command3, Qt::LeftButton);
    QVERIFY(driver.acted());
    QVERIFY(!driver.stuck());
    QVERIFY(wasModal);
    QCOMPARE(driver.dialog(), m_main->form2());
    QVERIFY(!m_main->form2()->isVisible());
}

void tst_Form2::proceedConvertsTheOpenedFolder()
{
    const QByteArray eight = makeEightDirectionCl2(4);
    const QByteArray single = makeSingleDirectionCl2(6);
    const QString top = m_tree + QLatin1String("/top.cl2");
    const QString inA = m_tree + QLatin1String("/a/one.CL2");
    const QString deep = m_tree + QLatin1String("/c/deep/two.cl2");
    const QString refused = m_tree + QLatin1String("/B/item.cl2");
    QVERIFY(writeFile(top, eight));
    QVERIFY(writeFile(inA, eight));
    QVERIFY(writeFile(deep, eight));
    QVERIFY(writeFile(refused, single));
    QVERIFY(writeFile(m_tree + QLatin1String("/a/one.cl2.bak"), single));

    runDialog([&](Form2 &scan) {
        QVERIFY(scan.Dir1->setPath(m_tree));
        // A highlighted subfolder is not what Proceed converts.
        scan.Dir1->setCurrentItem(entryNamed(*scan.Dir1, QStringLiteral("c")));
        QTest::mouseClick(scan.Command1, Qt::LeftButton);
    });

    QStringList lines = m_main->logText().split(CrLf);
    QCOMPARE(lines.size(), 6); // summary, four files, and the end of the last line
    QCOMPARE(lines.takeFirst(), QLatin1String("SUCCESS: (4) files were found on (") + m_tree +
                                    QLatin1String(") and subfolders"));
    QCOMPARE(lines.takeLast(), QString());
    // Breadth-first: the folder's own file first, the deepest one last.
    QCOMPARE(lines.first(), realignedLine(top));
    QCOMPARE(lines.last(), realignedLine(deep));
    QVERIFY(lines.contains(realignedLine(inA)));
    QVERIFY(lines.contains(QLatin1String("ERROR: File (") + refused +
                           QLatin1String(") isn't a 8 directions file")));
    QCOMPARE(m_main->Text2->document()->blockCount(), 5);
    QCOMPARE(m_main->windowTitle(), Form1::Caption);

    QVERIFY(readFile(top) != eight);
    QVERIFY(readFile(deep) != eight);
    QCOMPARE(readFile(refused), single);
    QCOMPARE(readFile(m_tree + QLatin1String("/a/one.cl2.bak")), single);
}

void tst_Form2::proceedOnAFolderWithoutSpritesLogsOnlyTheError()
{
    const QString empty = m_tree + QLatin1String("/a");
    runDialog([&](Form2 &scan) {
        QVERIFY(scan.Dir1->setPath(empty));
        QTest::mouseClick(scan.Command1, Qt::LeftButton);
    });
    QCOMPARE(m_main->logText(), QLatin1String("ERROR: No *.cl2 files were found on (") + empty +
                                    QLatin1String(") and subfolders\r\n"));
}

void tst_Form2::cancelKeepsLogAndDialogKeepsItsFolder()
{
    const QByteArray eight = makeEightDirectionCl2(2);
    QVERIFY(writeFile(m_tree + QLatin1String("/top.cl2"), eight));
    int driveChosen = -1;
    runDialog([&](Form2 &scan) {
        QVERIFY(scan.Dir1->setPath(m_tree));
        driveChosen = scan.Drive1->currentIndex();
        QTest::mouseClick(scan.Command2, Qt::LeftButton);
    });
    QCOMPARE(m_main->logText(), PreviousLog + CrLf);
    QCOMPARE(readFile(m_tree + QLatin1String("/top.cl2")), eight);

    Form2 *first = m_main->form2();
    runDialog([&](Form2 &scan) {
        QCOMPARE(&scan, first);
        QCOMPARE(scan.Dir1->path(), m_tree);
        QCOMPARE(scan.Drive1->currentIndex(), driveChosen);

        QCOMPARE(scan.windowTitle(), QStringLiteral("Scan Folder Conversion..."));
        QCOMPARE(scan.size(), QSize(338, 213)); // 5070 x 3195 twips
        QCOMPARE(scan.minimumSize(), scan.maximumSize());
        QVERIFY(
            !(scan.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(scan.Drive1->geometry(), QRect(8, 16, 105, 21));
        QCOMPARE(scan.Dir1->geometry(), QRect(128, 16, 201, 126));
        QCOMPARE(scan.Command1->text(), QStringLiteral("&Proceed"));
        QCOMPARE(scan.Command1->geometry(), QRect(40, 176, 97, 33));
        QCOMPARE(scan.Command2->text(), QStringLiteral("&Cancel"));
        QCOMPARE(scan.Command2->geometry(), QRect(224, 176, 97, 33));
        QCOMPARE(nextTabStop(scan.Drive1), scan.Dir1);
        QCOMPARE(nextTabStop(scan.Dir1), scan.Command1);
        QCOMPARE(nextTabStop(scan.Command1), scan.Command2);
        QTest::mouseClick(scan.Command2, Qt::LeftButton);
    });
    QCOMPARE(m_main->logText(), PreviousLog + CrLf);
}

void tst_Form2::dirListHighlightsOnClickAndOpensOnDoubleClick()
{
    DirListBox list;
    list.resize(300, 600);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QVERIFY(!list.setPath(m_tree + QLatin1String("/missing")));
    QVERIFY(list.setPath(m_tree + QLatin1String("/c/../")));
    QCOMPARE(list.path(), m_tree);

    // Root first, then every ancestor, the opened folder, and its subfolders,
    // hidden ones included, in name order whatever their case.
    const QStringList chain = m_tree.split(u'/', Qt::SkipEmptyParts);
    const QStringList texts = entryTexts(list);
    QCOMPARE(texts.size(), 1 + chain.size() + 4);
    QCOMPARE(texts.first(), QStringLiteral("/"));
    QCOMPARE(texts.mid(1, chain.size()), chain);
    QCOMPARE(texts.mid(1 + chain.size()), (QStringList{QStringLiteral(".wine"), QStringLiteral("a"),
                                                       QStringLiteral("B"), QStringLiteral("c")}));
    QCOMPARE(DirListBox::entryPath(list.currentItem()), m_tree);

    QListWidgetItem *c = entryNamed(list, QStringLiteral("c"));
    QVERIFY(c);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(c).center());
    QCOMPARE(list.currentItem(), c);
    QCOMPARE(list.path(), m_tree);

    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(c).center());
    QCOMPARE(list.path(), m_tree + QLatin1String("/c"));
    QCOMPARE(entryTexts(list).last(), QStringLiteral("deep"));

    // Enter opens the highlighted entry, here the parent.
    list.setCurrentItem(entryNamed(list, QStringLiteral("sprites")));
    QCOMPARE(list.path(), m_tree + QLatin1String("/c"));
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(list.path(), m_tree);
}

void tst_Form2::driveChoiceOpensThatDrive()
{
    const QStringList drives = DriveListBox::availableDrives();
    QCOMPARE(drives.mid(0, 2), (QStringList{QDir::rootPath(), QDir::homePath()}));
    runDialog([&](Form2 &scan) {
        QVERIFY(scan.Dir1->setPath(m_tree));
        // The tree lies on the root drive; the home folder is another entry.
        QCOMPARE(scan.Drive1->drive(), QDir::rootPath());
        scan.Drive1->setCurrentIndex(1);
        QCOMPARE(scan.Dir1->path(), QDir::homePath());
        scan.Drive1->setCurrentIndex(0);
        QCOMPARE(scan.Dir1->path(), QDir::rootPath());
        QTest::mouseClick(scan.Command2, Qt::LeftButton);
    });
}

void tst_Form2::inputDuringABatchIsDroppedOrStopsIt_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("stops");
    QTest::newRow("second Proceed") << QStringLiteral("proceed") << false;
    QTest::newRow("Cancel") << QStringLiteral("cancel") << true;
    QTest::newRow("Escape") << QStringLiteral("escape") << true;
    QTest::newRow("close box") << QStringLiteral("close") << true;
}

void tst_Form2::inputDuringABatchIsDroppedOrStopsIt()
{
    QFETCH(QString, input);
    QFETCH(bool, stops);
    const QByteArray eight = makeEightDirectionCl2(2);
    const QString folder = m_tree + QLatin1String("/B");
    QStringList files;
    for (const char *name : {"1.cl2", "2.cl2", "3.cl2"}) {
        files << folder + u'/' + QLatin1String(name);
        QVERIFY(writeFile(files.last(), eight));
    }
    RunGate gate(1);
    m_main->setRunObserver([&gate](ConversionRun &run) { gate.attach(run); });

    runDialog([&](Form2 &scan) {
        QVERIFY(scan.Dir1->setPath(folder));
        QTest::mouseClick(scan.Command1, Qt::LeftButton);
        QTRY_VERIFY(gate.held());
        // The batch is in the middle: the dialog is still up and busy.
        QVERIFY(scan.isVisible());
        QVERIFY(!scan.Command1->isEnabled());
        if (input == QLatin1String("proceed")) {
            QTest::mouseClick(scan.Command1, Qt::LeftButton);
        } else if (input == QLatin1String("cancel")) {
            QTest::mouseClick(scan.Command2, Qt::LeftButton);
        } else if (input == QLatin1String("escape")) {
            QTest::keyClick(&scan, Qt::Key_Escape);
        } else {
            scan.close();
        }
        gate.open();
    });

    QStringList expected{QLatin1String("SUCCESS: (3) files were found on (") + folder +
                             QLatin1String(") and subfolders"),
                         realignedLine(files[0])};
    if (stops) {
        expected << QStringLiteral("ERROR: Conversion stopped after (1) of (3) files");
    } else {
        expected << realignedLine(files[1]) << realignedLine(files[2]);
    }
    QCOMPARE(m_main->logText(), expected.join(CrLf) + CrLf);
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (i == 0 || !stops) {
            QCOMPARE(framesBySlot(readFile(files[i])), slotsAfterConversion(eight));
        } else {
            QCOMPARE(readFile(files[i]), eight);
        }
    }
    QVERIFY(m_main->Command3->isEnabled());
}

QTEST_MAIN(tst_Form2)
#include "tst_Form2.moc"
