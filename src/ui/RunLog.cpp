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
    m_lines.append({line, entry.isFailure()});
}

RunSummary RunLog::summary()
{
    const QMutexLocker lock(&m_mutex);
    return m_summary;
}

void RunLog::AppendLine(const QString &message)
{
    const QMutexLocker lock(&m_mutex);
    m_lines.append({message, false});
}

void RunLog::AppendFailure(const QString &message)
{
    const QMutexLocker lock(&m_mutex);
    m_lines.append({message, true});
}

QList<LogLine> RunLog::take()
{
    const QMutexLocker lock(&m_mutex);
    return std::exchange(m_lines, {});
}

} // namespace velmora
