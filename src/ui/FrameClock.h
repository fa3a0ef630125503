#pragma once

#include <QElapsedTimer>

namespace velmora {

// Paces work that only the eye needs (redrawing the log, showing progress) to
// about 60 times a second, however fast the calls come.
class FrameClock
{
public:
    static constexpr qint64 FrameMs = 16;

    // True on the first call and then once a frame has passed since the last
    // true; restarts the frame when it says true.
    bool due()
    {
        if (m_clock.isValid() && m_clock.elapsed() < FrameMs) {
            return false;
        }
        m_clock.start();
        return true;
    }

    // The next due() says true at once.
    void reset() { m_clock.invalidate(); }

private:
    QElapsedTimer m_clock;
};

} // namespace velmora
