#include "cli/StandardOutputLog.h"

#include "platform/Terminal.h"

namespace velmora {

namespace {

// Big enough that a batch of 200,000 files makes a few hundred writes at most.
constexpr qsizetype writeThreshold = 256 * 1024;
// A user watching a long batch sees new lines about four times a second.
constexpr qint64 repaintIntervalMs = 250;

} // namespace

StandardOutputLog::StandardOutputLog()
{
    m_buffer.reserve(writeThreshold + 4096);
    m_sinceWrite.start();
}

StandardOutputLog::~StandardOutputLog()
{
    flush();
}

void StandardOutputLog::AppendLine(const QString &message)
{
    if (message.startsWith(QLatin1String("ERROR: "))) {
        m_sawError = true;
    }
    if (m_broken) {
        return;
    }
    // Encode straight into the buffer: no temporary per line.
    const qsizetype used = m_buffer.size();
    m_buffer.resize(used + m_utf8.requiredSpace(message.size()) + 1);
    char *end = m_utf8.appendToBuffer(m_buffer.data() + used, message);
    *end++ = '\n';
    m_buffer.resize(end - m_buffer.constData());
    if (m_buffer.size() >= writeThreshold) {
        flush();
    }
}

void StandardOutputLog::Repaint()
{
    if (!m_buffer.isEmpty() && m_sinceWrite.hasExpired(repaintIntervalMs)) {
        flush();
    }
}

bool StandardOutputLog::flush()
{
    if (m_broken) {
        return false;
    }
    if (m_buffer.isEmpty()) {
        return true;
    }
    if (m_beforeWrite) {
        m_beforeWrite();
    }
    m_broken = !writeAll(StandardStream::Output, m_buffer.constData(), m_buffer.size());
    m_buffer.resize(0); // keeps the capacity for the next lines
    m_sinceWrite.restart();
    return !m_broken;
}

} // namespace velmora
