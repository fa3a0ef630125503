#include "cli/CommandLine.h"

#include "cli/PathList.h"

#include "platform/Terminal.h"

#include "ProgramInfo.h"

#include <QCommandLineParser>

namespace velmora {

namespace {

int usageError(const QString &message)
{
    writeText(StandardStream::Error,
              QLatin1String("cl2velmora-cli: ") + message +
                  QLatin1String("\nTry 'cl2velmora-cli --help' for more information.\n"));
    return UsageError;
}

// Text stands for an argument whose bytes are not UTF-8 while the parser
// works: a noncharacter and the argument's index, taken back to its bytes
// afterwards, so such a name reaches the system exactly as it was given.
const QChar BytesMark(0xFDD0);

QStringList argumentTexts(const QList<QByteArray> &arguments)
{
    QStringList texts;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString text = QString::fromUtf8(arguments[i]);
        texts.append(text.toUtf8() == arguments[i] ? text : BytesMark + QString::number(i));
    }
    return texts;
}

QByteArray argumentBytes(const QString &text, const QList<QByteArray> &arguments)
{
    bool isIndex = false;
    const qsizetype index = text.startsWith(BytesMark) ? text.mid(1).toLongLong(&isIndex) : -1;
    return isIndex && index >= 0 && index < arguments.size() ? arguments[index] : text.toUtf8();
}

} // namespace

CommandLine parseCommandLine(const QList<QByteArray> &rawArguments)
{
    const QStringList arguments = argumentTexts(rawArguments);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Rewrites 8-direction CL2 sprite files in place so that their direction groups come in "
        "the order 1, 3, 5, 7, 0, 2, 4, 6.\n"
        "A PATH that is a folder is searched with all its subfolders for files matching the "
        "mask list; any other PATH is converted as one file.\n"
        "Each result is one line on standard output beginning \"SUCCESS: \" or \"ERROR: \".\n"
        "A file that a killed run left half-rewritten is put back at the next start.\n"
        "Exit status: 0 when every file was converted, 1 when some were left as they are (not "
        "8-direction files), 2 for a usage error, 3 when a file or folder failed."));
    const QCommandLineOption dryRun({QStringLiteral("n"), QStringLiteral("dry-run")},
                                    QStringLiteral("Check every file and report what would be "
                                                   "done; write nothing."));
    const QCommandLineOption undo({QStringLiteral("u"), QStringLiteral("undo")},
                                  QStringLiteral("Put converted files back in their previous "
                                                 "order."));
    const QCommandLineOption mask(QStringLiteral("mask"),
                                  QStringLiteral("Which file names a folder search takes: "
                                                 "wildcard masks separated by ',', ';' or "
                                                 "spaces; a mask starting with '!' excludes "
                                                 "(default: *.cl2)."),
                                  QStringLiteral("LIST"), QStringLiteral("*.cl2"));
    const QCommandLineOption jobs(
        {QStringLiteral("j"), QStringLiteral("jobs")},
        QStringLiteral("How many files are converted at once at most (default %1); 1 works "
                       "through them one after another. The log keeps the search order "
                       "either way.")
            .arg(ConversionOptions::DefaultJobs),
        QStringLiteral("N"), QString::number(ConversionOptions::DefaultJobs));
    const QCommandLineOption sync(
        QStringLiteral("sync"),
        QStringLiteral("Wait for each file to reach the disk, so that even a power cut leaves "
                       "every file either as it was or converted (slower)."));
    const QCommandLineOption filesFrom(
        QStringLiteral("files-from"),
        QStringLiteral("Also convert the paths listed in FILE, one a line ('-' reads them from "
                       "standard input)."),
        QStringLiteral("FILE"));
    const QCommandLineOption null({QStringLiteral("0"), QStringLiteral("null")},
                                  QStringLiteral("The paths of --files-from are each ended by a "
                                                 "NUL byte, not a newline (as find -print0 "
                                                 "writes them)."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print each result as a JSON object on a line of "
                                                 "its own, then a summary object."));
    const QCommandLineOption stats(QStringLiteral("stats"),
                                   QStringLiteral("Print a summary of the run on standard error "
                                                  "(done anyway when it is a terminal)."));
    const QCommandLineOption history(QStringLiteral("history"),
                                     QStringLiteral("List the recorded runs (the last 20 at "
                                                    "most) and exit."));
    const QCommandLineOption undoLast(
        QStringLiteral("undo-last"),
        QStringLiteral("Put back the files the last recorded run converted, those that are "
                       "unchanged since; takes no PATH."));
    const QCommandLineOption skipConverted(
        QStringLiteral("skip-converted"),
        QStringLiteral("Leave out files that a recorded run converted and that are unchanged "
                       "since (to resume a run that was stopped)."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOptions({dryRun, undo, mask, jobs, sync, filesFrom, null, json, stats, history,
                       undoLast, skipConverted, help, version});
    parser.addPositionalArgument(QStringLiteral("PATH"),
                                 QStringLiteral("A CL2 file, or a folder to search."),
                                 QStringLiteral("PATH..."));

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.exitStatus = usageError(parser.errorText());
        return result;
    }
    if (parser.isSet(help)) {
        // The usage line names the program, not the path it was started by.
        QString text = parser.helpText();
        const QString started = QLatin1String("Usage: ") + arguments.value(0);
        if (text.startsWith(started)) {
            text.replace(0, started.size(), QStringLiteral("Usage: cl2velmora-cli"));
        }
        writeText(StandardStream::Output, text);
        return result;
    }
    if (parser.isSet(version)) {
        writeText(StandardStream::Output, QLatin1String(VersionText) + u'\n');
        return result;
    }
    bool jobsOk = false;
    result.conversion.jobs = parser.value(jobs).toInt(&jobsOk);
    if (!jobsOk || result.conversion.jobs < 1 || result.conversion.jobs > MaxJobs) {
        result.exitStatus =
            usageError(QStringLiteral("--jobs takes a number from 1 to %1, not '%2'")
                           .arg(MaxJobs)
                           .arg(parser.value(jobs)));
        return result;
    }
    for (const QString &path : parser.positionalArguments()) {
        result.paths.append(argumentBytes(path, rawArguments));
    }
    if (parser.isSet(null) && !parser.isSet(filesFrom)) {
        result.exitStatus = usageError(QStringLiteral("--null goes with --files-from"));
        return result;
    }
    if (parser.isSet(filesFrom)) {
        QString error;
        if (!readPathList(parser.value(filesFrom), parser.isSet(null), &result.paths, &error)) {
            result.exitStatus = usageError(QLatin1String("--files-from ") +
                                           parser.value(filesFrom) + QLatin1String(": ") + error);
            return result;
        }
        // An empty list is nothing to do, as for xargs -r or rsync.
        result.run = true;
    }
    result.history = parser.isSet(history);
    result.undoLast = parser.isSet(undoLast);
    result.conversion.skipConverted = parser.isSet(skipConverted);
    for (const auto &[set, name] :
         {std::pair{result.history, "--history"}, std::pair{result.undoLast, "--undo-last"}}) {
        if (set && (!result.paths.isEmpty() || parser.isSet(filesFrom))) {
            result.exitStatus = usageError(QLatin1String(name) + QLatin1String(" takes no PATH"));
            return result;
        }
    }
    if ((result.undoLast || result.conversion.skipConverted) && parser.isSet(undo)) {
        result.exitStatus =
            usageError(result.undoLast ? QStringLiteral("--undo-last goes without --undo")
                                       : QStringLiteral("--skip-converted goes without --undo"));
        return result;
    }
    if (result.history || result.undoLast) {
        result.run = true;
    }
    if (result.paths.isEmpty() && !result.run) {
        result.exitStatus = usageError(QStringLiteral("no PATH given"));
        return result;
    }
    result.run = true;
    result.conversion.dryRun = parser.isSet(dryRun);
    result.conversion.undo = parser.isSet(undo) || result.undoLast;
    result.conversion.syncToDisk = parser.isSet(sync);
    result.json = parser.isSet(json);
    result.stats = parser.isSet(stats);
    result.conversion.maskList = parser.value(mask);
    return result;
}

} // namespace velmora
