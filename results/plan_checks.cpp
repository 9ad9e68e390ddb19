#include "results/plan_checks.h"

#include <cerrno>
#include <fcntl.h>

#include "engine/file_system.h"
#include "engine/folder_walker.h"
#include "results/file_copy.h"

namespace geminor {

FileReport SkipFile(FileReport &report, FileProblem problem)
{
    report.outcome = FileOutcome::Skipped;
    report.problem = problem;
    report.bytesFreed = 0;
    return report;
}

FileReport FailFile(FileReport &report, int error, FileProblem problem)
{
    report.outcome = FileOutcome::Failed;
    report.problem = problem;
    report.error = error;
    report.bytesFreed = 0;
    return report;
}

bool VanishedError(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

std::string WithSlash(const std::string &folder)
{
    return folder.ends_with('/') ? folder : folder + '/';
}

UniqueFd PlanChecks::openUnchanged(FileReport &report, int folder, const std::string &name, struct stat &st)
{
    UniqueFd fd(OpenForReading(folder, name));
    if (!fd) {
        VanishedError(errno) ? SkipFile(report, FileProblem::Vanished) : FailFile(report, errno);
        return {};
    }
    if (Fs().fstat(fd.get(), &st) != 0 || IdentityOf(st) != m_plan.files[report.file].seen) {
        SkipFile(report, FileProblem::Changed);
        return {};
    }
    return fd;
}

// Group 0 is a listing of empty files: they need no copy, as long as they are still empty,
// unless one was kept; then it must stand apart (not be the file itself through a mirror).
bool PlanChecks::needsKeptCopy(const PlanFile &file) const
{
    return m_plan.keepLastCopies && (file.group != 0 || file.seen.size != 0 || m_copies.has(0));
}

/// Renames the file aside, under the name chosen beforehand when there is one; 0 or the errno.
int PlanChecks::setAside(Aside &aside)
{
    if (aside.asideName.empty())
        aside.asideName = m_asideName;
    if (!aside.asideName.empty()) {  // the journal names it: no other name will do
        const int done = RenameNoReplace(aside.folder, aside.name, aside.folder, aside.asideName);
        return done == 0 ? 0 : errno;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        aside.asideName = TemporaryName();
        if (RenameNoReplace(aside.folder, aside.name, aside.folder, aside.asideName) == 0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

FileReport PlanChecks::putBack(FileReport &report, const Aside &aside, FileOutcome outcome,
                               FileProblem problem, int error)
{
    if (RenameNoReplace(aside.folder, aside.asideName, aside.folder, aside.name) != 0) {
        report.target = FolderOf(m_plan.files[report.file].path) + aside.asideName;
        return FailFile(report, errno, FileProblem::LeftAside);
    }
    report.outcome = outcome;
    report.problem = problem;
    report.error = error;
    report.bytesFreed = 0;
    return report;
}

/// Sets the file aside and opens it there, still the file the scan saw (its change time aside).
UniqueFd PlanChecks::asideUnchanged(FileReport &report, Aside &aside)
{
    if (const int error = setAside(aside)) {
        FailFile(report, error);
        return {};
    }
    UniqueFd source(OpenForReading(aside.folder, aside.asideName));
    struct stat st = {};
    if (!source || Fs().fstat(source.get(), &st) != 0 ||
        !IdentityOf(st).sameContentState(m_plan.files[report.file].seen)) {
        putBack(report, aside, FileOutcome::Skipped, FileProblem::Changed);
        return {};
    }
    return source;
}

UniqueFd PlanChecks::setAsideChecked(FileReport &report, Aside &aside, std::size_t kept,
                                     const FileIdentity &keptState)
{
    UniqueFd source = asideUnchanged(report, aside);
    if (source && !m_copies.stands(kept, keptState, source.get())) {
        putBack(report, aside, FileOutcome::Skipped, FileProblem::NoKeptCopy);
        return {};
    }
    return source;
}

UniqueFd PlanChecks::asideAndChecked(FileReport &report, Aside &aside)
{
    if (!needsKeptCopy(m_plan.files[report.file]))
        return asideUnchanged(report, aside);
    struct stat st = {};
    const UniqueFd before = openUnchanged(report, aside.folder, aside.name, st);
    if (!before)
        return {};
    FileIdentity kept;
    const std::optional<std::size_t> k = keptCopy(report.file, before.get(), std::nullopt, &kept);
    if (!k) {
        SkipFile(report, FileProblem::NoKeptCopy);
        return {};
    }
    return setAsideChecked(report, aside, *k, kept);
}

FileReport PlanChecks::checkOnly(FileReport &report, int folder, const std::string &name,
                                 const PlanTarget &target)
{
    struct stat st = {};
    const UniqueFd source = openUnchanged(report, folder, name, st);
    if (!source)
        return report;
    if (needsKeptCopy(m_plan.files[report.file]) && !keptCopy(report.file, source.get(), std::nullopt))
        return SkipFile(report, FileProblem::NoKeptCopy);
    if (m_plan.action == PlanAction::Move)
        report.target = WithSlash(m_plan.targetFolder) + FreeNameAt(target.fd.get(), name);
    return report;
}

}  // namespace geminor
