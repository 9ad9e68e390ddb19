#pragma once

#include <string>
#include <vector>

#include "results/plan_file.h"

namespace geminor {

/// Whether the file system of `folder` can share blocks between files (btrfs, XFS, bcachefs,
/// OCFS2); unknown ones count as unable.
bool CanClone(const std::string &folder);

/// The paths of the marked files whose file system cannot share blocks, asked once per file
/// system.
std::vector<std::string> UncloneableFiles(const std::vector<PlanFile> &files);

}  // namespace geminor
