#pragma once

// The store of the checksum cache: its folder and LMDB database opened and checked, its mark,
// its writers' lock, the room kept past its last page, and walking it whole (see CacheCheck).
// Internal to ChecksumCache.

#include <cstddef>
#include <cstdint>
#include <lmdb.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

#include "engine/cache_record.h"
#include "engine/error.h"
#include "engine/unique_fd.h"

namespace geminor::digest_store {

inline constexpr std::uint16_t kKeepDays = 90;
inline constexpr std::size_t kChunk =
    16384;  // records written in one transaction: the pages it frees are reused by the next but one
inline constexpr unsigned kRenewEvery = 4096;  // look-ups between renewals of the reader's snapshot
inline constexpr int kWaitForWriterMs = 3000;

inline const char *const kFile = "/digests.mdb";
inline const char *const kFiles[] = {"/digests.mdb", "/digests.mdb-lock", "/digests.db", "/digests.db-wal",
                                     "/digests.db-shm"};
inline constexpr std::size_t kOlderFormat =
    2;  // the files from here on: an earlier Geminor's cache, never read again

/// Under the key of no file: what the file is, and the day records were last pruned.
inline const CacheKey kMetaKey{};

/// One owner for each LMDB handle: an environment is closed, a transaction aborted unless it
/// was committed (`mdb_txn_commit(txn.release())`), a cursor closed.
struct CloseEnv
{
    void operator()(MDB_env *env) const { mdb_env_close(env); }
};
struct AbortTxn
{
    void operator()(MDB_txn *txn) const { mdb_txn_abort(txn); }
};
struct CloseCursor
{
    void operator()(MDB_cursor *cursor) const { mdb_cursor_close(cursor); }
};
using LmdbEnv = std::unique_ptr<MDB_env, CloseEnv>;
using LmdbTxn = std::unique_ptr<MDB_txn, AbortTxn>;
using LmdbCursor = std::unique_ptr<MDB_cursor, CloseCursor>;

/// A transaction of `env` (MDB_RDONLY or 0); none with `rc` set when LMDB refuses.
LmdbTxn beginTxn(MDB_env *env, unsigned flags, int &rc);
/// A cursor on `dbi`; none with `rc` set when LMDB refuses.
LmdbCursor openCursor(MDB_txn *txn, MDB_dbi dbi, int &rc);

MDB_val valueOf(const void *data, std::size_t size);
/// Days since 1970 (or GEMINOR_TEST_CACHE_DAY).
std::uint16_t today();
/// The prune day stored in the mark; nothing when `value` is not our mark.
std::optional<std::uint16_t> markDay(const MDB_val &value);
bool isMark(const MDB_val &key);
/// The record stored as (`key`, `value`); nothing when it is damaged.
std::optional<CacheRecord> recordAt(const MDB_val &key, const MDB_val &value);
int putMark(MDB_txn *txn, MDB_dbi dbi, std::uint16_t day);
/// An environment on `path` (read-only or not); nothing with `rc` set when it cannot be opened
/// or is shorter than its pages say (reading those would fault).
LmdbEnv openEnvironment(const std::string &path, unsigned flags, int &rc);
/// The cache as opened: its folder and data file (which carries the writers' lock), each checked
/// to be the user's alone, and the LMDB environment on it.
struct OpenedStore
{
    std::string shown;    // the data file's path, as warnings give it
    std::string reached;  // the same as LMDB opens it: through the folder's descriptor
    UniqueFd folder, data;
    LmdbEnv env;
};
/// Opens (or makes, 0700) the cache in `folder`; why it cannot be used, else (the error's path
/// is the data file's, or the folder's).
Result<OpenedStore> openStore(const std::string &folder);

/// What the cache's mark says; read once the cache's check passed.
struct StoreMark
{
    MDB_dbi dbi = 0;              // the records' table
    std::uint16_t prunedDay = 0;  // the day records were last pruned
    bool empty = false;           // no record: a first scan need not ask for every file
};
/// The records' table and the mark; CacheUnusable (with LMDB's code) when the cache cannot be
/// read or is not ours.
Result<StoreMark> readMark(MDB_env *env, std::uint16_t today);

/// Takes (F_WRLCK) or drops (F_UNLCK) the writers' lock on the data file `fd`; false when
/// another Geminor held it for kWaitForWriterMs.
bool setWritersLock(int fd, short type);
/// Lets go of the pages of the database mapped into the process so far: they stay in the page
/// cache, but no longer count as the scan's memory (a million records read would hold their
/// whole file). A page read again is mapped again.
void DropMappedPages(MDB_env *env);
/// Gives the data file room past its last page; only under the writers' lock.
void KeepSlack(MDB_env *env, int fd);
/// The records of the cache at `path`, every page and record walked; nothing when one is damaged.
std::optional<std::size_t> wholeRecords(const std::string &path);

/// Calls `each(record)` for every record under the cursor's table in key order (the mark passed
/// over; a damaged record is nothing) until it returns other than 0; MDB_NOTFOUND once all were.
template <typename Each> int forEachRecord(MDB_cursor *cursor, Each each)
{
    MDB_val key, value;
    int rc = 0;
    while ((rc = mdb_cursor_get(cursor, &key, &value, MDB_NEXT)) == 0)
        if (!isMark(key) && (rc = each(recordAt(key, value))) != 0)
            break;
    return rc;
}

}  // namespace geminor::digest_store
