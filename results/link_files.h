#pragma once

#include <string>
#include <vector>
#include <sys/stat.h>

#include "results/plan_checks.h"

namespace geminor {

/// Replaces the marked file `name` of `folder` (still the file the scan saw) by a link to a kept
/// copy of its group, as the plan's action says, through the same steps as a delete: the file
/// is set aside, the kept copy is checked to stand apart from it with the same bytes, the link
/// is put in the file's place without replacing anything, and the file is removed only when
/// the name then reaches the kept copy unchanged and the file was not written to meanwhile;
/// else the file comes back. A hard link joins only files that agree on owner, group and
/// permissions. A clone asks the kernel to share the kept copy's blocks, which it does only
/// where the bytes are equal; the file keeps its inode, owner and mode.
FileReport LinkFile(PlanChecks &checks, FileReport &report, int folder, const std::string &name);

/// The name a link is made under beside the file set aside as `asideName`, before it takes the
/// file's place.
inline std::string LinkTemporaryName(const std::string &asideName)
{
    return asideName + "-link";
}

/// The name a move to another file system copies the file under in the target folder.
inline std::string MoveTemporaryName(const std::string &asideName)
{
    return asideName + "-copy";
}

/// How many marked files no unmarked member of their group on their file system agrees with
/// on owner, group and permissions: the files a hard link would leave. Looks at the files
/// (lstat), never reads them.
std::size_t OwnerOrModeMismatches(const std::vector<PlanFile> &files);

}  // namespace geminor
