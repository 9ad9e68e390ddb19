#include "results/plan_actions.h"

#include <cerrno>
#include <fcntl.h>

#include "engine/file_system.h"
#include "results/file_copy.h"
#include "results/link_files.h"

namespace geminor {
namespace {

/// Copies the file, still under its name, into the target folder under a temporary name, and
/// checks it was not changed meanwhile: the copy's name, or "" and the report filled.
std::string copyAcross(PlanChecks &checks, const PlanTarget &target, FileReport &report, int folder,
                       const std::string &name, const UniqueFd &source, const struct stat &st)
{
    const FileIdentity &seen = checks.plan().files[report.file].seen;
    // Named after the journaled aside name, so that undo finds a copy left by a crash.
    std::string temporary =
        checks.asideName().empty() ? std::string() : MoveTemporaryName(checks.asideName());
    if (const int error = CopyToTemporary(source.get(), st, target.fd.get(), temporary)) {
        FailFile(report, error);
        return {};
    }
    struct stat after = {}, there = {};
    if (Fs().fstat(source.get(), &after) != 0 || IdentityOf(after) != seen ||
        Fs().fstatat(folder, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0 || IdentityOf(there) != seen) {
        Fs().unlinkat(target.fd.get(), temporary.c_str(), 0);
        SkipFile(report, FileProblem::Changed);
        return {};
    }
    return temporary;
}

}  // namespace

// The copy is made while the file stays where it is, then the file is checked unchanged, set
// aside, checked again, and only then removed.
FileReport MoveMarkedAcross(PlanChecks &checks, const PlanTarget &target, FileReport &report, int folder,
                            const std::string &name)
{
    struct stat st = {};
    const UniqueFd source = checks.openUnchanged(report, folder, name, st);
    if (!source)
        return report;
    const std::string temporary = copyAcross(checks, target, report, folder, name, source, st);
    if (temporary.empty())
        return report;
    auto dropCopy = [&](const std::string &copyName) { Fs().unlinkat(target.fd.get(), copyName.c_str(), 0); };
    Aside aside{folder, name, {}};
    const UniqueFd checked = checks.asideAndChecked(report, aside);
    if (!checked) {
        dropCopy(temporary);
        return report;
    }
    std::string chosen;
    if (const int error = PublishUnderFreeName(target.fd.get(), temporary, target.fd.get(), name, chosen)) {
        dropCopy(temporary);
        return checks.putBack(report, aside, FileOutcome::Failed, FileProblem::System, error);
    }
    // Written to through a descriptor held open since the copy? Then the source stays.
    struct stat after = {};
    if (Fs().fstat(source.get(), &after) != 0 ||
        !IdentityOf(after).sameContentState(checks.plan().files[report.file].seen)) {
        dropCopy(chosen);
        return checks.putBack(report, aside, FileOutcome::Skipped, FileProblem::Changed);
    }
    if (Fs().unlinkat(folder, aside.asideName.c_str(), 0) != 0) {
        const int error = errno;
        dropCopy(chosen);
        return checks.putBack(report, aside, FileOutcome::Failed, FileProblem::System, error);
    }
    report.target = target.real + chosen;
    return report;
}

}  // namespace geminor
