#pragma once

#include <QString>
#include <functional>

#include "results/action_plan.h"
#include "ui/job_runner.h"

namespace geminor {

/// A job that runs an action plan, its dialog saying the files and bytes done of the marked
/// ones, with Cancel; `then` gets the report on the window's thread. A plan that runs out of
/// memory reports what it did so far, as cancelled.
Job PlanJob(const QString &title, ActionPlan plan, std::function<void(const PlanReport &)> then);

}  // namespace geminor
