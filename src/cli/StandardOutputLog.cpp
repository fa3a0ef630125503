#include "cli/StandardOutputLog.h"

#include "cli/JsonLines.h"

#include "platform/SystemError.h"
#include "platform/Terminal.h"

#include <chrono>

namespace velmora {

namespace {

// A few hundred lines: a batch of 200,000 files makes about two thousand
// writes, and a reader that leaves finds at most this much unsaid.
constexpr qsizetype writeThreshold = 16 * 1024;
// No line waits longer than the eye would notice.
constexpr std::chrono::milliseconds longestWait{100};

} // namespace

StandardOutputLog::StandardOutputLog(Format format)
    : m_format(format), m_writer([this](std::stop_token stop) { writeByAge(stop); })
{
    m_buffer.reserve(writeThreshold + 4096);
}

StandardOutputLog::~StandardOutputLog()
{
    m_writer.request_stop();
    m_writer.join();
    flush();
}

void StandardOutputLog::Report(const LogEntry &entry)
{
    const std::lock_guard lock(m_mutex);
    m_summary.add(entry);
    if (m_format == Format::JsonLines) {
        appendLocked(jsonLine(entry));
    } else {
        appendTextLocked(formatLine(entry));
    }
}

void StandardOutputLog::AppendLine(const QString &message)
{
    const std::lock_guard lock(m_mutex);
    appendTextLocked(message);
}

void StandardOutputLog::appendTextLocked(const QString &line)
{
    if (isBroken()) {
        return;
    }
    const bool wasEmpty = m_buffer.isEmpty();
    // Encoded straight into the buffer: no temporary per line.
    const qsizetype used = m_buffer.size();
    m_buffer.resize(used + m_utf8.requiredSpace(line.size()) + 1);
    char *end = m_utf8.appendToBuffer(m_buffer.data() + used, line);
    *end++ = '\n';
    m_buffer.resize(end - m_buffer.constData());
    lineAdded(wasEmpty);
}

void StandardOutputLog::appendRaw(QByteArrayView line)
{
    const std::lock_guard lock(m_mutex);
    appendLocked(line);
}

void StandardOutputLog::appendLocked(QByteArrayView bytes)
{
    if (isBroken()) {
        return;
    }
    const bool wasEmpty = m_buffer.isEmpty();
    m_buffer.append(bytes);
    lineAdded(wasEmpty);
}

void StandardOutputLog::lineAdded(bool wasEmpty)
{
    if (m_buffer.size() >= writeThreshold) {
        flushLocked();
    } else if (wasEmpty) {
        m_oldestLine.start();
        m_lineWaiting.notify_one();
    }
}

void StandardOutputLog::writeByAge(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    while (!stop.stop_requested()) {
        m_lineWaiting.wait(lock, stop, [this] { return !m_buffer.isEmpty(); });
        if (stop.stop_requested()) {
            return;
        }
        const auto waited = std::chrono::milliseconds(m_oldestLine.elapsed());
        if (waited >= longestWait) {
            flushLocked();
        } else {
            // Woken early only to stop; a full buffer is written by its filler.
            m_lineWaiting.wait_for(lock, stop, longestWait - waited, [] { return false; });
        }
    }
}

bool StandardOutputLog::flush()
{
    const std::lock_guard lock(m_mutex);
    return flushLocked();
}

bool StandardOutputLog::flushLocked()
{
    if (isBroken()) {
        m_buffer.resize(0);
        return false;
    }
    if (m_buffer.isEmpty()) {
        return true;
    }
    if (m_beforeWrite) {
        m_beforeWrite();
    }
    int error = 0;
    if (!writeAll(StandardStream::Output, m_buffer.constData(), m_buffer.size(), &error)) {
        m_brokenError = error;
        m_broken.store(true, std::memory_order_relaxed);
    }
    m_buffer.resize(0); // keeps the capacity for the next lines
    return !isBroken();
}

void StandardOutputLog::setBeforeWrite(std::function<void()> hook)
{
    const std::lock_guard lock(m_mutex);
    m_beforeWrite = std::move(hook);
}

void StandardOutputLog::exclusive(const std::function<void()> &write)
{
    const std::lock_guard lock(m_mutex);
    write();
}

QString StandardOutputLog::brokenReason() const
{
    const std::lock_guard lock(m_mutex);
    return systemReason(m_brokenError);
}

} // namespace velmora
