#include "convert/Journal.h"
#include "ui/AppIcon.h"
#include "ui/Form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cl2velmora"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.1.0"));
    QApplication::setWindowIcon(velmora::appIcon());

    std::unique_ptr<velmora::Journal> journal;
    velmora::Form1 form;
    form.Form_Load();
    // Before anything else: files a killed run left half-rewritten.
    velmora::RepairInterruptedRuns(form.log());
    form.log().flush();
    QString whyNone;
    journal = velmora::Journal::create(velmora::Journal::Durability::ProcessDeath, &whyNone);
    form.setJournal(journal.get(), whyNone);
    if (journal) {
        journal->setFailureHandler([&form](const QString &reason) {
            form.log().AppendLine(
                QLatin1String("ERROR: Files cannot be protected against interruption: ") + reason);
        });
    }
    form.show();
    return app.exec();
}
