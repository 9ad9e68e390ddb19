#pragma once

#include <QString>
#include <atomic>
#include <functional>

#include "results/action_plan.h"

class QWidget;

namespace geminor {

/// Runs `work` and says what it threw: "" for nothing, a sentence for running out of memory,
/// else the exception's text.
QString FailureOf(const std::function<void()> &work);

/// Runs `work(cancel, done)` on a worker thread while `window` shows a progress dialog of
/// `total` steps with Cancel; the window's thread only waits in its event loop, so it repaints
/// and never touches a file. Returns when the work has ended: "" when it ended normally, else
/// what it threw (an exception never crosses the worker's thread).
/// `label(done)`, when given, is the dialog's text as the steps go.
[[nodiscard]] QString RunWithProgress(
    QWidget *window, const QString &title, std::size_t total,
    const std::function<void(const std::atomic<bool> &cancel, std::atomic<std::size_t> &done)> &work,
    const std::function<QString(std::size_t done)> &label = {});

/// An action plan run so, the dialog saying the files and bytes done of the marked ones.
PlanReport RunPlanWithProgress(QWidget *window, const QString &title, const ActionPlan &plan);

}  // namespace geminor
