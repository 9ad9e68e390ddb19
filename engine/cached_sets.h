#pragma once

// Where the compare of one size group starts when the checksum cache knows some of its members.
// Internal to identical_groups.cpp.

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>
#include <xxhash.h>

#include "engine/file_reader.h"
#include "engine/file_record.h"
#include "engine/folder_handles.h"
#include "engine/scan_state.h"

namespace geminor {

class ChecksumCache;

/// The sets of members still to compare byte by byte: list[sets[k].first, sets[k].second).
struct CachedSets
{
    std::vector<std::uint32_t> list;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sets;
    std::vector<bool> wholeUnknown;  // by member: its whole digest is to be learnt when read to the end
};

/// Members whose digests no other member shares are proven different without a byte compare.
/// A member the cache does not know has its first block read (and learnt); a member whose first
/// block is shared with members of known, different whole digests has its whole digest read, so
/// that it is compared only with the members it may equal. Nothing when the cache knows no
/// member: the compare then reads them all and learns as it goes.
std::optional<CachedSets> SetsFromCache(std::span<const FileRecord> members, ChecksumCache &cache,
                                        FolderHandles *folders, SearchState &state);

/// The content digest of a whole file of `size` bytes, chained block by block as the compare
/// chains it; nothing when it cannot be read or is no longer `size` bytes long.
std::optional<XXH128_hash_t> WholeDigest(FileReader file, std::uint64_t size);
/// The same of its first block alone (the whole file when it is one block).
std::optional<XXH128_hash_t> FirstDigest(FileReader file, std::uint64_t size);

}  // namespace geminor
