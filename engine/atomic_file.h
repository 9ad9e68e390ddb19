#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/error.h"

namespace geminor {

/// One file to write: where, and what.
struct FileText
{
    std::string path;
    std::string_view bytes;
};

/// Writes `bytes` to `path` as a user who names that file expects:
/// - a new or regular file is written through a temporary file in its folder that is renamed
///   into place only once complete, so a full disk never leaves a damaged file; a replaced file
///   keeps its mode, and its owner where the process may keep it; a file whose owner cannot be
///   kept, or whose folder may not be written, is written in place (its room taken first, and
///   never through a link put there since it was looked at);
/// - a symbolic link is followed by open(2) with the user's own rights and its file written in
///   place; the link stays. In a sticky folder anyone may write (/tmp), a link, a FIFO or a
///   file belonging to neither the user nor the folder's owner is refused ("Permission
///   denied") wherever it lies on the way, as protected_symlinks, protected_fifos and
///   protected_regular would;
/// - a character device or FIFO (/dev/null, /dev/stdout) is written in place, and a file that
///   is this process's standard output or error is written through that descriptor; a FIFO no
///   one reads is given up on after a second ("No such device or address");
/// - an existing file the user could not write is refused ("Permission denied"), and anything
///   else that is not a regular file (a folder, a socket, a block device) is refused.
/// On failure, the errno and the path (NoReader for a FIFO no one reads, else SystemCall).
Status WriteFileAtomically(const std::string &path, std::string_view bytes);

/// Writes every file, all or none: a failure part-way leaves each earlier file as it was.
/// On failure, the first that failed, as WriteFileAtomically tells it.
Status WriteFilesAtomically(const std::vector<FileText> &files);

}  // namespace geminor
