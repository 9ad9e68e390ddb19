#include "app/cli_actions.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/cli_host.h"
#include "results/journal.h"
#include "results/undo.h"
#include "texts/error_texts.h"
#include "texts/plan_texts.h"

namespace geminor {
namespace {

const char *const kDone[] = {"Copied", "Moved", "Trashed", "Deleted", "Linked", "Linked", "Cloned"};
const char *const kWould[] = {"would copy", "would move", "would trash", "would delete",
                              "would link", "would link", "would clone"};
constexpr std::size_t kBatchFiles = 1 << 16;  // files of whole groups handed to one plan

/// The length of the printable UTF-8 character at `at`; 0 for a control character (C0, DEL,
/// C1, and the marks that turn or break a line of text) or a byte that starts none.
std::size_t printableAt(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) {
        return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u;
    };
    const unsigned lead = byte(0);
    if (lead < 0x80)
        return lead >= 0x20 && lead != 0x7F ? 1 : 0;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4)
        return 0;
    unsigned code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (byte(i) & 0x3F);
    }
    const unsigned shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < shortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code <= 0x9F ||
        code == 0x200E || code == 0x200F || (code >= 0x2028 && code <= 0x202E) ||
        (code >= 0x2066 && code <= 0x2069))
        return 0;
    return length;
}

void printProblem(const char *what, const std::string &path, const std::string &reason)
{
    std::fprintf(stderr, "geminor-cli: %s %s: %s\n", what, QuotedPath(path).c_str(), reason.c_str());
}

/// The counts of one plan or of several, summed.
struct Totals
{
    std::size_t done = 0, skipped = 0, failed = 0;
    std::uint64_t freed = 0;
    bool cancelled = false;
    std::vector<std::string> journals;
};

/// Says what became of each marked file of `plan`: with --dry-run the files it would act on
/// on stdout, and every file skipped or failed on stderr; adds the plan's counts to `totals`.
void reportPlan(const CliAction &request, const ActionPlan &plan, const PlanReport &report, Totals &totals)
{
    std::size_t withoutJournal = 0;
    for (const FileReport &file : report.files) {
        const PlanFile &planned = plan.files[file.file];
        const std::string path = planned.folder ? planned.path + '/' : planned.path;
        if (file.problem == FileProblem::NoJournal) {  // said once, below
            ++withoutJournal;
            continue;
        }
        if (file.outcome == FileOutcome::Done) {
            if (plan.dryRun) {  // the paths alone, for scripts
                std::fwrite(path.data(), 1, path.size(), stdout);
                std::fputc(request.null ? '\0' : '\n', stdout);
            }
            continue;
        }
        FileReport shown = file;
        shown.target = QuotedPath(file.target);  // where a file was left, or the trash refused
        printProblem(file.outcome == FileOutcome::Skipped ? "skipped" : "failed", path, ProblemText(shown));
    }
    std::fflush(stdout);
    if (withoutJournal > 0)
        std::fprintf(
            stderr,
            "geminor-cli: the journal for undo cannot be written (%s): %zu file(s) were left as they "
            "were; --no-journal acts without undo\n",
            std::strerror(report.journalError), withoutJournal);
    totals.done += report.done;
    totals.skipped += report.skipped;
    totals.failed += report.failed;
    totals.freed += plan.action == PlanAction::Copy ? 0 : report.bytesFreed;
    totals.cancelled = totals.cancelled || report.cancelled;
    if (!report.journal.empty())
        totals.journals.push_back(report.journal);
}

/// The closing counts on stderr; the exit status.
int closing(const CliAction &request, const Totals &totals)
{
    const int action = static_cast<int>(request.action);
    if (totals.cancelled)
        std::fputs("Stopped: the files after the last one reported were left as they were.\n", stderr);
    const auto freed = static_cast<unsigned long long>(totals.freed);
    if (request.dryRun)
        std::fprintf(stderr,
                     "Dry run: nothing was changed.\nWould %s : %zu\nWould skip : %zu\nWould fail : %zu\n"
                     "Would free : %llu bytes\n",
                     kWould[action] + 6, totals.done, totals.skipped, totals.failed, freed);
    else
        std::fprintf(stderr, "%s : %zu\nSkipped : %zu\nFailed : %zu\nFreed : %llu bytes\n", kDone[action],
                     totals.done, totals.skipped, totals.failed, freed);
    const char *undo = request.action == PlanAction::Delete ? " (a permanent delete cannot be undone)"
                       : request.action == PlanAction::Clone
                           ? " (clones keep each file's bytes: nothing to undo)"
                       : totals.done == 0 ? " (nothing was done)"
                                          : " (geminor-cli --undo puts it back)";
    if (totals.journals.size() == 1)
        std::fprintf(stderr, "Journal : %s%s\n", totals.journals.front().c_str(), undo);
    else if (totals.journals.size() > 1)  // one per batch of groups
        std::fprintf(
            stderr, "Journals : %zu, %s to %s%s\n", totals.journals.size(), totals.journals.front().c_str(),
            totals.journals.back().c_str(),
            request.action == PlanAction::Delete ? undo : " (each geminor-cli --undo puts back the newest)");
    if (totals.cancelled)
        return 130;
    if (totals.failed > 0)
        return 1;
    return totals.skipped > 0 ? 3 : 0;
}

std::string groupsText(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " group" : " groups");
}

}  // namespace

std::string QuotedPath(std::string_view path)
{
    bool plain = !path.starts_with("$'");
    for (std::size_t i = 0, n; plain && i < path.size(); i += n)
        plain = (n = printableAt(path, i)) > 0;
    if (plain)
        return std::string(path);
    std::string out = "$'";
    for (std::size_t i = 0; i < path.size();) {
        const std::size_t n = printableAt(path, i);
        const char c = path[i];
        if (c == '\\' || c == '\'') {
            out += '\\';
            out += c;
        } else if (n > 0) {
            out.append(path.substr(i, n));
            i += n;
            continue;
        } else if (c == '\n' || c == '\t' || c == '\r') {
            out += c == '\n' ? "\\n" : c == '\t' ? "\\t" : "\\r";
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
            out += escaped;
        }
        ++i;
    }
    return out + '\'';
}

int RunCliAction(const CliAction &request, std::vector<PlanFile> files, SearchMethod method,
                 const std::atomic<bool> &cancel)
{
    ActionPlan plan{request.action,
                    method,
                    request.targetFolder,
                    std::move(files),
                    true,
                    request.dryRun,
                    request.dryRun || request.noJournal ? std::string() : JournalFolder()};
    CliHost host(request.quiet);
    const PlanReport report = RunPlan(
        plan,
        [&](std::size_t done, std::size_t total) {
            if (host.progressDue())
                host.setStatusText(std::string(kDone[static_cast<int>(plan.action)]) + " " +
                                   std::to_string(done) + "/" + std::to_string(total));
        },
        &cancel);
    host.finish();
    Totals totals;
    reportPlan(request, plan, report, totals);
    return closing(request, totals);
}

namespace {

/// What the groups of a JSON result came to before any was acted on.
struct Settled
{
    std::size_t byRules = 0, byResult = 0, repeats = 0, markedReferences = 0, marked = 0;
};

/// Says on stderr what --apply made of the result's marks.
void printSettled(const Settled &settled, bool rules)
{
    if (settled.repeats > 0)
        std::fprintf(stderr,
                     "geminor-cli: %zu listing(s) of a file listed before in its group were left out\n",
                     settled.repeats);
    if (settled.markedReferences > 0)
        std::fprintf(stderr,
                     "geminor-cli: %zu reference file(s) the result marks were kept: reference files stay\n",
                     settled.markedReferences);
    if (rules && settled.byResult > 0)
        std::fprintf(stderr, "geminor-cli: --keep chose in %s; %s kept the report's own marks\n",
                     groupsText(settled.byRules).c_str(), groupsText(settled.byResult).c_str());
    if (!rules && settled.marked == 0)
        std::fputs(
            "geminor-cli: the result marks no file (--keep RULE chooses which file of each group stays)\n",
            stderr);
}

/// One --apply as it goes: the plan of the batch being gathered and what was done before it.
struct ApplyRun
{
    const CliAction &request;
    ResultJsonReader &result;
    const std::atomic<bool> &cancel;
    ActionPlan plan;
    CliHost host;
    Totals totals;
    Settled settled;
    std::size_t listed = 0, markedInBatch = 0;
};

/// Acts on the files gathered, when any is marked, and starts the next batch.
void runBatch(ApplyRun &run)
{
    if (run.markedInBatch > 0) {
        const std::size_t before = run.totals.done + run.totals.skipped + run.totals.failed;
        const PlanReport report = RunPlan(
            run.plan,
            [&](std::size_t done, std::size_t) {
                if (run.host.progressDue())
                    run.host.setStatusText(
                        std::string(kDone[static_cast<int>(run.plan.action)]) + " " +
                        std::to_string(before + done) + " (" +
                        std::to_string(run.listed * 100 /
                                       std::max<std::uint64_t>(1, run.result.fileCount())) +
                        "% of the result)");
            },
            &run.cancel);
        run.host.finish();
        reportPlan(run.request, run.plan, report, run.totals);
    }
    run.plan.files.clear();
    run.markedInBatch = 0;
}

/// Settles one group's marks and adds its files to the batch, which is acted on once full.
void takeGroup(ApplyRun &run, std::vector<JsonFile> &group, std::int32_t number,
               const std::vector<KeepCriterion> &rules)
{
    run.listed += group.size();
    for (JsonFile &file : group)  // a reference file in one group is one in all
        file.reference = file.reference || run.result.isReference(file.seen);
    const ReportGroupMarks marks = SettleReportGroup(group, rules);
    run.settled.repeats += marks.repeats;
    run.settled.markedReferences += marks.markedReferences;
    if (marks.everyFileMarked) {  // acting on it would leave no copy: say so rather than try
        for (const JsonFile &file : group)
            printProblem("skipped", file.path, "the report marks every file of its group");
        run.totals.skipped += group.size();
        run.settled.marked += group.size();
        return;
    }
    const std::size_t marked =
        std::count_if(group.begin(), group.end(), [](const JsonFile &f) { return f.marked; });
    run.settled.byRules += marks.byRules;
    run.settled.byResult += !marks.byRules && marked > 0;
    run.settled.marked += marked;
    run.markedInBatch += marked;
    for (JsonFile &file : group)  // each group its own number: every file is checked against a kept copy
        run.plan.files.push_back({std::move(file.path), file.seen, number, file.marked});
    if (run.plan.files.size() >= kBatchFiles)
        runBatch(run);
    run.totals.cancelled = run.totals.cancelled || run.cancel.load();
}

}  // namespace

int RunCliApply(const CliAction &request, ResultJsonReader &result, const std::vector<KeepCriterion> &rules,
                const std::atomic<bool> &cancel)
{
    ApplyRun run{request,
                 result,
                 cancel,
                 {request.action,
                  result.method(),
                  request.targetFolder,
                  {},
                  true,
                  request.dryRun,
                  request.dryRun || request.noJournal ? std::string() : JournalFolder()},
                 CliHost(request.quiet),
                 {},
                 {}};
    std::vector<JsonFile> group;
    for (std::int32_t number = 0; !run.totals.cancelled && result.nextGroup(group, number);)
        takeGroup(run, group, number, rules);
    if (!run.totals.cancelled)
        runBatch(run);
    run.host.finish();
    printSettled(run.settled, !rules.empty());
    if (result.error()) {
        std::fprintf(stderr,
                     "geminor-cli: the result could not be read to its end (%s): the groups after the last "
                     "one reported were left as they were\n",
                     ErrorText(*result.error()).c_str());
        closing(request, run.totals);
        return 1;
    }
    return closing(request, run.totals);
}

int RunCliUndo(const std::string &id)
{
    const std::string folder = JournalFolder();
    const std::vector<JournalRecord> records = ReadJournals(folder);
    std::vector<const JournalRecord *> passed;
    const JournalRecord *record = JournalToUndo(records, id, &passed);
    for (const JournalRecord *over : passed)
        std::fprintf(
            stderr, "geminor-cli: passed over %s (%s): %s\n", over->id.c_str(), ActionWord(over->action),
            over->action == PlanAction::Delete  ? "a permanent delete cannot be undone"
            : over->action == PlanAction::Clone ? "clones changed no file's bytes: nothing to put back"
                                                : "it did nothing");
    if (!record) {
        std::fprintf(stderr, "geminor-cli: %s\n",
                     id.empty() ? "nothing to undo" : ("no journal " + id).c_str());
        return 1;
    }
    if (!CanBeUndone(*record)) {
        std::fprintf(stderr, "geminor-cli: %s (%s) cannot be undone: %s\n", record->id.c_str(),
                     ActionWord(record->action),
                     record->action == PlanAction::Delete ? "the files were deleted for good"
                     : record->action == PlanAction::Clone
                         ? "clones changed no file's bytes: nothing to put back"
                         : "it did nothing");
        return 1;
    }
    const UndoReport report = UndoOperation(*record);
    for (const UndoStep &step : report.steps)
        if (step.outcome != UndoOutcome::Restored)
            printProblem(step.outcome == UndoOutcome::Skipped ? "skipped" : "failed", step.path,
                         UndoReasonText(step.error));
    // An undo that put nothing back stays to be tried again (a name freed, a disk mounted).
    if (report.restored > 0 || report.steps.empty())
        MarkUndone(folder, record->id);
    std::fprintf(stderr, "%s : %s (%s)\nRestored : %zu\nSkipped : %zu\nFailed : %zu\n",
                 report.restored > 0 || report.steps.empty() ? "Undone" : "Nothing put back",
                 record->id.c_str(), ActionWord(record->action), report.restored, report.skipped,
                 report.failed);
    return report.failed > 0 ? 1 : report.skipped > 0 ? 3 : 0;
}

int PrintJournals()
{
    for (const JournalRecord &record : ReadJournals(JournalFolder())) {
        std::printf("%s  %s  %-13s  %zu file(s)%s%s\n", record.id.c_str(), record.time.c_str(),
                    ActionWord(record.action), record.doneCount(), record.undone ? "  undone" : "",
                    CanBeUndone(record) ? "" : "  not undoable");
    }
    return 0;
}

void TellInterrupted()
{
    for (const JournalRecord &record : InterruptedJournals(JournalFolder()))
        std::fprintf(stderr,
                     "geminor-cli: the operation %s (%s, %s) stopped part-way; geminor-cli --undo %s puts "
                     "back what it did\n",
                     record.id.c_str(), ActionWord(record.action), record.time.c_str(), record.id.c_str());
}

}  // namespace geminor
