#pragma once

#include <string>

#include "results/plan.h"

namespace geminor {

/// Puts the reports of a second run over some of the same files in place of the first's.
void MergeReports(PlanReport &into, const PlanReport &again);

/// Why a file was not acted on, in Geminor's words ("changed since the scan").
std::string ProblemText(const FileReport &report);

/// Why a trash cannot be used, in Geminor's words.
std::string TrashRefusalText(TrashRefusal refusal, int error, const std::string &trashPath = {});

}  // namespace geminor
