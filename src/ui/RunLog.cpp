#include "ui/RunLog.h"

namespace velmora {

void RunLog::Clear()
{
    const QMutexLocker lock(&m_mutex);
    m_lines.clear();
    m_summary = {};
}

void RunLog::Report(const LogEntry &entry)
{
    const QString line = formatLine(entry);
    const QMutexLocker lock(&m_mutex);
    m_summary.add(entry);
    m_lines.append(line);
}

RunSummary RunLog::summary()
{
    const QMutexLocker lock(&m_mutex);
    return m_summary;
}

void RunLog::AppendLine(const QString &message)
{
    const QMutexLocker lock(&m_mutex);
    m_lines.append(message);
}

QStringList RunLog::take()
{
    const QMutexLocker lock(&m_mutex);
    return std::exchange(m_lines, {});
}

} // namespace velmora
