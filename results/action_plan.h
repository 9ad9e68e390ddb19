#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "results/plan.h"
#include "results/plan_report.h"
#include "results/result_row.h"

namespace geminor {

/// The files of the result rows, marked as the rows are.
std::vector<PlanFile> PlanFilesOf(const std::vector<ResultRow> &rows);

/// Called after each marked file with the count handled so far and the count marked.
using PlanProgress = std::function<void(std::size_t done, std::size_t total)>;

/// Acts on every marked file of the plan, in list order, re-checking each at the moment of
/// acting: it must still be the file the scan saw (device, inode, size, times). Before a
/// marked file is deleted, trashed or moved away it is renamed aside in its own folder, and
/// some unmarked member of its group must then still open as a different file with the same
/// bytes; otherwise it is renamed back. A marked whole folder (trash, delete and move only) is
/// set aside likewise and compared all the way down with a kept folder of its group, opened
/// again after the rename. Runs on the caller's thread; `cancel` is read between files; the
/// report says what became of each file.
PlanReport RunPlan(const ActionPlan &plan, const PlanProgress &progress = {},
                   const std::atomic<bool> *cancel = nullptr);

}  // namespace geminor
