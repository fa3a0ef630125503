#include "ui/AppIcon.h"
#include "ui/Form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cl2velmora"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.1.0"));
    QApplication::setWindowIcon(velmora::appIcon());

    velmora::Form1 form;
    form.Form_Load();
    form.show();
    return app.exec();
}
