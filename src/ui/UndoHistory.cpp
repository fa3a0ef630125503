#include "ui/UndoHistory.h"

#include "convert/RunHistory.h"
#include "convert/RunRecord.h"

#include <utility>

namespace velmora {

UndoHistory::UndoHistory() = default;
UndoHistory::~UndoHistory() = default;

void UndoHistory::keep()
{
    m_kept = true;
    std::optional<RecordedRun> last = readLastRun(RecordDetail::Files);
    // The last run, unless it cannot be read, was an undo, or still goes on.
    if (last && last->unreadable.isEmpty() && !last->undo &&
        last->end != RecordedRun::End::Running) {
        m_lastConverted = std::move(last->files);
        m_lastStarted = last->started;
        m_lastPaths = last->paths;
    }
}

RunRecord *UndoHistory::begin(const QList<QByteArray> &paths, const ConversionOptions &options,
                              QString *why)
{
    m_runPaths = paths;
    if (m_kept && !options.dryRun) {
        m_record = RunRecord::create(QStringLiteral("cl2velmora"), paths, options.undo, why);
    }
    return m_record.get();
}

void UndoHistory::finish(const FinishedRun &run)
{
    const QDateTime started = m_record ? m_record->started() : QDateTime::currentDateTime();
    if (m_record) {
        m_record->finish(run.summary.stopped);
        m_record.reset();
    }
    if (!run.undo) {
        m_lastConverted = run.converted;
        m_lastStarted = started;
        m_lastPaths = m_runPaths;
    }
}

QString UndoHistory::undoText() const
{
    const qsizetype n = undoableCount();
    return n == 0 ? QStringLiteral("&Undo Last Conversion")
                  : QStringLiteral("&Undo Last Conversion (%1 %2, %3)")
                        .arg(n)
                        .arg(n == 1 ? QStringLiteral("file") : QStringLiteral("files"))
                        .arg(runTimeText(m_lastStarted));
}

std::shared_ptr<ConvertedFiles> UndoHistory::take(QList<QByteArray> *paths)
{
    *paths = m_lastPaths;
    return std::make_shared<ConvertedFiles>(std::exchange(m_lastConverted, {}));
}

} // namespace velmora
