#pragma once

#include "convert/MessageLog.h"
#include "convert/RunSummary.h"

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

// The message log of the command line: each entry goes to standard output as
// its text line or, with --json, as a JSON object, in UTF-8 ending in "\n",
// and is counted for the run's summary. Lines collect in a small buffer, written when it
// fills and by a thread of its own once its oldest line is a tenth of a
// second old: a batch of many small files makes few writes, and a reader (or
// a kill) never misses more than a moment of lines.
class StandardOutputLog : public MessageLog
{
public:
    enum class Format { Text, JsonLines };

    explicit StandardOutputLog(Format format = Format::Text);
    ~StandardOutputLog() override;

    // What is already on a terminal cannot be taken back.
    void Clear() override {}
    void Report(const LogEntry &entry) override;
    void AppendLine(const QString &message) override;
    // Writes bytes that are already a line (the JSON summary).
    void appendRaw(QByteArrayView line);
    const RunSummary &summary() const { return m_summary; }
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

    // Standard output refused a write (its reader left, a full disk):
    // nothing more is shown. Safe from any thread.
    bool isBroken() const { return m_broken.load(std::memory_order_relaxed); }
    // Why, once broken.
    QString brokenReason() const;

private:
    // With the lock held.
    void appendTextLocked(const QString &line);
    void appendLocked(QByteArrayView bytes);
    void lineAdded(bool wasEmpty);
    bool flushLocked();
    void writeByAge(std::stop_token stop);

    mutable std::mutex m_mutex;
    std::condition_variable_any m_lineWaiting;
    QByteArray m_buffer;
    QStringEncoder m_utf8{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    QElapsedTimer m_oldestLine; // since the first line in the buffer
    std::function<void()> m_beforeWrite;
    Format m_format;
    RunSummary m_summary;
    std::atomic<bool> m_broken{false};
    int m_brokenError = 0;
    std::jthread m_writer; // last: it starts once everything above is ready
};

} // namespace velmora
