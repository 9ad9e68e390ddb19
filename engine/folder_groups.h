#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_identity.h"

namespace geminor {

/// One folder of the walk as the folder results show it: everything below it counted.
struct FolderSummary
{
    std::string path;            // bytes, ends in '/'
    FileIdentity seen;           // the folder itself as the walk saw it (device and inode tell it)
    std::int64_t files = 0;      // files below it, all the way down
    std::uint64_t bytes = 0;     // their bytes
    std::int64_t newestNs = 0;   // the newest modification time among them
    std::int16_t location = -1;  // the first search location that holds it
    bool reference = false;      // a reference location holds it: it is kept, never marked
};

/// Folders that hold the same names all the way down, each file with the same content as its
/// counterpart. Members in list order (location, then path); each a different folder.
struct FolderGroup
{
    std::vector<FolderSummary> members;
};

/// A folder every file of which has a copy (another file, same content) outside it.
struct RedundantFolder
{
    FolderSummary folder;
    std::int64_t copies = 0;  // the fewest copies outside it that any of its files has
    struct Holder
    {
        std::string path;        // a folder holding copies, ends in '/'
        std::int64_t files = 0;  // how many of the copies it holds
    };
    std::vector<Holder> holders;  // most copies first
};

/// What a content scan found of whole folders.
struct FolderResult
{
    std::vector<FolderGroup> groups;         // most bytes first; each group once, at its highest level
    std::vector<RedundantFolder> redundant;  // most bytes first; the highest of nested ones
    /// Keeping the first member of each group and removing the others frees this: each folder
    /// once (a sub-folder of a folder removed is not counted again).
    std::uint64_t reclaimable = 0;
};

}  // namespace geminor
