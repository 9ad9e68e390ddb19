#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace geminor {

/// One mount as /proc/self/mountinfo lists it.
struct MountEntry
{
    std::uint64_t id = 0;
    std::uint64_t parent = 0;
    dev_t device = 0;
    std::string root;    // the folder of the file system mounted here, escaped as the table spells it
    std::string point;   // where it is mounted, unescaped, ending in '/'
    std::string type;    // "ext4", "fuseblk"
    std::string source;  // as the table spells it
};

/// The mounts of this process, in the table's order; lines it cannot parse are left out. Any
/// thread; reads the table each time.
std::vector<MountEntry> ReadMountTable();

/// The mount `mountId`; nothing when the table does not list it.
std::optional<MountEntry> MountOf(std::uint64_t mountId);

/// The first mount of the file system `device`; nothing when the table does not list it.
std::optional<MountEntry> MountOfDevice(dev_t device);

}  // namespace geminor
