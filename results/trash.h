#pragma once

#include <string>

#include "engine/unique_fd.h"

namespace geminor {

/// Why a file's file system has no trash Geminor may use.
enum class TrashRefusal {
    None,
    NotAFolder,    // the trash's name is taken by something that is not a folder
    NotYours,      // "$topdir/.Trash-$uid" belongs to another user
    OpenToOthers,  // "$topdir/.Trash-$uid" can be read or written by other users
    NoMountPoint,  // the mount the file is on could not be found
    System,        // the system refused to make or open it (see the error)
};

/// The freedesktop.org trash for the files of one mount: its folder and open files/ and info/.
struct TrashFolder
{
    TrashRefusal refusal = TrashRefusal::None;
    int error = 0;             // errno when the refusal is System
    std::string path;          // the trash folder, ending in '/'
    std::string topDirectory;  // the mount point for a "$topdir" trash, ending in '/'; "" for the home trash
    UniqueFd files;
    UniqueFd info;
};

/// The trash for files in the folder open as `folderFd`: the home trash (made with its parents
/// when missing) when the folder is on the same mount as the home trash's folder; otherwise,
/// on the folder's own mount (bind mounts included), "$topdir/.Trash/$uid" when ".Trash" is a
/// sticky folder that is no link, else "$topdir/.Trash-$uid", which must be the user's own
/// folder with mode 0700 (on exFAT and FAT, which keep no modes, its owner alone). Runs on any thread.
TrashFolder FindTrash(int folderFd);

/// The identifier of the mount that holds the file or folder open as `fd`; 0 when unknown.
std::uint64_t MountIdOf(int fd);

/// The mount point of the mount `mountId`, from /proc/self/mountinfo, ending in '/'; "" when unknown.
std::string MountPointOf(std::uint64_t mountId);

/// The type of the mount `mountId` as /proc/self/mountinfo names it ("ext4", "fuseblk"); "" when unknown.
std::string MountTypeOf(std::uint64_t mountId);

/// The name a file called `name` takes in the trash's files/ at its `n`th try (from 1): the
/// name or its variant "stem (n).ext", shortened with a mark of its own where "NAME.trashinfo"
/// would not fit 255 bytes. The .trashinfo keeps the whole original path.
std::string TrashName(const std::string &name, int n);

/// The text of a .trashinfo file for a file that was at `originalPath` (absolute), deleted now.
/// A "$topdir" trash records the path relative to its top folder when it lies below it.
std::string TrashInfoText(const std::string &originalPath, const std::string &topDirectory);

}  // namespace geminor
