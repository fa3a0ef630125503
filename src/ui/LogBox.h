#pragma once

#include "convert/MessageLog.h"
#include "ui/FrameClock.h"
#include "ui/LogLines.h"

#include <QList>
#include <QTimer>

namespace velmora {

class LogView;

// The message log held by the main window's text box. Appended lines wait in a
// small buffer and go into the box together at most once a frame, so a batch
// of thousands of files is not slowed down by drawing.
class LogBox : public MessageLog
{
public:
    explicit LogBox(LogView *box);

    void Clear() override;
    // A line that knows from its entry whether it is a failure.
    void Report(const LogEntry &entry) override;
    void AppendLine(const QString &message) override;
    // A line of the window's own that tells of a failure.
    void AppendFailure(const QString &message);
    void Append(const LogLine &line);
    // Shows the pending lines at most once a frame: at once when a frame has
    // passed since the last time, else when the frame is over.
    void Repaint() override;

    // Shows every pending line now; called when an operation is over.
    void flush();

    // The whole log, each line ending in CR LF, pending lines included.
    QString text() const;
    qsizetype lineCount() const;

private:
    LogView *m_box;
    QList<LogLine> m_pending;
    FrameClock m_clock;
    QTimer m_nextFrame;
};

} // namespace velmora
