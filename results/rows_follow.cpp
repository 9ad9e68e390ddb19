#include "results/rows_follow.h"

#include <algorithm>
#include <set>
#include <unordered_map>

namespace geminor {
namespace {

/// Takes the state now of the rows of `groups` whose file only had its change time moved.
void refreshGroups(std::vector<ResultRow> &rows, const std::set<std::int32_t> &groups,
                   const IdentityLookup &lookup)
{
    for (ResultRow &row : rows)
        if (row.group != 0 && groups.contains(row.group))
            if (const auto now = lookup(row.path()); now && now->sameContentState(row.seen))
                row.seen = *now;
}

/// Takes `rows[i]` for which `leaves[i]` out, with the groups left with one file; the rows
/// taken go to `gone` when `keep` says so.
void dropRows(std::vector<ResultRow> &rows, std::vector<bool> &leaves, std::vector<GoneRow> &gone,
              const std::vector<bool> &keep)
{
    std::unordered_map<std::int32_t, std::size_t> staying;
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!leaves[i] && rows[i].group != 0)
            ++staying[rows[i].group];
    std::vector<ResultRow> kept;
    kept.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (leaves[i]) {
            if (keep[i])
                gone.push_back({std::move(rows[i]), true});
        } else if (rows[i].group != 0 && staying[rows[i].group] < 2) {
            gone.push_back({std::move(rows[i]), false});
        } else {
            kept.push_back(std::move(rows[i]));
        }
    }
    rows = std::move(kept);
}

/// Puts `back` (in their order) after the last row of their group, or as groups of their own
/// at the end: the list's order then places them.
void insertRows(std::vector<ResultRow> &rows, std::vector<ResultRow> back)
{
    if (back.empty())
        return;
    std::unordered_map<std::int32_t, std::vector<ResultRow>> byGroup;
    std::vector<std::int32_t> groups;  // in the order they come back
    for (ResultRow &row : back) {
        auto &members = byGroup[row.group];
        if (members.empty())
            groups.push_back(row.group);
        members.push_back(std::move(row));
    }
    std::vector<ResultRow> merged;
    merged.reserve(rows.size() + back.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::int32_t group = rows[i].group;
        merged.push_back(std::move(rows[i]));
        if (group != 0 && (i + 1 == rows.size() || rows[i + 1].group != group))
            if (auto it = byGroup.find(group); it != byGroup.end()) {
                for (ResultRow &row : it->second)
                    merged.push_back(std::move(row));
                byGroup.erase(it);
            }
    }
    for (std::int32_t group : groups)
        if (auto it = byGroup.find(group); it != byGroup.end())
            for (ResultRow &row : it->second)
                merged.push_back(std::move(row));
    rows = std::move(merged);
}

}  // namespace

void FollowPlan(std::vector<ResultRow> &rows, std::vector<GoneRow> &gone, const ActionPlan &plan,
                const PlanReport &report, const IdentityLookup &lookup,
                const std::function<std::string(const FileReport &)> &problemText)
{
    if (rows.size() != plan.files.size())
        return;  // not the plan of these rows
    for (ResultRow &row : rows)
        row.problem.clear();  // the reasons said are those of the last operation
    std::vector<bool> leaves(rows.size(), false), keep(rows.size(), false);
    std::set<std::int32_t> touched;
    bool any = false;
    for (const FileReport &file : report.files) {
        if (file.file >= rows.size())
            continue;
        ResultRow &row = rows[file.file];
        touched.insert(row.group);
        if (file.outcome != FileOutcome::Done) {
            row.problem = problemText(file);
            continue;
        }
        row.problem.clear();
        switch (plan.action) {
        case PlanAction::Move:
        case PlanAction::Trash: keep[file.file] = true; [[fallthrough]];
        case PlanAction::Delete: leaves[file.file] = any = true; break;
        case PlanAction::HardLink:
        case PlanAction::SymbolicLink:
        case PlanAction::Clone:
            row.marked = row.markedIcon = false;
            if (const auto now = lookup(row.path()))
                row.seen = *now;
            break;
        case PlanAction::Copy:
        case PlanAction::Rename: break;
        }
    }
    if (IsLinkAction(plan.action))
        refreshGroups(rows, touched, lookup);
    if (any)
        dropRows(rows, leaves, gone, keep);
}

bool PutBackWith(const std::set<std::string> &restored, const std::string &path)
{
    for (std::size_t slash = path.size(); slash != std::string::npos && slash > 0;
         slash = path.rfind('/', slash - 1))
        if (restored.contains(path.substr(0, slash)))
            return true;
    return false;
}

void FollowUndo(std::vector<ResultRow> &rows, std::vector<GoneRow> &gone, PlanAction action,
                const UndoReport &report, const IdentityLookup &lookup)
{
    std::set<std::int32_t> touched;
    std::set<std::string> restored;
    std::unordered_map<std::string, std::size_t> listed;
    for (std::size_t i = 0; i < rows.size(); ++i)
        listed.emplace(rows[i].path(), i);
    for (const UndoStep &step : report.steps) {
        if (step.outcome != UndoOutcome::Restored)
            continue;
        const auto at = listed.find(step.path);
        if (at == listed.end()) {
            restored.insert(step.path);
            continue;
        }
        // A link made an independent file again: what undo wrote is the file now.
        ResultRow &row = rows[at->second];
        if (IsLinkAction(action))
            if (const auto now = lookup(step.path))
                row.seen = *now;
        touched.insert(row.group);
    }
    // A whole folder put back brings back the files in it.
    const auto putBack = [&](const std::string &path) { return PutBackWith(restored, path); };
    for (const GoneRow &g : gone)
        if (g.actedOn && putBack(g.row.path()))
            touched.insert(g.row.group);
    // Back in the order they left, so a group comes back as it was listed; the files that had
    // left as the last of a group come back with it.
    std::vector<GoneRow> still;
    std::vector<ResultRow> back;
    for (GoneRow &g : gone) {
        const bool returns =
            g.actedOn ? putBack(g.row.path()) : g.row.group != 0 && touched.contains(g.row.group);
        if (!returns) {
            still.push_back(std::move(g));
            continue;
        }
        ResultRow row = std::move(g.row);
        // Renamed back it is the same file, its change time moved; copied back from another
        // file system it is a new one with the same length and modification time.
        if (g.actedOn) {
            if (const auto now = lookup(row.path());
                now && now->size == row.seen.size && now->modifiedNs == row.seen.modifiedNs)
                row.seen = *now;
            row.marked = row.markedIcon = false;
            row.problem.clear();
        }
        back.push_back(std::move(row));
    }
    insertRows(rows, std::move(back));
    gone = std::move(still);
    if (IsLinkAction(action))
        refreshGroups(rows, touched, lookup);
}

DoneTotals DoneOf(const ActionPlan &plan, const PlanReport &report)
{
    DoneTotals totals;
    for (const FileReport &file : report.files)
        if (file.outcome == FileOutcome::Done && file.file < plan.files.size()) {
            ++totals.files;
            totals.bytes += plan.files[file.file].seen.size;
        }
    return totals;
}

}  // namespace geminor
