#pragma once

#include <optional>
#include <string>

#include "engine/file_identity.h"

namespace geminor {

/// Renames a file inside its folder without ever replacing another file (renameat2 with
/// RENAME_NOREPLACE; where that is missing, a hard link and an unlink). Returns the system's
/// reason on failure; nothing is changed then. Paths of any length: the rename is made relative
/// to the folder. `renamed`, when given, gets the file's state after the rename.
std::optional<std::string> RenameFile(const std::string &oldPath, const std::string &newPath,
                                      FileIdentity *renamed = nullptr);

/// RenameFile, written to a journal in `journalFolder` first, so that undo can name it back;
/// no rename when the journal cannot be written.
std::optional<std::string> RenameJournaled(const std::string &oldPath, const FileIdentity &seen,
                                           const std::string &newPath, const std::string &journalFolder,
                                           FileIdentity *renamed = nullptr);

/// Why a typed name cannot be a file name: empty, ".", "..", a '/' or a NUL, or longer than
/// 255 bytes (a file system that allows less refuses the rename itself, with its reason).
/// Nothing when it can: '\\', ':', '*', '?', '"', '<', '>' and '|' are ordinary characters.
std::optional<std::string> InvalidNameReason(const std::string &name);

}  // namespace geminor
