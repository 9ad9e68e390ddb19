#pragma once

#include <cstdint>
#include <utility>

#include <absl/container/flat_hash_set.h>

namespace geminor {

/// The files met so far, by device and inode: a file reached twice (a folder listed twice, a
/// hard link, a bind mount) is one file, taken the first time. Open addressing: a node a file
/// would cost more than the rest of the walk beyond its stat.
class SeenFiles
{
public:
    /// True the first time the file is met.
    bool firstTime(std::uint64_t device, std::uint64_t inode)
    {
        return m_seen.insert({device, inode}).second;
    }
    /// Forgets them all and gives the memory back.
    void clear() { m_seen = {}; }

private:
    absl::flat_hash_set<std::pair<std::uint64_t, std::uint64_t>> m_seen;
};

}  // namespace geminor
