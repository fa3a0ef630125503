#include "convert/FileInFlight.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace velmora {

namespace {

// The files between the oldest not yet finished and the newest being
// prepared: each window slot holds one, reused round the ring.
class InFlightWindow
{
public:
    InFlightWindow(qsizetype count, std::size_t size)
        : m_count(count), m_slots(size), m_ready(size, false)
    {
    }

    FileInFlight &slot(qsizetype i) { return m_slots[std::size_t(i) % m_slots.size()]; }

    // The next file for a worker to prepare, or -1 once there is none (all
    // taken, or the batch stopped). Waits while the window is full.
    qsizetype take()
    {
        std::unique_lock lock(m_mutex);
        m_spaceFreed.wait(lock, [this] {
            return m_stopped || m_next >= m_count ||
                   m_next - m_finished < qsizetype(m_slots.size());
        });
        if (m_stopped || m_next >= m_count) {
            return -1;
        }
        return m_next++;
    }
    void prepared(qsizetype i)
    {
        bool awaited = false;
        {
            const std::lock_guard lock(m_mutex);
            m_ready[std::size_t(i) % m_ready.size()] = true;
            awaited = i == m_awaited;
        }
        // Only the file the finishing thread waits for is worth waking it.
        if (awaited) {
            m_readied.notify_one();
        }
    }
    // Waits until file i is prepared.
    void waitFor(qsizetype i)
    {
        std::unique_lock lock(m_mutex);
        m_awaited = i;
        m_readied.wait(lock, [this, i] { return bool(m_ready[std::size_t(i) % m_ready.size()]); });
        m_awaited = -1;
    }
    // File i is finished: its slot is free for one file further on.
    void finished(qsizetype i)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_ready[std::size_t(i) % m_ready.size()] = false;
            m_finished = i + 1;
        }
        m_spaceFreed.notify_one();
    }
    void stop()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_spaceFreed.notify_all();
    }

private:
    const qsizetype m_count;
    std::vector<FileInFlight> m_slots;
    std::vector<bool> m_ready;
    std::mutex m_mutex;
    std::condition_variable m_spaceFreed;
    std::condition_variable m_readied;
    qsizetype m_awaited = -1;
    qsizetype m_next = 0;
    qsizetype m_finished = 0;
    bool m_stopped = false;
};

} // namespace

qsizetype convertInOrder(qsizetype count, int jobs,
                         const std::function<void(qsizetype, FileInFlight &)> &prepare,
                         const std::function<void(qsizetype, FileInFlight &)> &finish,
                         const std::function<bool()> &shouldStop)
{
    if (jobs <= 1 || count <= 1) {
        FileInFlight file;
        for (qsizetype i = 0; i < count; ++i) {
            if (shouldStop()) {
                return i;
            }
            prepare(i, file);
            finish(i, file);
        }
        return count;
    }
    // Twice as many slots as workers: each worker can start its next file
    // while the one before waits for its turn to be finished.
    InFlightWindow window(count, std::size_t(jobs) * 2);
    std::vector<std::jthread> workers;
    workers.reserve(std::size_t(jobs));
    for (int w = 0; w < jobs; ++w) {
        workers.emplace_back([&window, &prepare] {
            for (qsizetype i = window.take(); i >= 0; i = window.take()) {
                prepare(i, window.slot(i));
                window.prepared(i);
            }
        });
    }
    qsizetype done = 0;
    for (; done < count; ++done) {
        if (shouldStop()) {
            break;
        }
        window.waitFor(done);
        finish(done, window.slot(done));
        window.finished(done);
    }
    // Files still being prepared are let finish that step, then dropped
    // unwritten; their files close with their slots.
    window.stop();
    workers.clear();
    return done;
}

} // namespace velmora
