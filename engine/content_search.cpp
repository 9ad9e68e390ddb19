#include "engine/content_search.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <sys/resource.h>
#include <thread>
#include <utility>

#include "engine/checksum_cache.h"
#include "engine/file_compare.h"
#include "engine/file_system.h"
#include "engine/file_version.h"
#include "engine/identical_groups.h"
#include "engine/thread_pool.h"

namespace geminor {

using Groups = MemberGroups;

std::size_t OpenFileBudget()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 256;
    return std::clamp<std::size_t>(static_cast<std::size_t>(limit.rlim_cur) / 4, 2, kMostFilesOpen);
}

namespace {

using Checksums = std::vector<std::pair<std::uint32_t, std::uint32_t>>;  // (CRC-32, member): 8 bytes a file

/// Reads the CRC-32 of the members that `next` hands out, a few at a time, into `out`.
void ChecksumSome(std::span<const FileRecord> members, std::atomic<std::uint32_t> &next, SearchState &state,
                  FolderHandles *folders, ChecksumCache *cache, Checksums &out)
{
    constexpr std::uint32_t kChunk = 16;
    std::vector<std::byte> buffer;  // one for every file this thread reads
    for (std::uint32_t from = next.fetch_add(kChunk); from < members.size(); from = next.fetch_add(kChunk)) {
        const auto to = static_cast<std::uint32_t>(std::min<std::size_t>(from + kChunk, members.size()));
        for (std::uint32_t i = from; i < to; ++i) {
            if (state.cancelled())
                return;  // the groups among the files read so far stay
            const FileRecord &record = members[i];
            std::optional<std::uint32_t> crc;
            if (const auto known = cache ? cache->lookup(record.id) : std::nullopt; known && known->crc) {
                crc = known->crc;  // unchanged since it was read: not read again
            } else {
                FileReader file = folders ? folders->open(record.folder, record.name)
                                          : FileReader(record.folder + record.name);
                if (const FileIdentity walked = state.identityOf(record);
                    (walked.device != 0 || walked.inode != 0) &&
                    (file.device() != walked.device || file.inode() != walked.inode))
                    file.close();  // another file took its name after the walk
                crc = FileCrc32(std::move(file), record.size, buffer);
                if (crc && cache)
                    cache->store(record.id, {crc, {}, {}, {}});
            }
            state.bytesCompared.fetch_add(record.size, std::memory_order_relaxed);
            if (crc)
                out.emplace_back(*crc, i);
            else
                ++state.unreadableFiles;
        }
    }
}

}  // namespace

Groups ChecksumGroups(std::span<const FileRecord> members, SearchState &state, FolderHandles *folders,
                      ChecksumCache *cache, ThreadPool *helpers)
{
    Checksums checksums, theirs;
    checksums.reserve(members.size());
    std::atomic<std::uint32_t> next{0};
    {
        // A large group is read by two threads: one size group of large files then uses both cores.
        const bool share = helpers && members.size() >= 4 &&
                           (members.size() >= 1024 || members.front().size * members.size() >= (64u << 20));
        PoolJob helper;
        if (share)
            helper = helpers->start([&] { ChecksumSome(members, next, state, folders, cache, theirs); });
        ChecksumSome(members, next, state, folders, cache, checksums);
        helper.wait();
    }
    checksums.insert(checksums.end(), theirs.begin(), theirs.end());
    std::sort(checksums.begin(), checksums.end());
    Groups groups;
    std::vector<std::uint32_t> group;
    for (std::size_t p = 0; p < checksums.size();) {
        group.clear();
        std::size_t end = p;
        for (; end < checksums.size() && checksums[end].first == checksums[p].first; ++end)
            group.push_back(checksums[end].second);
        if (group.size() > 1)
            groups.add(group);
        p = end;
    }
    return groups.sorted();
}

namespace {

/// The size runs of the sorted records that hold more than one file, compared by `threads`
/// workers while the caller takes the results in list order.
class ParallelGroups
{
public:
    ParallelGroups(const std::vector<FileRecord> &records, SearchMethod method, SearchState &state,
                   ChecksumCache *cache)
        : m_records(records), m_method(method), m_state(state), m_cache(cache)
    {
    }

    /// Runs `emit(begin, end, groups)` for every size run in order on the caller's thread, and
    /// `single(index)` for every record alone in its size (the last record never starts a run).
    template <typename Emit, typename Single, typename Waiting>
    void run(Emit emit, Single single, Waiting waiting)
    {
        std::vector<std::pair<std::size_t, std::size_t>> runs;
        for (std::size_t p = 0; p + 1 < m_records.size();) {
            std::size_t end = p + 1;
            while (end < m_records.size() && m_records[end].size == m_records[p].size)
                ++end;
            runs.push_back({p, end});
            p = end;
        }
        m_results.assign(runs.size(), std::nullopt);
        const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
        CompareLimits limits;
        limits.maxOpen = std::max<std::size_t>(1, OpenFileBudget() / threads);
        m_helpers.emplace(threads);  // started once: a huge size group asks for helpers round after round
        std::vector<std::jthread> workers;
        for (std::size_t t = 0; t < threads; ++t)
            workers.emplace_back([&, limits] { work(runs, limits); });
        for (std::size_t k = 0; k < runs.size(); ++k) {
            // Cancelled: the size group a worker had begun still gives what it confirmed.
            const bool last = m_state.cancelled();
            if (last && k >= m_next.load())
                break;
            const auto [begin, end] = runs[k];
            if (end - begin == 1) {
                single(begin);
                continue;
            }
            std::unique_lock lock(m_mutex);
            // A large size group can take minutes: say how far its bytes have come meanwhile.
            while (!m_ready.wait_for(lock, std::chrono::milliseconds(250),
                                     [&] { return m_results[k].has_value() || m_error; })) {
                lock.unlock();
                waiting();
                lock.lock();
            }
            if (m_error)
                break;
            Groups groups = std::move(*m_results[k]);
            lock.unlock();
            emit(begin, end, groups);
            if (last)
                break;
        }
        m_stop = true;
        workers.clear();  // joins
        if (m_error)
            std::rethrow_exception(m_error);  // out of memory, say: the scan fails whole
    }

private:
    void work(const std::vector<std::pair<std::size_t, std::size_t>> &runs, const CompareLimits &limits)
    {
        for (std::size_t k = m_next++; k < runs.size() && !m_stop; k = m_next++) {
            const auto [begin, end] = runs[k];
            Groups groups;
            try {
                if (end - begin > 1 && !m_state.cancelled()) {
                    const std::span<const FileRecord> members(m_records.data() + begin, end - begin);
                    groups =
                        m_method == SearchMethod::Crc32
                            ? ChecksumGroups(members, m_state, &m_folders, m_cache, &*m_helpers)
                            : IdenticalGroups(members, m_state, limits, {&m_folders, m_cache, &*m_helpers});
                }
            } catch (...) {
                std::lock_guard lock(m_mutex);
                if (!m_error)
                    m_error = std::current_exception();
                m_stop = true;
                m_ready.notify_all();
                return;
            }
            {
                std::lock_guard lock(m_mutex);
                m_results[k] = std::move(groups);
            }
            m_ready.notify_all();
        }
    }

    const std::vector<FileRecord> &m_records;
    FolderHandles m_folders{std::max<std::size_t>(1, OpenFileBudget() / 2)};
    std::optional<ThreadPool> m_helpers;  // outlives the workers, which run() joins
    SearchMethod m_method;
    SearchState &m_state;
    ChecksumCache *m_cache;
    std::vector<std::optional<Groups>> m_results;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stop{false};
    std::exception_ptr m_error;  // the first failure of a worker, under m_mutex
};

}  // namespace

void SearchDuplicates(std::vector<FileRecord> FileRecords, SearchMethod method, SearchState &state,
                      ChecksumCache *cache)
{
    const auto RecordTotal = static_cast<std::int64_t>(FileRecords.size());
    std::int64_t Processed = 0;
    auto progress = [&] { state.showProgress(SearchKind::Duplicates, Processed, RecordTotal, true); };
    std::uint64_t bytesTotal = 0;  // the bytes of every file that shares its size
    for (std::size_t p = 0; p < FileRecords.size(); ++p)
        if ((p > 0 && FileRecords[p - 1].size == FileRecords[p].size) ||
            (p + 1 < FileRecords.size() && FileRecords[p + 1].size == FileRecords[p].size))
            bytesTotal += FileRecords[p].size;
    const auto started = std::chrono::steady_clock::now();
    MemberGroups found;  // record numbers: the entries are made once their count is known
    std::vector<std::uint32_t> members;
    ParallelGroups(FileRecords, method, state, cache)
        .run(
            [&](std::size_t begin, std::size_t end, const Groups &groups) {
                for (std::size_t g = 0; g < groups.size(); ++g) {
                    members.clear();
                    for (std::uint32_t m : groups[g])
                        members.push_back(static_cast<std::uint32_t>(begin + m));
                    found.add(members);
                }
                Processed += static_cast<std::int64_t>(end - begin) - (end == FileRecords.size() ? 1 : 0);
                progress();
            },
            [&](std::size_t) {
                ++Processed;
                progress();
            },
            [&] {
                const double seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                state.showBytesProgress(SearchKind::Duplicates, Processed, RecordTotal,
                                        state.bytesCompared.load(std::memory_order_relaxed), bytesTotal,
                                        seconds);
            });
    std::size_t entries = 0;
    for (std::size_t g = 0; g < found.size(); ++g)
        entries += found[g].size();
    state.DuplicateRecords.reserve(state.DuplicateRecords.size() + entries);  // never doubled
    for (std::size_t g = 0; g < found.size(); ++g) {
        const std::int32_t group = state.startGroup();
        for (std::uint32_t i : found[g]) {
            FileRecord &r = FileRecords[i];
            std::string version = FileVersionText(r.folder, r.name);
            state.DuplicateRecords.push_back(
                {state.identityOf(r), std::move(r.name), std::move(r.folder), std::move(version), group});
        }
        state.DuplicateCount += static_cast<std::int32_t>(found[g].size() - 1);
    }
}

}  // namespace geminor
