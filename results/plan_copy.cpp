#include "results/plan_actions.h"

#include "engine/file_system.h"
#include "results/file_copy.h"

namespace geminor {

FileReport CopyMarked(PlanChecks &checks, const PlanTarget &target, FileReport &report, int folder,
                      const std::string &name)
{
    const PlanFile &file = checks.plan().files[report.file];
    struct stat st = {};
    const UniqueFd source = checks.openUnchanged(report, folder, name, st);
    if (!source)
        return report;
    if (checks.plan().dryRun) {
        report.target = WithSlash(checks.plan().targetFolder) + FreeNameAt(target.fd.get(), name);
        return report;
    }
    std::string temporary, chosen;
    if (const int error = CopyToTemporary(source.get(), st, target.fd.get(), temporary))
        return FailFile(report, error);
    struct stat after = {};
    if (Fs().fstat(source.get(), &after) != 0 || IdentityOf(after) != file.seen) {
        Fs().unlinkat(target.fd.get(), temporary.c_str(), 0);
        return SkipFile(report, FileProblem::Changed);
    }
    if (const int error = PublishUnderFreeName(target.fd.get(), temporary, target.fd.get(), name, chosen)) {
        Fs().unlinkat(target.fd.get(), temporary.c_str(), 0);
        return FailFile(report, error);
    }
    report.target = target.real + chosen;
    return report;
}

}  // namespace geminor
