#include "support/FormTest.h"
#include "ui/DirListBox.h"
#include "ui/DriveListBox.h"
#include "ui/Form2.h"

#include <QPushButton>
#include <QStorageInfo>

using namespace velmora;
using namespace velmora::test;

// Input during a batch, Escape and the close box are tested with the main
// window's.
class tst_Form2 : public QObject
{
    Q_OBJECT

private slots:
    void init() { t = std::make_unique<FormTest>(); }
    void cleanup() { t.reset(); }

    void dialogKeepsItsFolderAndProceedConvertsIt()
    {
        QVERIFY(QDir::setCurrent(QDir::homePath())); // where the program was started
        Form2 *first = runDialog([&](Form2 &scan) {
            QCOMPARE(scan.windowTitle(), u"Scan Folder Conversion..."_s);
            QCOMPARE(scan.Dir1->path(), QDir::homePath());
            QCOMPARE(scan.Drive1->currentIndex(), 1);
            // The list follows the folder to the drive that holds it.
            QVERIFY(scan.Dir1->setPath(t->dir.path()));
            QCOMPARE(scan.Drive1->drive(), QStorageInfo(t->dir.path()).rootPath());
            // Choosing a drive opens it.
            QVERIFY(scan.Dir1->setPath(QDir::homePath()));
            QTest::keyClick(scan.Drive1, Qt::Key_Home);
            QCOMPARE(scan.Dir1->path(), QDir::rootPath());
            QTest::keyClick(scan.Drive1, Qt::Key_Down);
            QCOMPARE(scan.Dir1->path(), QDir::homePath());
            QVERIFY(scan.Dir1->setPath(t->path("sprites")));
            QTest::mouseClick(scan.Command2, Qt::LeftButton);
        });
        QVERIFY(first);
        t->checkLog({PreviousLog});
        t->checkFiles();
        // The same dialog comes back where it was; a highlighted subfolder is not
        // what Proceed converts.
        QCOMPARE(runDialog([&](Form2 &scan) {
                     QCOMPARE(scan.Dir1->path(), t->path("sprites"));
                     QTest::keyClick(scan.Dir1, Qt::Key_Down);
                     QTest::mouseClick(scan.Command1, Qt::LeftButton);
                 }),
                 first);
        t->checkLog({u"SUCCESS: (2) files were found on (@/sprites) and subfolders"_s,
                     realigned("sprites/top.cl2"), realigned("sprites/deeper/below.cl2")});
        t->checkFiles();
    }

    void folderListOpensOnDoubleClickOrEnter()
    {
        const QString tree = t->path("tree");
        for (const char *sub : {"a", "B", "c/deep", ".wine"}) {
            QVERIFY(QDir(tree).mkpath(QLatin1String(sub)));
        }
        DirListBox list;
        list.resize(300, 600);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QVERIFY(list.setPath(tree + u"/c/../"_s) && list.setPath(tree)); // opened again
        QVERIFY(!list.setPath(tree + u"/missing"_s));
        QCOMPARE(DirListBox::entryPath(list.currentItem()), tree);
        // Listed once: root first, then every ancestor, the opened folder, and
        // its subfolders, hidden ones included, in name order whatever their
        // case. Each step down the chain is drawn further right.
        const QImage shot = list.viewport()->grab().toImage();
        QStringList texts;
        for (int row = 0, previous = -1; row < list.count(); ++row) {
            texts << list.item(row)->text();
            const QRect entry = list.visualItemRect(list.item(row));
            const auto at = [&](int x) { return shot.pixel(x, entry.center().y()); };
            int ink = entry.left();
            while (ink < entry.right() && at(ink) == at(entry.left())) {
                ++ink;
            }
            QVERIFY(ink < entry.right() &&
                    (row > list.count() - 4 ? ink == previous : ink > previous));
            previous = ink;
        }
        QCOMPARE(texts, QStringList{u"/"_s} + tree.split(u'/', Qt::SkipEmptyParts) +
                            (QStringList{u".wine"_s, u"a"_s, u"B"_s, u"c"_s}));

        // A click or an arrow only moves the highlight; Enter or a double click
        // opens the highlighted folder.
        const auto last = [&](int back) {
            return list.visualItemRect(list.item(list.count() - 1 - back)).center();
        };
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, last(2));
        QTest::keyClick(&list, Qt::Key_Down);
        QTest::keyClick(&list, Qt::Key_Down);
        QTest::keyClick(&list, Qt::Key_Up);
        QCOMPARE(list.path(), tree);
        QTest::keyClick(&list, Qt::Key_Return);
        QCOMPARE(list.path(), tree + u"/B"_s);
        QTest::keyClick(&list, Qt::Key_Up);
        QTest::keyClick(&list, Qt::Key_Enter);
        QCOMPARE(list.path(), tree);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, last(0));
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, last(0));
        QCOMPARE(list.path(), tree + u"/c"_s);
        QCOMPARE(list.item(list.count() - 1)->text(), u"deep"_s);
    }

private:
    // Shows the dialog with a click on the main window's button and runs the
    // action while it is up; the dialog, once hidden again.
    Form2 *runDialog(const std::function<void(Form2 &)> &action)
    {
        return t->whileModal<Form2>([&] { QTest::mouseClick(t->form.Command3, Qt::LeftButton); },
                                    action);
    }

    std::unique_ptr<FormTest> t;
};

QTEST_MAIN(tst_Form2)
#include "tst_Form2.moc"
