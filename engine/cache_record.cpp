#include "engine/cache_record.h"

#include <cstring>

namespace geminor {
namespace {

enum Has : unsigned char {
    Crc = 1,
    Whole = 2,
    First = 4,
    FirstIsWhole = 8,
    WithFileSystem = 16,
    Picture = 32
};

void putVarint(std::string &out, std::uint64_t value)
{
    for (; value >= 0x80; value >>= 7)
        out.push_back(static_cast<char>((value & 0x7F) | 0x80));
    out.push_back(static_cast<char>(value));
}

bool getVarint(std::string_view &in, std::uint64_t &value)
{
    value = 0;
    for (int shift = 0; shift < 64 && !in.empty(); shift += 7) {
        const auto byte = static_cast<unsigned char>(in.front());
        in.remove_prefix(1);
        value |= std::uint64_t{byte & 0x7Fu} << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

template <typename T> void putFixed(std::string &out, T value)
{
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.append(bytes, sizeof value);
}

template <typename T> bool getFixed(std::string_view &in, T &value)
{
    if (in.size() < sizeof value)
        return false;
    std::memcpy(&value, in.data(), sizeof value);
    in.remove_prefix(sizeof value);
    return true;
}

void putDigest(std::string &out, const XXH128_hash_t &digest)
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, digest);
    out.append(reinterpret_cast<const char *>(canonical.digest), sizeof canonical.digest);
}

bool getDigest(std::string_view &in, std::optional<XXH128_hash_t> &digest)
{
    XXH128_canonical_t canonical;
    if (!getFixed(in, canonical))
        return false;
    digest = XXH128_hashFromCanonical(&canonical);
    return true;
}

std::uint32_t checkOf(const CacheKey &key, std::string_view value)
{
    return static_cast<std::uint32_t>(
        XXH3_64bits_withSeed(value.data(), value.size(), XXH3_64bits(key.data(), key.size())));
}

std::uint64_t fromBigEndian(const unsigned char *bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value = value << 8 | bytes[i];
    return value;
}

}  // namespace

CacheKey CacheKeyOf(std::uint64_t device, std::uint64_t inode)
{
    CacheKey key;
    for (int i = 0; i < 8; ++i) {
        key[static_cast<std::size_t>(i)] = static_cast<unsigned char>(device >> (56 - 8 * i));
        key[8 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(inode >> (56 - 8 * i));
    }
    return key;
}

std::string EncodeRecord(const CacheRecord &record)
{
    const Digests &d = record.digests;
    const bool firstIsWhole = d.first && d.whole && XXH128_isEqual(*d.first, *d.whole);
    std::string out;
    out.reserve(72);
    out.push_back(
        static_cast<char>((d.crc ? Crc : 0) | (d.whole ? Whole : 0) | (d.first && !firstIsWhole ? First : 0) |
                          (firstIsWhole ? FirstIsWhole : 0) | (d.picture ? Picture : 0) | WithFileSystem));
    putFixed(out, record.seenDay);
    putVarint(out, record.state.size);
    putFixed(out, record.state.modifiedNs);
    // Change time minus modification time, zigzag: most often a few bytes.
    const auto delta = static_cast<std::uint64_t>(record.state.changedNs) -
                       static_cast<std::uint64_t>(record.state.modifiedNs);
    putVarint(out, (delta << 1) ^ (static_cast<std::int64_t>(delta) < 0 ? ~std::uint64_t{0} : 0));
    putFixed(out, record.fileSystem);
    if (d.crc)
        putFixed(out, *d.crc);
    if (d.whole)
        putDigest(out, *d.whole);
    if (d.first && !firstIsWhole)
        putDigest(out, *d.first);
    if (d.picture) {
        putFixed(out, d.picture->width);
        putFixed(out, d.picture->height);
        putFixed(out, d.picture->hash);
    }
    putFixed(out, checkOf(CacheKeyOf(record.state.device, record.state.inode), out));
    return out;
}

std::optional<CacheRecord> DecodeRecord(const CacheKey &key, std::string_view value)
{
    std::uint32_t check = 0;
    if (value.size() < 4)
        return std::nullopt;
    std::memcpy(&check, value.data() + value.size() - 4, 4);
    value.remove_suffix(4);
    if (check != checkOf(key, value))
        return std::nullopt;
    CacheRecord record;
    record.state.device = fromBigEndian(key.data());
    record.state.inode = fromBigEndian(key.data() + 8);
    std::uint8_t has = 0;
    std::uint64_t zigzag = 0;
    if (!getFixed(value, has) || (has & ~(Crc | Whole | First | FirstIsWhole | WithFileSystem | Picture)) ||
        !getFixed(value, record.seenDay) || !getVarint(value, record.state.size) ||
        !getFixed(value, record.state.modifiedNs) || !getVarint(value, zigzag) ||
        ((has & WithFileSystem) && !getFixed(value, record.fileSystem)))
        return std::nullopt;
    const std::uint64_t delta = (zigzag >> 1) ^ (~(zigzag & 1) + 1);
    record.state.changedNs =
        static_cast<std::int64_t>(static_cast<std::uint64_t>(record.state.modifiedNs) + delta);
    Digests &d = record.digests;
    if (has & Crc) {
        std::uint32_t crc = 0;
        if (!getFixed(value, crc))
            return std::nullopt;
        d.crc = crc;
    }
    if (((has & Whole) && !getDigest(value, d.whole)) || ((has & First) && !getDigest(value, d.first)))
        return std::nullopt;
    if (has & Picture) {
        PictureLook &look = d.picture.emplace();
        if (!getFixed(value, look.width) || !getFixed(value, look.height) || !getFixed(value, look.hash))
            return std::nullopt;
    }
    if (!value.empty())
        return std::nullopt;
    if (has & FirstIsWhole)
        d.first = d.whole;
    return record;
}

}  // namespace geminor
