#include "ui/plan_runner.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "results/format_size.h"

namespace geminor {

Job PlanJob(const QString &title, ActionPlan plan, std::function<void(const PlanReport &)> then,
            const PlanSizes &sizes)
{
    std::vector<std::uint64_t> bytesBefore{0};  // the bytes of the first n marked files
    for (std::size_t i = 0; i < plan.files.size(); ++i)
        if (plan.files[i].marked)
            bytesBefore.push_back(bytesBefore.back() + (sizes.empty() ? plan.files[i].seen.size : sizes[i]));
    const QString what = sizes.empty() ? QStringLiteral("file(s)") : QStringLiteral("folder(s)");
    const std::size_t total = bytesBefore.size() - 1;
    const QString allBytes = FormatSize(static_cast<double>(bytesBefore.back()));
    auto report = std::make_shared<PlanReport>();
    Job job;
    job.title = title;
    job.total = total;
    job.label = [bytesBefore = std::move(bytesBefore), total, allBytes, what](std::size_t done) {
        done = std::min(done, total);
        return QStringLiteral("%1 of %2 %3, %4 of %5")
            .arg(done)
            .arg(total)
            .arg(what, FormatSize(static_cast<double>(bytesBefore[done])), allBytes);
    };
    job.work = [report, plan = std::move(plan)](JobProgress &progress) {
        try {
            *report = RunPlan(
                plan, [&progress](std::size_t handled, std::size_t) { progress.done.store(handled); },
                &progress.cancel);
        } catch (const std::exception &) {
            report->cancelled = true;  // out of memory: what was reported so far stands
        }
    };
    job.then = [report, then = std::move(then)] { then(*report); };
    return job;
}

}  // namespace geminor
