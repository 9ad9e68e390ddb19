#include "engine/checksum_cache.h"

#include "engine/file_system.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <tuple>
#include <utility>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace geminor {
namespace {

constexpr int kSchema = 3;  // the content digests follow the block sizes of this version
constexpr std::int64_t kKeepDays = 90;
constexpr std::size_t kBatch = 131072;  // records written at once: a batch rewrites the pages it touches

const char *const kFile = "/digests.db";


/// The row of a file: its inode (close to its creation order, so that a batch is written near the
/// end of the table), under 16 bits of its device. Rows also keep both, to tell a collision.
sqlite3_int64 keyOf(std::uint64_t device, std::uint64_t inode)
{
    const std::uint64_t deviceBits = XXH3_64bits(&device, sizeof device) & 0xFFFF;
    return static_cast<sqlite3_int64>((deviceBits << 47) | (inode & ((std::uint64_t{1} << 47) - 1)));
}

void putDigest(sqlite3_stmt *statement, int column, const std::optional<XXH128_hash_t> &digest)
{
    if (!digest) {
        sqlite3_bind_null(statement, column);
        return;
    }
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, *digest);
    sqlite3_bind_blob(statement, column, canonical.digest, sizeof canonical.digest, SQLITE_TRANSIENT);
}

std::optional<XXH128_hash_t> digestOf(sqlite3_stmt *statement, int column)
{
    if (sqlite3_column_type(statement, column) != SQLITE_BLOB || sqlite3_column_bytes(statement, column) != 16)
        return std::nullopt;
    XXH128_canonical_t canonical;
    std::memcpy(canonical.digest, sqlite3_column_blob(statement, column), 16);
    return XXH128_hashFromCanonical(&canonical);
}

/// The digests of the row at the statement's columns `at` (device) to `at + 7` (first), when the
/// row is of the file in `state`; nothing for another file or a stale record. An empty "first"
/// says the first block is the whole file.
std::optional<Digests> freshDigests(sqlite3_stmt *row, int at, const FileState &state)
{
    if (static_cast<std::uint64_t>(sqlite3_column_int64(row, at)) != state.device ||
        static_cast<std::uint64_t>(sqlite3_column_int64(row, at + 1)) != state.inode ||
        static_cast<std::uint64_t>(sqlite3_column_int64(row, at + 2)) != state.size ||
        sqlite3_column_int64(row, at + 3) != state.modifiedNs ||
        sqlite3_column_int64(row, at + 4) != state.changedNs - state.modifiedNs)
        return std::nullopt;
    Digests digests;
    if (sqlite3_column_type(row, at + 5) == SQLITE_INTEGER)
        digests.crc = static_cast<std::uint32_t>(sqlite3_column_int64(row, at + 5));
    digests.whole = digestOf(row, at + 6);
    digests.first = digestOf(row, at + 7);
    if (sqlite3_column_type(row, at + 7) == SQLITE_BLOB && sqlite3_column_bytes(row, at + 7) == 0)
        digests.first = digests.whole;
    return digests;
}

}  // namespace

std::string ChecksumCache::DefaultFolder()
{
    const char *cache = std::getenv("XDG_CACHE_HOME");
    const char *home = std::getenv("HOME");
    return (cache && *cache == '/' ? std::string(cache) : std::string(home ? home : "") + "/.cache") + "/geminor";
}

std::uint64_t ChecksumCache::SizeIn(const std::string &folder)
{
    std::uint64_t bytes = 0;
    for (const char *suffix : {"", "-wal", "-shm"}) {
        struct stat st = {};
        if (::stat((folder + kFile + suffix).c_str(), &st) == 0)
            bytes += static_cast<std::uint64_t>(st.st_size);
    }
    return bytes;
}

bool ChecksumCache::ClearIn(const std::string &folder, std::string &error)
{
    for (const char *suffix : {"", "-wal", "-shm"})
        if (::unlink((folder + kFile + suffix).c_str()) != 0 && errno != ENOENT) {
            error = folder + kFile + suffix + ": " + std::strerror(errno);
            return false;
        }
    return true;
}

std::unique_ptr<ChecksumCache> ChecksumCache::Open(const std::string &folder, std::string &warning)
{
    if (!MakeFolders(folder)) {
        warning = "checksum cache not used: " + folder + ": " + std::strerror(errno);
        return nullptr;
    }
    sqlite3 *db = nullptr;
    const std::string path = folder + kFile;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        warning = "checksum cache not used: " + path + ": " + (db ? sqlite3_errmsg(db) : "cannot be opened");
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 3000);  // another Geminor writing: wait for it
    int version = -1;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        version = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
    const std::string schema =
        std::string(version != kSchema && version != 0 ? "DROP TABLE IF EXISTS digests;" : "") +
        "PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-65536;"
        "PRAGMA wal_autocheckpoint=0;"
        "CREATE TABLE IF NOT EXISTS digests(id INTEGER PRIMARY KEY, device INTEGER, inode INTEGER, size INTEGER,"
        " mtime INTEGER, cdelta INTEGER, crc INTEGER, whole BLOB, first BLOB, seen INTEGER);"
        "PRAGMA user_version=" + std::to_string(kSchema) + ";";
    if (version < 0 || sqlite3_exec(db, schema.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        warning = "checksum cache not used: " + path + ": " + sqlite3_errmsg(db);
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<ChecksumCache> cache(new ChecksumCache(path, db));
    // A first scan finds nothing: it need not ask for every file.
    cache->m_empty = sqlite3_exec(db, "SELECT 1 FROM digests LIMIT 1", [](void *, int, char **, char **) { return 1; },
                                  nullptr, nullptr) == SQLITE_OK;
    if (!cache->m_empty && !cache->readerOfThisThread()) {
        warning = cache->m_warning;
        return nullptr;
    }
    return cache;
}

namespace {
std::atomic<std::uint64_t> g_caches{0};
}

ChecksumCache::ChecksumCache(std::string path, sqlite3 *writer)
    : m_path(std::move(path)), m_id(++g_caches), m_writer(writer),
      m_today(static_cast<std::int64_t>(std::time(nullptr)) / 86400)
{
}

ChecksumCache::~ChecksumCache()
{
    for (std::thread &write : m_writes)
        write.join();
    m_readers.clear();
    sqlite3_close(m_writer);
}

ChecksumCache::Reader::~Reader()
{
    sqlite3_finalize(select);
    sqlite3_close(db);
}

ChecksumCache::Reader *ChecksumCache::readerOfThisThread()
{
    thread_local std::pair<std::uint64_t, Reader *> mine{0, nullptr};
    if (mine.first == m_id)
        return mine.second;
    auto reader = std::make_unique<Reader>();
    if (sqlite3_open_v2(m_path.c_str(), &reader->db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
        sqlite3_exec(reader->db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(reader->db, "SELECT device, inode, size, mtime, cdelta, crc, whole, first, seen"
                                       " FROM digests WHERE id = ?", -1, &reader->select, nullptr) != SQLITE_OK) {
        std::lock_guard lock(m_mutex);
        fail("reading", reader->db);
        return nullptr;
    }
    sqlite3_busy_timeout(reader->db, 3000);
    std::lock_guard lock(m_mutex);
    m_readers.push_back(std::move(reader));
    mine = {m_id, m_readers.back().get()};
    return mine.second;
}

std::string ChecksumCache::warning() const
{
    std::lock_guard lock(m_mutex);
    return m_warning;
}

void ChecksumCache::fail(const char *what, sqlite3 *db)
{
    if (!m_broken)
        m_warning = std::string("checksum cache not used from here on: ") + what + ": " + sqlite3_errmsg(db);
    m_broken = true;
    m_pending.clear();
}

void ChecksumCache::prefetch(std::size_t count, const std::function<FileState(std::size_t)> &states)
{
    if (m_empty || m_broken || count == 0)
        return;
    // A cache of many more files than these is cheaper asked file by file.
    if (static_cast<double>(SizeIn(FolderOf(m_path))) / 48 > 20.0 * static_cast<double>(count))
        return;
    Reader *reader = readerOfThisThread();
    sqlite3_stmt *scan = nullptr;
    if (!reader || sqlite3_prepare_v2(reader->db, "SELECT id, device, inode, size, mtime, cdelta, crc, whole, first, seen"
                                                  " FROM digests ORDER BY id", -1, &scan, nullptr) != SQLITE_OK)
        return;
    std::vector<std::pair<std::int64_t, std::size_t>> wanted;
    wanted.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const FileState state = states(i);
        wanted.emplace_back(keyOf(state.device, state.inode), i);
    }
    std::sort(wanted.begin(), wanted.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<Loaded> loaded;
    loaded.reserve(count);  // never doubled
    Seen seen;
    auto next = wanted.begin();
    int step = SQLITE_ROW;
    while (next != wanted.end() && (step = sqlite3_step(scan)) == SQLITE_ROW) {
        const std::int64_t key = sqlite3_column_int64(scan, 0);
        while (next != wanted.end() && next->first < key)
            ++next;
        if (next == wanted.end() || next->first != key)
            continue;
        const FileState state = states(next->second);
        const std::optional<Digests> digests = freshDigests(scan, 1, state);
        if (!digests)
            continue;  // stale
        Loaded entry{key, digests->whole.value_or(XXH128_hash_t{}), digests->first.value_or(XXH128_hash_t{}),
                     digests->crc.value_or(0),
                     static_cast<std::uint8_t>((digests->crc ? 1 : 0) | (digests->whole ? 2 : 0) | (digests->first ? 4 : 0))};
        if (sqlite3_column_int64(scan, 9) < m_today)
            seen.emplace_back(state.device, state.inode);
        loaded.push_back(entry);
    }
    sqlite3_finalize(scan);
    if (step != SQLITE_ROW && step != SQLITE_DONE)
        return;  // read part-way: asked file by file
    std::lock_guard lock(m_mutex);
    m_loaded = std::move(loaded);
    m_seen.insert(m_seen.end(), seen.begin(), seen.end());
    m_prefetched = true;
}

std::optional<Digests> ChecksumCache::lookup(const FileState &state)
{
    if (m_empty || m_broken || m_finished || state.inode == 0)
        return std::nullopt;  // (no state known: nothing to trust)
    if (m_prefetched) {
        const std::int64_t key = keyOf(state.device, state.inode);
        const auto found = std::lower_bound(m_loaded.begin(), m_loaded.end(), key,
                                            [](const Loaded &l, std::int64_t k) { return l.key < k; });
        if (found == m_loaded.end() || found->key != key)
            return std::nullopt;
        Digests digests;
        if (found->has & 1)
            digests.crc = found->crc;
        if (found->has & 2)
            digests.whole = found->whole;
        if (found->has & 4)
            digests.first = found->first;
        return digests;
    }
    Reader *reader = readerOfThisThread();
    if (!reader)
        return std::nullopt;
    sqlite3_stmt *const m_select = reader->select;
    sqlite3_reset(m_select);
    sqlite3_bind_int64(m_select, 1, keyOf(state.device, state.inode));
    const int step = sqlite3_step(m_select);
    if (step == SQLITE_DONE || step == SQLITE_BUSY)
        return std::nullopt;  // not known, or locked for the moment
    if (step != SQLITE_ROW) {
        std::lock_guard lock(m_mutex);
        fail("reading", reader->db);
        return std::nullopt;
    }
    const std::optional<Digests> digests = freshDigests(m_select, 0, state);
    if (!digests) {
        sqlite3_reset(m_select);
        return std::nullopt;  // another file, or stale: the file changed since
    }
    if (sqlite3_column_int64(m_select, 8) < m_today) {
        std::lock_guard lock(m_mutex);
        m_seen.emplace_back(state.device, state.inode);
    }
    sqlite3_reset(m_select);
    return digests;
}

void ChecksumCache::store(const FileState &state, const Digests &digests)
{
    std::lock_guard lock(m_mutex);
    if (m_broken || state.inode == 0)
        return;
    m_pending.emplace_back(state, digests);
    if (m_pending.size() >= kBatch)
        handOver();
}

void ChecksumCache::handOver()
{
    if (m_broken || (m_pending.empty() && m_seen.empty()))
        return;
    // The searching threads go on while a thread of the cache's own writes the batch.
    m_writes.emplace_back([this, pending = std::exchange(m_pending, {}), seen = std::exchange(m_seen, {})]() mutable {
        write(std::move(pending), std::move(seen));
    });
}

void ChecksumCache::write(Pending pending, Seen seen)
{
    std::lock_guard writing(m_writing);
    std::sort(pending.begin(), pending.end(), [](const auto &a, const auto &b) {
        return keyOf(a.first.device, a.first.inode) < keyOf(b.first.device, b.first.inode);
    });
    if (sqlite3_exec(m_writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return;  // locked past the wait: these are learnt again next time
    sqlite3 *const m_db = m_writer;
    sqlite3_stmt *upsert = nullptr, *touch = nullptr;
    // What is known of the same file in the same state is kept beside what was learnt now.
    bool ok = sqlite3_prepare_v2(
                  m_db,
                  "INSERT INTO digests VALUES(?10, ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9) ON CONFLICT(id) DO UPDATE SET"
                  " crc = CASE WHEN device = ?1 AND inode = ?2 AND size = ?3 AND mtime = ?4 AND cdelta = ?5"
                  "  THEN coalesce(?6, crc) ELSE ?6 END,"
                  " whole = CASE WHEN device = ?1 AND inode = ?2 AND size = ?3 AND mtime = ?4 AND cdelta = ?5"
                  "  THEN coalesce(?7, whole) ELSE ?7 END,"
                  " first = CASE WHEN device = ?1 AND inode = ?2 AND size = ?3 AND mtime = ?4 AND cdelta = ?5"
                  "  THEN coalesce(?8, first) ELSE ?8 END,"
                  " device = ?1, inode = ?2, size = ?3, mtime = ?4, cdelta = ?5, seen = ?9",
                  -1, &upsert, nullptr) == SQLITE_OK &&
              sqlite3_prepare_v2(m_db, "UPDATE digests SET seen = ?3 WHERE id = ?1 AND inode = ?2", -1, &touch,
                                 nullptr) == SQLITE_OK;
    for (std::size_t i = 0; ok && i < pending.size(); ++i) {
        const auto &[state, digests] = pending[i];
        sqlite3_reset(upsert);
        sqlite3_bind_int64(upsert, 1, static_cast<sqlite3_int64>(state.device));
        sqlite3_bind_int64(upsert, 2, static_cast<sqlite3_int64>(state.inode));
        sqlite3_bind_int64(upsert, 3, static_cast<sqlite3_int64>(state.size));
        sqlite3_bind_int64(upsert, 4, state.modifiedNs);
        sqlite3_bind_int64(upsert, 5, state.changedNs - state.modifiedNs);
        if (digests.crc)
            sqlite3_bind_int64(upsert, 6, *digests.crc);
        else
            sqlite3_bind_null(upsert, 6);
        putDigest(upsert, 7, digests.whole);
        // The first block of a one-block file is the whole of it: kept once.
        const bool oneBlock = digests.whole && digests.first && XXH128_isEqual(*digests.whole, *digests.first);
        if (oneBlock)
            sqlite3_bind_blob(upsert, 8, "", 0, SQLITE_STATIC);  // empty: the same as the whole
        else
            putDigest(upsert, 8, digests.first);
        sqlite3_bind_int64(upsert, 9, m_today);
        sqlite3_bind_int64(upsert, 10, keyOf(state.device, state.inode));
        ok = sqlite3_step(upsert) == SQLITE_DONE;
    }
    for (std::size_t i = 0; ok && i < seen.size(); ++i) {
        sqlite3_reset(touch);
        sqlite3_bind_int64(touch, 1, keyOf(seen[i].first, seen[i].second));
        sqlite3_bind_int64(touch, 2, static_cast<sqlite3_int64>(seen[i].second));
        sqlite3_bind_int64(touch, 3, m_today);
        ok = sqlite3_step(touch) == SQLITE_DONE;
    }
    sqlite3_finalize(upsert);
    sqlite3_finalize(touch);
    if (!ok || sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        std::lock_guard lock(m_mutex);
        fail("writing", m_db);
    }
}

void ChecksumCache::finish()
{
    std::vector<std::thread> writes;
    {
        std::lock_guard lock(m_mutex);
        handOver();
        writes = std::exchange(m_writes, {});
        m_finished = true;  // no more look-ups
        m_readers.clear();  // their read transactions end: the log can be folded in
    }
    for (std::thread &write : writes)
        write.join();
    std::lock_guard lock(m_mutex);
    if (m_broken)
        return;
    const std::string prune = "DELETE FROM digests WHERE seen < " + std::to_string(m_today - kKeepDays);
    sqlite3_exec(m_writer, prune.c_str(), nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(m_writer, 250);  // a reader of another scan: the log is folded in by a later one
    sqlite3_exec(m_writer, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
}

}  // namespace geminor
