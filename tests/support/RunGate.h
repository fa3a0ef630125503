#pragma once

// Window tests only: holds a window's run after a given number of files, so a
// test can act while the batch is in the middle, then lets it go on.

#include "convert/ConversionRun.h"

#include <QSemaphore>

#include <atomic>

namespace velmora::test {

class RunGate
{
public:
    explicit RunGate(qsizetype holdAfter) : m_holdAfter(holdAfter) {}
    ~RunGate() { open(); }

    // Wraps the run's progress report: the run's thread waits there once the
    // given number of files is done.
    void attach(ConversionRun &run)
    {
        auto report = run.progress;
        run.progress = [this, report](qsizetype done, qsizetype total) {
            if (report) {
                report(done, total);
            }
            if (done == m_holdAfter) {
                m_held = true;
                m_gate.acquire();
            }
        };
    }
    bool held() const { return m_held; }
    void open()
    {
        if (m_held && !m_opened) {
            m_opened = true;
            m_gate.release();
        }
    }

private:
    qsizetype m_holdAfter;
    QSemaphore m_gate;
    std::atomic<bool> m_held{false};
    bool m_opened = false;
};

} // namespace velmora::test
