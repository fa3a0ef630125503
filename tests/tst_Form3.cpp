#include "support/ModalDriver.h"
#include "ui/Form1.h"
#include "ui/Form3.h"

#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

class tst_Form3 : public QObject
{
    Q_OBJECT

private slots:
    void aboutIsModalAndOkHidesIt();

private:
    // Clicks the About entry of the menu bar, as a user does; returns the
    // dialog the click showed, after pressing its Ok button.
    Form3 *showAboutAndPressOk(Form1 &main);
};

Form3 *tst_Form3::showAboutAndPressOk(Form1 &main)
{
    bool wasModal = false;
    bool wasVisible = false;
    ModalDriver pressOk([&](QWidget *dialog) {
        auto *about = qobject_cast<Form3 *>(dialog);
        QVERIFY(about);
        wasModal = about->isModal();
        wasVisible = about->isVisible();
        QTest::mouseClick(about->Command1, Qt::LeftButton);
    });
    QMenuBar *bar = main.menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(main.mnuabout).center());

    // The click returns only when the About box has been hidden again.
    [&] {
        QVERIFY(pressOk.acted());
        QVERIFY(!pressOk.stuck());
        QVERIFY(wasModal && wasVisible);
    }();
    auto *about = qobject_cast<Form3 *>(pressOk.dialog());
    return about && !about->isVisible() ? about : nullptr;
}

void tst_Form3::aboutIsModalAndOkHidesIt()
{
    Form1 main;
    main.Form_Load();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QVERIFY(!main.form3());

    Form3 *first = showAboutAndPressOk(main);
    QVERIFY(first);
    QCOMPARE(main.form3(), first);
    QCOMPARE(first->parentWidget(), &main);

    QCOMPARE(first->windowTitle(), QStringLiteral("About"));
    QCOMPARE(first->size(), QSize(206, 106)); // 3090 x 1590 twips
    QCOMPARE(first->minimumSize(), first->maximumSize());
    QVERIFY(
        !(first->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(first->Command1->text(), QStringLiteral("&Ok"));
    QCOMPARE(first->Command1->geometry(), QRect(64, 80, 89, 25));
    QCOMPARE(first->Label1->text(), QStringLiteral("CL2 Velmora version 1.1.0"));
    QCOMPARE(first->Label2->text(), QStringLiteral("designed by Quindrel"));
    QCOMPARE(first->Label2->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(first->Label3->text().contains(u'@'));
    for (const QLabel *label : {first->Label1, first->Label2, first->Label3}) {
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                 qPrintable(label->text() + QLatin1String(" is cut off")));
    }
    // Centred on its owner.
    QVERIFY((first->frameGeometry().center() - main.frameGeometry().center()).manhattanLength() <=
            2);

    Form3 *second = showAboutAndPressOk(main);
    QCOMPARE(second, first);
}

QTEST_MAIN(tst_Form3)
#include "tst_Form3.moc"
