#include "results/plan_actions.h"

#include <cerrno>

#include "engine/file_system.h"

namespace geminor {

FileReport DeleteMarked(PlanChecks &checks, FileReport &report, int folder, const std::string &name)
{
    Aside aside{folder, name, {}};
    const UniqueFd source = checks.asideAndChecked(report, aside);
    if (!source)
        return report;
    if (Fs().unlinkat(folder, aside.asideName.c_str(), 0) != 0)
        return checks.putBack(report, aside, FileOutcome::Failed, FileProblem::System, errno);
    return report;
}

}  // namespace geminor
