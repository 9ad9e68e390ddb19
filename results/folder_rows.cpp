#include "results/folder_rows.h"

#include <algorithm>
#include <map>
#include <set>

#include "engine/group_runs.h"
#include "results/folder_marks.h"

namespace geminor {
namespace {

/// The group runs of the rows: a redundant folder (group 0) is a run of its own.
template <typename Each> void forEachFolderGroup(const std::vector<FolderRow> &rows, Each each)
{
    ForEachGroupRun(
        rows,
        [&](std::size_t begin, std::size_t end) {
            if (rows[begin].group != 0)
                each(begin, end);
        },
        true);
}

bool under(const std::string &path, const std::vector<std::string> &folders)
{
    return std::any_of(folders.begin(), folders.end(),
                       [&](const std::string &folder) { return path.starts_with(folder); });
}

/// Erases the rows with `went` set and then the groups left with one row; `left(row, actedOn)`
/// receives each row erased.
template <typename Row, typename Left>
void eraseGoneAndLonely(std::vector<Row> &rows, std::vector<bool> went, Left left)
{
    std::vector<Row> kept;
    for (std::size_t i = 0; i < rows.size(); ++i)
        went[i] ? left(std::move(rows[i]), true) : kept.push_back(std::move(rows[i]));
    rows.clear();
    ForEachGroupRun(kept, [&](std::size_t begin, std::size_t end) {
        const bool stays = end - begin > 1 || kept[begin].group == 0;
        for (std::size_t i = begin; i < end; ++i)
            stays ? rows.push_back(std::move(kept[i])) : left(std::move(kept[i]), false);
    });
}

}  // namespace

std::vector<FolderRow> FolderRowsOf(const FolderResult &result)
{
    std::vector<FolderRow> rows;
    std::int32_t group = 0;
    for (const FolderGroup &found : result.groups) {
        if (found.members.size() < 2)
            continue;  // nothing to choose between
        ++group;
        for (const FolderSummary &member : found.members)
            rows.push_back({member, group, false, 0, {}});
    }
    for (const RedundantFolder &folder : result.redundant)
        rows.push_back({folder.folder, 0, false, folder.copies, folder.holders});
    return rows;
}

MarkedTotals FolderMarkTotals(const std::vector<FolderRow> &rows)
{
    MarkedTotals totals;
    for (const FolderRow &row : rows)
        if (row.marked) {
            ++totals.count;
            totals.size += static_cast<double>(row.folder.bytes);
        }
    return totals;
}

MarkedTotals KeepOneFolder(std::vector<FolderRow> &rows, const std::vector<KeepCriterion> &rules)
{
    std::vector<FolderSummary> members;
    forEachFolderGroup(rows, [&](std::size_t begin, std::size_t end) {
        members.clear();
        for (std::size_t i = begin; i < end; ++i)
            members.push_back(rows[i].folder);
        const std::size_t keep = begin + KeptFolder(members, rules);
        for (std::size_t i = begin; i < end; ++i)
            rows[i].marked = i != keep && !rows[i].folder.reference;
    });
    return FolderMarkTotals(rows);
}

MarkedTotals UnmarkFolders(std::vector<FolderRow> &rows)
{
    for (FolderRow &row : rows)
        row.marked = false;
    return {};
}

std::vector<PlanFile> FolderRowPlanFiles(const std::vector<FolderRow> &rows)
{
    std::vector<PlanFile> files;
    for (const FolderRow &row : rows)
        if (!row.redundant())
            files.push_back({FolderPlanPath(row.folder.path), row.folder.seen, row.group,
                             row.marked && !row.folder.reference, true});
    return files;
}

std::vector<PlanFile> FolderPlanFiles(const FolderResult &result, const std::vector<KeepCriterion> &rules)
{
    std::vector<FolderRow> rows = FolderRowsOf(result);
    KeepOneFolder(rows, rules);
    std::vector<PlanFile> files = FolderRowPlanFiles(rows);
    SettleNestedFolders(files);
    return files;
}

std::vector<std::string> FollowFolderPlan(std::vector<FolderRow> &rows, const ActionPlan &plan,
                                          const PlanReport &report)
{
    std::set<std::string> done;
    for (const FileReport &file : report.files)
        if (file.outcome == FileOutcome::Done && file.file < plan.files.size() &&
            plan.action != PlanAction::Copy)
            done.insert(plan.files[file.file].path + '/');
    std::vector<std::string> went(done.begin(), done.end());
    std::vector<bool> gone(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        gone[i] = under(rows[i].folder.path, went);  // a folder inside one that went went with it
    eraseGoneAndLonely(rows, std::move(gone), [](FolderRow &&, bool) {});
    return went;
}

void FollowFolderUndo(std::vector<FolderRow> &rows, const std::vector<FolderRow> &found,
                      std::vector<std::string> &went, const UndoReport &report)
{
    std::set<std::string> restored;
    for (const UndoStep &step : report.steps)
        if (step.outcome == UndoOutcome::Restored)
            restored.insert(step.path);
    std::erase_if(went,
                  [&](const std::string &folder) { return PutBackWith(restored, FolderPlanPath(folder)); });
    std::map<std::pair<std::string, bool>, FolderRow> listed;
    for (FolderRow &row : rows)
        listed.emplace(std::pair(row.folder.path, row.redundant()), std::move(row));
    rows.clear();
    for (const FolderRow &row : found) {
        if (const auto at = listed.find(std::pair(row.folder.path, row.redundant())); at != listed.end())
            rows.push_back(std::move(at->second));
        else if (!under(row.folder.path, went))  // put back, or left as the last of its group
            rows.push_back({row.folder, row.group, false, row.copies, row.holders});
    }
    eraseGoneAndLonely(rows, std::vector<bool>(rows.size()), [](FolderRow &&, bool) {});
}

void DropRowsUnder(std::vector<ResultRow> &rows, std::vector<GoneRow> &gone,
                   const std::vector<std::string> &folders)
{
    std::vector<bool> went(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        went[i] = under(rows[i].folder.str(), folders);
    eraseGoneAndLonely(rows, std::move(went), [&](ResultRow &&row, bool actedOn) {
        gone.push_back({std::move(row), actedOn});
    });
}

}  // namespace geminor
