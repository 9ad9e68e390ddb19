#include "app/cli_actions.h"

#include <cstdio>
#include <string>

#include "app/cli_host.h"
#include "results/journal.h"
#include "results/undo.h"

namespace geminor {
namespace {

const char *const kDone[] = {"Copied", "Moved", "Trashed", "Deleted", "Linked", "Linked", "Cloned"};
const char *const kWould[] = {"would copy", "would move", "would trash", "would delete",
                              "would link", "would link", "would clone"};

void printPath(std::FILE *out, const char *label, const std::string &path, const std::string &tail = {})
{
    std::fputs(label, out);
    std::fputc(' ', out);
    std::fwrite(path.data(), 1, path.size(), out);
    std::fputs(tail.c_str(), out);
    std::fputc('\n', out);
}

}  // namespace

int RunCliAction(const CliAction &request, std::vector<PlanFile> files, SearchMethod method,
                 const std::atomic<bool> &cancel)
{
    ActionPlan plan{request.action, method, request.targetFolder, std::move(files), true, request.dryRun,
                    request.dryRun ? std::string() : JournalFolder()};
    CliHost host(request.quiet);
    const PlanReport report = RunPlan(
        plan,
        [&](std::size_t done, std::size_t total) {
            if (host.progressDue())
                host.setStatusText(std::string(kDone[static_cast<int>(plan.action)]) + " " + std::to_string(done) +
                                   "/" + std::to_string(total));
        },
        &cancel);
    host.finish();
    const int action = static_cast<int>(plan.action);
    for (const FileReport &file : report.files) {
        const std::string &path = plan.files[file.file].path;
        if (file.outcome == FileOutcome::Done) {
            if (plan.dryRun) {  // the paths alone, for scripts
                std::fwrite(path.data(), 1, path.size(), stdout);
                std::fputc(request.null ? '\0' : '\n', stdout);
            }
            continue;
        }
        printPath(stderr, file.outcome == FileOutcome::Skipped ? "geminor-cli: skipped" : "geminor-cli: failed", path,
                  ": " + ProblemText(file));
    }
    std::fflush(stdout);
    if (report.cancelled)
        std::fputs("Stopped: the files after the last one reported were left as they were.\n", stderr);
    const auto freed = static_cast<unsigned long long>(plan.action == PlanAction::Copy ? 0 : report.bytesFreed);
    if (plan.dryRun)
        std::fprintf(stderr, "Dry run: nothing was changed.\nWould %s : %zu\nWould skip : %zu\nWould fail : %zu\n"
                     "Would free : %llu bytes\n", kWould[action] + 6, report.done, report.skipped, report.failed, freed);
    else
        std::fprintf(stderr, "%s : %zu\nSkipped : %zu\nFailed : %zu\nFreed : %llu bytes\n", kDone[action],
                     report.done, report.skipped, report.failed, freed);
    if (!report.journal.empty())
        std::fprintf(stderr, "Journal : %s%s\n", report.journal.c_str(),
                     plan.action == PlanAction::Delete ? " (a permanent delete cannot be undone)"
                                                       : " (geminor-cli --undo puts it back)");
    if (report.failed > 0)
        return 1;
    return report.skipped > 0 || report.cancelled ? 3 : 0;
}

int RunCliUndo(const std::string &id)
{
    const std::string folder = JournalFolder();
    const std::vector<JournalRecord> records = ReadJournals(folder);
    const JournalRecord *record = JournalToUndo(records, id);
    if (!record) {
        std::fprintf(stderr, "geminor-cli: %s\n", id.empty() ? "nothing to undo" : ("no journal " + id).c_str());
        return 1;
    }
    const UndoReport report = UndoOperation(*record);
    if (!report.undoable) {
        std::fprintf(stderr, "geminor-cli: %s was a permanent delete: nothing can be put back\n", record->id.c_str());
        return 1;
    }
    for (const UndoStep &step : report.steps)
        if (step.outcome != UndoOutcome::Restored)
            printPath(stderr, step.outcome == UndoOutcome::Skipped ? "geminor-cli: skipped" : "geminor-cli: failed",
                      step.path, ": " + step.reason);
    MarkUndone(folder, record->id);
    std::fprintf(stderr, "Undone : %s (%s)\nRestored : %zu\nSkipped : %zu\nFailed : %zu\n", record->id.c_str(),
                 ActionWord(record->action), report.restored, report.skipped, report.failed);
    return report.failed > 0 ? 1 : report.skipped > 0 ? 3 : 0;
}

int PrintJournals()
{
    for (const JournalRecord &record : ReadJournals(JournalFolder())) {
        std::printf("%s  %s  %-13s  %zu file(s)%s%s\n", record.id.c_str(), record.time.c_str(),
                    ActionWord(record.action), record.doneCount(), record.undone ? "  undone" : "",
                    record.action == PlanAction::Delete ? "  not undoable" : "");
    }
    return 0;
}

}  // namespace geminor
