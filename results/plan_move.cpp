#include "results/plan_actions.h"

#include "results/file_copy.h"

namespace geminor {

FileReport MoveMarked(PlanChecks &checks, const PlanTarget &target, FileReport &report, int folder,
                      const std::string &name)
{
    Aside aside{folder, name, {}};
    const UniqueFd source = checks.asideAndChecked(report, aside);
    if (!source)
        return report;
    std::string chosen;
    if (const int error = PublishUnderFreeName(folder, aside.asideName, target.fd.get(), name, chosen))
        return checks.putBack(report, aside, FileOutcome::Failed, FileProblem::System, error);
    report.target = target.real + chosen;
    return report;
}

}  // namespace geminor
