#include "ui/Form3.h"

#include "ui/DialogWindow.h"
#include "ui/Twips.h"

#include "ProgramInfo.h"

#include <QLabel>
#include <QPushButton>

namespace velmora {

Form3::Form3(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("About"));
    setFont(formFont());
    makeFixedDialog(this, twips(3090, 1590));

    Command1 = new QPushButton(QStringLiteral("&Ok"), this);
    Command1->setGeometry(twips(960, 1200, 1335, 375));
    Command1->setDefault(true);

    Label1 = new QLabel(QLatin1String(VersionText), this);
    Label1->setGeometry(twips(480, 120, 2175, 255));

    Label2 = new QLabel(QStringLiteral("designed by Quindrel"), this);
    Label2->setGeometry(twips(600, 360, 1815, 255));
    QPalette red = Label2->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    Label2->setPalette(red);

    Label3 = new QLabel(QStringLiteral("cl2velmora@example.org"), this);
    Label3->setGeometry(twips(480, 600, 2055, 255));
    Label3->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Command1->setObjectName(QStringLiteral("Command1"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2->setObjectName(QStringLiteral("Label2"));
    Label3->setObjectName(QStringLiteral("Label3"));

    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
}

void Form3::Command1_Click()
{
    hide();
}

} // namespace velmora
