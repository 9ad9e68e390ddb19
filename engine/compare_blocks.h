#pragma once

// The pieces IdenticalGroups compares with: a candidate file read block by block, and the
// partition of a set's members by the bytes of their blocks at one offset. Internal to
// identical_groups.cpp.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>
#include <vector>
#include <xxhash.h>

#include "engine/file_identity.h"
#include "engine/file_reader.h"
#include "engine/file_record.h"
#include "engine/file_system.h"
#include "engine/folder_handles.h"
#include "engine/unique_fd.h"

namespace geminor::compare_blocks {

inline constexpr std::uint32_t kNone = UINT32_MAX;

/// One file of a size group, 24 bytes whatever the group's size: opened when first read, held
/// open while the budget allows, and it must stay the same file and length throughout. A file
/// held open is checked once, when its bytes are to count (confirm): most files differ from
/// every other after one read and are never asked what they are. One given up after a read is
/// checked at every open, as the next open may find another file under its name.
class Candidate
{
public:
    /// Reads `want` bytes at `offset` into `out`, which has room for one byte more: at the end
    /// of the file that byte tells in the same call whether it has grown. False when the file
    /// is gone, changed or unreadable. `walked`: what the walk saw (device and inode 0: unknown).
    /// `cachedOnly`: nullopt, not waiting, when the file is held open and its block is not in
    /// the page cache; the kernel starts reading it, and a later read() finds it.
    std::optional<bool> read(const FileRecord &record, const FileIdentity &walked, std::uint64_t offset,
                             std::size_t want, std::byte *out, std::atomic<std::size_t> &openFiles,
                             std::size_t maxOpen, FolderHandles *folders, bool cachedOnly = false)
    {
        const std::size_t room = offset + want == record.size ? want + 1 : want;
        if (!m_fd) {
            UniqueFd fd = folders ? folders->openToRead(record.folder, record.name)
                                  : OpenToRead(record.folder + record.name);
            if (!fd)
                return false;
            if (openFiles.fetch_add(1, std::memory_order_relaxed) >= maxOpen) {
                openFiles.fetch_sub(1, std::memory_order_relaxed);  // over budget: opened again next time
                return isExpected(fd.get(), walked) &&
                       ReadAtLeast(fd.get(), offset, {out, room}, want) == static_cast<std::int64_t>(want);
            }
            m_fd = std::move(fd);
        }
        if (cachedOnly) {
            const ssize_t n = Fs().preadCached(m_fd.get(), out, room, static_cast<off_t>(offset));
            // Short of `want`, or ending on a page's end, it may have stopped at what is cached.
            if (n == static_cast<ssize_t>(room) && room == want)
                return true;
            if (n == static_cast<ssize_t>(want) + 1 && room > want)
                return false;  // it has grown
            if (n == static_cast<ssize_t>(want) && room > want && (offset + want) % 4096 != 0)
                return true;
            if (n >= 0 || errno == EAGAIN)
                return std::nullopt;
            return false;
        }
        return ReadAtLeast(m_fd.get(), offset, {out, room}, want) == static_cast<std::int64_t>(want);
    }

    /// Whether the bytes read so far are the walked file's: a regular file of its length, the
    /// very file the walk saw (or, the walk unknown, the one first read). One fstat at most.
    bool confirm(const FileIdentity &walked)
    {
        if (!m_fd || m_checked)
            return true;  // not held: checked at each open
        m_checked = isExpected(m_fd.get(), walked);
        return m_checked;
    }

    /// See NextData; nullopt while the file is not held open.
    std::optional<std::uint64_t> nextData(std::uint64_t offset, std::uint64_t size) const
    {
        return m_fd ? NextData(m_fd.get(), offset, size) : std::nullopt;
    }

    void close(std::atomic<std::size_t> &openFiles)
    {
        if (m_fd) {
            m_fd.reset();
            m_checked = false;
            openFiles.fetch_sub(1, std::memory_order_relaxed);
        }
    }

private:
    bool isExpected(int fd, const FileIdentity &walked)
    {
        struct stat st = {};
        if (Fs().fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            static_cast<std::uint64_t>(st.st_size) != walked.size)
            return false;
        if (walked.device != 0 || walked.inode != 0)
            return st.st_dev == walked.device && st.st_ino == walked.inode;
        if (m_seen && (st.st_dev != m_dev || st.st_ino != m_ino))
            return false;  // another file now stands under this name
        m_seen = true;
        m_dev = st.st_dev;
        m_ino = st.st_ino;
        return true;
    }

    dev_t m_dev = 0;
    ino_t m_ino = 0;
    UniqueFd m_fd;
    bool m_seen = false;
    bool m_checked = false;  // the descriptor held is the expected file
};

/// Members whose blocks at one offset hold the same bytes.
struct Split
{
    XXH128_hash_t digest;
    std::uint32_t first;  // the member whose block stands for the split
    std::uint32_t count;
    std::uint32_t kept;  // which kept block is the first member's, or kNone: read it again
};

/// The members of one set split by their blocks at one offset: per member a split number,
/// per split 32 bytes and a slot of the digest table; blocks are kept only up to a budget.
class Partition
{
public:
    std::vector<Split> splits;
    std::vector<std::uint32_t> splitOf;  // for each member of the set, in order; kNone if unreadable

    void reset(std::size_t want, std::size_t members, std::size_t keptBudget)
    {
        splits.clear();
        splitOf.clear();
        splitOf.reserve(members);
        m_kept.clear();
        m_kept.reserve(std::min(keptBudget, members * want));
        m_want = want;
        m_keptBudget = keptBudget;
        const std::size_t slots =
            std::bit_ceil(std::max<std::size_t>(64, 2 * std::min<std::size_t>(members, 4096)));
        if (m_slots.size() != slots)
            m_slots.assign(slots, 0);  // a table sized for a far larger set is not cleared slot by slot
        else
            std::fill(m_slots.begin(), m_slots.end(), 0);
    }

    /// The split of `count` members whose block holds the bytes at `block`, made when no split
    /// holds those bytes. `block` may be null when the bytes are not in hand: `fetch()` then gives
    /// them, called only when a split of the same digest must be compared (null: unreadable, and
    /// the members are placed nowhere). `reRead(member, into)` reads a member's block again when
    /// it was not kept.
    template <typename Fetch, typename ReRead>
    std::uint32_t place(const XXH128_hash_t &digest, const std::byte *block, Fetch &fetch,
                        std::uint32_t first, std::uint32_t count, ReRead &reRead)
    {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t at = digest.low64 & mask;
        for (; m_slots[at] != 0; at = (at + 1) & mask) {
            Split &split = splits[m_slots[at] - 1];
            if (!XXH128_isEqual(split.digest, digest))
                continue;
            if (!block && !(block = fetch()))
                return kNone;
            if (sameBytes(split, block, reRead)) {
                split.count += count;
                return m_slots[at] - 1;
            }
        }
        const auto made = static_cast<std::uint32_t>(splits.size());
        std::uint32_t kept = kNone;
        if (block && m_kept.size() + m_want <= m_keptBudget) {
            kept = static_cast<std::uint32_t>(m_kept.size() / std::max<std::size_t>(m_want, 1));
            m_kept.insert(m_kept.end(), block, block + m_want);
        }
        splits.push_back({digest, first, count, kept});
        m_slots[at] = made + 1;
        if (2 * splits.size() > m_slots.size())
            grow();
        return made;
    }

    std::size_t want() const { return m_want; }

    /// The kept bytes of a split's first member, or null.
    const std::byte *keptBlock(const Split &split) const
    {
        return split.kept == kNone ? nullptr : m_kept.data() + std::size_t{split.kept} * m_want;
    }

    /// The bytes of a split's first member: kept, or read again into a buffer of this partition.
    template <typename ReRead> const std::byte *blockOf(const Split &split, ReRead &reRead)
    {
        if (split.kept != kNone)
            return m_kept.data() + std::size_t{split.kept} * m_want;
        m_scratch.resize(m_want + 1);
        return reRead(split.first, m_scratch.data()) ? m_scratch.data() : nullptr;
    }

private:
    template <typename ReRead> bool sameBytes(const Split &split, const std::byte *block, ReRead &reRead)
    {
        const std::byte *bytes = blockOf(split, reRead);
        return bytes && std::memcmp(bytes, block, m_want) == 0;
    }

    void grow()
    {
        std::vector<std::uint32_t> slots(2 * m_slots.size(), 0);
        const std::size_t mask = slots.size() - 1;
        for (std::uint32_t s = 0; s < splits.size(); ++s) {
            std::size_t at = splits[s].digest.low64 & mask;
            while (slots[at] != 0)
                at = (at + 1) & mask;
            slots[at] = s + 1;
        }
        m_slots = std::move(slots);
    }

    std::size_t m_want = 0;
    std::size_t m_keptBudget = 0;
    std::vector<std::uint32_t> m_slots;  // split number + 1; 0 is free
    std::vector<std::byte> m_kept;
    std::vector<std::byte> m_scratch;
};

}  // namespace geminor::compare_blocks
