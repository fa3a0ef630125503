#include "support/FormTest.h"
#include "ui/Form3.h"

#include <QMenuBar>
#include <QPushButton>

using namespace velmora;
using namespace velmora::test;

class tst_Form3 : public QObject
{
    Q_OBJECT

private slots:
    void aboutIsModalAndOkHidesIt();
};

void tst_Form3::aboutIsModalAndOkHidesIt()
{
    FormTest t;
    QMenuBar *bar = t.form.menuBar();
    const auto showAndPressOk = [&] {
        // The menu bar's About entry, clicked as a user does; the click
        // returns once Ok has hidden the box again.
        return t.whileModal<Form3>(
            [&] {
                QTest::mouseClick(bar, Qt::LeftButton, {},
                                  bar->actionGeometry(t.form.mnuabout).center());
            },
            [](Form3 &about) { QTest::mouseClick(about.Command1, Qt::LeftButton); });
    };
    QVERIFY(!t.form.form3());
    Form3 *about = showAndPressOk();
    QVERIFY(about);
    QCOMPARE(about, t.form.form3());
    QCOMPARE(about->parentWidget(), &t.form);
    QCOMPARE(about->windowTitle(), u"About"_s);
    QCOMPARE(showAndPressOk(), about);
}

QTEST_MAIN(tst_Form3)
#include "tst_Form3.moc"
