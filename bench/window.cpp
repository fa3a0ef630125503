// The window's folder road for bench/run: cl2velmora's start-up, then the
// folder named on the command line converted as the folder dialog's Proceed
// converts it, then the end. Built for the benchmark only and never
// installed: the installed program converts nothing without a user.
#include "convert/Journal.h"
#include "ui/AppIcon.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace velmora;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fputs("Usage: velmora-bench-window FOLDER\n", stderr);
        return 2;
    }
    const QString folder = arguments.at(1);

    // The start-up of src/app/main.cpp, step for step.
    QApplication::setWindowIcon(appIcon());
    std::unique_ptr<Journal> journal; // outlives the window, as there
    Form1 form;
    form.Form_Load();
    RepairInterruptedRuns(form.log());
    form.log().flush();
    QString whyNone;
    journal = Journal::create(Journal::Durability::ProcessDeath, &whyNone,
                              ConversionRun::DefaultJobs + 1);
    form.setJournal(journal.get(), whyNone);
    form.show();

    QObject::connect(&form, &Form1::runFinished, &app, &QCoreApplication::quit);
    QTimer::singleShot(0, &form, [&form, &folder] { form.convertFolder(folder); });
    return app.exec();
}
