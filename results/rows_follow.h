#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/file_identity.h"
#include "results/plan.h"
#include "results/result_row.h"
#include "results/undo.h"

namespace geminor {

/// A row taken out of the list, kept so that an undo can bring it back.
struct GoneRow
{
    ResultRow row;
    bool actedOn = false;  // its file was moved or trashed; else it left as the last of its group
};

/// What a file is now (as the plan re-checks it: the link itself, not what it points to), or
/// nothing when no regular file stands there.
using IdentityLookup = std::function<std::optional<FileIdentity>(const std::string &path)>;

/// Brings `rows` in line with what the plan made of them (the plan's files are the rows, in
/// order). Files moved, trashed or deleted leave the list, moved and trashed ones into `gone`;
/// a group left with one file leaves with it; a file replaced by a link stays, unmarked, as
/// what now stands at its path; a file not acted on stays marked with the reason in `problem`
/// (the reasons of an operation before are cleared).
/// Other files of the groups acted on take their state now when only their change time moved
/// (a hard link to them), so acting again works without a rescan. Copies add nothing.
void FollowPlan(std::vector<ResultRow> &rows, std::vector<GoneRow> &gone, const ActionPlan &plan,
                const PlanReport &report, const IdentityLookup &lookup,
                const std::function<std::string(const FileReport &)> &problemText);

/// True when `path` or a folder it lies in is one of `restored` (paths without a trailing '/').
bool PutBackWith(const std::set<std::string> &restored, const std::string &path);

/// Brings back into `rows` the files an undo of `action` put back (those in a whole folder put
/// back too), with what they are now, and
/// the files that had left as the last of their group when the group has two files again.
void FollowUndo(std::vector<ResultRow> &rows, std::vector<GoneRow> &gone, PlanAction action,
                const UndoReport &report, const IdentityLookup &lookup);

/// The files and bytes a plan acted on.
struct DoneTotals
{
    std::size_t files = 0;
    std::uint64_t bytes = 0;
};
DoneTotals DoneOf(const ActionPlan &plan, const PlanReport &report);

}  // namespace geminor
