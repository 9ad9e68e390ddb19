#pragma once

// The blocks a size group is read in, and the digest chained over them: shared by the compare
// and by the reads that fill in what the checksum cache lacks, so both give the same digests.

#include <cstddef>
#include <cstdint>
#include <xxhash.h>

namespace geminor::block_schedule {

inline constexpr std::size_t kFirstBlock = 4096;
inline constexpr std::size_t kMiddleBlock = 64 * 1024;
inline constexpr std::size_t kLargeBlock = 1024 * 1024;
/// Read right after the first block when the rest is long: near-copies often differ at the end.
inline constexpr std::size_t kLastBlock = 4096;

/// The next block to read: small at first, where most files differ, larger later, and the
/// whole rest when it is little more than one block.
inline std::size_t BlockSize(std::uint64_t offset, std::uint64_t size)
{
    const std::size_t wanted = offset == 0 ? kFirstBlock : offset < kLargeBlock ? kMiddleBlock : kLargeBlock;
    const std::uint64_t rest = size - offset;
    return rest <= 2 * static_cast<std::uint64_t>(wanted) ? static_cast<std::size_t>(rest) : wanted;
}

/// The digest of a block chained to the digest of the bytes before it: at the end of a file,
/// the content digest of the whole file (the blocks follow from the size alone).
inline XXH128_hash_t ChainDigest(const void *block, std::size_t length, const XXH128_hash_t &chain)
{
    return XXH3_128bits_withSeed(block, length, chain.low64 ^ chain.high64);
}

}  // namespace geminor::block_schedule
