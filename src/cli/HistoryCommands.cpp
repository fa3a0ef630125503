#include "cli/HistoryCommands.h"

#include "cli/CommandLine.h"

#include "platform/Terminal.h"
#include "text/PathText.h"

#include <QStringList>

namespace velmora {

namespace {

QString endText(const RecordedRun &run)
{
    switch (run.end) {
    case RecordedRun::End::Finished:
        return QStringLiteral("finished");
    case RecordedRun::End::Stopped:
        return QStringLiteral("stopped");
    case RecordedRun::End::Killed:
        return QStringLiteral("killed");
    case RecordedRun::End::Running:
        return QStringLiteral("running");
    }
    return {};
}

QString filesText(qsizetype n, bool undo)
{
    return QString::number(n) + (n == 1 ? QLatin1String(" file") : QLatin1String(" files")) +
           (undo ? QLatin1String(" restored") : QLatin1String(" converted"));
}

} // namespace

int printHistory()
{
    const std::vector<RecordedRun> runs = readRunHistory(RecordDetail::Header);
    if (runs.empty()) {
        writeText(StandardStream::Error,
                  QStringLiteral("cl2velmora-cli: no run has been recorded\n"));
    }
    QString text;
    bool problems = false;
    for (const RecordedRun &run : runs) {
        if (!run.unreadable.isEmpty()) {
            problems = true;
            writeText(StandardStream::Error,
                      QLatin1String("cl2velmora-cli: a record of a run was left out: ") +
                          escapedPath(run.recordPath) + QLatin1String(": ") + run.unreadable +
                          u'\n');
            continue;
        }
        QStringList paths;
        for (const QByteArray &path : run.paths) {
            paths << escapedPath(path);
        }
        text += runTimeText(run.started) + QLatin1String("  ") + run.program + QLatin1String("  ") +
                filesText(run.fileCount, run.undo) +
                (run.full ? QLatin1String(" (record full)") : QLatin1String()) +
                QLatin1String("  ") + endText(run) + QLatin1String("  ") +
                paths.join(QLatin1String(" ")) + u'\n';
    }
    writeText(StandardStream::Output, text);
    return problems ? SomeFailed : AllSucceeded;
}

std::optional<RecordedRun> runToUndo(QString *why)
{
    std::optional<RecordedRun> newest = readLastRun(RecordDetail::Files);
    if (!newest) {
        *why = QStringLiteral("no run has been recorded: nothing to undo");
        return std::nullopt;
    }
    RecordedRun &last = *newest;
    if (!last.unreadable.isEmpty()) {
        // Undoing the run before it instead would not be what was asked.
        *why = QLatin1String("the last record of a run (") + escapedPath(last.recordPath) +
               QLatin1String(") cannot be used: ") + last.unreadable +
               QLatin1String("; nothing was undone");
        return std::nullopt;
    }
    const QString when = runTimeText(last.started);
    if (last.end == RecordedRun::End::Running) {
        *why = QLatin1String("the last recorded run (") + when +
               QLatin1String(") is still going on: nothing was undone");
        return std::nullopt;
    }
    if (last.undo) {
        *why = QLatin1String("the last recorded run (") + when +
               QLatin1String(") was itself an undo: nothing to undo");
        return std::nullopt;
    }
    return std::move(last);
}

QString turnedAgainNote(qsizetype count)
{
    return QString::number(count) +
           (count == 1 ? QLatin1String(" file was") : QLatin1String(" files were")) +
           QLatin1String(" converted a second time: an earlier run had converted ") +
           (count == 1 ? QLatin1String("it") : QLatin1String("them")) +
           (count == 1 ? QLatin1String(", and it was") : QLatin1String(", and they were")) +
           QLatin1String(" not changed since (cl2velmora-cli --undo-last undoes this run; "
                         "--skip-converted leaves such files out)");
}

} // namespace velmora
