#include "results/plan_actions.h"

#include <cerrno>
#include <fcntl.h>

#include "engine/file_system.h"
#include "engine/folder_walker.h"

namespace geminor {
namespace {

/// The trash's refusal in the report: why, and which trash.
FileReport refused(FileReport &report, const TrashFolder &trash)
{
    report.trash = trash.refusal;
    if (report.problem == FileProblem::NoTrash)
        report.target = trash.path;
    return report;
}

}  // namespace

FileReport IntoTrash(PlanChecks &checks, const TrashFolder &trash, FileReport &report, const Aside &aside)
{
    const std::string info = TrashInfoText(checks.realFolder() + aside.name, trash.topDirectory);
    for (int n = 1; n < 10000; ++n) {
        const std::string name = TrashName(aside.name, n);
        const std::string infoName = name + ".trashinfo";
        UniqueFd fd(
            Fs().openat(trash.info.get(), infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd && errno == EEXIST)
            continue;
        if (!fd)
            return checks.putBack(report, aside, FileOutcome::Failed, FileProblem::System, errno);
        const bool written =
            Fs().write(fd.get(), info.data(), info.size()) == static_cast<ssize_t>(info.size()) &&
            Fs().fsync(fd.get()) == 0;
        const int writeError = errno;
        fd.reset();
        if (!written) {
            Fs().unlinkat(trash.info.get(), infoName.c_str(), 0);
            return checks.putBack(report, aside, FileOutcome::Failed, FileProblem::System, writeError);
        }
        if (RenameNoReplace(aside.folder, aside.asideName, trash.files.get(), name) == 0) {
            report.target = trash.path + "files/" + name;
            return report;
        }
        const int error = errno;
        Fs().unlinkat(trash.info.get(), infoName.c_str(), 0);
        if (error != EEXIST)
            return checks.putBack(report, aside, FileOutcome::Failed, FileProblem::System, error);
    }
    return checks.putBack(report, aside, FileOutcome::Failed, FileProblem::System, EEXIST);
}

TrashFolder &TrashFolders::of(int folder)
{
    const std::uint64_t mount = MountIdOf(folder);
    auto found = m_byMount.find(mount);
    if (found == m_byMount.end() || mount == 0)
        found = m_byMount.insert_or_assign(mount, FindTrash(folder)).first;
    return found->second;
}

FileReport TrashMarked(PlanChecks &checks, TrashFolders &trashes, FileReport &report, int folder,
                       const std::string &name)
{
    if (const TrashFolder &trash = trashes.of(folder); trash.refusal != TrashRefusal::None) {
        FailFile(report, trash.error, FileProblem::NoTrash);  // before anything is renamed
        return refused(report, trash);
    }
    Aside aside{folder, name, {}};
    const UniqueFd source = checks.asideAndChecked(report, aside);
    if (!source)
        return report;
    const TrashFolder &trash = trashes.of(folder);
    if (trash.refusal != TrashRefusal::None) {
        checks.putBack(report, aside, FileOutcome::Failed, FileProblem::NoTrash, trash.error);
        return refused(report, trash);
    }
    return IntoTrash(checks, trash, report, aside);
}

}  // namespace geminor
