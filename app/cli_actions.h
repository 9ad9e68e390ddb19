#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/request.h"
#include "results/action_plan.h"
#include "results/keep_rules.h"
#include "results/result_json.h"

namespace geminor {

/// What geminor-cli was asked to do with the files it found.
struct CliAction
{
    PlanAction action = PlanAction::Trash;
    std::string targetFolder;  // --move-to
    bool dryRun = false;
    bool quiet = false;
    bool null = false;       // -0
    bool noJournal = false;  // act without a journal: nothing of it can be undone
};

/// Acts on the marked files through the action plan, and reports: with --dry-run the files it
/// would act on, one per line on stdout (NUL-ended with `null`); every file skipped or failed
/// and the closing counts on stderr. Returns the exit status: 0 when everything was done, 1 when
/// something failed, 3 when something was only skipped.
int RunCliAction(const CliAction &request, std::vector<PlanFile> files, SearchMethod method,
                 const std::atomic<bool> &cancel);

/// Acts on a JSON result as it is written, a batch of whole groups at a time: its marks are
/// the marks, its reference files are only ever kept, and `rules` mark the groups in which it
/// marks nothing. Reports as RunCliAction does.
int RunCliApply(const CliAction &request, ResultJsonReader &result, const std::vector<KeepCriterion> &rules,
                const std::atomic<bool> &cancel);

/// A path as it can be shown in a line of text: as it is when it holds only printable UTF-8,
/// else in the shell's $'...' quoting, with every control character and stray byte escaped.
std::string QuotedPath(std::string_view path);

/// Undoes the newest operation not undone yet (or the one named `id`), reports on stderr and
/// returns the exit status: 0 when everything was put back, 3 when a file was skipped, 1 else.
int RunCliUndo(const std::string &id);

/// Lists the journals, oldest first, a line each, on stdout.
int PrintJournals();

/// Says on stderr which operations stopped part-way and how to roll them back.
void TellInterrupted();

}  // namespace geminor
