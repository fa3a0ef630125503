#pragma once

#include "convert/MessageLog.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringEncoder>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace velmora {

// The message log of the command line: each line goes to standard output as
// UTF-8 ending in "\n". Lines collect in a small buffer, written when it
// fills and by a thread of its own once its oldest line is a tenth of a
// second old: a batch of many small files makes few writes, and a reader (or
// a kill) never misses more than a moment of lines.
class StandardOutputLog : public MessageLog
{
public:
    StandardOutputLog();
    ~StandardOutputLog() override;

    // What is already on a terminal cannot be taken back.
    void Clear() override {}
    void AppendLine(const QString &message) override;
    // Lines are written by age, not by repaint.
    void Repaint() override {}

    // Writes everything buffered. False once standard output is gone.
    bool flush();

    // Called just before each write, e.g. to take a status line off the
    // screen; it runs under the same lock as exclusive().
    void setBeforeWrite(std::function<void()> hook);
    // Runs write while no line is being written: whatever else draws on the
    // terminal (a status line) goes through here.
    void exclusive(const std::function<void()> &write);

    bool sawError() const { return m_sawError; }
    // Standard output refused a write (its reader left, a full disk):
    // nothing more is shown. Safe from any thread.
    bool isBroken() const { return m_broken.load(std::memory_order_relaxed); }
    // Why, once broken.
    QString brokenReason() const;

private:
    // With the lock held.
    bool flushLocked();
    void writeByAge(std::stop_token stop);

    mutable std::mutex m_mutex;
    std::condition_variable_any m_lineWaiting;
    QByteArray m_buffer;
    QStringEncoder m_utf8{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    QElapsedTimer m_oldestLine; // since the first line in the buffer
    std::function<void()> m_beforeWrite;
    bool m_sawError = false;
    std::atomic<bool> m_broken{false};
    int m_brokenError = 0;
    std::jthread m_writer; // last: it starts once everything above is ready
};

} // namespace velmora
