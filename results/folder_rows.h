#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/folder_groups.h"
#include "results/keep_rules.h"
#include "results/plan.h"
#include "results/rows_follow.h"

namespace geminor {

/// One row of the folder list as plain data: a member of a group of identical folders, or a
/// redundant folder standing on its own.
struct FolderRow
{
    FolderSummary folder;
    std::int32_t group = 0;   // 1, 2, 3... over the folder groups; 0 for a redundant folder
    bool marked = false;      // only group members are ever marked
    std::int64_t copies = 0;  // a redundant folder: the fewest copies outside it any of its files has
    std::vector<RedundantFolder::Holder> holders;  // a redundant folder: where those copies are

    bool redundant() const { return group == 0; }
};

/// The groups first, their members in the engine's order, then the redundant folders.
std::vector<FolderRow> FolderRowsOf(const FolderResult &result);

/// The marked rows' count and bytes.
MarkedTotals FolderMarkTotals(const std::vector<FolderRow> &rows);

/// Keeps one folder of each group by `rules` and marks the others; in a group holding reference
/// folders those are kept and every other member is marked. Redundant folders stay unmarked.
MarkedTotals KeepOneFolder(std::vector<FolderRow> &rows, const std::vector<KeepCriterion> &rules);
/// Unmarks every row.
MarkedTotals UnmarkFolders(std::vector<FolderRow> &rows);

/// The plan's files for the group members: whole folders (`folder` set, the path without its
/// trailing '/'), marked as the rows are; the unmarked members are the copies kept. The marks
/// are as the rows have them: SettleNestedFolders still has to run over them.
std::vector<PlanFile> FolderRowPlanFiles(const std::vector<FolderRow> &rows);

/// The members of the folder groups as a plan's files, each group kept by `rules` as
/// KeepOneFolder keeps it, nested marks settled (SettleNestedFolders).
std::vector<PlanFile> FolderPlanFiles(const FolderResult &result, const std::vector<KeepCriterion> &rules);

/// Takes out the rows whose folders the plan (made of FolderRowPlanFiles(rows)) moved, trashed or
/// deleted, and the groups left with one folder; the others' marks stay. Returns the paths
/// (ending in '/') of the folders that went.
std::vector<std::string> FollowFolderPlan(std::vector<FolderRow> &rows, const ActionPlan &plan,
                                          const PlanReport &report);

/// Brings back, in their places, the rows of `found` (the rows as the scan listed them) whose
/// folders an undo put back (`report`), unmarked, with the members of their groups that had
/// left as the last of them; the rows still listed stay as they are. `went` (the folders that
/// went, as FollowFolderPlan said) loses those put back, and what still lies in one stays out.
void FollowFolderUndo(std::vector<FolderRow> &rows, const std::vector<FolderRow> &found,
                      std::vector<std::string> &went, const UndoReport &report);

/// Takes out, into `gone` for an undo to bring back, the file rows lying in one of `folders`
/// (paths ending in '/') or below, and the groups left with one file.
void DropRowsUnder(std::vector<ResultRow> &rows, std::vector<GoneRow> &gone,
                   const std::vector<std::string> &folders);

}  // namespace geminor
