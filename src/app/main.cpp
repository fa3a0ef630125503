#include "convert/StartUp.h"
#include "ui/AppIcon.h"
#include "ui/Form1.h"

#include "platform/Terminal.h"

#include "ProgramInfo.h"

#include <QApplication>
#include <QCommandLineParser>

#include <optional>

using namespace velmora;

namespace {

enum ExitStatus : int { Success = 0, UsageError = 2 };

// The exit status when the arguments ask for help or the version, or are
// wrong; nothing when the window is to start. Until Qt has taken its own
// options (-platform, -style) out, an option we do not know may be one of
// them: a lenient pass lets it be and leaves the decision to the pass after
// QApplication.
std::optional<int> answerCommandLine(const QStringList &arguments, bool lenient)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Rewrites 8-direction CL2 sprite files in place so that their direction "
                       "groups come in the order 1, 3, 5, 7, 0, 2, 4, 6.\n"
                       "Without options it opens its window; cl2velmora-cli does the same work "
                       "from the command line."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOptions({help, version});

    QString error;
    if (!parser.parse(arguments)) {
        if (lenient) {
            return std::nullopt;
        }
        error = parser.errorText();
    } else if (parser.isSet(help)) {
        // The usage line names the program, not the path it was started by.
        QString text = parser.helpText();
        const QLatin1String usage("Usage: ");
        const qsizetype end = text.indexOf(QLatin1String(" [options]"));
        if (text.startsWith(usage) && end > 0) {
            text.replace(usage.size(), end - usage.size(), QStringLiteral("cl2velmora"));
        }
        writeText(StandardStream::Output, text);
        return Success;
    } else if (parser.isSet(version)) {
        writeText(StandardStream::Output, QLatin1String(VersionText) + u'\n');
        return Success;
    } else if (!parser.positionalArguments().isEmpty()) {
        error = QLatin1String("unexpected argument '") + parser.positionalArguments().constFirst() +
                QLatin1String("'");
    }
    if (error.isEmpty()) {
        return std::nullopt;
    }
    writeText(StandardStream::Error,
              QLatin1String("cl2velmora: ") + error +
                  QLatin1String("\nTry 'cl2velmora --help' for more information.\n"));
    return UsageError;
}

} // namespace

int main(int argc, char *argv[])
{
    // Help and the version need no display, so they are answered before the
    // window system is reached.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    if (const std::optional<int> status = answerCommandLine(arguments, true)) {
        return *status;
    }

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cl2velmora"));
    QCoreApplication::setApplicationVersion(QLatin1String(ProgramVersion));
    QGuiApplication::setDesktopFileName(QLatin1String(ApplicationId));
    if (const std::optional<int> status = answerCommandLine(QCoreApplication::arguments(), false)) {
        return *status;
    }
    QApplication::setWindowIcon(velmora::appIcon());

    // The journal outlives the window, whose last run may still write.
    velmora::StartedUp started;
    velmora::Form1 form;
    form.Form_Load();
    // Before anything else: files a killed run left half-rewritten.
    started = velmora::startUp(form.log(), [&form] { form.log().flush(); }, {});
    form.setJournal(started.journal.get(), started.whyNoJournal);
    // After the repair: the last run's files are as the repair left them.
    form.keepHistory();
    form.show();
    return app.exec();
}
