#pragma once

#include <QtGlobal>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace velmora {

// Work on a list of items in two steps: prepare(i, slot) on up to `jobs`
// threads, a window of items ahead, and finish(i, slot) on the calling thread
// strictly in the order of i. A slot (the state of one item between the two
// steps) is reused round the window, so memory does not grow with the list.
// The list may grow while it is worked on: finish may call extend(). With one
// job, both steps run on the calling thread, one item after another.
// A thread takes `chunk` items at a time: handing work from thread to thread
// costs far more than a small item, so it is done for many at once. The
// calling thread prepares an item itself when no other thread has taken it
// yet, so the other threads only ever speed the work up: they are woken when
// a whole chunk waits for them, and on a warm disk they are often not needed.
template <typename Slot> class OrderedWork
{
public:
    OrderedWork(int jobs, qsizetype count, qsizetype chunk = 1)
        : m_jobs(jobs), m_count(count), m_chunk(std::max<qsizetype>(chunk, 1)),
          m_slots(std::size_t(std::max(jobs, 1) * 2 * m_chunk)), m_ready(m_slots.size(), false)
    {
    }

    // Items up to count can now be prepared; count never shrinks.
    void extend(qsizetype count)
    {
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            m_count = count;
            wake = chunkWaits();
        }
        if (wake) {
            m_spaceFreed.notify_one();
        }
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
                for (auto [first, end] = take(); first < end; std::tie(first, end) = take()) {
                    for (qsizetype i = first; i < end; ++i) {
                        prepare(i, slot(i));
                    }
                    prepared(first, end);
                }
            });
        }
        // Only this thread extends the list, so it may read the count freely.
        for (; done < m_count && !shouldStop(); ++done) {
            if (claimOrWait(done)) {
                prepare(done, slot(done));
            }
            finish(done, slot(done));
            finished(done);
        }
        stop();
        return done;
    }

private:
    Slot &slot(qsizetype i) { return m_slots[std::size_t(i) % m_slots.size()]; }

    // The next items to prepare, [first, end); empty once the work is over.
    // Waits while the window is full or every item so far is taken.
    std::pair<qsizetype, qsizetype> take()
    {
        const qsizetype window = qsizetype(m_slots.size());
        std::unique_lock lock(m_mutex);
        m_spaceFreed.wait(lock, [this, window] {
            return m_stopped || (m_next < m_count && m_next - m_finished < window);
        });
        // Another idle thread may take the chunk after this one.
        const bool more = m_count - m_next > 2 * m_chunk;
        if (m_stopped) {
            return {0, 0};
        }
        const qsizetype first = m_next;
        const qsizetype end = std::min({m_count, first + m_chunk, m_finished + window});
        m_next = end;
        lock.unlock();
        if (more) {
            m_spaceFreed.notify_one();
        }
        return {first, end};
    }
    // Whether a whole chunk waits to be taken and fits the window; the caller
    // holds the lock.
    bool chunkWaits() const
    {
        return m_count - m_next >= m_chunk &&
               m_next + m_chunk - m_finished <= qsizetype(m_slots.size());
    }
    void prepared(qsizetype first, qsizetype end)
    {
        bool awaited = false;
        {
            const std::lock_guard lock(m_mutex);
            for (qsizetype i = first; i < end; ++i) {
                m_ready[std::size_t(i) % m_ready.size()] = true;
            }
            awaited = m_awaited >= first && m_awaited < end;
        }
        // Only the item the finishing thread waits for is worth waking it.
        if (awaited) {
            m_readied.notify_one();
        }
    }
    // True when item i is not taken yet: the caller takes it and prepares it
    // itself. Otherwise waits until the thread that took it is done.
    bool claimOrWait(qsizetype i)
    {
        std::unique_lock lock(m_mutex);
        if (i == m_next) {
            ++m_next;
            return true;
        }
        m_awaited = i;
        m_readied.wait(lock, [this, i] { return bool(m_ready[std::size_t(i) % m_ready.size()]); });
        m_awaited = -1;
        return false;
    }
    // Item i is finished: its slot is free for an item further on. Workers
    // are woken once a whole chunk of slots is free.
    void finished(qsizetype i)
    {
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            m_ready[std::size_t(i) % m_ready.size()] = false;
            m_finished = i + 1;
            wake = m_finished % m_chunk == 0 && chunkWaits();
        }
        if (wake) {
            m_spaceFreed.notify_one();
        }
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
    const qsizetype m_chunk;
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
