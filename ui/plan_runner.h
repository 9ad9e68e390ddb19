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
/// `label(done)`, when given, is the dialog's text as the steps go.
void RunWithProgress(
    QWidget *window, const QString &title, std::size_t total,
    const std::function<void(const std::atomic<bool> &cancel, std::atomic<std::size_t> &done)> &work,
    const std::function<QString(std::size_t done)> &label = {});

/// An action plan run so, the dialog saying the files and bytes done of the marked ones.
PlanReport RunPlanWithProgress(QWidget *window, const QString &title, const ActionPlan &plan);

}  // namespace geminor
