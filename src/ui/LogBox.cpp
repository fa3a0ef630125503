#include "ui/LogBox.h"

#include "ui/LogView.h"

namespace velmora {

LogBox::LogBox(LogView *box) : m_box(box)
{
    m_nextFrame.setSingleShot(true);
    m_nextFrame.setInterval(int(FrameClock::FrameMs));
    QObject::connect(&m_nextFrame, &QTimer::timeout, [this] { flush(); });
}

void LogBox::Clear()
{
    m_pending.clear();
    m_box->clear();
    m_clock.reset();
    m_nextFrame.stop();
}

void LogBox::AppendLine(const QString &message)
{
    m_pending.append(message);
}

void LogBox::Repaint()
{
    if (m_clock.due()) {
        flush();
    } else if (!m_nextFrame.isActive()) {
        m_nextFrame.start();
    }
}

void LogBox::flush()
{
    m_nextFrame.stop();
    if (!m_pending.isEmpty()) {
        m_box->appendLines(m_pending);
        m_pending.clear();
    }
}

QString LogBox::text() const
{
    QString all;
    for (qsizetype i = 0; i < m_box->lineCount(); ++i) {
        all += m_box->line(i);
        all += QLatin1String("\r\n");
    }
    for (const QString &line : m_pending) {
        all += LogView::asOneLine(line);
        all += QLatin1String("\r\n");
    }
    return all;
}

qsizetype LogBox::lineCount() const
{
    return m_box->lineCount() + m_pending.size();
}

} // namespace velmora
