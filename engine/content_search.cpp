#include "engine/content_search.h"

#include <chrono>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <cstring>
#include <memory>
#include <span>
#include <sys/resource.h>
#include <unordered_map>
#include <utility>
#include <xxhash.h>

#include "engine/file_compare.h"
#include "engine/file_reader.h"
#include "engine/file_version.h"

namespace geminor {
namespace {

constexpr std::size_t kFirstBlock = 4096;
constexpr std::size_t kMiddleBlock = 64 * 1024;
constexpr std::size_t kLargeBlock = 1024 * 1024;
constexpr std::size_t kBlockMemory = 8 * 1024 * 1024;   // representative blocks kept in one round
constexpr std::size_t kSmallestBlock = 128;

using Groups = std::vector<std::vector<std::uint32_t>>;

/// One file of a size group, opened lazily; it must stay the same file and length throughout.
class Candidate
{
public:
    explicit Candidate(const FileRecord &record) : m_record(record) {}

    /// Reads exactly `out.size()` bytes at `offset`; false when the file is gone, changed or unreadable.
    bool read(std::uint64_t offset, std::span<std::byte> out, std::atomic<std::size_t> &openFiles,
              std::size_t maxOpen)
    {
        if (!m_reader.isOpen()) {
            FileReader reader(m_record.folder + m_record.name);
            if (!reader.isOpen() || reader.size() != m_record.size)
                return false;
            if (m_seen && (reader.device() != m_dev || reader.inode() != m_ino))
                return false;  // another file now stands under this name
            m_seen = true;
            m_dev = reader.device();
            m_ino = reader.inode();
            if (openFiles >= maxOpen)  // over budget: read through a descriptor of this call only
                return readFrom(reader, offset, out);
            m_reader = std::move(reader);
            ++openFiles;
        }
        return readFrom(m_reader, offset, out);
    }

    /// See FileReader::nextData; nullopt while the file is not held open.
    std::optional<std::uint64_t> nextData(std::uint64_t offset)
    {
        return m_reader.isOpen() ? m_reader.nextData(offset) : std::nullopt;
    }

    void close(std::atomic<std::size_t> &openFiles)
    {
        if (m_reader.isOpen()) {
            m_reader.close();
            --openFiles;
        }
    }

private:
    /// The last block also checks the length again: a file that grew or shrank while it was
    /// read is not the file that was listed. `out` then holds one byte more than the block,
    /// which must stay unread.
    bool readFrom(FileReader &reader, std::uint64_t offset, std::span<std::byte> out)
    {
        const bool last = offset + out.size() > m_record.size;
        const std::size_t want = last ? out.size() - 1 : out.size();
        return reader.readAtLeast(offset, out, want) == static_cast<std::int64_t>(want);
    }

    const FileRecord &m_record;
    FileReader m_reader;
    bool m_seen = false;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
};

/// The next block to read: small at first, where most files differ, larger later, and the
/// whole rest when it is little more than one block.
std::size_t blockSize(std::uint64_t offset, std::uint64_t size, std::size_t members)
{
    const std::size_t wanted = offset == 0 ? kFirstBlock : offset < kLargeBlock ? kMiddleBlock : kLargeBlock;
    // The floor is small: a size group of a million files keeps its blocks within the budget.
    const std::size_t block = std::max<std::size_t>(kSmallestBlock, std::min(wanted, kBlockMemory / members));
    const std::uint64_t rest = size - offset;
    return rest <= 2 * static_cast<std::uint64_t>(block) && rest * members <= kBlockMemory
               ? static_cast<std::size_t>(rest)
               : block;
}

/// Bytes that grow without being cleared first: every byte is read into before it is used.
class RawBuffer
{
public:
    std::size_t size() const { return m_size; }
    std::byte *data() { return m_data.get(); }
    void clear() { m_size = 0; }
    /// Room for `size` bytes at once, so that a round of known size never doubles its storage.
    void reserve(std::size_t size)
    {
        if (size > m_capacity)
            grow(size);
    }
    void resize(std::size_t size)
    {
        if (size > m_capacity)
            grow(std::max(size, m_capacity * 2));
        m_size = size;
    }

private:
    void grow(std::size_t capacity)
    {
        {
            auto grown = std::make_unique_for_overwrite<std::byte[]>(capacity);
            if (m_size)
                std::memcpy(grown.get(), m_data.get(), m_size);
            m_data = std::move(grown);
            m_capacity = capacity;
        }
    }

    std::unique_ptr<std::byte[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

/// Members whose blocks at one offset hold the same bytes.
struct Split
{
    std::vector<std::uint32_t> members;
    std::uint64_t hash = 0;
    std::size_t stored = 0;  // where its first member's block lies in the round's storage
};

}  // namespace

std::size_t OpenFileBudget()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 256;
    return std::clamp<std::size_t>(static_cast<std::size_t>(limit.rlim_cur) / 4, 2, 8192);
}

namespace {

/// Splits one size group round by round. Once the first rounds have left many independent
/// sets of candidates, a second thread takes half of them: a single huge size group then
/// still uses two cores.
class StreamingCompare
{
public:
    struct Work
    {
        std::vector<std::uint32_t> members;
        std::uint64_t offset;
    };

    StreamingCompare(const std::vector<const FileRecord *> &members, SearchState &state, std::size_t maxOpen)
        : m_size(members.front()->size), m_state(state), m_maxOpen(maxOpen)
    {
        m_candidates.reserve(members.size());
        for (const FileRecord *record : members)
            m_candidates.emplace_back(*record);
    }

    Groups run(std::vector<Work> pending, bool mayShare)
    {
        Groups groups, shared;
        std::jthread helper;
        std::exception_ptr helperError;
        Partition partition;
        while (!pending.empty()) {
            if (mayShare && pending.size() >= 16) {
                std::vector<Work> theirs;
                for (std::size_t i = 1; i < pending.size(); i += 2)
                    theirs.push_back(std::move(pending[i]));
                std::erase_if(pending, [](const Work &w) { return w.members.empty(); });
                helper = std::jthread([this, &shared, &helperError, theirs = std::move(theirs)]() mutable {
                    try {
                        shared = run(std::move(theirs), false);
                    } catch (...) {
                        helperError = std::current_exception();
                    }
                });
                mayShare = false;
            }
            Work work = std::move(pending.back());
            pending.pop_back();
            if (m_state.cancelled()) {
                closeAll(work.members);
                for (const Work &w : pending)
                    closeAll(w.members);
                break;
            }
            round(work, partition, pending, groups);
        }
        if (helper.joinable())
            helper.join();
        if (helperError)
            std::rethrow_exception(helperError);
        groups.insert(groups.end(), std::make_move_iterator(shared.begin()),
                      std::make_move_iterator(shared.end()));
        return groups;
    }

private:
    void closeAll(const std::vector<std::uint32_t> &which)
    {
        for (std::uint32_t m : which)
            m_candidates[m].close(m_openFiles);
    }

    /// Members split by the bytes of one block, with the first block of each split kept.
    struct Partition
    {
        std::vector<Split> splits;
        RawBuffer storage;
        std::unordered_multimap<std::uint64_t, std::size_t> byHash;

        /// Empties it for a set of `members`; a map sized for a far larger set is made afresh
        /// rather than cleared bucket by bucket.
        void clear(std::size_t members = 0)
        {
            splits.clear();
            storage.clear();
            if (byHash.bucket_count() > 8 * members + 64)
                byHash = {};
            else
                byHash.clear();
        }
        /// The split whose block holds these bytes; splits.size() when there is none.
        std::size_t find(std::uint64_t hash, const std::byte *block, std::size_t want)
        {
            for (auto [it, end] = byHash.equal_range(hash); it != end; ++it)
                if (std::memcmp(storage.data() + splits[it->second].stored, block, want) == 0)
                    return it->second;
            return splits.size();
        }
    };

    /// Reads the block at `offset` of each member, in order, into `out`.
    void partition(std::span<const std::uint32_t> members, std::uint64_t offset, std::size_t want,
                   Partition &out)
    {
        out.clear(members.size());
        // At most one block per member and the one byte more of a last block: never more.
        out.storage.reserve(members.size() * want + 1);
        out.splits.reserve(std::min<std::size_t>(members.size(), 1 << 16));
        std::size_t count = 0;
        std::uint64_t bytes = 0;  // told in batches: one shared counter for every read would be contended
        auto tell = [&] { m_state.bytesCompared.fetch_add(std::exchange(bytes, 0), std::memory_order_relaxed); };
        for (std::uint32_t m : members) {
            if ((++count & 255) == 0) {
                tell();
                if (m_state.cancelled())
                    return;  // a round over a huge set ends at once; round() then drops it
            }
            // Read straight into the storage; the block stays there only if it starts a new split.
            const std::size_t at = out.storage.size();
            const std::size_t room = offset + want == m_size ? want + 1 : want;  // see readFrom
            out.storage.resize(at + room);
            const std::span<std::byte> block(out.storage.data() + at, want);
            const bool read = m_candidates[m].read(offset, {block.data(), room}, m_openFiles, m_maxOpen);
            out.storage.resize(at + want);
            if (!read) {
                out.storage.resize(at);
                m_candidates[m].close(m_openFiles);
                ++m_state.unreadableFiles;
                continue;
            }
            bytes += want;
            const std::uint64_t hash = XXH3_64bits(block.data(), want);
            const std::size_t found = out.find(hash, block.data(), want);
            if (found == out.splits.size()) {
                out.splits.push_back({{}, hash, at});
                out.byHash.emplace(hash, found);
            } else {
                out.storage.resize(at);
            }
            out.splits[found].members.push_back(m);
        }
        tell();
    }

    /// Adds the splits of `later` (whose members all come after those of `into`) to `into`.
    static void merge(Partition &into, Partition &later, std::size_t want)
    {
        for (Split &split : later.splits) {
            const std::byte *block = later.storage.data() + split.stored;
            std::size_t found = into.find(split.hash, block, want);
            if (found == into.splits.size()) {
                const std::size_t at = into.storage.size();
                into.storage.resize(at + want);
                std::memcpy(into.storage.data() + at, block, want);
                into.splits.push_back({{}, split.hash, at});
                into.byHash.emplace(split.hash, found);
            }
            auto &members = into.splits[found].members;
            members.insert(members.end(), split.members.begin(), split.members.end());
        }
    }

    /// Where a run of holes that every member has at `work.offset` ends: holes read as zeros,
    /// so the members agree there without reading. The last byte is always read, for its
    /// length check.
    std::uint64_t holesEnd(const Work &work)
    {
        std::uint64_t end = m_size - 1;
        for (std::uint32_t m : work.members) {
            const std::optional<std::uint64_t> next = m_candidates[m].nextData(work.offset);
            if (!next || *next <= work.offset)
                return work.offset;
            end = std::min(end, *next);
        }
        return end;
    }

    /// Reads the next block of every member and splits them by its bytes; a large set is read
    /// by two threads, each taking one half.
    void round(const Work &work, Partition &mine, std::vector<Work> &pending, Groups &groups)
    {
        if (work.offset >= kLargeBlock) {  // checked once per large block: the cost is nil
            const std::uint64_t skipTo = holesEnd(work);
            if (skipTo > work.offset) {
                pending.push_back({work.members, skipTo});
                return;
            }
        }
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(
            blockSize(work.offset, m_size, work.members.size()), m_size - work.offset));
        const std::span<const std::uint32_t> members(work.members);
        if (members.size() >= 1024 && std::thread::hardware_concurrency() > 1) {
            const std::size_t half = members.size() / 2;
            Partition theirs;
            std::exception_ptr helperError;
            {
                std::jthread helper([&] {
                    try {
                        partition(members.subspan(half), work.offset, want, theirs);
                    } catch (...) {
                        helperError = std::current_exception();
                    }
                });
                partition(members.first(half), work.offset, want, mine);
            }
            if (helperError)
                std::rethrow_exception(helperError);
            merge(mine, theirs, want);
        } else {
            partition(members, work.offset, want, mine);
        }
        if (m_state.cancelled())
            return;  // a round cut short proves nothing
        const std::uint64_t next = work.offset + want;
        for (auto it = mine.splits.rbegin(); it != mine.splits.rend(); ++it) {
            if (it->members.size() < 2 || next == m_size) {
                closeAll(it->members);
                if (it->members.size() >= 2)
                    groups.push_back(std::move(it->members));
            } else {
                pending.push_back({std::move(it->members), next});
            }
        }
    }

    std::uint64_t m_size;
    SearchState &m_state;
    std::size_t m_maxOpen;
    std::vector<Candidate> m_candidates;
    std::atomic<std::size_t> m_openFiles{0};
};

}  // namespace

Groups IdenticalGroups(const std::vector<const FileRecord *> &members, SearchState &state,
                       std::size_t maxOpen)
{
    if (members.size() < 2)
        return {};
    StreamingCompare compare(members, state, maxOpen);
    std::vector<std::uint32_t> all(members.size());
    for (std::uint32_t i = 0; i < all.size(); ++i)
        all[i] = i;
    std::vector<StreamingCompare::Work> pending;
    pending.push_back({std::move(all), 0});
    // Cancelled part-way, the groups confirmed so far stay, as the pairwise search keeps them.
    Groups groups = compare.run(std::move(pending), members.size() >= 64);
    std::sort(groups.begin(), groups.end(),
              [](const auto &a, const auto &b) { return a.front() < b.front(); });
    return groups;
}

Groups ChecksumGroups(const std::vector<const FileRecord *> &members, SearchState &state)
{
    std::unordered_map<std::uint32_t, std::size_t> byCrc;
    Groups groups;
    for (std::uint32_t i = 0; i < members.size(); ++i) {
        if (state.cancelled())
            break;  // the groups among the files read so far stay
        const FileRecord &record = *members[i];
        const std::optional<std::uint32_t> crc = FileCrc32(record.folder + record.name, record.size);
        state.bytesCompared.fetch_add(record.size, std::memory_order_relaxed);
        if (!crc) {
            ++state.unreadableFiles;
            continue;
        }
        const auto [it, isNew] = byCrc.emplace(*crc, groups.size());
        if (isNew)
            groups.emplace_back();
        groups[it->second].push_back(i);
    }
    std::erase_if(groups, [](const auto &g) { return g.size() < 2; });
    return groups;
}

namespace {

/// The size runs of the sorted records that hold more than one file, compared by `threads`
/// workers while the caller takes the results in list order.
class ParallelGroups
{
public:
    ParallelGroups(const std::vector<FileRecord> &records, SearchMethod method, SearchState &state)
        : m_records(records), m_method(method), m_state(state)
    {
    }

    /// Runs `emit(begin, end, groups)` for every size run in order on the caller's thread, and
    /// `single(index)` for every record alone in its size (the last record never starts a run).
    template <typename Emit, typename Single, typename Waiting> void run(Emit emit, Single single, Waiting waiting)
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
        const std::size_t maxOpen = std::max<std::size_t>(1, OpenFileBudget() / threads);
        std::vector<std::jthread> workers;
        for (std::size_t t = 0; t < threads; ++t)
            workers.emplace_back([&, maxOpen] { work(runs, maxOpen); });
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
    void work(const std::vector<std::pair<std::size_t, std::size_t>> &runs, std::size_t maxOpen)
    {
        std::vector<const FileRecord *> members;
        for (std::size_t k = m_next++; k < runs.size() && !m_stop; k = m_next++) {
            const auto [begin, end] = runs[k];
            Groups groups;
            try {
                if (end - begin > 1 && !m_state.cancelled()) {
                    members.clear();
                    for (std::size_t i = begin; i < end; ++i)
                        members.push_back(&m_records[i]);
                    groups = m_method == SearchMethod::Crc32 ? ChecksumGroups(members, m_state)
                                                             : IdenticalGroups(members, m_state, maxOpen);
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
    SearchMethod m_method;
    SearchState &m_state;
    std::vector<std::optional<Groups>> m_results;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stop{false};
    std::exception_ptr m_error;  // the first failure of a worker, under m_mutex
};

}  // namespace

void SearchDuplicates(const std::vector<FileRecord> &FileRecords, SearchMethod method, SearchState &state)
{
    const auto RecordTotal = static_cast<std::int64_t>(FileRecords.size());
    std::int64_t Processed = 0;
    auto progress = [&] { state.showProgress("Searching for duplicates...", Processed, RecordTotal, true); };
    std::uint64_t bytesTotal = 0;  // the bytes of every file that shares its size
    for (std::size_t p = 0; p < FileRecords.size(); ++p)
        if ((p > 0 && FileRecords[p - 1].size == FileRecords[p].size) ||
            (p + 1 < FileRecords.size() && FileRecords[p + 1].size == FileRecords[p].size))
            bytesTotal += FileRecords[p].size;
    const auto started = std::chrono::steady_clock::now();
    ParallelGroups(FileRecords, method, state)
        .run(
            [&](std::size_t begin, std::size_t end, const Groups &groups) {
                for (const auto &group : groups) {
                    const std::int16_t marker = state.startGroup();
                    for (std::uint32_t m : group) {
                        const FileRecord &r = FileRecords[begin + m];
                        state.DuplicateRecords.push_back({r.size, r.name, r.folder,
                                                          FileVersionText(r.folder + r.name), marker,
                                                          state.groups});
                    }
                    state.DuplicateCount += static_cast<std::int32_t>(group.size() - 1);
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
                state.showBytesProgress("Searching for duplicates...", Processed, RecordTotal,
                                        state.bytesCompared.load(std::memory_order_relaxed), bytesTotal, seconds);
            });
}

}  // namespace geminor
