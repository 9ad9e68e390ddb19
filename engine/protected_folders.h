#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace geminor {

/// The system folders that protection keeps out of a scan: GEMINOR_PROTECTED_FOLDERS
/// (':'-separated) when set, otherwise the usual system folders of a Linux machine.
std::vector<std::string> ProtectedFolders();

/// True when `path` starts with one of `folders`, ignoring case and with no separator boundary
/// (so "/usr2/x" is protected by "/usr").
bool IsProtectedPath(std::string_view path, const std::vector<std::string> &folders);

}  // namespace geminor
