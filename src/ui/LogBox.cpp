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

void LogBox::Report(const LogEntry &entry)
{
    m_pending.append({formatLine(entry), entry.isFailure()});
}

void LogBox::AppendLine(const QString &message)
{
    m_pending.append({message, false});
}

void LogBox::AppendFailure(const QString &message)
{
    m_pending.append({message, true});
}

void LogBox::Append(const LogLine &line)
{
    m_pending.append(line);
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
    const LogLines &shown = m_box->lines();
    for (qsizetype i = 0; i < shown.size(); ++i) {
        all += shown.line(i);
        all += QLatin1String("\r\n");
    }
    for (const LogLine &line : m_pending) {
        all += LogView::asOneLine(line.text);
        all += QLatin1String("\r\n");
    }
    return all;
}

qsizetype LogBox::lineCount() const
{
    return m_box->lines().size() + m_pending.size();
}

} // namespace velmora
