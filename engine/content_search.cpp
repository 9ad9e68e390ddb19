#include "engine/content_search.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <cstring>
#include <libdeflate.h>
#include <span>
#include <sys/resource.h>
#include <unordered_map>
#include <xxhash.h>

#include "engine/file_reader.h"
#include "engine/file_version.h"

namespace geminor {
namespace {

constexpr std::size_t kFirstBlock = 4096;
constexpr std::size_t kMiddleBlock = 64 * 1024;
constexpr std::size_t kLargeBlock = 1024 * 1024;
constexpr std::size_t kBlockMemory = 32 * 1024 * 1024;  // representative blocks kept in one round

using Groups = std::vector<std::vector<std::uint32_t>>;

/// One file of a size group, opened lazily; it must stay the same file and length throughout.
class Candidate
{
public:
    explicit Candidate(const FileRecord &record) : m_record(record) {}

    /// Reads exactly `out.size()` bytes at `offset`; false when the file is gone, changed or unreadable.
    bool read(std::uint64_t offset, std::span<std::byte> out, std::size_t &openFiles, std::size_t maxOpen)
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
                return reader.readAt(offset, out) == static_cast<std::int64_t>(out.size());
            m_reader = std::move(reader);
            ++openFiles;
        }
        return m_reader.readAt(offset, out) == static_cast<std::int64_t>(out.size());
    }

    void close(std::size_t &openFiles)
    {
        if (m_reader.isOpen()) {
            m_reader.close();
            --openFiles;
        }
    }

private:
    const FileRecord &m_record;
    FileReader m_reader;
    bool m_seen = false;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
};

std::size_t blockSize(std::uint64_t offset, std::size_t members)
{
    const std::size_t wanted = offset == 0 ? kFirstBlock : offset < kLargeBlock ? kMiddleBlock : kLargeBlock;
    return std::max<std::size_t>(1024, std::min(wanted, kBlockMemory / members));
}

/// Members whose blocks at one offset hold the same bytes.
struct Split
{
    std::vector<std::uint32_t> members;
    std::uint64_t hash = 0;
    std::size_t stored = 0;  // where its first member's block lies in the round's storage
};

} // namespace

std::size_t OpenFileBudget()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 256;
    return std::clamp<std::size_t>(static_cast<std::size_t>(limit.rlim_cur) / 4, 2, 1024);
}

Groups IdenticalGroups(const std::vector<const FileRecord *> &members, SearchState &state, std::size_t maxOpen)
{
    if (members.size() < 2)
        return {};
    const std::uint64_t size = members.front()->size;
    std::vector<Candidate> candidates;
    candidates.reserve(members.size());
    for (const FileRecord *record : members)
        candidates.emplace_back(*record);
    std::size_t openFiles = 0;
    auto closeAll = [&](const std::vector<std::uint32_t> &which) {
        for (std::uint32_t m : which)
            candidates[m].close(openFiles);
    };

    struct Work
    {
        std::vector<std::uint32_t> members;
        std::uint64_t offset;
    };
    std::vector<Work> pending;
    pending.push_back({std::vector<std::uint32_t>(members.size()), 0});
    for (std::uint32_t i = 0; i < members.size(); ++i)
        pending.back().members[i] = i;

    Groups groups;
    std::vector<std::byte> scratch, storage;
    while (!pending.empty()) {
        Work work = std::move(pending.back());
        pending.pop_back();
        if (state.cancelled()) {
            closeAll(work.members);
            for (const Work &w : pending)
                closeAll(w.members);
            return {};
        }
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(blockSize(work.offset, work.members.size()),
                                                             size - work.offset));
        scratch.resize(want);
        storage.clear();
        std::vector<Split> splits;
        std::unordered_multimap<std::uint64_t, std::size_t> byHash;
        for (std::uint32_t m : work.members) {
            if (!candidates[m].read(work.offset, scratch, openFiles, maxOpen)) {
                candidates[m].close(openFiles);
                ++state.unreadableFiles;
                continue;
            }
            const std::uint64_t hash = XXH3_64bits(scratch.data(), want);
            std::size_t found = splits.size();
            for (auto [it, end] = byHash.equal_range(hash); it != end; ++it)
                if (std::memcmp(storage.data() + splits[it->second].stored, scratch.data(), want) == 0) {
                    found = it->second;
                    break;
                }
            if (found == splits.size()) {
                splits.push_back({{}, hash, storage.size()});
                storage.insert(storage.end(), scratch.begin(), scratch.end());
                byHash.emplace(hash, found);
            }
            splits[found].members.push_back(m);
        }
        const std::uint64_t next = work.offset + want;
        for (auto it = splits.rbegin(); it != splits.rend(); ++it) {
            if (it->members.size() < 2 || next == size) {
                closeAll(it->members);
                if (it->members.size() >= 2)
                    groups.push_back(std::move(it->members));
            } else {
                pending.push_back({std::move(it->members), next});
            }
        }
    }
    std::sort(groups.begin(), groups.end(), [](const auto &a, const auto &b) { return a.front() < b.front(); });
    return groups;
}

Groups ChecksumGroups(const std::vector<const FileRecord *> &members, SearchState &state)
{
    std::unordered_map<std::uint32_t, std::size_t> byCrc;
    Groups groups;
    std::vector<std::byte> buffer;
    for (std::uint32_t i = 0; i < members.size(); ++i) {
        if (state.cancelled())
            return {};
        const FileRecord &record = *members[i];
        FileReader reader(record.folder + record.name);
        bool ok = reader.isOpen() && reader.size() == record.size;
        std::uint32_t crc = 0;
        buffer.resize(static_cast<std::size_t>(std::min<std::uint64_t>(record.size, kLargeBlock)));
        for (std::uint64_t offset = 0; ok && offset < record.size; offset += buffer.size()) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), record.size - offset));
            ok = reader.readAt(offset, {buffer.data(), want}) == static_cast<std::int64_t>(want);
            if (ok)
                crc = libdeflate_crc32(crc, buffer.data(), want);
        }
        if (!ok) {
            ++state.unreadableFiles;
            continue;
        }
        const auto [it, isNew] = byCrc.emplace(crc, groups.size());
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
    template <typename Emit, typename Single> void run(Emit emit, Single single)
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
            if (m_state.cancelled())
                break;
            const auto [begin, end] = runs[k];
            if (end - begin == 1) {
                single(begin);
                continue;
            }
            std::unique_lock lock(m_mutex);
            m_ready.wait(lock, [&] { return m_results[k].has_value(); });
            Groups groups = std::move(*m_results[k]);
            lock.unlock();
            emit(begin, end, groups);
        }
        m_stop = true;
    }

private:
    void work(const std::vector<std::pair<std::size_t, std::size_t>> &runs, std::size_t maxOpen)
    {
        std::vector<const FileRecord *> members;
        for (std::size_t k = m_next++; k < runs.size() && !m_stop; k = m_next++) {
            const auto [begin, end] = runs[k];
            Groups groups;
            if (end - begin > 1 && !m_state.cancelled()) {
                members.clear();
                for (std::size_t i = begin; i < end; ++i)
                    members.push_back(&m_records[i]);
                groups = m_method == SearchMethod::Crc32 ? ChecksumGroups(members, m_state)
                                                         : IdenticalGroups(members, m_state, maxOpen);
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
};

} // namespace

void SearchDuplicates(const std::vector<FileRecord> &FileRecords, SearchMethod method, SearchState &state)
{
    const auto RecordTotal = static_cast<std::int64_t>(FileRecords.size());
    std::int64_t Processed = 0;
    auto progress = [&] { state.showProgress("Searching for duplicates...", Processed, RecordTotal, true); };
    ParallelGroups(FileRecords, method, state)
        .run(
            [&](std::size_t begin, std::size_t end, const Groups &groups) {
                for (const auto &group : groups) {
                    const std::int16_t marker = state.startGroup();
                    for (std::uint32_t m : group) {
                        const FileRecord &r = FileRecords[begin + m];
                        state.DuplicateRecords.push_back(
                            {r.size, r.name, r.folder, FileVersionText(r.folder + r.name), marker, state.groups});
                    }
                    state.DuplicateCount += static_cast<std::int32_t>(group.size() - 1);
                }
                Processed += static_cast<std::int64_t>(end - begin) - (end == FileRecords.size() ? 1 : 0);
                progress();
            },
            [&](std::size_t) {
                ++Processed;
                progress();
            });
}

} // namespace geminor
