#pragma once

#include <optional>
#include <string>

namespace geminor {

/// Renames a file inside its folder without ever replacing another file (renameat2 with
/// RENAME_NOREPLACE; where that is missing, a hard link and an unlink). Returns the system's
/// reason on failure; nothing is changed then.
std::optional<std::string> RenameFile(const std::string &oldPath, const std::string &newPath);

/// Why a typed name cannot be a file name: empty, ".", "..", a '/' or a NUL, or longer than
/// 255 bytes. Nothing when it can.
std::optional<std::string> InvalidNameReason(const std::string &name);

}  // namespace geminor
