#include "results/rows_follow.h"

#include <algorithm>
#include <set>
#include <unordered_map>

namespace geminor {
namespace {

/// Takes the state now of the rows of `groups` whose file only had its change time moved.
void refreshGroups(std::vector<ResultRow> &rows, const std::set<std::int32_t> &groups, const IdentityLookup &lookup)
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

/// Puts `row` back after the last row of its group, or as a group of its own before the first
/// group found after it.
void insertRow(std::vector<ResultRow> &rows, ResultRow row)
{
    auto last = std::find_if(rows.rbegin(), rows.rend(), [&](const ResultRow &r) { return r.group == row.group; });
    if (last != rows.rend()) {
        rows.insert(last.base(), std::move(row));
        return;
    }
    auto later = std::find_if(rows.begin(), rows.end(), [&](const ResultRow &r) { return r.group > row.group; });
    rows.insert(later, std::move(row));
}

}  // namespace

void FollowPlan(std::vector<ResultRow> &rows, std::vector<GoneRow> &gone, const ActionPlan &plan,
                const PlanReport &report, const IdentityLookup &lookup)
{
    if (rows.size() != plan.files.size())
        return;  // not the plan of these rows
    std::vector<bool> leaves(rows.size(), false), keep(rows.size(), false);
    std::set<std::int32_t> touched;
    bool any = false;
    for (const FileReport &file : report.files) {
        if (file.file >= rows.size())
            continue;
        ResultRow &row = rows[file.file];
        touched.insert(row.group);
        if (file.outcome != FileOutcome::Done) {
            row.problem = ProblemText(file);
            continue;
        }
        row.problem.clear();
        switch (plan.action) {
        case PlanAction::Move:
        case PlanAction::Trash:
            keep[file.file] = true;
            [[fallthrough]];
        case PlanAction::Delete:
            leaves[file.file] = any = true;
            break;
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

void FollowUndo(std::vector<ResultRow> &rows, std::vector<GoneRow> &gone, PlanAction action,
                const UndoReport &report, const IdentityLookup &lookup)
{
    std::set<std::int32_t> touched;
    std::set<std::string> restored;
    for (const UndoStep &step : report.steps) {
        if (step.outcome != UndoOutcome::Restored)
            continue;
        auto listed = std::find_if(rows.begin(), rows.end(), [&](const ResultRow &r) { return r.path() == step.path; });
        if (listed == rows.end()) {
            restored.insert(step.path);
            continue;
        }
        // A link made an independent file again: what undo wrote is the file now.
        if (IsLinkAction(action))
            if (const auto now = lookup(step.path))
                listed->seen = *now;
        touched.insert(listed->group);
    }
    for (const GoneRow &g : gone)
        if (g.actedOn && restored.contains(g.row.path()))
            touched.insert(g.row.group);
    // Back in the order they left, so a group comes back as it was listed; the files that had
    // left as the last of a group come back with it.
    std::vector<GoneRow> still;
    for (GoneRow &g : gone) {
        const bool back = g.actedOn ? restored.contains(g.row.path()) : g.row.group != 0 && touched.contains(g.row.group);
        if (!back) {
            still.push_back(std::move(g));
            continue;
        }
        ResultRow row = std::move(g.row);
        // Renamed back it is the same file, its change time moved; copied back from another
        // file system it is a new one with the same length and modification time.
        if (g.actedOn) {
            if (const auto now = lookup(row.path()); now && now->size == row.seen.size && now->modifiedNs == row.seen.modifiedNs)
                row.seen = *now;
            row.marked = row.markedIcon = false;
            row.problem.clear();
        }
        insertRow(rows, std::move(row));
    }
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
