#pragma once

#include <vector>

#include "engine/folder_census.h"
#include "engine/folder_groups.h"
#include "engine/request.h"
#include "engine/scan_state.h"

namespace geminor {

/// The whole folders that are copies, from what the walk saw of each folder and what the
/// content search found of each file: a file's content is the group it ended in, or else its
/// own (so only its hard links share it). Folders are compared bottom-up by a signature of their
/// names and contents, and folders with equal signatures confirmed item by item.
FolderResult FindFolderGroups(const FolderCensus &census, const WalkedStates &walked,
                              const std::vector<ResultEntry> &entries,
                              const std::vector<SearchLocation> &locations);

}  // namespace geminor
