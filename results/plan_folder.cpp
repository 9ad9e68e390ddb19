#include <cerrno>
#include <fcntl.h>

#include "engine/file_system.h"
#include "results/file_copy.h"
#include "results/folder_compare.h"
#include "results/plan_actions.h"

namespace geminor {
namespace {

constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

/// The folder at `path` (its last part not followed) while it is still the folder `seen` and not
/// `other`; an empty descriptor otherwise.
UniqueFd openFolderAs(const std::string &path, const FileIdentity &seen, const FileIdentity &other)
{
    const UniqueFd parent(OpenFolder(FolderOf(path)));
    UniqueFd fd(parent ? Fs().openat(parent.get(), NameOf(path).c_str(), kOpenFolder, 0) : -1);
    struct stat st = {};
    if (!fd || Fs().fstat(fd.get(), &st) != 0 || !IdentityOf(st).sameFile(seen) ||
        IdentityOf(st).sameFile(other))
        return {};
    return fd;
}

bool takesFolders(PlanAction action)
{
    return action == PlanAction::Trash || action == PlanAction::Delete || action == PlanAction::Move;
}

}  // namespace

std::optional<std::size_t> FolderAction::keptFolder(std::size_t index) const
{
    const std::vector<PlanFile> &files = m_checks.plan().files;
    for (std::size_t k = 0; k < files.size(); ++k)
        if (k != index && files[k].folder && !files[k].marked && files[k].group == files[index].group &&
            openFolderAs(files[k].path, files[k].seen, files[index].seen))
            return k;
    return std::nullopt;
}

bool FolderAction::ready(FileReport &report)
{
    const ActionPlan &plan = m_checks.plan();
    const PlanFile &file = plan.files[report.file];
    if (!takesFolders(plan.action)) {
        FailFile(report, 0, FileProblem::NotForFolders);
        return false;
    }
    m_name = NameOf(file.path);
    m_parent = UniqueFd(OpenFolder(FolderOf(file.path)));
    if (!m_parent || Fs().fstatat(m_parent.get(), m_name.c_str(), &m_state, AT_SYMLINK_NOFOLLOW) != 0) {
        VanishedError(errno) ? SkipFile(report, FileProblem::Vanished) : FailFile(report, errno);
        return false;
    }
    if (!S_ISDIR(m_state.st_mode) || !IdentityOf(m_state).sameFile(file.seen)) {
        SkipFile(report, FileProblem::Changed);
        return false;
    }
    if (plan.action == PlanAction::Move) {
        struct stat own = {};
        if (Fs().fstat(m_parent.get(), &own) == 0 && IdentityOf(own).sameFile(m_target.folder)) {
            SkipFile(report, FileProblem::SameFolder);
            return false;
        }
        // A whole tree is never copied to another file system: it stays, untouched.
        if (m_state.st_dev != m_target.folder.device || MountIdOf(m_parent.get()) != m_target.mount) {
            FailFile(report, EXDEV);
            return false;
        }
    }
    const std::optional<std::size_t> kept = keptFolder(report.file);
    if (!kept) {
        SkipFile(report, FileProblem::NoKeptCopy);
        return false;
    }
    m_kept = *kept;
    m_realFolder = RealFolder(m_parent.get(), FolderOf(file.path));
    return true;
}

/// Compares the folder open as `folder` with the kept folder, opened again by its path now;
/// false with the report filled when they differ or the kept folder is gone.
bool FolderAction::compared(FileReport &report, int folder)
{
    const std::vector<PlanFile> &files = m_checks.plan().files;
    const UniqueFd kept = openFolderAs(files[m_kept].path, files[m_kept].seen, files[report.file].seen);
    if (!kept) {
        SkipFile(report, FileProblem::NoKeptCopy);
        return false;
    }
    FolderComparison comparison = CompareFolders(folder, kept.get(), m_compare, !m_checks.plan().dryRun);
    if (!comparison.same) {
        comparison.error ? FailFile(report, comparison.error) : SkipFile(report, FileProblem::FolderDiffers);
        report.target = comparison.where;
        return false;
    }
    report.bytesFreed = comparison.bytesOnce;
    m_compared = std::move(comparison);
    return true;
}

FileReport FolderAction::act(FileReport &report)
{
    const ActionPlan &plan = m_checks.plan();
    const FileIdentity &seen = plan.files[report.file].seen;
    if (plan.dryRun) {
        const UniqueFd folder(Fs().openat(m_parent.get(), m_name.c_str(), kOpenFolder, 0));
        struct stat st = {};
        if (!folder || Fs().fstat(folder.get(), &st) != 0 || !IdentityOf(st).sameFile(seen))
            return SkipFile(report, FileProblem::Changed);
        if (compared(report, folder.get()) && plan.action == PlanAction::Move)
            report.target = WithSlash(plan.targetFolder) + FreeNameAt(m_target.fd.get(), m_name);
        return report;
    }
    if (const TrashFolder *trash = plan.action == PlanAction::Trash ? &m_trashes.of(m_parent.get()) : nullptr;
        trash && trash->refusal != TrashRefusal::None) {
        FailFile(report, trash->error, FileProblem::NoTrash);
        report.trash = trash->refusal;
        report.target = trash->path;
        return report;
    }
    Aside aside{m_parent.get(), m_name, {}};
    if (const int error = m_checks.setAside(aside))
        return FailFile(report, error);
    // Every path that reached the folder or anything in it by its name (a kept folder that
    // became a link into it too) stops here, before the kept folder is looked at again.
    const UniqueFd folder(Fs().openat(aside.folder, aside.asideName.c_str(), kOpenFolder, 0));
    struct stat st = {};
    if (!folder || Fs().fstat(folder.get(), &st) != 0 || !IdentityOf(st).sameFile(seen))
        return m_checks.putBack(report, aside, FileOutcome::Skipped, FileProblem::Changed);
    if (!compared(report, folder.get()))  // the report keeps what differs, unless it is left aside
        return m_checks.putBack(report, aside, report.outcome, report.problem, report.error);
    return commit(report, aside);
}

FileReport FolderAction::commit(FileReport &report, const Aside &aside)
{
    switch (m_checks.plan().action) {
    case PlanAction::Trash: return IntoTrash(m_checks, m_trashes.of(aside.folder), report, aside);
    case PlanAction::Delete:
        // Whatever was removed before a failure had its copy in the kept folder: the rest
        // comes back under its name.
        if (const int error = RemoveFolderTree(aside.folder, aside.asideName, m_compared))
            return m_checks.putBack(report, aside, FileOutcome::Failed,
                                    error == EBUSY ? FileProblem::FolderDiffers : FileProblem::System, error);
        return report;
    case PlanAction::Move: {
        std::string chosen;
        if (const int error =
                PublishUnderFreeName(aside.folder, aside.asideName, m_target.fd.get(), m_name, chosen))
            return m_checks.putBack(report, aside, FileOutcome::Failed, FileProblem::System, error);
        report.target = m_target.real + chosen;
        return report;
    }
    default: return report;  // ready() let no other action through
    }
}

}  // namespace geminor
