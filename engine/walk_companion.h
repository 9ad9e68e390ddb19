#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "engine/folder_walker.h"
#include "engine/seen_files.h"
#include "engine/sorting_lib.h"

namespace geminor {

class ChecksumCache;

/// The places of the walk's records (FileRecord::id, from 1) by SizeFirstKey, ties by place.
using SizeOrder = KeyedPlaces<std::pair<std::uint64_t, std::uint64_t>>;

/// Works beside the walk, on the second core that the walk leaves idle, on the files handed to
/// it a few thousand at a time: leaves out a file reached before (same device and inode), sorts
/// the rest by size (each batch sorted, then merged with the batches before as a merge sort
/// would) and reads their checksum cache records. After the walk, only the last merges are left.
class WalkCompanion
{
public:
    /// Starts the thread; `cache` may be none.
    explicit WalkCompanion(ChecksumCache *cache);
    ~WalkCompanion();
    WalkCompanion(const WalkCompanion &) = delete;
    WalkCompanion &operator=(const WalkCompanion &) = delete;

    /// The next files walked, in the order of their records.
    void hand(std::vector<WalkedFile> files);
    /// No more come: waits for the work on those handed, and gives their order.
    SizeOrder finish();
    /// Files left out as reached before (known once finish() returned).
    std::int64_t repeats() const { return m_repeats; }

private:
    /// Says no more come and waits for the thread.
    void stop();
    void run();
    void work();
    void take(const std::vector<WalkedFile> &files);

    ChecksumCache *m_cache;
    std::mutex m_mutex;
    std::condition_variable m_handed;
    std::deque<std::vector<WalkedFile>> m_waiting;  // under m_mutex
    bool m_done = false;                            // under m_mutex
    SeenFiles m_seen;
    std::int64_t m_repeats = 0;
    std::uint32_t m_places = 1;       // the next file's place (element 0 of the list is no record)
    SizeOrder m_order;                // sorted runs, one after the other
    std::vector<std::size_t> m_runs;  // where each run begins; each at least as long as the next
    std::exception_ptr m_error;       // what stopped the work; rethrown by finish()
    std::thread m_thread;
};

}  // namespace geminor
