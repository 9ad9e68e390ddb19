#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>

#include "engine/file_compare.h"

namespace geminor {

/// How a folder compared with its kept folder, walked through descriptors.
struct FolderComparison
{
    bool same = false;
    std::string where;            // the first entry that differs or could not be read, relative ("sub/f.txt")
    int error = 0;                // errno when `where` could not be read; 0 when it differs
    std::uint64_t bytesOnce = 0;  // bytes of the folder's regular files with no other link
    /// Each entry of the folder as it was compared (device, inode, size, modification time; the
    /// last two 0 for folders): what a delete may remove, and nothing else.
    std::set<std::array<std::int64_t, 4>> compared;
};

/// Compares the folder open as `folder` (O_RDONLY, O_DIRECTORY) with its kept folder `kept`, all
/// the way down, hidden entries too: the same names on both sides; folders recursed; regular
/// files of the same length and bytes that are not the same file; symbolic links with the same
/// target text. A sub-folder of `folder` on another device or mount, any other kind of entry,
/// or a folder reached from both sides differs; so does a sub-folder of `kept` on another device or
/// mount, and, with `probe`, a kept folder that shows a name just made in `folder` (a mirror of
/// it, not a copy; the name is removed again). Links are never followed. Any thread.
FolderComparison CompareFolders(int folder, int kept, ByteComparer &compare, bool probe = false);

/// Removes the folder `name` of `parent` and everything in it for good, through descriptors and
/// never following a link: only entries still as `compared` saw them (anything new or changed
/// since stops it, EBUSY); stops at a sub-folder on another device (EXDEV). 0 or the errno.
int RemoveFolderTree(int parent, const std::string &name, const FolderComparison &compared);

}  // namespace geminor
