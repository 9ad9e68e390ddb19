#pragma once

#include <QString>
#include <cstdint>

#include "results/action_plan.h"

namespace geminor {

/// The title of an operation's progress and of its report ("Copying...", "Send to Trash").
QString OperationTitle(PlanAction action);
/// What an operation did, for the status bar: "3 file(s) moved to the Trash (1.2 MB)."; for
/// links `bytes` is the space freed. With `folders` the count is of whole folders.
QString DoneText(PlanAction action, std::size_t files, std::uint64_t bytes, bool folders = false);
/// What a link action puts in place of a file, in its question ("hard links to"); "" for the
/// other actions.
QString LinkKind(PlanAction action);
/// The question before acting on `count` marked similar pictures, which only look alike:
/// "3 similar pictures will be moved to the Trash; the kept ones are not byte-identical copies".
QString SimilarQuestion(PlanAction action, std::int64_t count);

}  // namespace geminor
