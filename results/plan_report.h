#pragma once

#include <string>

#include "results/plan.h"

namespace geminor {

/// Puts the reports of a second run over some of the same files in place of the first's.
void MergeReports(PlanReport &into, const PlanReport &again);

}  // namespace geminor
