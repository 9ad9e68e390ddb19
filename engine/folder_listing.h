#pragma once

// What the walk reads of a folder: its entries in a stable order, and whether it lies on a
// pseudo file system (proc, sysfs, ...), which is never walked.

#include <cstddef>
#include <dirent.h>
#include <string>
#include <string_view>
#include <vector>

namespace geminor {

/// A folder's entries in byte order of their names, not in the order the file system lists them:
/// the same tree then gives the same walk, and the same first path of a hard-linked file. The
/// names are packed into one buffer: a folder of a million files is held once, compactly.
struct Listing
{
    struct Entry
    {
        std::size_t offset;  // where its name starts in `names` (each name ends in NUL)
        unsigned char type;
    };
    std::string names;
    std::vector<Entry> entries;
    bool broken = false;  // the listing broke off part-way: what was listed is still walked

    std::string_view nameOf(const Entry &entry) const { return names.data() + entry.offset; }
};

/// The entries of `dir` in byte order of their names.
Listing ListSorted(DIR *dir);

/// Whether a mount's file system type (from the mount table) is a pseudo file system.
bool IsPseudoFileSystemType(std::string_view type);
/// The same from the folder open as `fd` when its type is unknown (statfs magic).
bool IsPseudoFileSystemMagic(int fd);

}  // namespace geminor
