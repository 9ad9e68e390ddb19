#pragma once

#include <QString>
#include <atomic>
#include <functional>

#include "results/action_plan.h"

class QWidget;

namespace geminor {

/// Runs `work(cancel, done)` on a worker thread while `window` shows a progress dialog of
/// `total` steps with Cancel; the window's thread only waits in its event loop, so it repaints
/// and never touches a file. Returns when the work has ended.
void RunWithProgress(QWidget *window, const QString &title, std::size_t total,
                     const std::function<void(const std::atomic<bool> &cancel, std::atomic<std::size_t> &done)> &work);

/// An action plan run so.
PlanReport RunPlanWithProgress(QWidget *window, const QString &title, const ActionPlan &plan);

}  // namespace geminor
