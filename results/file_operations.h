#pragma once

#include <optional>
#include <string>

namespace geminor {

/// What happened to one file of a copy, move or delete.
struct OpResult
{
    bool done = false;
    std::string target;  // where it went (copy, move, trash)
    std::string error;   // the system's reason when not done
};

/// A name for `name` in `folder` that no file has yet: the name itself, else "stem (2).ext",
/// "stem (3).ext" and so on. `folder` ends in '/'.
std::string FreeNameIn(const std::string &folder, const std::string &name);

/// Copies a regular file into `folder` (ending in '/') under a free name, with its permissions
/// and modification time. Never replaces a file; a failed copy leaves no partial target.
OpResult CopyInto(const std::string &path, const std::string &folder);

/// Moves a file into `folder` under a free name: a rename on the same file system, otherwise a
/// complete copy first and the source removed only after it.
OpResult MoveInto(const std::string &path, const std::string &folder);

/// Removes a file for good.
OpResult DeleteForGood(const std::string &path);

/// Moves a file to the freedesktop.org trash: the home trash when the file is on the same file
/// system as it, otherwise "$topdir/.Trash-$uid" of the file's own mount, with its .trashinfo.
OpResult MoveToTrash(const std::string &path);

}  // namespace geminor
