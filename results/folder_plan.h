#pragma once

#include <vector>

#include "results/plan_file.h"

namespace geminor {

/// Unmarks every marked folder that lies inside another marked folder of `files` (by path, at a
/// '/'): it goes with the outer one, which is compared with its kept folder whole. Front ends
/// call it before RunPlan.
void UnmarkNestedFolders(std::vector<PlanFile> &files);

}  // namespace geminor
