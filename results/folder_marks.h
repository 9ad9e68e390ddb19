#pragma once

#include <string>
#include <vector>

#include "engine/folder_groups.h"
#include "results/keep_rules.h"
#include "results/plan_file.h"

namespace geminor {

/// A folder's path as a plan and the keep rules take it: without its trailing '/'.
std::string FolderPlanPath(const std::string &folder);

/// The member of a folder group that `rules` keep, or members.size() when the group holds
/// reference folders: those are kept and every other member goes.
std::size_t KeptFolder(const std::vector<FolderSummary> &members, const std::vector<KeepCriterion> &rules);

/// Unmarks each marked folder that lies inside another marked folder, or that holds an unmarked
/// (kept) folder: what is removed with a folder is never removed twice, nor is a kept one.
void SettleNestedFolders(std::vector<PlanFile> &files);

}  // namespace geminor
