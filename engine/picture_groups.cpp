#include "engine/picture_groups.h"

#include <algorithm>
#include <bit>
#include <limits>

#include "engine/picture_decoder.h"

namespace geminor {
namespace {

/// One part of the hash's bits, and how near two hashes' parts are searched.
struct Part
{
    int shift = 0, bits = 0;
    int radius = 0;  // bits that may differ in this part
};

/// Splits the hash into `count` parts with radii whose sum plus `count` exceeds `threshold`:
/// two hashes within it then differ by at most its radius in one part at least (the pigeonhole).
std::vector<Part> partsOf(int count, int threshold)
{
    std::vector<Part> parts(static_cast<std::size_t>(count));
    const int slots = threshold + 1;
    for (int c = 0, shift = 0; c < count; ++c) {
        Part &part = parts[static_cast<std::size_t>(c)];
        part.bits = 64 / count + (c < 64 % count ? 1 : 0);
        part.shift = shift;
        shift += part.bits;
        part.radius = slots / count + (c < slots % count ? 1 : 0) - 1;
    }
    return parts;
}

std::uint64_t masksUpTo(int bits, int radius)
{
    std::uint64_t count = 0, choose = 1;  // C(bits, k)
    for (int k = 0; k <= radius && k <= bits; ++k) {
        count += choose;
        choose = choose * static_cast<std::uint64_t>(bits - k) / static_cast<std::uint64_t>(k + 1);
    }
    return count;
}

/// The number of parts that makes a search of `n` hashes cheapest: each bucket visited costs a
/// cache miss or two, each hash in it a comparison.
int cheapestPartCount(std::size_t n, int threshold)
{
    int best = 4;
    double bestCost = std::numeric_limits<double>::max();
    for (int count = 4; count <= 6; ++count) {
        double cost = 0;
        for (const Part &part : partsOf(count, threshold)) {
            if (part.radius < 0)
                continue;
            const auto probes = static_cast<double>(masksUpTo(part.bits, part.radius));
            cost +=
                probes * (30 + static_cast<double>(n) / static_cast<double>(std::uint64_t{1} << part.bits));
        }
        if (cost < bestCost)
            bestCost = cost, best = count;
    }
    return best;
}

/// The hashes by the value of each part (multi-index hashing), each bucket's hashes side by side.
class PartIndex
{
public:
    PartIndex(std::span<const std::uint64_t> hashes, const Part &part) : m_part(part)
    {
        m_starts.assign((std::size_t{1} << part.bits) + 1, 0);
        for (std::uint64_t h : hashes)
            ++m_starts[valueOf(h) + 1];
        for (std::size_t v = 1; v < m_starts.size(); ++v)
            m_starts[v] += m_starts[v - 1];
        std::vector<std::uint32_t> next(m_starts.begin(), m_starts.end() - 1);
        m_hashes.resize(hashes.size());
        m_ids.resize(hashes.size());
        for (std::uint32_t i = 0; i < hashes.size(); ++i) {
            const std::uint32_t at = next[valueOf(hashes[i])]++;
            m_hashes[at] = hashes[i];
            m_ids[at] = i;
        }
        for (std::uint32_t mask = 0; mask < (1u << part.bits); ++mask)
            if (std::popcount(mask) <= part.radius)
                m_flips.push_back(mask);
    }

    std::uint32_t valueOf(std::uint64_t hash) const
    {
        return static_cast<std::uint32_t>(hash >> m_part.shift) & ((1u << m_part.bits) - 1);
    }

    /// Calls `near(id, distance)` for every hash within `threshold` of `hash` whose part is within
    /// the part's radius of `hash`'s.
    template <typename Near>
    [[gnu::always_inline]] inline void search(std::uint64_t hash, int threshold, Near &&near) const
    {
        const std::uint32_t value = valueOf(hash);
        for (std::uint32_t flip : m_flips) {
            const std::uint32_t bucket = value ^ flip;
            for (std::uint32_t p = m_starts[bucket]; p < m_starts[bucket + 1]; ++p)
                if (const int distance = HashDistance(hash, m_hashes[p]); distance <= threshold)
                    near(m_ids[p], distance);
        }
    }

private:
    Part m_part;
    std::vector<std::uint32_t> m_starts, m_ids, m_flips;
    std::vector<std::uint64_t> m_hashes;
};

}  // namespace

int SimilarityThreshold(Similarity level)
{
    switch (level) {
    case Similarity::VeryHigh: return kVeryHighThreshold;
    case Similarity::High: return kHighThreshold;
    case Similarity::Medium: return kMediumThreshold;
    case Similarity::Low: return kLowThreshold;
    }
    return kHighThreshold;
}

namespace {

/// The rule, one picture at a time (inlined twice: see GroupPictures).
[[gnu::always_inline]] inline std::vector<std::vector<PictureMember>>
groupWith(const std::vector<PartIndex> &indexes, std::span<const std::uint64_t> hashes, int threshold)
{
    std::vector<std::vector<PictureMember>> groups;
    std::vector<bool> taken(hashes.size(), false);
    std::vector<PictureMember> group;
    for (std::uint32_t first = 0; first < hashes.size(); ++first) {
        if (taken[first])
            continue;
        taken[first] = true;
        group.assign(1, {first, 0});
        for (const PartIndex &index : indexes)
            index.search(hashes[first], threshold, [&](std::uint32_t i, int distance) {
                if (!taken[i]) {
                    taken[i] = true;
                    group.push_back({i, static_cast<std::uint8_t>(distance)});
                }
            });
        if (group.size() < 2)
            continue;
        std::sort(group.begin() + 1, group.end(),
                  [](const PictureMember &a, const PictureMember &b) { return a.index < b.index; });
        groups.push_back(group);
    }
    return groups;
}

#if defined(__x86_64__) && defined(__GNUC__)
[[gnu::target("popcnt")]] std::vector<std::vector<PictureMember>>
groupWithPopcount(const std::vector<PartIndex> &indexes, std::span<const std::uint64_t> hashes, int threshold)
{
    return groupWith(indexes, hashes, threshold);
}
#endif

}  // namespace

// The comparisons are most of the work: where the processor counts bits in one instruction, a
// copy of the loop that uses it (the build targets processors that may lack it), chosen here
// rather than by the loader, which runs before a sanitizer is ready.
std::vector<std::vector<PictureMember>> GroupPictures(std::span<const std::uint64_t> hashes, int threshold)
{
    std::vector<PartIndex> indexes;
    for (const Part &part : partsOf(cheapestPartCount(hashes.size(), threshold), threshold))
        if (part.radius >= 0)
            indexes.emplace_back(hashes, part);
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("popcnt"))
        return groupWithPopcount(indexes, hashes, threshold);
#endif
    return groupWith(indexes, hashes, threshold);
}

}  // namespace geminor
