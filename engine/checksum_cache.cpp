#include "engine/checksum_cache.h"

#include "engine/cache_checker.h"
#include "engine/cache_folder.h"
#include "engine/checksum_store.h"
#include "engine/file_system.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <lmdb.h>
#include <span>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace geminor {

using namespace digest_store;

std::string ChecksumCache::DefaultFolder()
{
    return UserBaseFolder("XDG_CACHE_HOME", "/.cache") + "/geminor";
}

std::chrono::seconds ChecksumCache::SettleTime()
{
    const char *text = std::getenv("GEMINOR_TEST_CACHE_SETTLE_SECONDS");
    char *end = nullptr;
    const long seconds = text ? std::strtol(text, &end, 10) : -1;
    return text && *text && !*end && seconds >= 0 ? std::chrono::seconds(seconds) : kSettle;
}

std::uint64_t ChecksumCache::SizeIn(const std::string &folder)
{
    std::uint64_t bytes = 0;
    for (const char *file : kFiles) {
        struct stat st = {};
        if (StatPath(folder + file, &st, AT_SYMLINK_NOFOLLOW) == 0)
            bytes += static_cast<std::uint64_t>(st.st_blocks) * 512;  // the map is sparse: what it takes
    }
    return bytes;
}

Status ChecksumCache::ClearIn(const std::string &folder)
{
    for (const char *file : kFiles)
        if (UnlinkPath(folder + file) != 0 && errno != ENOENT)
            return FailErrno(folder + file);
    return {};
}

std::optional<std::size_t> ChecksumCache::RecordsIn(const std::string &folder)
{
    const Result<UniqueFd> folderFd = OpenOwnFolder(folder, false);
    if (!folderFd || !OwnFileOrNone(folderFd->get(), kFile + 1) || !OwnFileOrNone(folderFd->get(), kLockFile))
        return std::nullopt;
    return wholeRecords("/proc/self/fd/" + std::to_string(folderFd->get()) + kFile);
}

namespace {

/// The cache's folder and its data file (which carries the writers' lock).
struct OpenedFolder
{
    UniqueFd folder, data;
};

Unexpected at(std::string path, Error error)
{
    error.path = std::move(path);
    return Unexpected(std::move(error));
}

/// The cache's folder and data file, each checked to be the user's alone, and room had.
Result<OpenedFolder> openFolder(const std::string &folder, const std::string &shown)
{
    Result<UniqueFd> folderFd = OpenOwnFolder(folder, true);
    if (!folderFd)
        return at(folder, folderFd.error());
    Result<UniqueFd> data = OpenOwnFile(folderFd->get(), kFile + 1);
    const Status room = data ? ReserveLockFile(folderFd->get()) : Status(Unexpected(data.error()));
    if (!room)
        return at(shown, room.error());
    for (const char *old : std::span(kFiles).subspan(kOlderFormat))
        Fs().unlinkat(folderFd->get(), old + 1, 0);
    return OpenedFolder{std::move(*folderFd), std::move(*data)};
}

/// The environment on `reached`: before anything is read, its file gets room past its last
/// page, under the writers' lock.
Result<LmdbEnv> openDatabase(const std::string &reached, const OpenedFolder &opened)
{
    int rc = 0;
    const bool locked = setWritersLock(opened.data.get(), F_WRLCK);
    LmdbEnv env = openEnvironment(reached, 0, rc);
    const Status room = env ? ReserveLockFile(opened.folder.get()) : Status();
    if (!room)
        env.reset();
    if (env && locked)
        KeepSlack(env.get(), opened.data.get());
    if (locked)
        setWritersLock(opened.data.get(), F_UNLCK);
    if (!env)
        return room ? Fail(ErrorCode::CacheUnusable, rc) : Unexpected(room.error());
    return env;
}

}  // namespace

Result<std::unique_ptr<ChecksumCache>> ChecksumCache::Open(const std::string &folder,
                                                           std::chrono::seconds settle)
{
    const std::string shown = folder + kFile;
    Result<OpenedFolder> opened = openFolder(folder, shown);
    if (!opened)
        return Unexpected(opened.error());
    // LMDB opens its files by name: through the folder checked, whatever its path becomes.
    const std::string path = "/proc/self/fd/" + std::to_string(opened->folder.get()) + kFile;
    struct stat st = {};
    const std::string reached = Fs().fstatat(AT_FDCWD, path.c_str(), &st, 0) == 0 ? path : shown;
    Result<LmdbEnv> env = openDatabase(reached, *opened);
    if (!env)
        return at(shown, env.error());
    // Checked in a process of its own while the folders are walked; read once it has passed.
    // (A new cache has nothing to check; an unchecked one is never read.)
    MDB_envinfo info = {};
    const bool check = mdb_env_info(env->get(), &info) != 0 || info.me_last_pgno > 1;
    std::unique_ptr<ChecksumCache> cache(new ChecksumCache(shown, std::move(*env), std::move(opened->folder),
                                                           std::move(opened->data), settle));
    if (check)
        if (!(cache->m_checker = CacheCheck::Start(reached, cache->m_folderFd.get())))
            cache->stopUsing(Error{ErrorCode::SystemCall, errno}, true);
    return cache;
}

ChecksumCache::ChecksumCache(std::string path, LmdbEnv env, UniqueFd folderFd, UniqueFd lockFd,
                             std::chrono::seconds settle)
    : m_path(std::move(path)), m_env(std::move(env)), m_folderFd(std::move(folderFd)),
      m_lockFd(std::move(lockFd)), m_today(today()),
      m_settledBeforeNs(std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch() - settle)
                            .count())
{
}

bool ChecksumCache::settle()
{
    if (m_broken)
        return false;
    if (m_checker && !m_checker.passed())
        return stopUsing(Error{ErrorCode::CacheUnusable, MDB_CORRUPTED}, true);
    int dead = 0;
    mdb_reader_check(m_env.get(), &dead);  // slots of scans that were killed (and of a check that faulted)
    MDB_dbi dbi = 0;
    MDB_stat stat = {};
    MDB_val key = valueOf(kMetaKey.data(), kMetaKey.size()), value;
    int rc = 0;
    LmdbTxn txn = beginTxn(m_env.get(), MDB_RDONLY, rc);
    if (rc == 0 && (rc = mdb_dbi_open(txn.get(), nullptr, 0, &dbi)) == 0 &&
        (rc = mdb_stat(txn.get(), dbi, &stat)) == 0) {
        const int found = mdb_get(txn.get(), dbi, &key, &value);
        if (found != 0 && found != MDB_NOTFOUND)
            rc = found;
        else if (stat.ms_entries > 0 && (found != 0 || !markDay(value)))
            rc = MDB_INVALID;  // not ours
        else
            m_prunedDay = found == 0 ? *markDay(value) : m_today;
    }
    if (txn)
        mdb_txn_commit(txn.release());  // (keeps the main table's handle)
    if (rc != 0)
        return stopUsing(Error{ErrorCode::CacheUnusable, rc}, true);
    m_dbi = dbi;
    m_empty = stat.ms_entries <= 1;  // a first scan finds nothing: it need not ask for every file
    return true;
}

bool ChecksumCache::stopUsing(Error reason, bool fromStart)
{
    std::lock_guard lock(m_mutex);
    reason.path = m_path;
    if (!m_broken)
        m_warning =
            CacheWarning{fromStart ? CacheWarning::Stage::NotUsed : CacheWarning::Stage::NotUsedFromHere,
                         std::move(reason)};
    m_broken = true;
    return false;
}

ChecksumCache::~ChecksumCache()
{
    walkDone();
    wait();
}

std::optional<CacheWarning> ChecksumCache::warning() const
{
    std::lock_guard lock(m_mutex);
    return m_warning;
}

Digests ChecksumCache::Known::digests() const
{
    Digests digests;
    if (has & 1)
        digests.crc = crc;
    if (has & 2)
        digests.whole = whole;
    if (has & 4)
        digests.first = first;
    return digests;
}

void ChecksumCache::Known::add(const Digests &digests)
{
    if (digests.crc)
        crc = *digests.crc;
    if (digests.whole)
        whole = *digests.whole;
    if (digests.first)
        first = *digests.first;
    has |=
        static_cast<std::uint8_t>((digests.crc ? 1 : 0) | (digests.whole ? 2 : 0) | (digests.first ? 4 : 0));
}

void ChecksumCache::take(std::uint32_t id, const CacheRecord &record)
{
    m_known[id].add(record.digests);
    m_known[id].dirty = record.seenDay != m_today;  // seen today: kept 90 days more
}

void ChecksumCache::sortByKey(std::vector<std::uint32_t> &ids) const
{
    auto key = [this](std::uint32_t id) { return std::pair(m_states[id].device, m_states[id].inode); };
    std::sort(ids.begin(), ids.end(), [&](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
}

void ChecksumCache::noteFolder(dev_t device, int folderFd)
{
    m_volumes.note(device, folderFd);
}

void ChecksumCache::addFile(const FileIdentity &state)
{
    if (!std::exchange(m_settled, true)) {
        m_states.assign(1, FileIdentity{});  // beside the file list's empty element 0
        m_known.assign(1, Known{});
        if (settle() && !m_empty)
            if (int rc = 0; !(m_txn = beginTxn(m_env.get(), MDB_RDONLY, rc)))
                stopUsing(Error{ErrorCode::CacheUnusable, rc}, true);
    }
    if (state.device != m_lastDevice || m_states.size() == 1)
        m_lastVolume = m_volumes.of(static_cast<dev_t>(m_lastDevice = state.device));
    m_states.push_back(state);
    Known &known = m_known.emplace_back();
    // Times written less than `settle` before the scan may not move at the next change yet.
    known.trusted = m_lastVolume.trusted && state.inode != 0 &&
                    std::max(state.modifiedNs, state.changedNs) <= m_settledBeforeNs;
    if (!m_txn || m_broken || !known.trusted)
        return;
    if (++m_asked % kRenewEvery == 0) {  // a snapshot held long keeps writers from reusing its pages
        mdb_txn_reset(m_txn.get());
        if (const int rc = mdb_txn_renew(m_txn.get()); rc != 0) {
            stopUsing(Error{ErrorCode::CacheUnusable, rc}, true);
            return;
        }
    }
    ask(static_cast<std::uint32_t>(m_states.size() - 1));
}

void ChecksumCache::walkDone()
{
    m_txn.reset();
}

void ChecksumCache::ask(std::uint32_t id)
{
    const FileIdentity &state = m_states[id];
    const CacheKey key = CacheKeyOf(state.device, state.inode);
    MDB_val k = valueOf(key.data(), key.size()), value;
    const int rc = mdb_get(m_txn.get(), m_dbi, &k, &value);
    if (rc == MDB_NOTFOUND)
        return;
    const std::optional<CacheRecord> record = rc == 0 ? recordAt(k, value) : std::nullopt;
    if (!record) {
        stopUsing(rc != 0 ? Error{ErrorCode::CacheReadFailed, rc} : Error{ErrorCode::CacheDamagedRecord},
                  false);
        return;
    }
    // Else stale: the file changed since, another took its inode, or another file system its device.
    if (record->state == state && record->fileSystem == m_lastVolume.identity)
        take(id, *record);
}

std::optional<Digests> ChecksumCache::lookup(std::uint32_t id)
{
    if (m_broken || m_finished || id >= m_known.size())
        return std::nullopt;
    const Known &known = m_known[id];
    return known.has ? std::optional(known.digests()) : std::nullopt;
}

void ChecksumCache::store(std::uint32_t id, const Digests &digests)
{
    if (m_broken || m_finished || id >= m_known.size() || !m_known[id].trusted)
        return;
    m_known[id].add(digests);
    m_known[id].dirty = true;
}

int ChecksumCache::prune(MDB_txn *txn)
{
    int rc = 0;
    if (const LmdbCursor cursor = openCursor(txn, m_dbi, rc))
        rc = forEachRecord(cursor.get(), [&](const std::optional<CacheRecord> &record) {
            return !record || record->seenDay + kKeepDays < m_today ? mdb_cursor_del(cursor.get(), 0) : 0;
        });
    return rc == MDB_NOTFOUND ? putMark(txn, m_dbi, m_today) : rc;
}

void ChecksumCache::write()
{
    std::vector<std::uint32_t> dirty;
    for (std::uint32_t id = 0; id < m_known.size(); ++id)
        if (m_known[id].dirty)
            dirty.push_back(id);
    const bool pruneDue = !m_empty && m_prunedDay != m_today;
    if (dirty.empty() && !pruneDue)
        return;
    // In the order of the keys, a few thousand at a time: each transaction rewrites only the
    // pages of its own range, and the file grows by little more than what it holds.
    sortByKey(dirty);
    if (!setWritersLock(m_lockFd.get(), F_WRLCK)) {
        std::lock_guard lock(m_mutex);
        m_warning = CacheWarning{CacheWarning::Stage::NotUpdated, Error{ErrorCode::CacheWriterBusy}};
        return;
    }
    int rc = 0;
    dev_t device = 0;
    CacheVolume volume;
    for (std::size_t begin = 0; rc == 0 && (begin < dirty.size() || (begin == 0 && pruneDue));
         begin += kChunk) {
        LmdbTxn txn = beginTxn(m_env.get(), 0, rc);
        if (!txn)
            break;
        if (begin == 0)
            rc = pruneDue ? prune(txn.get()) : m_empty ? putMark(txn.get(), m_dbi, m_prunedDay) : 0;
        for (std::size_t i = begin; rc == 0 && i < std::min(dirty.size(), begin + kChunk); ++i) {
            if (const FileIdentity &state = m_states[dirty[i]]; i == 0 || state.device != device)
                volume = m_volumes.of(static_cast<dev_t>(device = state.device));
            const CacheRecord record{m_states[dirty[i]], volume.identity, m_known[dirty[i]].digests(),
                                     m_today};
            const CacheKey key = CacheKeyOf(record.state.device, record.state.inode);
            const std::string bytes = EncodeRecord(record);
            MDB_val k = valueOf(key.data(), key.size()), value = valueOf(bytes.data(), bytes.size());
            rc = mdb_put(txn.get(), m_dbi, &k, &value, 0);
        }
        if (rc == 0)
            rc = mdb_txn_commit(txn.release());
    }
    KeepSlack(m_env.get(), m_lockFd.get());
    setWritersLock(m_lockFd.get(), F_UNLCK);
    if (rc != 0) {
        std::lock_guard lock(m_mutex);
        m_warning =
            CacheWarning{CacheWarning::Stage::NotUpdated, Error{ErrorCode::CacheUnusable, rc, m_path}};
    }
}

void ChecksumCache::finish()
{
    walkDone();
    if (!std::exchange(m_settled, true))
        settle();       // (no file was walked: the cache is still pruned when due)
    m_finished = true;  // no more look-ups
    if (!m_broken && !m_writer.joinable())
        m_writer = std::thread([this] { write(); });
}

void ChecksumCache::wait()
{
    if (m_writer.joinable())
        m_writer.join();
}

}  // namespace geminor
