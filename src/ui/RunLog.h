#pragma once

#include "convert/MessageLog.h"
#include "convert/RunSummary.h"
#include "ui/LogLines.h"

#include <QMutex>
#include <QStringList>

namespace velmora {

// The message log a run writes to from its own thread. Lines collect under a
// lock, in order, until the window takes them, once a frame: a batch of many
// files never wakes the window once a line.
class RunLog : public MessageLog
{
public:
    void Clear() override;
    void Report(const LogEntry &entry) override;
    void AppendLine(const QString &message) override;
    // A line of the window's own that tells of a failure.
    void AppendFailure(const QString &message);
    // The window paces its own drawing.
    void Repaint() override {}

    // Takes every line that waits.
    QList<LogLine> take();
    // What the entries so far add up to.
    RunSummary summary();

private:
    QMutex m_mutex;
    QList<LogLine> m_lines;
    RunSummary m_summary;
};

} // namespace velmora
