#include "engine/thread_pool.h"

#include <atomic>
#include <exception>
#include <utility>

namespace geminor {

struct PoolJob::State
{
    std::function<void()> work;
    std::atomic<bool> claimed{false};
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;  // under mutex
    std::exception_ptr error;

    /// Does the work (or, not `doIt`, drops it) unless another thread has claimed it.
    void runOnce(bool doIt = true) noexcept
    {
        if (claimed.exchange(true))
            return;
        try {
            if (doIt)
                work();
        } catch (...) {
            error = std::current_exception();
        }
        work = nullptr;  // what it captured goes now, on the thread that did it
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        doneChanged.notify_all();
    }
};

PoolJob &PoolJob::operator=(PoolJob &&other) noexcept
{
    if (this != &other) {
        finish(false);
        m_state = std::move(other.m_state);
    }
    return *this;
}

PoolJob::~PoolJob()
{
    finish(false);
}

void PoolJob::finish(bool doIt) noexcept
{
    if (!m_state)
        return;
    m_state->runOnce(doIt);
    std::unique_lock lock(m_state->mutex);
    m_state->doneChanged.wait(lock, [this] { return m_state->done; });
}

void PoolJob::wait()
{
    finish(true);
    if (m_state && m_state->error)
        std::rethrow_exception(std::exchange(m_state->error, nullptr));
}

ThreadPool::ThreadPool(std::size_t threads)
{
    // Fewer threads when the system gives no more (an address space limit, a thread limit):
    // work nobody took is done by whoever waits for it.
    try {
        m_threads.reserve(threads);
        for (std::size_t t = 0; t < threads; ++t)
            m_threads.emplace_back([this] { serve(); });
    } catch (const std::exception &) {
    }
}

ThreadPool::~ThreadPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_queued.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

PoolJob ThreadPool::start(std::function<void()> work)
{
    auto state = std::make_shared<PoolJob::State>();
    state->work = std::move(work);
    if (!m_threads.empty()) {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(state);
        }
        m_queued.notify_one();
    }
    return PoolJob(std::move(state));
}

void ThreadPool::serve()
{
    for (;;) {
        std::shared_ptr<PoolJob::State> job;
        {
            std::unique_lock lock(m_mutex);
            m_queued.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        job->runOnce();
    }
}

}  // namespace geminor
