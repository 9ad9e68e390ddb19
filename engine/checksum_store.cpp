#include "engine/checksum_store.h"

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <span>
#include <thread>
#include <unistd.h>
#include <utility>

#include "engine/cache_folder.h"
#include "engine/cache_warning.h"
#include "engine/file_system.h"

namespace geminor::digest_store {
namespace {

constexpr std::size_t kMaxValue = 128;  // a longer value is damage
constexpr off_t kSlack = 1 << 20;       // past the last page: further than a damaged page's offsets reach

const char kMark[] = "geminor digests 1";

/// Where the last page of `env` ends, in bytes.
std::optional<std::uint64_t> pagesEnd(MDB_env *env)
{
    MDB_envinfo info = {};
    MDB_stat pages = {};
    if (mdb_env_info(env, &info) != 0 || mdb_env_stat(env, &pages) != 0)
        return std::nullopt;
    return (info.me_last_pgno + 1) * std::uint64_t{pages.ms_psize};
}

Unexpected at(std::string path, Error error)
{
    error.path = std::move(path);
    return Unexpected(std::move(error));
}

/// The cache's folder and data file, each checked to be the user's alone, and room had.
Result<OpenedStore> openFolder(const std::string &folder)
{
    OpenedStore store;
    store.shown = folder + kFile;
    Result<UniqueFd> folderFd = OpenOwnFolder(folder, true);
    if (!folderFd)
        return at(folder, folderFd.error());
    Result<UniqueFd> data = OpenOwnFile(folderFd->get(), kFile + 1);
    const Status room = data ? ReserveLockFile(folderFd->get()) : Status(Unexpected(data.error()));
    if (!room)
        return at(store.shown, room.error());
    for (const char *old : std::span(kFiles).subspan(kOlderFormat))
        Fs().unlinkat(folderFd->get(), old + 1, 0);
    // LMDB opens its files by name: through the folder checked, whatever its path becomes.
    const std::string path = "/proc/self/fd/" + std::to_string(folderFd->get()) + kFile;
    struct stat st = {};
    store.reached = Fs().fstatat(AT_FDCWD, path.c_str(), &st, 0) == 0 ? path : store.shown;
    store.folder = std::move(*folderFd);
    store.data = std::move(*data);
    return store;
}

}  // namespace

Result<OpenedStore> openStore(const std::string &folder)
{
    Result<OpenedStore> store = openFolder(folder);
    if (!store)
        return store;
    // Before anything is read, the file gets room past its last page, under the writers' lock.
    int rc = 0;
    const bool locked = setWritersLock(store->data.get(), F_WRLCK);
    store->env = openEnvironment(store->reached, 0, rc);
    const Status room = store->env ? ReserveLockFile(store->folder.get()) : Status();
    if (!room)
        store->env.reset();
    if (store->env && locked)
        KeepSlack(store->env.get(), store->data.get());
    if (locked)
        setWritersLock(store->data.get(), F_UNLCK);
    if (!store->env)
        return at(store->shown, room ? CacheError(ErrorCode::CacheUnusable, rc) : room.error());
    return store;
}

Result<StoreMark> readMark(MDB_env *env, std::uint16_t today)
{
    StoreMark mark;
    MDB_stat stat = {};
    MDB_val key = valueOf(kMetaKey.data(), kMetaKey.size()), value;
    int rc = 0;
    LmdbTxn txn = beginTxn(env, MDB_RDONLY, rc);
    if (rc == 0 && (rc = mdb_dbi_open(txn.get(), nullptr, 0, &mark.dbi)) == 0 &&
        (rc = mdb_stat(txn.get(), mark.dbi, &stat)) == 0) {
        const int found = mdb_get(txn.get(), mark.dbi, &key, &value);
        if (found != 0 && found != MDB_NOTFOUND)
            rc = found;
        else if (stat.ms_entries > 0 && (found != 0 || !markDay(value)))
            rc = MDB_INVALID;  // not ours
        else
            mark.prunedDay = found == 0 ? *markDay(value) : today;
    }
    if (txn)
        mdb_txn_commit(txn.release());  // (keeps the main table's handle)
    if (rc != 0)
        return Fail(ErrorCode::CacheUnusable, rc);
    mark.empty = stat.ms_entries <= 1;
    return mark;
}

LmdbTxn beginTxn(MDB_env *env, unsigned flags, int &rc)
{
    MDB_txn *txn = nullptr;
    rc = mdb_txn_begin(env, nullptr, flags, &txn);
    return LmdbTxn(rc == 0 ? txn : nullptr);
}

LmdbCursor openCursor(MDB_txn *txn, MDB_dbi dbi, int &rc)
{
    MDB_cursor *cursor = nullptr;
    rc = mdb_cursor_open(txn, dbi, &cursor);
    return LmdbCursor(rc == 0 ? cursor : nullptr);
}

void DropMappedPages(MDB_env *env)
{
    // LMDB does not say where it mapped the file (unless at a fixed address): the process's
    // maps do.
    int fd = -1;
    struct stat st = {};
    if (mdb_env_get_fd(env, &fd) != 0 || ::fstat(fd, &st) != 0)
        return;
    std::FILE *maps = std::fopen("/proc/self/maps", "re");
    if (!maps)
        return;
    unsigned long begin = 0, end = 0, inode = 0;
    unsigned major = 0, minor = 0;
    char line[512];
    for (bool lineStart = true; std::fgets(line, sizeof line, maps);
         lineStart = std::strchr(line, '\n') != nullptr)  // (the rest of a long path is no line)
        if (lineStart &&
            std::sscanf(line, "%lx-%lx %*s %*x %x:%x %lu", &begin, &end, &major, &minor, &inode) == 5 &&
            inode == st.st_ino && makedev(major, minor) == st.st_dev)
            ::madvise(reinterpret_cast<void *>(begin), end - begin,
                      MADV_DONTNEED);  // (read-only: nothing lost)
    std::fclose(maps);
}

MDB_val valueOf(const void *data, std::size_t size)
{
    return MDB_val{size, const_cast<void *>(data)};
}

std::uint16_t today()
{
    // Tests set the day in GEMINOR_TEST_CACHE_DAY to see records age.
    if (const char *day = std::getenv("GEMINOR_TEST_CACHE_DAY"))
        return static_cast<std::uint16_t>(std::strtoul(day, nullptr, 10));
    return static_cast<std::uint16_t>(std::time(nullptr) / 86400);
}

/// The prune day stored in the mark; nothing when `value` is not our mark.
std::optional<std::uint16_t> markDay(const MDB_val &value)
{
    std::uint16_t day = 0;
    if (value.mv_size != sizeof kMark + sizeof day || std::memcmp(value.mv_data, kMark, sizeof kMark) != 0)
        return std::nullopt;
    std::memcpy(&day, static_cast<const char *>(value.mv_data) + sizeof kMark, sizeof day);
    return day;
}

bool isMark(const MDB_val &key)
{
    return key.mv_size == kMetaKey.size() && std::memcmp(key.mv_data, kMetaKey.data(), kMetaKey.size()) == 0;
}

/// The record stored as (`key`, `value`); nothing when it is damaged.
std::optional<CacheRecord> recordAt(const MDB_val &key, const MDB_val &value)
{
    CacheKey k;
    if (key.mv_size != k.size() || value.mv_size > kMaxValue)
        return std::nullopt;
    std::memcpy(k.data(), key.mv_data, k.size());
    return DecodeRecord(k, {static_cast<const char *>(value.mv_data), value.mv_size});
}

int putMark(MDB_txn *txn, MDB_dbi dbi, std::uint16_t day)
{
    char bytes[sizeof kMark + sizeof day];
    std::memcpy(bytes, kMark, sizeof kMark);
    std::memcpy(bytes + sizeof kMark, &day, sizeof day);
    MDB_val key = valueOf(kMetaKey.data(), kMetaKey.size()), value = valueOf(bytes, sizeof bytes);
    return mdb_put(txn, dbi, &key, &value, 0);
}

/// (Not flushed: a record carries its file's state and a check, so one torn or left from before
/// is stale or refused, never taken for another's.)
/// An environment on `path` (read-only or not); nothing with `rc` set when it cannot be opened
/// or is shorter than its pages say (reading those would fault).
LmdbEnv openEnvironment(const std::string &path, unsigned flags, int &rc)
{
    MDB_env *created = nullptr;
    if ((rc = mdb_env_create(&created)) != 0)
        return nullptr;
    LmdbEnv env(created);
    mdb_env_set_maxreaders(env.get(), 256);
    for (const std::size_t map :
         {std::size_t{1} << 36, std::size_t{1} << 32}) {  // address space may be limited
        mdb_env_set_mapsize(env.get(), map);
        if ((rc = mdb_env_open(env.get(), path.c_str(),
                               flags | MDB_NOSUBDIR | MDB_NOTLS | MDB_NORDAHEAD | MDB_NOSYNC, 0600)) !=
            ENOMEM)
            break;
    }
    struct stat st = {};
    const auto end = rc == 0 ? pagesEnd(env.get()) : std::nullopt;
    if (rc == 0 && (!end || StatPath(path, &st) != 0 || static_cast<std::uint64_t>(st.st_size) < *end))
        rc = MDB_INVALID;
    return rc == 0 ? std::move(env) : nullptr;
}

/// The writers' lock: a byte of the data file locked by its open file description. Every
/// Geminor takes it around its writes, so that one that hangs never hangs another (it is waited
/// for a few seconds, then the cache is not written).
bool setWritersLock(int fd, short type)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_len = 1;
    for (int waited = 0; ::fcntl(fd, F_OFD_SETLK, &lock) != 0; waited += 10) {
        if ((errno != EAGAIN && errno != EACCES && errno != EINTR) || waited >= kWaitForWriterMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

/// Gives the data file room past its last page: a damaged page whose offsets point past it then
/// reads zeros, not a fault. Only ever longer, and only under the writers' lock.
void KeepSlack(MDB_env *env, int fd)
{
    struct stat st = {};
    const auto end = pagesEnd(env);
    if (!end || Fs().fstat(fd, &st) != 0)
        return;
    const auto wanted = static_cast<off_t>(*end) + kSlack;
    if (st.st_size < wanted)
        (void)Fs().ftruncate(fd, wanted);
}

/// The records of the cache at `path`, after walking every page of both its tables (the free
/// pages' and the records') and checking every record; nothing when one is damaged.
std::optional<std::size_t> wholeRecords(const std::string &path)
{
    int rc = 0;
    const LmdbEnv env = openEnvironment(path, MDB_RDONLY, rc);
    const LmdbTxn txn = env ? beginTxn(env.get(), MDB_RDONLY, rc) : nullptr;
    std::size_t records = 0;
    bool whole = txn != nullptr;
    for (const MDB_dbi dbi : {MDB_dbi{0}, MDB_dbi{1}}) {
        const LmdbCursor cursor = whole ? openCursor(txn.get(), dbi, rc) : nullptr;
        whole = cursor && forEachRecord(cursor.get(), [&](const std::optional<CacheRecord> &record) {
                              records += dbi == 1 ? 1 : 0;
                              return dbi == 0 || record ? 0 : MDB_CORRUPTED;
                          }) == MDB_NOTFOUND;
    }
    return whole ? std::optional(records) : std::nullopt;
}

}  // namespace geminor::digest_store
