#include "convert/MessageLog.h"

namespace velmora {

void StringMessageLog::Clear()
{
    m_lines.clear();
    m_entries.clear();
}

void StringMessageLog::Report(const LogEntry &entry)
{
    m_entries.push_back(entry);
    AppendLine(formatLine(entry));
}

void StringMessageLog::AppendLine(const QString &message)
{
    m_lines.append(message);
}

void StringMessageLog::Repaint()
{
    ++m_repaints;
}

QString StringMessageLog::text() const
{
    QString all;
    for (const QString &line : m_lines) {
        all += line + QLatin1String("\r\n");
    }
    return all;
}

} // namespace velmora
