#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/file_record.h"
#include "engine/folder_handles.h"
#include "engine/scan_state.h"

namespace geminor {

class ChecksumCache;
class ThreadPool;

/// How one size group is compared. The scan uses the defaults; tests shrink them to reach the
/// paths that only huge groups take.
struct CompareLimits
{
    std::size_t maxOpen = 256;         // files held open at once
    std::size_t keptBlocks = 1 << 20;  // bytes of blocks kept to confirm a match without reading again
    unsigned digestBits = 128;         // below 64 the digest collides on purpose
};

/// What a comparison may share with the rest of the search; each may be none.
struct CompareAids
{
    FolderHandles *folders = nullptr;  // descriptors of the members' folders
    ChecksumCache *cache = nullptr;
    ThreadPool *helpers = nullptr;  // takes half the work of a large group; without it, one thread does all
};

/// Groups of member indices stored one after another, so that half a million pairs take no
/// list each: group g is members[ends[g - 1], ends[g]).
class MemberGroups
{
public:
    std::size_t size() const { return m_ends.size(); }
    std::span<const std::uint32_t> operator[](std::size_t g) const
    {
        const std::uint32_t begin = g == 0 ? 0 : m_ends[g - 1];
        return {m_members.data() + begin, m_ends[g] - begin};
    }
    void add(std::span<const std::uint32_t> group)
    {
        m_members.insert(m_members.end(), group.begin(), group.end());
        m_ends.push_back(static_cast<std::uint32_t>(m_members.size()));
    }
    /// The groups ordered by their first members.
    MemberGroups sorted() const;

private:
    std::vector<std::uint32_t> m_members;
    std::vector<std::uint32_t> m_ends;
};

/// The groups of identical files among same-size `members`: indices into `members`, ascending
/// within a group, groups ordered by their first index. Each round holds per member a few
/// bytes, never a block: members are split by a 128-bit digest of the block just read, and a
/// digest match is confirmed byte by byte against the first member of its split.
/// With a checksum cache, members whose whole content digests (all known and fresh) differ from
/// every other member's are proven different unread, and the digests of files read to their end
/// are kept for the next scan.
MemberGroups IdenticalGroups(std::span<const FileRecord> members, SearchState &state,
                             const CompareLimits &limits = {}, const CompareAids &aids = {});

}  // namespace geminor
