#pragma once

#include "platform/Process.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace velmora {

// Work on a list of items in steps: open(i, slot, thread), then admit(i, slot)
// strictly in the order of i, then work(i, slot, thread), all on up to `jobs`
// threads, a window of items ahead; and finish(i, slot) on the calling thread
// in the order of i. Admission in order lets a step decide as the items would
// have been decided one after another (which of two names of one file comes
// first), while the slow parts (open, work) overlap. `thread` numbers the
// workers from 0 up to jobs - 2; the calling thread, one of the jobs, is
// jobs - 1.
// A slot (the state of one item between the steps) is reused round the
// window, so memory does not grow with the list. There are slots for the
// threads of the cores at first, and for every job once a disk makes more
// threads worth it. The list may grow while it is worked on: finish may call
// extend(); or, after expectMore(), any thread may, and the run goes on until
// endOfList() too. With one job, every step runs on the calling thread, one
// item after another.
// A thread takes `chunk` items at a time and runs each step for all of them:
// handing work from thread to thread costs far more than a small item, so it
// is done for many at once. The calling thread takes a chunk too whenever the
// next item to finish is not ready.
template <typename Slot> class OrderedWork
{
public:
    OrderedWork(int jobs, qsizetype count, qsizetype chunk = 1)
        : m_jobs(jobs), m_count(count), m_chunk(std::max<qsizetype>(chunk, 1))
    {
        makeSlots(m_coreWorkers);
    }

    // Whether the items wait for a disk: a chunk read from storage for most
    // of its items, and none since read nothing.
    bool diskBound() const { return m_diskBound.load(std::memory_order_relaxed); }

    // How many threads to keep busy while nothing waits for a disk: one per
    // core by default; fewer when other work shares the cores. Before run().
    void setCoreThreads(int threads)
    {
        m_coreWorkers = std::clamp(threads - 1, 0, std::max(m_jobs - 1, 0));
        m_neededWorkers = m_coreWorkers;
        makeSlots(m_coreWorkers);
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
        m_grown.notify_one();
        if (wake) {
            m_spaceFreed.notify_one();
        }
    }
    // The list is not complete yet: the run waits for extend() or
    // endOfList(), which any thread may call. Before run().
    void expectMore() { m_open = true; }
    // No item comes after those given so far.
    void endOfList()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_open = false;
        }
        m_grown.notify_one();
    }

    // Two steps: prepare(i, slot) on any thread, finish(i, slot) in order.
    template <typename Prepare, typename Finish, typename Stop>
    qsizetype run(const Prepare &prepare, const Finish &finish, const Stop &shouldStop)
    {
        const auto open = [](qsizetype, Slot &, int) {};
        const auto admit = [](qsizetype, Slot &) {};
        const auto work = [&prepare](qsizetype i, Slot &slot, int) { prepare(i, slot); };
        return run(open, admit, work, finish, shouldStop);
    }

    // Runs the steps until every item is finished or shouldStop, asked before
    // each finish, says so: then no further item is taken and no further work
    // starts, and the items whose work has started are finished. Returns how
    // many items were finished.
    template <typename Open, typename Admit, typename Work, typename Finish, typename Stop>
    qsizetype run(const Open &open, const Admit &admit, const Work &work, const Finish &finish,
                  const Stop &shouldStop)
    {
        qsizetype done = 0;
        qsizetype known = 0; // items known to be in the list
        if (m_jobs <= 1) {
            for (; (done < known || done < (known = listed(done))) && !shouldStop(); ++done) {
                Slot &only = m_slots.front();
                open(done, only, callerThread());
                admit(done, only);
                work(done, only, callerThread());
                finish(done, only);
            }
            return done;
        }
        // Runs the steps for a chunk, then sees whether more workers are needed.
        const auto steps = [&](qsizetype first, qsizetype end, int thread) {
            StorageReads clock;
            for (qsizetype i = first; i < end; ++i) {
                open(i, slot(i), thread);
            }
            awaitTurn(first);
            for (qsizetype i = first; i < end; ++i) {
                admit(i, slot(i));
            }
            admitted(end);
            const bool started = start(first, end);
            for (qsizetype i = first; i < end && started; ++i) {
                work(i, slot(i), thread);
            }
            const long reads = clock.count();
            prepared(first, end);
            adjustWorkers(end - first, reads);
        };
        // The calling thread is one of the jobs: it works on items too
        // whenever the next one to finish is not ready.
        // Workers are started by this thread once they are first needed: a
        // run that never waits for a disk starts one per core, whatever
        // the jobs asked for.
        std::vector<std::jthread> workers;
        workers.reserve(std::size_t(m_jobs - 1));
        const auto hire = [&] {
            const int wanted = m_hire.load(std::memory_order_relaxed);
            while (int(workers.size()) < wanted) {
                workers.emplace_back([this, &steps, w = int(workers.size())] {
                    for (auto [first, end] = take(w); first < end; std::tie(first, end) = take(w)) {
                        steps(first, end, w);
                    }
                });
            }
            m_hired.store(wanted, std::memory_order_relaxed);
        };
        m_hire.store(m_neededWorkers, std::memory_order_relaxed);
        // Once stopped, the items whose work has started are still finished.
        qsizetype started = -1;
        while (started < 0 ? done < known || done < (known = listed(done)) : done < started) {
            if (hiring()) {
                hire();
            }
            if (started < 0 && shouldStop()) {
                started = stop(done);
                continue;
            }
            if (m_moreSlots.load(std::memory_order_relaxed) && addSlots(done)) {
                continue;
            }
            if (!ready(done).load(std::memory_order_acquire)) {
                if (const auto [first, end] = take(-1); first < end) {
                    steps(first, end, callerThread());
                    continue;
                }
                // Woken when the item is ready, or to start workers.
                awaitReady(done);
                continue;
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

    // Fresh slots for `workers` threads besides the calling one, up to the
    // jobs': two chunks each. Only while no item is in flight.
    void makeSlots(int workers)
    {
        const auto size =
            std::size_t(2 * m_chunk * (std::clamp(workers, 0, std::max(m_jobs - 1, 0)) + 1));
        m_slots = std::vector<Slot>(size);
        m_ready = std::make_unique<std::atomic<bool>[]>(size);
    }
    // Makes the slots for every job once more workers are wanted than the
    // slots serve, and every item taken (up to done) is finished: until then
    // no item is taken. False while items are still in flight. Called by the
    // calling thread, the one that reads slots without the lock outside steps.
    bool addSlots(qsizetype done)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (m_next != done) {
                return false;
            }
            makeSlots(m_jobs - 1);
            m_moreSlots.store(false, std::memory_order_relaxed);
        }
        m_spaceFreed.notify_all();
        return true;
    }

    // The next items for worker w to work on, [first, end); empty once the
    // work is over. A worker waits while it is not needed, the window is full
    // or every item so far is taken; the calling thread (w < 0) does not wait
    // and gets nothing then.
    std::pair<qsizetype, qsizetype> take(int w)
    {
        std::unique_lock lock(m_mutex);
        const auto available = [this] {
            return m_next < m_count && m_next - m_finished < window();
        };
        // A worker that is not needed waits apart, so that waking a worker
        // for space never wakes one that is not needed.
        while (w >= 0 && !m_stopped && !(w < m_neededWorkers && available())) {
            (w < m_neededWorkers ? m_spaceFreed : m_notNeeded).wait(lock);
        }
        if (m_stopped || !available()) {
            return {0, 0};
        }
        // Another idle thread may take the chunk after this one.
        const bool more = m_count - m_next > 2 * m_chunk;
        const qsizetype first = m_next;
        const qsizetype end = std::min({m_count, first + m_chunk, m_finished + window()});
        m_next = end;
        lock.unlock();
        if (more) {
            m_spaceFreed.notify_one();
        }
        return {first, end};
    }
    // How far the items taken may run ahead of those finished: two chunks
    // for each thread in use, so that threads the run does not need hold no
    // files open; none while the slots wait to be made anew. The caller holds
    // the lock.
    qsizetype window() const
    {
        if (m_moreSlots.load(std::memory_order_relaxed)) {
            return 0;
        }
        return std::min(qsizetype(m_slots.size()), 2 * m_chunk * (m_neededWorkers + 1));
    }
    // Whether a whole chunk waits to be taken and fits the window; the caller
    // holds the lock.
    bool chunkWaits() const
    {
        return m_count - m_next >= m_chunk && m_next + m_chunk - m_finished <= window();
    }
    std::atomic<bool> &ready(qsizetype i) { return m_ready[std::size_t(i) % m_slots.size()]; }
    void prepared(qsizetype first, qsizetype end)
    {
        for (qsizetype i = first; i < end; ++i) {
            ready(i).store(true, std::memory_order_release);
        }
        bool awaited = false;
        {
            const std::lock_guard lock(m_mutex);
            awaited = m_awaited >= first && m_awaited < end;
        }
        // Only the item the finishing thread waits for is worth waking it.
        if (awaited) {
            m_readied.notify_one();
        }
    }
    // Counts what a thread reads from storage while it works on a chunk. Its
    // waits for a lock or for its turn are no reason for more threads (a
    // thread reads nothing while it waits): only waits for a disk are.
    class StorageReads
    {
    public:
        long count() const { return threadStorageReads() - m_start; }

    private:
        long m_start = threadStorageReads();
    };
    // On a warm cache, a thread per core does the most: more threads only
    // take turns on the cores and wait for each other. A chunk whose thread
    // read from storage for at least half its items brings more workers in,
    // up to the jobs asked for; a chunk that read nothing lets one go again.
    // A page evicted here and there (reclaim takes cold pages even from a
    // cache with room) is no reason for a thread.
    void adjustWorkers(qsizetype chunkSize, long reads)
    {
        // Reads count 512-byte units; a page is eight.
        constexpr long UnitsPerPage = 8;
        const bool waitedForDisk = reads > 0 && 2 * reads >= UnitsPerPage * long(chunkSize);
        bool more = false;
        {
            const std::lock_guard lock(m_mutex);
            if (waitedForDisk) {
                more = m_neededWorkers < m_jobs - 1;
                m_neededWorkers = std::min(m_jobs - 1, 2 * m_neededWorkers + 1);
                m_hire.store(std::max(m_hire.load(std::memory_order_relaxed), m_neededWorkers),
                             std::memory_order_relaxed);
                m_diskBound.store(true, std::memory_order_relaxed);
                if (2 * m_chunk * (m_neededWorkers + 1) > qsizetype(m_slots.size())) {
                    m_moreSlots.store(true, std::memory_order_relaxed);
                }
            } else if (reads == 0) {
                m_neededWorkers = std::max(m_neededWorkers - 1, m_coreWorkers);
                m_diskBound.store(false, std::memory_order_relaxed);
            }
        }
        if (more) {
            m_notNeeded.notify_all();
            // The calling thread starts the new workers.
            m_readied.notify_all();
        }
    }
    // Whether workers are wanted that the calling thread has not started.
    bool hiring() const
    {
        return m_hired.load(std::memory_order_relaxed) < m_hire.load(std::memory_order_relaxed);
    }

    // How many items the list holds, once it holds more than done or is
    // complete.
    qsizetype listed(qsizetype done)
    {
        std::unique_lock lock(m_mutex);
        m_grown.wait(lock, [this, done] { return m_count > done || !m_open; });
        return m_count;
    }
    // Waits until the thread that took item i is done with it, or workers
    // are wanted that this thread must start.
    void awaitReady(qsizetype i)
    {
        std::unique_lock lock(m_mutex);
        m_awaited = i;
        m_readied.wait(lock, [this, i] {
            return ready(i).load(std::memory_order_acquire) || hiring() ||
                   (m_moreSlots.load(std::memory_order_relaxed) && m_next == i);
        });
        m_awaited = -1;
    }
    // Item i is finished: its slot is free for an item further on. Workers
    // are woken once a whole chunk of slots is free.
    void finished(qsizetype i)
    {
        ready(i).store(false, std::memory_order_relaxed);
        m_finished.store(i + 1, std::memory_order_release);
        if ((i + 1) % m_chunk != 0) {
            return;
        }
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            wake = chunkWaits();
        }
        if (wake) {
            m_spaceFreed.notify_one();
        }
    }
    // Whether the work on the items [first, end) may start: always, unless
    // the run stopped before any item from first on had started.
    bool start(qsizetype first, qsizetype end)
    {
        const std::lock_guard lock(m_startMutex);
        if (first >= m_startLimit) {
            return false;
        }
        m_started = std::max(m_started, end);
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
        m_notNeeded.notify_all();
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

    // The calling thread's number: workers take 0 to jobs - 2.
    int callerThread() const { return std::max(m_jobs - 1, 0); }

    const int m_jobs;
    qsizetype m_count;
    const qsizetype m_chunk;
    std::vector<Slot> m_slots;
    std::unique_ptr<std::atomic<bool>[]> m_ready;
    std::mutex m_mutex;
    std::condition_variable m_spaceFreed;
    std::condition_variable m_readied;
    std::condition_variable m_notNeeded;
    std::condition_variable m_turn;
    std::condition_variable m_grown;
    bool m_open = false; // more items may come from another thread
    qsizetype m_admitted = 0;
    std::mutex m_startMutex;
    qsizetype m_started = 0; // one past the last item whose work started
    qsizetype m_startLimit = std::numeric_limits<qsizetype>::max();
    qsizetype m_awaited = -1;
    qsizetype m_next = 0;
    std::atomic<qsizetype> m_finished{0};
    // Workers 0 .. m_neededWorkers - 1 take chunks; the calling thread is one
    // more.
    int m_coreWorkers =
        std::clamp(int(std::thread::hardware_concurrency()) - 1, 0, std::max(m_jobs - 1, 0));
    int m_neededWorkers = m_coreWorkers;
    std::atomic<bool> m_diskBound{false};
    // More workers are wanted than the slots serve: set under m_mutex.
    std::atomic<bool> m_moreSlots{false};
    // Workers wanted so far, and started by the calling thread.
    std::atomic<int> m_hire{0};
    std::atomic<int> m_hired{0};
    bool m_stopped = false;
};

} // namespace velmora
