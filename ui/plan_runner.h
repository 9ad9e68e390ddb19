#pragma once

#include <QString>

#include "results/action_plan.h"

class QWidget;

namespace geminor {

/// Runs an action plan on a worker thread while `window` shows a progress dialog with Cancel;
/// the window's thread only waits in its event loop, so it repaints and never touches a file.
/// Returns when the plan has ended.
PlanReport RunPlanWithProgress(QWidget *window, const QString &title, const ActionPlan &plan);

}  // namespace geminor
