#include "ui/RunLog.h"

namespace velmora {

void RunLog::Clear()
{
    const QMutexLocker lock(&m_mutex);
    m_lines.clear();
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
