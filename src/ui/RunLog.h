#pragma once

#include "convert/MessageLog.h"

#include <QMutex>
#include <QStringList>

#include <functional>

namespace velmora {

// The message log a run writes to from its own thread. Lines collect under a
// lock; the first line after the window took the last ones wakes the window
// with one queued call, so a batch of many files costs one wake-up per frame
// or so, not one per line, and lines keep their order.
class RunLog : public MessageLog
{
public:
    // wake is called on the run's thread when lines wait and the window has
    // not yet been told.
    explicit RunLog(std::function<void()> wake) : m_wake(std::move(wake)) {}

    void Clear() override;
    void AppendLine(const QString &message) override;
    // The window paces its own drawing.
    void Repaint() override {}

    // Takes every line that waits; the next line wakes the window again.
    QStringList take();

private:
    std::function<void()> m_wake;
    QMutex m_mutex;
    QStringList m_lines;
    bool m_told = false;
};

} // namespace velmora
