#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "results/action_plan.h"
#include "ui/job_runner.h"

namespace geminor {

/// The bytes of each file of a plan, by its index: a whole folder's are what lies below it, not
/// its own entry's size. Empty: each file's own size.
using PlanSizes = std::vector<std::uint64_t>;

/// A job that runs an action plan, its dialog saying the files (or folders) and bytes done of
/// the marked ones, with Cancel; `then` gets the report on the window's thread. A plan that runs
/// out of memory reports what it did so far, as cancelled.
Job PlanJob(const QString &title, ActionPlan plan, std::function<void(const PlanReport &)> then,
            const PlanSizes &sizes = {});

}  // namespace geminor
