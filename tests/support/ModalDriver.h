#pragma once

// Window tests only: drives a real modal dialog while the test is blocked in
// its exec(), the way Qt's own dialog tests do. Include only from tests that
// link the widget library.

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace velmora::test {

// Polls for the next visible modal widget and runs the action on it once. If
// the action leaves the dialog open, it is hidden after a grace period so the
// test fails instead of hanging, and stuck() says so.
class ModalDriver
{
public:
    explicit ModalDriver(std::function<void(QWidget *)> action, int timeoutMs = 5000)
        : m_action(std::move(action)), m_timeoutMs(timeoutMs)
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { poll(); });
        m_clock.start();
        m_poll.start();
    }

    // The dialog the action ran on, or null when none showed up in time.
    QWidget *dialog() const { return m_dialog; }
    bool acted() const { return m_acted; }
    bool stuck() const { return m_stuck; }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            m_poll.stop();
            m_dialog = modal;
            m_acted = true;
            m_action(modal);
            m_grace.setSingleShot(true);
            QObject::connect(&m_grace, &QTimer::timeout, [this, guard = QPointer(modal)] {
                if (guard && guard->isVisible()) {
                    m_stuck = true;
                    guard->hide();
                }
            });
            m_grace.start(m_timeoutMs);
            return;
        }
        if (m_clock.elapsed() > m_timeoutMs) {
            m_poll.stop();
        }
    }

    std::function<void(QWidget *)> m_action;
    int m_timeoutMs;
    QTimer m_poll;
    QTimer m_grace;
    QElapsedTimer m_clock;
    QWidget *m_dialog = nullptr;
    bool m_acted = false;
    bool m_stuck = false;
};

} // namespace velmora::test
