#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

#include "engine/block_vector.h"
#include "engine/cache_checker.h"
#include "engine/cache_record.h"
#include "engine/cache_snapshot.h"
#include "engine/cache_warning.h"
#include "engine/cache_writer.h"
#include "engine/cache_volumes.h"
#include "engine/checksum_store.h"
#include "engine/request.h"
#include "engine/unique_fd.h"

namespace geminor {

/// The methods that read contents, and so use the checksum cache.
inline bool ReadsContents(SearchMethod method)
{
    return method == SearchMethod::ByteToByte || method == SearchMethod::Crc32;
}

/// The methods that keep what they learn of files in the checksum cache.
inline bool UsesChecksumCache(SearchMethod method)
{
    return ReadsContents(method) || method == SearchMethod::SimilarPictures;
}

/// Digests of files kept between scans in an LMDB database ($XDG_CACHE_HOME/geminor/digests.mdb):
/// reads come from a memory map without locks, and a record is written for a few tenths of a
/// microsecond. A record whose file's state differs is stale and never used. Several processes
/// may share it (one writer at a time); a damaged, locked, full or foreign cache is passed over,
/// never a failed scan: `warning()` then says why, once. `lookup` and `store` may be called
/// from several threads at once.
///
/// What it trusts: a folder of the user's own that no one else can write; a record only for a
/// file on a file system that keeps change times (see CacheVolume), only while the file's whole
/// state and its file system are those recorded, and only when the file's times were at least
/// `settle` old as the scan began (a page written through a shared map may change again, for a
/// while, without moving them).
class ChecksumCache
{
public:
    static constexpr std::chrono::seconds kSettle{60};

    ~ChecksumCache();
    ChecksumCache(const ChecksumCache &) = delete;
    ChecksumCache &operator=(const ChecksumCache &) = delete;

    /// Opens (or makes, 0700) the cache in `folder`; why it cannot be used, else.
    static Result<std::unique_ptr<ChecksumCache>> Open(const std::string &folder,
                                                       std::chrono::seconds settle = SettleTime());
    /// kSettle, or the seconds in GEMINOR_TEST_CACHE_SETTLE_SECONDS: tests, whose files are
    /// seconds old, set it to see the cache used.
    static std::chrono::seconds SettleTime();
    /// The folder used when none is given.
    static std::string DefaultFolder();
    /// Bytes the cache takes in `folder`, and its removal.
    static std::uint64_t SizeIn(const std::string &folder);
    static Status ClearIn(const std::string &folder);
    /// The records of the cache in `folder`, each checked; nothing when one is damaged.
    static std::optional<std::size_t> RecordsIn(const std::string &folder);

    /// The walk entered a folder (`folderFd`) on a device it had not met: what file system it
    /// is. The walk's thread, before any file on it is added.
    void noteFolder(dev_t device, int folderFd);
    /// The next file walked, in the order of FileRecord::id from 1: its record is read (after
    /// the check of the whole cache, in a process of its own, has passed). One thread at a time.
    void addFile(const FileIdentity &state);
    /// No more files come: the look-ups below may start.
    void walkDone();
    /// The digests of the file walked as `id`, when its record is fresh.
    std::optional<Digests> lookup(std::uint32_t id);
    /// Keeps what was learnt of the file walked as `id`.
    void store(std::uint32_t id, const Digests &digests);
    /// Starts writing what was learnt, in the order of the keys, and, once a day, drops the
    /// records of files not seen for 90 days. The last look-up is done; the writing ends before
    /// the cache is destroyed, or at `wait()`.
    void finish();
    void wait();
    /// Why the cache stopped being used or was not written; nothing when it was not.
    std::optional<CacheWarning> warning() const;

private:
    /// What is known of a file walked, by its id: 40 bytes.
    struct Known
    {
        XXH128_hash_t whole{}, first{};
        std::uint32_t crc = 0;
        std::uint8_t has = 0;  // 1 crc, 2 whole, 4 first, 8 a picture's look (in m_pictures)
        bool dirty = false;    // to be written
        bool trusted = false;  // its file system keeps change times, and its times had settled

        Digests digests() const;
        void add(const Digests &digests);
    };

    ChecksumCache(digest_store::OpenedStore store, std::chrono::seconds settle);
    /// Waits for the check, then reads the mark; false (and the cache not used) when either fails.
    bool settle();
    /// Stops using the cache; the warning says why, once: not used (`fromStart`) or not used
    /// from here on. False.
    bool stopUsing(Error reason, bool fromStart);
    /// Asks the cache for the file walked as `id`.
    void ask(std::uint32_t id);
    /// Adds to what is known of the file walked as `id`, and gives all of it.
    void learn(std::uint32_t id, const Digests &digests);
    Digests digestsOf(std::uint32_t id) const;
    /// What is to be written, in the order of the keys (on the writer's thread).
    CacheWriter::Records toWrite();

    mutable std::mutex m_mutex;
    digest_store::OpenedStore m_store;
    CacheCheck m_checker;  // the process checking the whole cache
    digest_store::StoreMark m_mark;
    std::atomic<bool> m_broken{false};
    std::uint16_t m_today = 0;
    std::int64_t m_settledBeforeNs = 0;  // a file's times must be older to be trusted
    CacheVolumes m_volumes;
    dev_t m_lastDevice = 0;  // the walk's files come device by device: the last one's volume
    CacheVolume m_lastVolume;
    std::atomic<bool> m_finished{false};
    std::optional<CacheWarning> m_warning;
    bool m_settled = false;              // checked and its mark read (at the first file)
    CacheSnapshot m_snapshot;            // what the walk's files are read from
    BlockVector<FileIdentity> m_states;  // by id
    BlockVector<Known> m_known;
    std::vector<std::uint32_t> m_dirty;  // the ids to write, in the order of the keys
    // The looks of pictures, by id, beside m_known: few files have one, and every file's Known
    // stays small.
    mutable std::mutex m_pictureMutex;
    std::unordered_map<std::uint32_t, PictureLook> m_pictures;  // under m_pictureMutex
    CacheWriter m_writer;                                       // (last: it ends first)
};

}  // namespace geminor
