#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace geminor {

class ThreadPool;

/// Work handed to a ThreadPool, owned by the one who handed it: done by a thread of the pool
/// or, when none has begun it by the time it is waited for, by the waiting thread itself, so
/// that work waiting for work never runs out of threads. What the work throws is kept here and
/// rethrown by wait(). The destructor drops the work when no thread has begun it, else waits for
/// it (without rethrowing): declared after what the work writes, the job is over before those go,
/// whatever leaves the frame.
class PoolJob
{
public:
    PoolJob() = default;
    PoolJob(PoolJob &&) noexcept = default;
    PoolJob &operator=(PoolJob &&other) noexcept;
    PoolJob(const PoolJob &) = delete;
    PoolJob &operator=(const PoolJob &) = delete;
    ~PoolJob();

    /// Until the work is done; then rethrows what it threw. Nothing to wait for: returns.
    void wait();

private:
    friend class ThreadPool;
    struct State;
    explicit PoolJob(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    /// Until the work is over; `doIt`: doing it here when no thread has begun it, else dropping it.
    void finish(bool doIt) noexcept;

    std::shared_ptr<State> m_state;
};

/// A fixed number of threads started once, for the helpers of the content search.
class ThreadPool
{
public:
    explicit ThreadPool(std::size_t threads);
    /// Joins the threads once the work queued is done.
    ~ThreadPool();
    ThreadPool(const ThreadPool &) = delete;
    ThreadPool &operator=(const ThreadPool &) = delete;

    std::size_t size() const { return m_threads.size(); }
    /// Queues `work`; any thread.
    PoolJob start(std::function<void()> work);

private:
    void serve();

    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::deque<std::shared_ptr<PoolJob::State>> m_queue;  // under m_mutex
    bool m_stopping = false;                              // under m_mutex
    std::vector<std::thread> m_threads;
};

}  // namespace geminor
