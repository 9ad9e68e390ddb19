#include "engine/walk_companion.h"

#include <algorithm>

#include "engine/checksum_cache.h"

namespace geminor {

WalkCompanion::WalkCompanion(ChecksumCache *cache) : m_cache(cache)
{
    m_thread = std::thread([this] { run(); });
}

WalkCompanion::~WalkCompanion()
{
    stop();
}

void WalkCompanion::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_handed.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void WalkCompanion::hand(std::vector<WalkedFile> files)
{
    {
        std::lock_guard lock(m_mutex);
        m_waiting.push_back(std::move(files));
    }
    m_handed.notify_one();
}

SizeOrder WalkCompanion::finish()
{
    stop();
    m_seen.clear();  // (its memory goes back before the search)
    if (m_error)
        std::rethrow_exception(std::exchange(m_error, nullptr));
    return std::move(m_order);
}

void WalkCompanion::run()
{
    try {
        work();
    } catch (...) {  // out of memory, say: the scan fails whole, on the thread that waits
        m_error = std::current_exception();
        std::unique_lock lock(m_mutex);
        m_handed.wait(lock, [this] { return m_done; });
    }
}

void WalkCompanion::work()
{
    for (;;) {
        std::vector<WalkedFile> files;
        {
            std::unique_lock lock(m_mutex);
            m_handed.wait(lock, [this] { return !m_waiting.empty() || m_done; });
            if (m_waiting.empty())
                break;
            files = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        take(files);
    }
    // The runs left are merged from the shortest up.
    for (; m_runs.size() > 1; m_runs.pop_back())
        std::inplace_merge(m_order.begin() + static_cast<std::ptrdiff_t>(m_runs[m_runs.size() - 2]),
                           m_order.begin() + static_cast<std::ptrdiff_t>(m_runs.back()), m_order.end());
    if (m_cache)
        m_cache->walkDone();
}

void WalkCompanion::take(const std::vector<WalkedFile> &files)
{
    const std::size_t begin = m_order.size();
    for (const WalkedFile &file : files) {
        const std::uint32_t place = m_places++;
        if (m_seen.firstTime(file.state.device, file.state.inode))
            m_order.push_back({{file.state.size, file.namePrefix}, place});
        else
            ++m_repeats;  // reached before through another path: left out
        if (m_cache)
            m_cache->addFile(file.state);  // (every place has its state: the ids stay in step)
    }
    if (m_order.size() == begin)
        return;
    std::sort(m_order.begin() + static_cast<std::ptrdiff_t>(begin), m_order.end());
    m_runs.push_back(begin);
    // As a counter carries: two runs of about the same length become one, so each element is
    // merged about log2(batches) times, as in one merge sort.
    while (m_runs.size() > 1 && m_order.size() - m_runs.back() >= m_runs.back() - m_runs[m_runs.size() - 2]) {
        std::inplace_merge(m_order.begin() + static_cast<std::ptrdiff_t>(m_runs[m_runs.size() - 2]),
                           m_order.begin() + static_cast<std::ptrdiff_t>(m_runs.back()), m_order.end());
        m_runs.pop_back();
    }
}

}  // namespace geminor
