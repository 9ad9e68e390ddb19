#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "engine/cache_record.h"
#include "engine/cache_warning.h"
#include "engine/checksum_store.h"

namespace geminor {

/// Writes what a scan learnt to the checksum cache, on a thread of its own, under the writers'
/// lock (waited for kWaitForWriterMs at most): in the order of the keys, kChunk records a
/// transaction, so that each rewrites only the pages of its own range and the file grows by
/// little more than what it holds; and, once a day, drops the records of files not seen for
/// kKeepDays.
class CacheWriter
{
public:
    /// The records to write, in the order of their keys: `count`, each made as it is written.
    struct Records
    {
        std::size_t count = 0;
        std::function<CacheRecord(std::size_t)> at;
    };
    /// The cache written: its environment, records' table and mark, the descriptor that carries
    /// the writers' lock, the data file's path (for warnings) and the day of the scan.
    struct Target
    {
        MDB_env *env = nullptr;
        digest_store::StoreMark mark;
        int lockFd = -1;
        std::string path;
        std::uint16_t today = 0;
    };

    CacheWriter() = default;
    CacheWriter(const CacheWriter &) = delete;
    CacheWriter &operator=(const CacheWriter &) = delete;
    ~CacheWriter() { wait(); }

    /// Starts writing to `target` what `collect` (called on the writer's thread) gives. Once.
    void start(Target target, std::function<Records()> collect);
    bool started() const { return m_started; }
    void wait();
    /// Why the cache was not written; nothing when it was, or is still being written.
    std::optional<CacheWarning> warning() const;

private:
    std::optional<CacheWarning> write(const Records &records) const;
    /// One transaction: the records from `begin`, after the prune (`first`) or the mark of a new
    /// cache; 0 or LMDB's code.
    int writeChunk(const Records &records, std::size_t begin, bool first, bool pruneDue) const;
    int prune(MDB_txn *txn) const;

    Target m_target;
    mutable std::mutex m_mutex;
    std::optional<CacheWarning> m_warning;
    bool m_started = false;
    std::thread m_thread;
};

}  // namespace geminor
