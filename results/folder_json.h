#pragma once

#include <string>

#include "engine/folder_groups.h"

namespace geminor {

/// The JSON result `json` (as ResultJson writes it) with the folder results added as its
/// "folders" (groups: "paths", "files", "bytes" of each member) and "redundant" (each folder's
/// "path", "files", "bytes", "copies" and the "holders" of its copies, most first).
std::string WithFolders(std::string json, const FolderResult &folders);

}  // namespace geminor
