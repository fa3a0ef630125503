#pragma once

#include "convert/MessageLog.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QStringEncoder>

#include <atomic>
#include <functional>

namespace velmora {

// The message log of the command line: each line goes to standard output as
// UTF-8 ending in "\n". Lines collect in a large buffer that is written when it
// fills, a few times a second while a batch runs, and at the end, so a batch of
// many small files costs little more than the conversion's own system calls.
class StandardOutputLog : public MessageLog
{
public:
    StandardOutputLog();
    ~StandardOutputLog() override;

    // What is already on a terminal cannot be taken back.
    void Clear() override {}
    void AppendLine(const QString &message) override;
    // Writes the buffer when the last write is old enough for the eye to miss it.
    void Repaint() override;

    // Writes everything buffered. False once standard output is gone.
    bool flush();

    // Called just before each write, e.g. to take a status line off the screen.
    void setBeforeWrite(std::function<void()> hook) { m_beforeWrite = std::move(hook); }

    bool sawError() const { return m_sawError; }
    // Standard output refused a write (its reader left): nothing more is shown.
    // Safe from any thread.
    bool isBroken() const { return m_broken.load(std::memory_order_relaxed); }

private:
    QByteArray m_buffer;
    QStringEncoder m_utf8{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    QElapsedTimer m_sinceWrite;
    std::function<void()> m_beforeWrite;
    bool m_sawError = false;
    std::atomic<bool> m_broken{false};
};

} // namespace velmora
