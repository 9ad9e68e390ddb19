#include "engine/cached_sets.h"

#include <algorithm>
#include <memory>
#include <tuple>

#include "engine/block_schedule.h"
#include "engine/checksum_cache.h"
#include "engine/file_reader.h"

namespace geminor {

using namespace block_schedule;

namespace {

struct Known
{
    XXH128_hash_t first;
    std::optional<XXH128_hash_t> whole;
    std::uint32_t index;
};
using KnownIt = std::vector<Known>::iterator;

/// Sorts [begin, end) by `digestOf` of each element, then by index, and calls `each(from, to)`
/// for every run of equal digests.
template <typename DigestOf, typename Each>
void forEachDigestRun(KnownIt begin, KnownIt end, DigestOf digestOf, Each each)
{
    auto key = [&](const Known &k) {
        const XXH128_hash_t &d = digestOf(k);
        return std::tuple(d.high64, d.low64, k.index);
    };
    std::sort(begin, end, [&](const Known &a, const Known &b) { return key(a) < key(b); });
    for (KnownIt p = begin; p != end;) {
        const KnownIt q =
            std::find_if(p, end, [&](const Known &k) { return !XXH128_isEqual(digestOf(k), digestOf(*p)); });
        each(p, q);
        p = q;
    }
}

const XXH128_hash_t &firstOf(const Known &k)
{
    return k.first;
}
const XXH128_hash_t &wholeOf(const Known &k)
{
    return *k.whole;
}

FileReader openMember(const FileRecord &record, FolderHandles *folders)
{
    return folders ? folders->open(record.folder, record.name) : FileReader(record.folder + record.name);
}

/// Whether the known whole digests of a run differ among themselves: then a member without one
/// is worth reading whole, so as to be compared only with the members it may equal.
bool knownWholesDiffer(KnownIt begin, KnownIt end)
{
    const Known *seen = nullptr;
    for (KnownIt k = begin; k != end; ++k)
        if (k->whole) {
            if (seen && !XXH128_isEqual(*seen->whole, *k->whole))
                return true;
            seen = &*k;
        }
    return false;
}

class SetMaker
{
public:
    SetMaker(std::span<const FileRecord> members, ChecksumCache &cache, FolderHandles *folders,
             SearchState &state)
        : m_members(members), m_cache(cache), m_folders(folders), m_state(state)
    {
        m_sets.wholeUnknown.assign(members.size(), false);
    }

    /// Reads the first block of the members the cache does not know.
    void addUnknown(std::vector<Known> &known, const std::vector<std::uint32_t> &unknown)
    {
        for (std::uint32_t i : unknown) {
            if (m_state.cancelled())
                return;
            const FileRecord &record = m_members[i];
            const std::optional<XXH128_hash_t> first =
                FirstDigest(openMember(record, m_folders), record.size);
            m_state.bytesCompared.fetch_add(BlockSize(0, record.size), std::memory_order_relaxed);
            if (!first) {
                ++m_state.unreadableFiles;
                continue;
            }
            const bool oneBlock = BlockSize(0, record.size) == record.size;
            const std::optional<XXH128_hash_t> whole = oneBlock ? first : std::nullopt;
            m_cache.store(record.id, {std::nullopt, whole, first, std::nullopt});
            known.push_back({*first, whole, i});
        }
    }

    /// The sets of one run of equal first blocks.
    void firstRun(KnownIt begin, KnownIt end)
    {
        if (end - begin < 2)
            return;
        if (knownWholesDiffer(begin, end))
            end = std::remove_if(begin, end, [&](Known &k) { return !k.whole && !readWhole(k); });
        if (std::all_of(begin, end, [](const Known &k) { return k.whole.has_value(); }))
            forEachDigestRun(begin, end, wholeOf, [&](KnownIt b, KnownIt e) { emit(b, e); });
        else
            emit(begin, end);
    }

    CachedSets take() { return std::move(m_sets); }

private:
    bool readWhole(Known &k)
    {
        const FileRecord &record = m_members[k.index];
        k.whole = WholeDigest(openMember(record, m_folders), record.size);
        m_state.bytesCompared.fetch_add(record.size, std::memory_order_relaxed);
        if (!k.whole) {
            ++m_state.unreadableFiles;
            return false;
        }
        m_cache.store(record.id, {std::nullopt, k.whole, k.first, std::nullopt});
        return true;
    }

    void emit(KnownIt begin, KnownIt end)
    {
        if (end - begin < 2)
            return;
        const auto from = static_cast<std::uint32_t>(m_sets.list.size());
        for (KnownIt k = begin; k != end; ++k) {
            m_sets.list.push_back(k->index);
            m_sets.wholeUnknown[k->index] = !k->whole;
        }
        m_sets.sets.emplace_back(from, static_cast<std::uint32_t>(m_sets.list.size()));
    }

    std::span<const FileRecord> m_members;
    ChecksumCache &m_cache;
    FolderHandles *m_folders;
    SearchState &m_state;
    CachedSets m_sets;
};

}  // namespace

std::optional<CachedSets> SetsFromCache(std::span<const FileRecord> members, ChecksumCache &cache,
                                        FolderHandles *folders, SearchState &state)
{
    std::vector<Known> known;
    std::vector<std::uint32_t> unknown;
    known.reserve(members.size());
    for (std::uint32_t i = 0; i < members.size(); ++i) {
        const std::optional<Digests> digests = cache.lookup(members[i].id);
        if (digests && digests->first)
            known.push_back({*digests->first, digests->whole, i});
        else
            unknown.push_back(i);
    }
    // Mostly unknown: the compare reads them all anyway, and learns as it goes.
    if (known.empty() || unknown.size() > members.size() / 2)
        return std::nullopt;
    SetMaker maker(members, cache, folders, state);
    maker.addUnknown(known, unknown);
    forEachDigestRun(known.begin(), known.end(), firstOf,
                     [&](KnownIt b, KnownIt e) { maker.firstRun(b, e); });
    return maker.take();
}

std::optional<XXH128_hash_t> FirstDigest(FileReader file, std::uint64_t size)
{
    const std::size_t want = BlockSize(0, size);
    if (!file.isOpen() || file.size() != size)
        return std::nullopt;
    const auto buffer = std::make_unique_for_overwrite<std::byte[]>(want + 1);
    const std::size_t room = want == size ? want + 1 : want;  // one byte more tells a file that grew
    if (file.readAtLeast(0, {buffer.get(), room}, want) != static_cast<std::int64_t>(want))
        return std::nullopt;
    return ChainDigest(buffer.get(), want, {0, 0});
}

std::optional<XXH128_hash_t> WholeDigest(FileReader file, std::uint64_t size)
{
    if (!file.isOpen() || file.size() != size)
        return std::nullopt;
    const auto buffer = std::make_unique_for_overwrite<std::byte[]>(
        static_cast<std::size_t>(std::min<std::uint64_t>(size, 2 * kLargeBlock)) + 1);
    XXH128_hash_t chain{0, 0};
    std::uint64_t offset = 0;
    do {
        const std::size_t want = BlockSize(offset, size);
        const std::size_t room = offset + want == size ? want + 1 : want;
        if (file.readAtLeast(offset, {buffer.get(), room}, want) != static_cast<std::int64_t>(want))
            return std::nullopt;
        chain = ChainDigest(buffer.get(), want, chain);
        offset += want;
    } while (offset < size);
    return chain;
}

}  // namespace geminor
