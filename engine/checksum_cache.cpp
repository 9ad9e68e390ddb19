#include "engine/checksum_cache.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <lmdb.h>
#include <sys/stat.h>
#include <utility>

#include "engine/cache_checker.h"
#include "engine/cache_folder.h"
#include "engine/checksum_store.h"
#include "engine/file_system.h"

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

Result<std::unique_ptr<ChecksumCache>> ChecksumCache::Open(const std::string &folder,
                                                           std::chrono::seconds settle)
{
    Result<OpenedStore> store = openStore(folder);
    if (!store)
        return Unexpected(store.error());
    // Checked in a process of its own while the folders are walked; read once it has passed.
    // (A new cache has nothing to check; an unchecked one is never read.)
    MDB_envinfo info = {};
    const bool check = mdb_env_info(store->env.get(), &info) != 0 || info.me_last_pgno > 1;
    std::unique_ptr<ChecksumCache> cache(new ChecksumCache(std::move(*store), settle));
    if (check)
        if (!(cache->m_checker = CacheCheck::Start(cache->m_store.reached, cache->m_store.folder.get())))
            cache->stopUsing(CacheError(ErrorCode::SystemCall, errno), true);
    return cache;
}

ChecksumCache::ChecksumCache(OpenedStore store, std::chrono::seconds settle)
    : m_store(std::move(store)), m_today(today()),
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
        return stopUsing(CacheError(ErrorCode::CacheUnusable, MDB_CORRUPTED), true);
    int dead = 0;
    mdb_reader_check(m_store.env.get(),
                     &dead);  // slots of scans that were killed (and of a check that faulted)
    Result<StoreMark> mark = readMark(m_store.env.get(), m_today);
    if (!mark)
        return stopUsing(mark.error(), true);
    m_mark = *mark;
    return true;
}

bool ChecksumCache::stopUsing(Error reason, bool fromStart)
{
    std::lock_guard lock(m_mutex);
    reason.path = m_store.shown;
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
    return m_warning ? m_warning : m_writer.warning();
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
    has |= static_cast<std::uint8_t>((digests.crc ? 1 : 0) | (digests.whole ? 2 : 0) |
                                     (digests.first ? 4 : 0) | (digests.picture ? 8 : 0));
}

void ChecksumCache::learn(std::uint32_t id, const Digests &digests)
{
    m_known[id].add(digests);
    if (digests.picture) {
        std::lock_guard lock(m_pictureMutex);
        m_pictures[id] = *digests.picture;
    }
}

Digests ChecksumCache::digestsOf(std::uint32_t id) const
{
    Digests digests = m_known[id].digests();
    if (m_known[id].has & 8) {
        std::lock_guard lock(m_pictureMutex);
        if (const auto look = m_pictures.find(id); look != m_pictures.end())
            digests.picture = look->second;
    }
    return digests;
}

void ChecksumCache::noteFolder(dev_t device, int folderFd)
{
    m_volumes.note(device, folderFd);
}

void ChecksumCache::addFile(const FileIdentity &state)
{
    if (!std::exchange(m_settled, true)) {
        m_states.clear();
        m_states.emplace_back();  // beside the file list's empty element 0
        m_known.clear();
        m_known.emplace_back();
        if (settle() && !m_mark.empty)
            if (const Status begun = m_snapshot.begin(m_store.env.get(), m_mark.dbi); !begun)
                stopUsing(begun.error(), true);
    }
    if (state.device != m_lastDevice || m_states.size() == 1)
        m_lastVolume = m_volumes.of(static_cast<dev_t>(m_lastDevice = state.device));
    m_states.push_back(state);
    Known &known = m_known.emplace_back();
    // Times written less than `settle` before the scan may not move at the next change yet.
    known.trusted = m_lastVolume.trusted && state.inode != 0 &&
                    std::max(state.modifiedNs, state.changedNs) <= m_settledBeforeNs;
    if (m_snapshot && !m_broken && known.trusted)
        ask(static_cast<std::uint32_t>(m_states.size() - 1));
}

void ChecksumCache::walkDone()
{
    m_snapshot.end();
}

void ChecksumCache::ask(std::uint32_t id)
{
    const Result<std::optional<CacheRecord>> record = m_snapshot.read(m_states[id]);
    if (!record) {  // (a snapshot that cannot be renewed costs the cache as a whole)
        stopUsing(record.error(), record.error().code == ErrorCode::CacheUnusable);
        return;
    }
    // Else stale: the file changed since, another took its inode, or another file system its device.
    if (*record && (*record)->state == m_states[id] && (*record)->fileSystem == m_lastVolume.identity) {
        learn(id, (*record)->digests);
        m_known[id].dirty = (*record)->seenDay != m_today;  // seen today: kept 90 days more
    }
}

std::optional<Digests> ChecksumCache::lookup(std::uint32_t id)
{
    if (m_broken || m_finished || id >= m_known.size())
        return std::nullopt;
    const Known &known = m_known[id];
    return known.has ? std::optional(digestsOf(id)) : std::nullopt;
}

void ChecksumCache::store(std::uint32_t id, const Digests &digests)
{
    if (m_broken || m_finished || id >= m_known.size() || !m_known[id].trusted)
        return;
    learn(id, digests);
    m_known[id].dirty = true;
}

CacheWriter::Records ChecksumCache::toWrite()
{
    m_dirty.clear();
    for (std::uint32_t id = 0; id < m_known.size(); ++id)
        if (m_known[id].dirty)
            m_dirty.push_back(id);
    auto key = [this](std::uint32_t id) { return std::pair(m_states[id].device, m_states[id].inode); };
    std::sort(m_dirty.begin(), m_dirty.end(),
              [&](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
    return {m_dirty.size(), [this, device = dev_t{0}, volume = CacheVolume()](std::size_t i) mutable {
                const std::uint32_t id = m_dirty[i];
                if (i == 0 || m_states[id].device != device)
                    volume = m_volumes.of(device = static_cast<dev_t>(m_states[id].device));
                return CacheRecord{m_states[id], volume.identity, digestsOf(id), m_today};
            }};
}

void ChecksumCache::finish()
{
    walkDone();
    if (!std::exchange(m_settled, true))
        settle();       // (no file was walked: the cache is still pruned when due)
    m_finished = true;  // no more look-ups
    if (!m_broken && !m_writer.started())
        m_writer.start({m_store.env.get(), m_mark, m_store.data.get(), m_store.shown, m_today},
                       [this] { return toWrite(); });
}

void ChecksumCache::wait()
{
    m_writer.wait();
}

}  // namespace geminor
