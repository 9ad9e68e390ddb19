#include "engine/identical_groups.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <tuple>
#include <utility>
#include <xxhash.h>

#include "engine/block_schedule.h"
#include "engine/cached_sets.h"
#include "engine/checksum_cache.h"
#include "engine/compare_blocks.h"
#include "engine/file_reader.h"
#include "engine/file_system.h"
#include "engine/thread_pool.h"

namespace geminor {

using namespace compare_blocks;
using namespace block_schedule;

namespace {

using Groups = MemberGroups;

/// A set of members still alike up to `offset`: a range of a list shared by the sets one
/// round made, so that a million small sets need no list each.
struct Work
{
    std::shared_ptr<const std::vector<std::uint32_t>> list;
    std::uint32_t begin = 0, end = 0;
    std::uint64_t offset = 0;
    XXH128_hash_t chain = {0, 0};  // the content digest of the bytes before `offset`
    bool exact = true;             // false once holes were passed over unread: `chain` is no content digest
    bool lastRead = false;         // the last block was read out of turn, right after the first

    std::span<const std::uint32_t> members() const { return {list->data() + begin, end - begin}; }
};

/// Splits one size group round by round. Once the first rounds have left many independent
/// sets of candidates, a second thread takes half of them: a single huge size group then
/// still uses two cores.
class StreamingCompare
{
public:
    StreamingCompare(std::span<const FileRecord> records, SearchState &state, const CompareLimits &limits,
                     const CompareAids &aids, std::vector<bool> wholeUnknown)
        : m_records(records), m_size(records.front().size), m_state(state), m_limits(limits), m_aids(aids),
          m_learnFirst(wholeUnknown.empty()), m_wholeUnknown(std::move(wholeUnknown)),
          m_candidates(records.size())
    {
        if (m_wholeUnknown.empty())
            m_wholeUnknown.assign(records.size(), true);
    }

    Groups run(std::vector<Work> pending, bool mayShare)
    {
        Groups groups, shared;
        PoolJob helper;  // after what it writes: whatever leaves this frame, it is done before those go
        // One per thread, kept from size group to size group: a fresh one faults its pages in anew.
        thread_local Partition partition;
        while (!pending.empty()) {
            if (mayShare && m_aids.helpers && pending.size() >= 16) {
                std::vector<Work> theirs;
                for (std::size_t i = 1; i < pending.size(); i += 2)
                    theirs.push_back(std::move(pending[i]));
                std::erase_if(pending, [](const Work &w) { return !w.list; });
                helper = m_aids.helpers->start([this, &shared, theirs = std::move(theirs)]() mutable {
                    shared = run(std::move(theirs), false);
                });
                mayShare = false;
            }
            Work work = std::move(pending.back());
            pending.pop_back();
            if (m_state.cancelled()) {
                closeAll(work.members());
                for (const Work &w : pending)
                    closeAll(w.members());
                break;
            }
            round(work, partition, pending, groups);
        }
        helper.wait();
        for (std::size_t g = 0; g < shared.size(); ++g)
            groups.add(shared[g]);
        return groups;
    }

private:
    void closeAll(std::span<const std::uint32_t> which)
    {
        for (std::uint32_t m : which)
            m_candidates[m].close(m_openFiles);
    }

    /// See Candidate::read; nullopt only when `cachedOnly`.
    std::optional<bool> read(std::uint32_t member, std::uint64_t offset, std::size_t want, std::byte *into,
                             bool cachedOnly = false)
    {
        const FileRecord &record = m_records[member];
        return m_candidates[member].read(record, m_state.identityOf(record), offset, want, into, m_openFiles,
                                         m_limits.maxOpen, m_aids.folders, cachedOnly);
    }

    /// See Candidate::confirm; a member that fails it is closed and counted unreadable.
    bool confirmed(std::uint32_t member)
    {
        if (m_candidates[member].confirm(m_state.identityOf(m_records[member])))
            return true;
        m_candidates[member].close(m_openFiles);
        ++m_state.unreadableFiles;
        return false;
    }

    /// The digest of a block chained to the digest of the bytes before it: at the end of a file,
    /// the content digest of the whole file (the blocks follow from the size alone).
    XXH128_hash_t digestOf(const std::byte *block, std::size_t want, const XXH128_hash_t &chain) const
    {
        XXH128_hash_t digest = XXH3_128bits_withSeed(block, want, chain.low64 ^ chain.high64);
        if (m_limits.digestBits < 64) {
            digest.low64 &= (std::uint64_t{1} << m_limits.digestBits) - 1;
            digest.high64 = 0;
        }
        return digest;
    }

    /// Splits `members` by their blocks at `offset` into `out`.
    void partition(std::span<const std::uint32_t> members, std::uint64_t offset, std::size_t want,
                   const XXH128_hash_t &chain, Partition &out)
    {
        out.reset(want, members.size(), m_limits.keptBlocks);
        const bool learnFirst = m_aids.cache && offset == 0 && m_limits.digestBits >= 64 && m_learnFirst;
        auto reRead = [&](std::uint32_t m, std::byte *into) { return *read(m, offset, want, into); };
        auto noFetch = []() -> const std::byte * { return nullptr; };  // the block is always in hand
        const auto buffer = std::make_unique_for_overwrite<std::byte[]>(want + 1);
        std::uint64_t bytes = 0;  // told in batches: one shared counter for every read would be contended
        auto take = [&](std::size_t i, bool readable) {
            const std::uint32_t m = members[i];
            if (!readable) {
                m_candidates[m].close(m_openFiles);
                ++m_state.unreadableFiles;
                return;
            }
            bytes += want;
            const XXH128_hash_t digest = digestOf(buffer.get(), want, chain);
            // A file of one block gets its whole digest at once; the cache learns only the walked file's.
            if (learnFirst && want < m_size && !confirmed(m))
                return;
            if (learnFirst && want < m_size)
                m_aids.cache->store(m_records[m].id, {std::nullopt, std::nullopt, digest, std::nullopt});
            out.splitOf[i] = out.place(digest, buffer.get(), noFetch, m, 1, reRead);
        };
        // Blocks not in the page cache are asked for all at once and waited for after the
        // others: on a cold cache the disk then has many reads to order instead of one.
        std::vector<std::uint32_t> later;
        out.splitOf.assign(members.size(), kNone);
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (((i + 1) & 255) == 0) {
                m_state.bytesCompared.fetch_add(std::exchange(bytes, 0), std::memory_order_relaxed);
                if (m_state.cancelled())
                    return;  // a round over a huge set ends at once; round() then drops it
            }
            if (const std::optional<bool> got = read(members[i], offset, want, buffer.get(), true))
                take(i, *got);
            else
                later.push_back(static_cast<std::uint32_t>(i));
        }
        for (std::uint32_t i : later) {
            if (m_state.cancelled())
                return;
            take(i, *read(members[i], offset, want, buffer.get()));
        }
        m_state.bytesCompared.fetch_add(bytes, std::memory_order_relaxed);
    }

    /// Adds the splits of `later`, made from the members after those of `into`, to `into`.
    void merge(Partition &into, Partition &later, std::uint64_t offset, std::size_t want)
    {
        auto reRead = [&](std::uint32_t m, std::byte *to) { return *read(m, offset, want, to); };
        std::vector<std::uint32_t> moved(later.splits.size(), kNone);
        for (std::size_t s = 0; s < later.splits.size(); ++s) {
            // A block not kept is read again only when a split of `into` has its digest.
            const Split &split = later.splits[s];
            auto fetch = [&] { return later.blockOf(split, reRead); };
            moved[s] =
                into.place(split.digest, later.keptBlock(split), fetch, split.first, split.count, reRead);
        }
        for (std::uint32_t s : later.splitOf)
            into.splitOf.push_back(s == kNone ? kNone : moved[s]);
    }

    /// Where a run of holes that every member has at `offset` ends: holes read as zeros, so the
    /// members agree there without reading. The last byte is always read, for its length check.
    std::uint64_t holesEnd(std::span<const std::uint32_t> members, std::uint64_t offset) const
    {
        std::uint64_t end = m_size - 1;
        for (std::uint32_t m : members) {
            const std::optional<std::uint64_t> next = m_candidates[m].nextData(offset, m_size);
            if (!next || *next <= offset)
                return offset;
            end = std::min(end, *next);
        }
        return end;
    }

    /// Reads the next block of every member and splits them by its bytes; a large set is read
    /// by two threads, each taking one half.
    void round(const Work &work, Partition &mine, std::vector<Work> &pending, Groups &groups)
    {
        const std::span<const std::uint32_t> members = work.members();
        if (work.offset >= kLargeBlock) {  // checked once per large block: the cost is nil
            const std::uint64_t skipTo = holesEnd(members, work.offset);
            if (skipTo > work.offset) {
                pending.push_back(
                    {work.list, work.begin, work.end, skipTo, work.chain, false, work.lastRead});
                return;
            }
        }
        // Right after the first block, a long file's last block: near-copies that differ at the
        // end part there, two blocks a file, instead of after reading the whole middle.
        const bool last =
            !work.lastRead && work.offset > 0 && work.offset + BlockSize(work.offset, m_size) < m_size;
        const std::uint64_t at = last ? m_size - kLastBlock : work.offset;
        const std::size_t want = last ? kLastBlock : BlockSize(work.offset, m_size);
        if (m_aids.helpers && members.size() >= 1024 && std::thread::hardware_concurrency() > 1) {
            const std::size_t half = members.size() / 2;
            thread_local Partition kept;
            Partition &theirs = kept;  // named here: a lambda does not capture a thread_local
            PoolJob helper = m_aids.helpers->start(
                [&] { partition(members.subspan(half), at, want, work.chain, theirs); });
            partition(members.first(half), at, want, work.chain, mine);
            helper.wait();
            if (!m_state.cancelled())
                merge(mine, theirs, at, want);
        } else {
            partition(members, at, want, work.chain, mine);
        }
        if (m_state.cancelled())
            return;  // a round cut short proves nothing
        split(work, mine, last, pending, groups);
    }

    /// Makes the sets of the next round (or, at the end of the files, the groups) of a round's
    /// splits; the members of a split with no other close their files.
    void split(const Work &work, Partition &round, bool last, std::vector<Work> &pending, Groups &groups)
    {
        const std::span<const std::uint32_t> members = work.members();
        // After the last block, the next round reads on from where the first block ended.
        const std::uint64_t next = last ? work.offset : work.offset + round.want();
        const bool atEnd = !last && next == m_size;
        const bool learn = atEnd && work.exact && m_aids.cache && m_limits.digestBits >= 64;
        for (std::size_t i = 0; atEnd && i < members.size(); ++i) {
            // Only what is grouped or kept for the next scan must be the walked file.
            const std::uint32_t s = round.splitOf[i];
            if (s != kNone && (round.splits[s].count >= 2 || (learn && m_wholeUnknown[members[i]])) &&
                !confirmed(members[i])) {
                round.splitOf[i] = kNone;
                --round.splits[s].count;
            }
        }
        if (learn)
            learnWholeDigests(members, round, work.offset == 0);
        std::vector<std::uint32_t> start(round.splits.size(), kNone);
        std::uint32_t listed = 0;
        for (std::size_t s = 0; s < round.splits.size(); ++s)
            if (round.splits[s].count >= 2) {
                start[s] = listed;
                listed += round.splits[s].count;
            }
        auto list = std::make_shared<std::vector<std::uint32_t>>(listed);
        std::vector<std::uint32_t> filled = start;
        for (std::size_t i = 0; i < members.size(); ++i) {
            const std::uint32_t s = round.splitOf[i];
            if (s == kNone || start[s] == kNone || atEnd)
                m_candidates[members[i]].close(m_openFiles);
            if (s != kNone && start[s] != kNone)
                (*list)[filled[s]++] = members[i];
        }
        for (std::size_t s = round.splits.size(); s-- > 0;) {
            if (start[s] == kNone)
                continue;
            const std::uint32_t end = start[s] + round.splits[s].count;
            if (atEnd)
                groups.add({list->data() + start[s], end - start[s]});
            else
                pending.push_back({list, start[s], end, next, last ? work.chain : round.splits[s].digest,
                                   work.exact, work.lastRead || last});
        }
    }

    /// Every member read to its end now has its whole content digest: the cache keeps it.
    /// (A file read in one block: that block's digest is its first-block digest too.)
    void learnWholeDigests(std::span<const std::uint32_t> members, const Partition &round, bool oneBlock)
    {
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (round.splitOf[i] == kNone || !m_wholeUnknown[members[i]])
                continue;
            const XXH128_hash_t &digest = round.splits[round.splitOf[i]].digest;
            m_aids.cache->store(
                m_records[members[i]].id,
                {std::nullopt, digest, oneBlock ? std::optional(digest) : std::nullopt, std::nullopt});
        }
    }

    std::span<const FileRecord> m_records;
    std::uint64_t m_size;
    SearchState &m_state;
    CompareLimits m_limits;
    CompareAids m_aids;
    bool m_learnFirst = true;          // no member's digests came from the cache
    std::vector<bool> m_wholeUnknown;  // by member: the cache is to learn its whole digest
    std::vector<Candidate> m_candidates;
    std::atomic<std::size_t> m_openFiles{0};
};

}  // namespace

MemberGroups IdenticalGroups(std::span<const FileRecord> members, SearchState &state,
                             const CompareLimits &limits, const CompareAids &aids)
{
    if (members.size() < 2)
        return {};
    std::vector<Work> pending;
    std::optional<CachedSets> cached;
    if (aids.cache)
        cached = SetsFromCache(members, *aids.cache, aids.folders, state);
    if (cached) {
        auto list = std::make_shared<const std::vector<std::uint32_t>>(std::move(cached->list));
        for (auto set = cached->sets.rbegin(); set != cached->sets.rend(); ++set)
            pending.push_back({list, set->first, set->second, 0});
    } else {
        auto all = std::make_shared<std::vector<std::uint32_t>>(members.size());
        for (std::uint32_t i = 0; i < all->size(); ++i)
            (*all)[i] = i;
        pending.push_back({std::move(all), 0, static_cast<std::uint32_t>(members.size()), 0});
    }
    StreamingCompare compare(members, state, limits, aids,
                             cached ? std::move(cached->wholeUnknown) : std::vector<bool>());
    // Cancelled part-way, the groups confirmed so far stay, as the pairwise search keeps them.
    return compare.run(std::move(pending), members.size() >= 64).sorted();
}

MemberGroups MemberGroups::sorted() const
{
    std::vector<std::uint32_t> order(size());
    for (std::uint32_t g = 0; g < order.size(); ++g)
        order[g] = g;
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return (*this)[a][0] < (*this)[b][0]; });
    MemberGroups out;
    out.m_members.reserve(m_members.size());
    out.m_ends.reserve(m_ends.size());
    for (std::uint32_t g : order)
        out.add((*this)[g]);
    return out;
}

}  // namespace geminor
