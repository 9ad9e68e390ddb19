#include "results/plan_report.h"

#include <unordered_map>

namespace geminor {

void MergeReports(PlanReport &into, const PlanReport &again)
{
    std::unordered_map<std::size_t, const FileReport *> replaced;
    for (const FileReport &file : again.files)
        replaced[file.file] = &file;
    into.done = into.skipped = into.failed = 0;
    into.bytesFreed = 0;
    into.cancelled = into.cancelled || again.cancelled;
    for (FileReport &file : into.files) {
        if (const auto found = replaced.find(file.file); found != replaced.end())
            file = *found->second;
        switch (file.outcome) {
        case FileOutcome::Done: ++into.done; break;
        case FileOutcome::Skipped: ++into.skipped; break;
        case FileOutcome::Failed: ++into.failed; break;
        }
        into.bytesFreed += file.bytesFreed;
    }
}

}  // namespace geminor
