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
    // The menu bar's About entry, clicked as a user does, twice: each click
    // returns once Ok has hidden the box again, and the same box comes back.
    void aboutIsModalAndOkHidesIt()
    {
        FormTest t;
        QMenuBar *bar = t.form.menuBar();
        QList<Form3 *> shown;
        for (int i = 0; i < 2; ++i) {
            shown << t.whileModal<Form3>(
                [&] {
                    QTest::mouseClick(bar, Qt::LeftButton, {},
                                      bar->actionGeometry(t.form.mnuabout).center());
                },
                [](Form3 &about) { QTest::mouseClick(about.Command1, Qt::LeftButton); });
        }
        QVERIFY(shown[0] && shown[1] == shown[0] && shown[0]->parentWidget() == &t.form);
        QCOMPARE(shown[0]->windowTitle(), u"About"_s);
    }
};

QTEST_MAIN(tst_Form3)
#include "tst_Form3.moc"
