#include "ui/RunLog.h"

namespace velmora {

void RunLog::Clear()
{
    const QMutexLocker lock(&m_mutex);
    m_lines.clear();
}

void RunLog::AppendLine(const QString &message)
{
    bool tell = false;
    {
        const QMutexLocker lock(&m_mutex);
        m_lines.append(message);
        tell = !m_told;
        m_told = true;
    }
    if (tell) {
        m_wake();
    }
}

QStringList RunLog::take()
{
    const QMutexLocker lock(&m_mutex);
    m_told = false;
    return std::exchange(m_lines, {});
}

} // namespace velmora
