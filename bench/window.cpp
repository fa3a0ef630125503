// The window's folder road for bench/run: cl2velmora's start-up, then the
// folder named on the command line converted as the folder dialog's Proceed
// converts it, then, when asked, the result reviewed in the log window
// (failures only, a Find through the log, Save Log), then the end. Built for
// the benchmark only and never installed: the installed program converts
// nothing without a user.
#include "convert/StartUp.h"
#include "ui/AppIcon.h"
#include "ui/Form1.h"
#include "ui/LogView.h"
#include "ui/LogWindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace velmora;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    QString folder, findText, saveTo;
    bool failuresOnly = false;
    while (!arguments.isEmpty()) {
        const QString argument = arguments.takeFirst();
        if (argument == QLatin1String("--filter")) {
            failuresOnly = true;
        } else if (argument == QLatin1String("--find") && !arguments.isEmpty()) {
            findText = arguments.takeFirst();
        } else if (argument == QLatin1String("--save") && !arguments.isEmpty()) {
            saveTo = arguments.takeFirst();
        } else if (folder.isEmpty() && !argument.startsWith(u'-')) {
            folder = argument;
        } else {
            folder.clear();
            break;
        }
    }
    if (folder.isEmpty()) {
        std::fputs("Usage: velmora-bench-window FOLDER [--filter] [--find TEXT] [--save FILE]\n",
                   stderr);
        return 2;
    }

    // The start-up of src/app/main.cpp, step for step.
    QApplication::setWindowIcon(appIcon());
    StartedUp started; // outlives the window, as there
    Form1 form;
    form.Form_Load();
    started = startUp(form.log(), [&form] { form.log().flush(); }, {});
    form.setJournal(started.journal.get(), started.whyNoJournal);
    form.show();

    // The review a user makes of a long batch, on the whole log.
    QObject::connect(&form, &Form1::runFinished, &app, [&] {
        if (failuresOnly || !findText.isEmpty() || !saveTo.isEmpty()) {
            form.mnulog_Click();
            LogWindow *window = form.logWindow();
            // The failures' index is built; the search and the save then go
            // over the whole log, the heavier case.
            if (failuresOnly) {
                window->m_view->setFailuresOnly(true);
                std::fprintf(stderr, "%lld failures\n",
                             static_cast<long long>(window->m_view->lineCount()));
                window->m_view->setFailuresOnly(false);
            }
            // Every match once, round to the first again.
            if (!findText.isEmpty() && window->m_view->find(findText, false)) {
                const qsizetype first = window->m_view->cursorLine();
                int found = 1;
                while (window->m_view->find(findText, false) &&
                       window->m_view->cursorLine() != first) {
                    ++found;
                }
                std::fprintf(stderr, "found on %d lines\n", found);
            }
            if (!saveTo.isEmpty()) {
                form.setSaveChooser([&saveTo] { return saveTo; });
                window->m_save->trigger();
            }
        }
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, &form, [&form, &folder] { form.convertFolder(folder); });
    return app.exec();
}
