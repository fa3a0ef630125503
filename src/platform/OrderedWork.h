#pragma once

#include <QtGlobal>

#include <algorithm>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace velmora {

// Work on a list of items in steps: open(i, slot), then admit(i, slot)
// strictly in the order of i, then work(i, slot, thread), all on up to `jobs`
// threads, a window of items ahead; and finish(i, slot) on the calling thread
// in the order of i. Admission in order lets a step decide as the items would
// have been decided one after another (which of two names of one file comes
// first), while the slow parts (open, work) overlap. `thread` numbers the
// threads 0 .. jobs - 1; the calling thread is `jobs`.
// A slot (the state of one item between the steps) is reused round the
// window, so memory does not grow with the list. The list may grow while it
// is worked on: finish may call extend(). With one job, every step runs on
// the calling thread, one item after another.
// A thread takes `chunk` items at a time and runs each step for all of them:
// handing work from thread to thread costs far more than a small item, so it
// is done for many at once. The calling thread works an item itself when no
// other thread has taken it yet.
template <typename Slot> class OrderedWork
{
public:
    OrderedWork(int jobs, qsizetype count, qsizetype chunk = 1)
        : m_jobs(jobs), m_count(count), m_chunk(std::max<qsizetype>(chunk, 1)),
          m_slots(std::size_t(std::max(jobs, 1) * 2 * m_chunk)), m_ready(m_slots.size(), false)
    {
    }

    // Items up to count can now be worked on; count never shrinks.
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

    // Two steps: prepare(i, slot) on any thread, finish(i, slot) in order.
    template <typename Prepare, typename Finish, typename Stop>
    qsizetype run(const Prepare &prepare, const Finish &finish, const Stop &shouldStop)
    {
        const auto nothing = [](qsizetype, Slot &) {};
        const auto work = [&prepare](qsizetype i, Slot &slot, int) { prepare(i, slot); };
        return run(nothing, nothing, work, finish, shouldStop);
    }

    // Runs the steps until every item is finished or shouldStop, asked before
    // each finish, says so: then no further item is taken, and those already
    // taken go through every step, finish included. Returns how many items
    // were finished.
    template <typename Open, typename Admit, typename Work, typename Finish, typename Stop>
    qsizetype run(const Open &open, const Admit &admit, const Work &work, const Finish &finish,
                  const Stop &shouldStop)
    {
        qsizetype done = 0;
        if (m_jobs <= 1) {
            for (; done < m_count && !shouldStop(); ++done) {
                Slot &only = m_slots.front();
                open(done, only);
                admit(done, only);
                work(done, only, m_jobs);
                finish(done, only);
            }
            return done;
        }
        const auto steps = [&](qsizetype first, qsizetype end, int thread) {
            for (qsizetype i = first; i < end; ++i) {
                open(i, slot(i));
            }
            awaitTurn(first);
            for (qsizetype i = first; i < end; ++i) {
                admit(i, slot(i));
            }
            admitted(end);
            for (qsizetype i = first; i < end && start(i); ++i) {
                work(i, slot(i), thread);
            }
        };
        std::vector<std::jthread> workers;
        workers.reserve(std::size_t(m_jobs));
        for (int w = 0; w < m_jobs; ++w) {
            workers.emplace_back([this, &steps, w] {
                for (auto [first, end] = take(); first < end; std::tie(first, end) = take()) {
                    steps(first, end, w);
                    prepared(first, end);
                }
            });
        }
        // Only this thread extends the list, so it may read the count freely.
        // Once stopped, the items whose work has started are still finished.
        qsizetype started = -1;
        while (done < (started < 0 ? m_count : started)) {
            if (started < 0 && shouldStop()) {
                started = stop(done);
                continue;
            }
            if (claimOrWait(done)) {
                steps(done, done + 1, m_jobs);
            }
            finish(done, slot(done));
            finished(done);
            ++done;
        }
        stop(done);
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
    // Whether the work on item i may start: always, unless the run stopped
    // before any item from i on had started.
    bool start(qsizetype i)
    {
        const std::lock_guard lock(m_startMutex);
        if (i >= m_startLimit) {
            return false;
        }
        m_started = std::max(m_started, i + 1);
        return true;
    }
    // No item is taken, and no work starts on an item after those started,
    // from now on. Returns how many items will have been worked on: every
    // item before the last one started, and at least `done`.
    qsizetype stop(qsizetype done)
    {
        {
            const std::lock_guard lock(m_startMutex);
            m_startLimit = std::max(m_started, done);
        }
        {
            const std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_spaceFreed.notify_all();
        return m_startLimit;
    }
    // Waits until every item before first is admitted.
    void awaitTurn(qsizetype first)
    {
        std::unique_lock lock(m_mutex);
        m_turn.wait(lock, [this, first] { return m_admitted == first; });
    }
    void admitted(qsizetype end)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_admitted = end;
        }
        m_turn.notify_all();
    }

    const int m_jobs;
    qsizetype m_count;
    const qsizetype m_chunk;
    std::vector<Slot> m_slots;
    std::vector<bool> m_ready;
    std::mutex m_mutex;
    std::condition_variable m_spaceFreed;
    std::condition_variable m_readied;
    std::condition_variable m_turn;
    qsizetype m_admitted = 0;
    std::mutex m_startMutex;
    qsizetype m_started = 0; // one past the last item whose work started
    qsizetype m_startLimit = std::numeric_limits<qsizetype>::max();
    qsizetype m_awaited = -1;
    qsizetype m_next = 0;
    qsizetype m_finished = 0;
    bool m_stopped = false;
};

} // namespace velmora
