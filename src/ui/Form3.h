#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace velmora {

// The About box: the program's name and version and who designed it.
class Form3 : public QDialog
{
    Q_OBJECT

public:
    explicit Form3(QWidget *owner);

    QPushButton *Command1;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;

public slots:
    void Command1_Click();
};

} // namespace velmora
