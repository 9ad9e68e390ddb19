#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace geminor {

/// The system folders that protection keeps out of a scan: GEMINOR_PROTECTED_FOLDERS
/// (':'-separated) when set, otherwise the usual system folders of a Linux machine.
std::vector<std::string> ProtectedFolders();

/// True when `path` is `folder` or lies inside it, ignoring case: "/usr/x" lies in "/usr",
/// "/usr2/x" does not. Trailing separators do not count.
bool LiesInFolder(std::string_view path, std::string_view folder);

/// True when `path` lies in one of `folders` (LiesInFolder).
bool IsProtectedPath(std::string_view path, const std::vector<std::string> &folders);

}  // namespace geminor
