#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace velmora {

// Work on a list of items in two steps: prepare(i, slot) on up to `jobs`
// threads, a window of items ahead, and finish(i, slot) on the calling thread
// strictly in the order of i. A slot (the state of one item between the two
// steps) is reused round the window, so memory does not grow with the list.
// The list may grow while it is worked on: finish may call extend(). With one
// job, both steps run on the calling thread, one item after another.
template <typename Slot> class OrderedWork
{
public:
    OrderedWork(int jobs, qsizetype count)
        : m_jobs(jobs), m_count(count), m_slots(std::size_t(std::max(jobs, 1)) * 2),
          m_ready(m_slots.size(), false)
    {
    }

    // Items up to count can now be prepared; count never shrinks.
    void extend(qsizetype count)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_count = count;
        }
        m_spaceFreed.notify_all();
    }

    // Runs the two steps until every item is finished or shouldStop, asked
    // before each finish, says so: then no further item starts, and those
    // being prepared are let finish that step and dropped. Returns how many
    // items were finished.
    template <typename Prepare, typename Finish, typename Stop>
    qsizetype run(const Prepare &prepare, const Finish &finish, const Stop &shouldStop)
    {
        qsizetype done = 0;
        if (m_jobs <= 1) {
            for (; done < m_count && !shouldStop(); ++done) {
                prepare(done, m_slots.front());
                finish(done, m_slots.front());
            }
            return done;
        }
        std::vector<std::jthread> workers;
        workers.reserve(std::size_t(m_jobs));
        for (int w = 0; w < m_jobs; ++w) {
            workers.emplace_back([this, &prepare] {
                for (qsizetype i = take(); i >= 0; i = take()) {
                    prepare(i, slot(i));
                    prepared(i);
                }
            });
        }
        // Only this thread extends the list, so it may read the count freely.
        for (; done < m_count && !shouldStop(); ++done) {
            waitFor(done);
            finish(done, slot(done));
            finished(done);
        }
        stop();
        return done;
    }

private:
    Slot &slot(qsizetype i) { return m_slots[std::size_t(i) % m_slots.size()]; }

    // The next item to prepare, or -1 once the work is over. Waits while the
    // window is full or every item so far is taken.
    qsizetype take()
    {
        std::unique_lock lock(m_mutex);
        m_spaceFreed.wait(lock, [this] {
            return m_stopped ||
                   (m_next < m_count && m_next - m_finished < qsizetype(m_slots.size()));
        });
        return m_stopped ? -1 : m_next++;
    }
    void prepared(qsizetype i)
    {
        bool awaited = false;
        {
            const std::lock_guard lock(m_mutex);
            m_ready[std::size_t(i) % m_ready.size()] = true;
            awaited = i == m_awaited;
        }
        // Only the item the finishing thread waits for is worth waking it.
        if (awaited) {
            m_readied.notify_one();
        }
    }
    void waitFor(qsizetype i)
    {
        std::unique_lock lock(m_mutex);
        m_awaited = i;
        m_readied.wait(lock, [this, i] { return bool(m_ready[std::size_t(i) % m_ready.size()]); });
        m_awaited = -1;
    }
    // Item i is finished: its slot is free for one item further on.
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

    const int m_jobs;
    qsizetype m_count;
    std::vector<Slot> m_slots;
    std::vector<bool> m_ready;
    std::mutex m_mutex;
    std::condition_variable m_spaceFreed;
    std::condition_variable m_readied;
    qsizetype m_awaited = -1;
    qsizetype m_next = 0;
    qsizetype m_finished = 0;
    bool m_stopped = false;
};

} // namespace velmora
