#pragma once

#include <string>

#include "engine/error.h"
#include "results/plan.h"

namespace geminor {

/// Why a file was not acted on ("changed since the scan").
std::string ProblemText(const FileReport &report);

/// Why a trash cannot be used.
std::string TrashRefusalText(TrashRefusal refusal, int error, const std::string &trashPath = {});

/// Why undo could not put a file back ("the name is taken again").
std::string UndoReasonText(const Error &error);

}  // namespace geminor
