#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace geminor {

/// Writes `bytes` to `path` through a temporary file in the same folder that is renamed into
/// place only once complete, so a full disk or a crash never leaves a damaged file where a good
/// one was. Keeps the permissions of a file it replaces. Returns the system's reason on failure.
std::optional<std::string> WriteFileAtomically(const std::string &path, std::string_view bytes);

}  // namespace geminor
