#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#include <xxhash.h>

#include "engine/request.h"

struct sqlite3;
struct sqlite3_stmt;

namespace geminor {

/// A file's state as the cache keys it: a record is used only while all of it is unchanged.
struct FileState
{
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedNs = 0, changedNs = 0;

    bool operator==(const FileState &) const = default;
};

/// What is known of a file's bytes.
struct Digests
{
    std::optional<std::uint32_t> crc;    // CRC-32 of the whole content
    std::optional<XXH128_hash_t> whole;  // the content digest of the whole file (see IdenticalGroups)
    std::optional<XXH128_hash_t> first;  // the same of its first block
};

/// The methods that read contents, and so use the checksum cache.
inline bool ReadsContents(SearchMethod method)
{
    return method == SearchMethod::ByteToByte || method == SearchMethod::Crc32;
}

/// Digests of files kept between scans in an SQLite database ($XDG_CACHE_HOME/geminor/digests.db).
/// A record whose file's state differs is stale and never used. Several processes may share it
/// (write-ahead log, waits for a lock); a damaged or locked cache is passed over, never a failed
/// scan: `warning()` then says why, once. Safe to call from several threads.
class ChecksumCache
{
public:
    ~ChecksumCache();
    ChecksumCache(const ChecksumCache &) = delete;
    ChecksumCache &operator=(const ChecksumCache &) = delete;

    /// Opens (or makes) the cache in `folder`; nothing when it cannot be used, `warning` saying why.
    static std::unique_ptr<ChecksumCache> Open(const std::string &folder, std::string &warning);
    /// The folder used when none is given.
    static std::string DefaultFolder();
    /// Bytes the cache takes in `folder`, and its removal.
    static std::uint64_t SizeIn(const std::string &folder);
    static bool ClearIn(const std::string &folder, std::string &error);

    /// The states of the files walked, by FileRecord::id (see FolderWalker::keepStates).
    void adoptStates(std::vector<FileState> states) { m_states = std::move(states); }
    FileState stateOf(std::uint32_t id) const { return id < m_states.size() ? m_states[id] : FileState{}; }

    /// Reads the records of the files `states(i)`, i < count, in one pass over the cache, when the
    /// cache is not far larger than they: look-ups of them are then answered from memory (48
    /// bytes a file).
    void prefetch(std::size_t count, const std::function<FileState(std::size_t)> &states);
    /// The digests of a file whose state is exactly `state`.
    std::optional<Digests> lookup(const FileState &state);
    /// Keeps what was learnt of a file (merged with what is known of it in the same state).
    void store(const FileState &state, const Digests &digests);
    /// Writes what is pending and drops the records of files not seen for 90 days.
    void finish();
    /// Why the cache stopped being used, or "".
    std::string warning() const;

private:
    using Pending = std::vector<std::pair<FileState, Digests>>;
    using Seen = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

    /// A read-only connection of one searching thread, in one read transaction for the whole scan:
    /// no lock is taken per file, and the threads never wait for each other.
    struct Reader
    {
        sqlite3 *db = nullptr;
        sqlite3_stmt *select = nullptr;
        ~Reader();
    };

    ChecksumCache(std::string path, sqlite3 *writer);
    Reader *readerOfThisThread();
    void fail(const char *what, sqlite3 *db);
    /// Writes a batch in one transaction, on the writer's own thread.
    void write(Pending pending, Seen seen);
    void handOver();

    mutable std::mutex m_mutex;
    std::string m_path;
    std::uint64_t m_id;  // tells this cache's readers from those of a cache gone before
    std::vector<std::unique_ptr<Reader>> m_readers;
    sqlite3 *m_writer = nullptr;
    bool m_broken = false;
    bool m_empty = false;  // nothing to look up (set once, at opening)
    std::atomic<bool> m_finished{false};
    std::string m_warning;
    Pending m_pending;
    Seen m_seen;  // records used today: kept fresh
    std::int64_t m_today = 0;
    /// Fresh records read by prefetch, by key; `m_prefetched` once they stand for every file.
    struct Loaded
    {
        std::int64_t key;
        XXH128_hash_t whole, first;
        std::uint32_t crc;
        std::uint8_t has;  // 1 crc, 2 whole, 4 first
    };
    std::vector<Loaded> m_loaded;
    std::vector<FileState> m_states;
    bool m_prefetched = false;
    std::mutex m_writing;  // one batch at a time
    std::vector<std::thread> m_writes;
};

}  // namespace geminor
