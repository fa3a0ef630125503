#pragma once

#include "convert/MessageLog.h"
#include "ui/FrameClock.h"

#include <QStringList>
#include <QTimer>

class QPlainTextEdit;

namespace velmora {

// The message log held by the main window's text box. Appended lines wait in a
// small buffer and go into the box in one insert per frame, so a line costs
// the same however long the log already is, and a batch of thousands of files
// is not slowed down by drawing.
class LogBox : public MessageLog
{
public:
    explicit LogBox(QPlainTextEdit *box);

    void Clear() override;
    void AppendLine(const QString &message) override;
    // Shows the pending lines at most once a frame: at once when a frame has
    // passed since the last time, else when the frame is over.
    void Repaint() override;

    // Shows every pending line now; called when an operation is over.
    void flush();

    // The whole log, each line ending in CR LF, pending lines included.
    QString text() const;
    qsizetype lineCount() const { return m_shown + m_pending.size(); }

private:
    QPlainTextEdit *m_box;
    QStringList m_pending;
    qsizetype m_shown = 0;
    FrameClock m_clock;
    QTimer m_nextFrame;
};

} // namespace velmora
