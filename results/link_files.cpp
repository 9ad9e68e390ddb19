#include "results/link_files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <algorithm>
#include <set>
#include <tuple>
#include <memory>
#include <sys/vfs.h>

#include "engine/file_identity.h"
#include "engine/file_system.h"
#include "engine/folder_walker.h"
#include "results/file_copy.h"
#include "results/trash.h"

namespace geminor {
namespace {

bool sameInode(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

FileReport finish(FileReport &report, FileOutcome outcome, FileProblem problem, int error = 0)
{
    report.outcome = outcome;
    report.problem = problem;
    report.error = error;
    if (outcome != FileOutcome::Done)
        report.bytesFreed = 0;
    return report;
}

/// True when every folder of `folder` below `base` (both absolute, ending in '/') is a real
/// folder, not a link, on the mount `mount`.
bool plainBelow(const std::string &base, const std::string &folder, std::uint64_t mount)
{
    for (std::size_t slash = folder.find('/', base.size()); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        const std::string prefix = folder.substr(0, slash);
        struct stat st = {};
        const UniqueFd fd(OpenFolder(prefix + '/'));
        if (StatPath(prefix, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) || !fd ||
            MountIdOf(fd.get()) != mount)
            return false;
    }
    return true;
}

/// What the symbolic link in place of `from` holds to reach `to`: the path relative to its
/// folder, so that a tree moved whole keeps its links, when the two paths meet below their
/// common folder only through real folders of one mount; else the absolute path, since a
/// relative one would read differently from the file's real place than from a bind mount, a
/// mirror or a link it was reached through.
std::string linkTarget(const std::string &from, const std::string &to)
{
    const std::string folder = AbsoluteFolder(FolderOf(from));
    const std::string toFolder = AbsoluteFolder(FolderOf(to));
    const std::string target = toFolder + NameOf(to);
    std::size_t same = 0;
    while (same < folder.size() && same < toFolder.size() && folder[same] == toFolder[same])
        ++same;
    const std::string base = folder.substr(0, folder.rfind('/', same == 0 ? 0 : same - 1) + 1);
    const UniqueFd baseFd(OpenFolder(base));
    const std::uint64_t mount = baseFd ? MountIdOf(baseFd.get()) : 0;
    // A FUSE file system may show a folder at another depth than its own (a mirror holding a
    // bind mount, a pool) without any mount in between.
    constexpr long kFuse = 0x65735546;
    struct statfs fs = {};
    if (mount == 0 || ::fstatfs(baseFd.get(), &fs) != 0 || fs.f_type == kFuse ||
        !plainBelow(base, folder, mount) || !plainBelow(base, toFolder, mount))
        return target;
    return std::filesystem::path(target).lexically_relative(std::filesystem::path(folder)).native();
}

/// Asks the kernel to share the kept copy's blocks with the marked file, range by range; it
/// does so only where the bytes are equal.
FileReport cloneFile(FileReport &report, int keptFd, int folder, const std::string &name,
                     const struct stat &st)
{
    const UniqueFd marked(
        Fs().openat(folder, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
    struct stat now = {};
    if (!marked || Fs().fstat(marked.get(), &now) != 0 || !sameInode(now, st))
        return finish(report, FileOutcome::Skipped, FileProblem::Changed);
    constexpr std::uint64_t kRange = 16 << 20;  // what every file system that dedupes takes at once
    auto range = std::make_unique<std::byte[]>(sizeof(file_dedupe_range) + sizeof(file_dedupe_range_info));
    auto *request = reinterpret_cast<file_dedupe_range *>(range.get());
    const auto size = static_cast<std::uint64_t>(st.st_size);
    for (std::uint64_t offset = 0; offset < size;) {
        std::memset(range.get(), 0, sizeof(file_dedupe_range) + sizeof(file_dedupe_range_info));
        request->src_offset = offset;
        request->src_length = std::min(kRange, size - offset);
        request->dest_count = 1;
        request->info[0].dest_fd = marked.get();
        request->info[0].dest_offset = offset;
        if (Fs().ioctl(keptFd, FIDEDUPERANGE, request) != 0) {
            const int error = errno;
            if (error == EOPNOTSUPP || error == EINVAL || error == ENOTTY || error == EXDEV)
                return finish(report, FileOutcome::Skipped,
                              error == EXDEV ? FileProblem::OtherFileSystem : FileProblem::NoClone);
            return finish(report, FileOutcome::Failed, FileProblem::System, error);
        }
        const file_dedupe_range_info &info = request->info[0];
        if (info.status == FILE_DEDUPE_RANGE_DIFFERS)
            return finish(report, FileOutcome::Skipped, FileProblem::NoKeptCopy);
        if (info.status < 0)
            return finish(report, FileOutcome::Failed, FileProblem::System, -info.status);
        if (info.bytes_deduped == 0)
            return finish(report, FileOutcome::Skipped, FileProblem::NoClone);
        offset += info.bytes_deduped;
    }
    // Sharing blocks must leave the file itself as it was: its inode, owner and mode.
    if (Fs().fstat(marked.get(), &now) != 0 || !sameInode(now, st) || now.st_mode != st.st_mode ||
        now.st_uid != st.st_uid || now.st_gid != st.st_gid)
        return finish(report, FileOutcome::Failed, FileProblem::System,
                      Fs().fstat(marked.get(), &now) != 0 ? errno : EPERM);
    return report;
}

/// Makes the link under a temporary name beside the marked file; its name, or "" and the
/// report filled.
std::string makeLink(const ActionPlan &plan, FileReport &report, int folder, const PlanFile &kept,
                     const FileIdentity &keptState, const std::string &asideName)
{
    const std::string keptName = NameOf(kept.path);
    const UniqueFd keptFolder(OpenFolder(FolderOf(kept.path)));
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Named after the aside name the journal holds, so that undo finds it after a crash.
        const std::string temporary =
            attempt == 0 && !asideName.empty() ? LinkTemporaryName(asideName) : TemporaryName();
        const int made = plan.action == PlanAction::HardLink
                             ? Fs().linkat(keptFolder.get(), keptName.c_str(), folder, temporary.c_str(), 0)
                             : Fs().symlinkat(linkTarget(plan.files[report.file].path, kept.path).c_str(),
                                              folder, temporary.c_str());
        if (made != 0 && errno == EEXIST)
            continue;
        if (made != 0) {
            finish(report, errno == EXDEV ? FileOutcome::Skipped : FileOutcome::Failed,
                   errno == EXDEV ? FileProblem::OtherFileSystem : FileProblem::System, errno);
            return {};
        }
        // The link must reach the kept copy as it was checked: not a file put in its place since.
        struct stat reached = {};
        if (Fs().fstatat(folder, temporary.c_str(), &reached, 0) != 0 ||
            !IdentityOf(reached).sameContentState(keptState)) {
            Fs().unlinkat(folder, temporary.c_str(), 0);
            finish(report, FileOutcome::Skipped, FileProblem::NoKeptCopy);
            return {};
        }
        return temporary;
    }
    finish(report, FileOutcome::Failed, FileProblem::System, EEXIST);
    return {};
}

/// The kept copy to link to, as the action needs it (on the file's own file system unless a
/// symbolic link, with its owner and mode for a hard link), and its state as compared in
/// `keptState`; nothing with the report filled.
std::optional<std::size_t> linkableKeptCopy(PlanChecks &checks, FileReport &report, int markedFd,
                                            const struct stat &st, FileIdentity &keptState)
{
    const PlanAction action = checks.plan().action;
    const std::optional<dev_t> device =
        action == PlanAction::SymbolicLink ? std::nullopt : std::optional(st.st_dev);
    // A hard link would give the file the kept copy's owner and mode, and share later edits.
    const struct stat *owner = action == PlanAction::HardLink ? &st : nullptr;
    if (const auto kept = checks.keptCopy(report.file, markedFd, device, &keptState, owner))
        return kept;
    if (owner && checks.keptCopy(report.file, markedFd, device))
        finish(report, FileOutcome::Skipped, FileProblem::OwnerOrMode);
    else if (device && checks.keptCopy(report.file, markedFd, std::nullopt))
        finish(report, FileOutcome::Skipped, FileProblem::OtherFileSystem);
    else
        finish(report, FileOutcome::Skipped, FileProblem::NoKeptCopy);
    return std::nullopt;
}

/// Shares the blocks of the kept copy, still as it was compared, with the marked file.
FileReport cloneFromKept(const PlanFile &kept, const FileIdentity &keptState, FileReport &report, int folder,
                         const std::string &name, const struct stat &st)
{
    const UniqueFd keptFd(OpenPath(kept.path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat keptNow = {};
    if (!keptFd || Fs().fstat(keptFd.get(), &keptNow) != 0 || IdentityOf(keptNow) != keptState)
        return finish(report, FileOutcome::Skipped, FileProblem::NoKeptCopy);
    return cloneFile(report, keptFd.get(), folder, name, st);
}

/// With the link `made` renamed into the file's place: keeps it only when the name holds it,
/// it reaches the kept copy as it was compared, and the file (open as `source`) was not written
/// to through a descriptor held open meanwhile; then the file set aside goes.
FileReport commitLink(PlanChecks &checks, FileReport &report, const Aside &aside, const struct stat &made,
                      const FileIdentity &keptState, int source)
{
    const PlanFile &file = checks.plan().files[report.file];
    const bool hard = checks.plan().action == PlanAction::HardLink;
    struct stat there = {}, reached = {}, now = {};
    const bool ours = Fs().fstatat(aside.folder, aside.name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
                      sameInode(there, made);
    const bool reaches = ours && Fs().fstatat(aside.folder, aside.name.c_str(), &reached, 0) == 0 &&
                         sameInode(reached, made) == hard && reached.st_dev == keptState.device &&
                         reached.st_ino == keptState.inode && IdentityOf(reached).sameContentState(keptState);
    const bool unchanged = Fs().fstat(source, &now) == 0 && IdentityOf(now).sameContentState(file.seen);
    if (!ours) {  // something else took the name at the last moment: it stays, and so does the file
        report.target = FolderOf(file.path) + aside.asideName;
        return finish(report, FileOutcome::Failed, FileProblem::LeftAside, EEXIST);
    }
    if (!reaches || !unchanged) {
        Fs().unlinkat(aside.folder, aside.name.c_str(), 0);
        return checks.putBack(report, aside, FileOutcome::Skipped,
                              unchanged ? FileProblem::NoKeptCopy : FileProblem::Changed);
    }
    if (Fs().unlinkat(aside.folder, aside.asideName.c_str(), 0) != 0) {
        report.target = FolderOf(file.path) + aside.asideName;
        return finish(report, FileOutcome::Failed, FileProblem::LeftAside, errno);
    }
    return report;
}

/// Sets the file aside, makes the link beside it and renames the link into its place.
FileReport replaceByLink(PlanChecks &checks, FileReport &report, int folder, const std::string &name,
                         std::size_t kept, const FileIdentity &keptState)
{
    Aside aside{folder, name, {}};
    const UniqueFd source = checks.setAsideChecked(report, aside, kept, keptState);
    if (!source)
        return report;
    const std::string temporary =
        makeLink(checks.plan(), report, folder, checks.plan().files[kept], keptState, aside.asideName);
    if (temporary.empty())
        return checks.putBack(report, aside, report.outcome, report.problem, report.error);
    struct stat made = {};
    if (Fs().fstatat(folder, temporary.c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0 ||
        RenameNoReplace(folder, temporary, folder, name) != 0) {
        const int error = errno;
        Fs().unlinkat(folder, temporary.c_str(), 0);
        return checks.putBack(report, aside, FileOutcome::Failed, FileProblem::System, error);
    }
    return commitLink(checks, report, aside, made, keptState, source.get());
}

}  // namespace

FileReport LinkFile(PlanChecks &checks, FileReport &report, int folder, const std::string &name)
{
    const ActionPlan &plan = checks.plan();
    struct stat st = {};
    const UniqueFd marked = checks.openUnchanged(report, folder, name, st);
    if (!marked)
        return report;
    if (const auto linked = checks.linkedKeptCopy(report.file, st);
        linked && plan.action == PlanAction::HardLink) {
        report.target = plan.files[*linked].path;  // already a hard link of the kept copy: done
        report.bytesFreed = 0;
        return report;
    }
    FileIdentity keptState;
    const std::optional<std::size_t> kept = linkableKeptCopy(checks, report, marked.get(), st, keptState);
    if (!kept)
        return report;
    report.target = plan.files[*kept].path;
    if (plan.dryRun)
        return report;
    if (plan.action == PlanAction::Clone)
        return cloneFromKept(plan.files[*kept], keptState, report, folder, name, st);
    return replaceByLink(checks, report, folder, name, *kept, keptState);
}

std::size_t OwnerOrModeMismatches(const std::vector<PlanFile> &files)
{
    using Owner =
        std::tuple<std::int32_t, std::uint64_t, uid_t, gid_t, mode_t>;  // group, device, owner, mode
    std::set<Owner> kept;
    std::set<std::pair<std::int32_t, std::uint64_t>> keptOn;  // group and device with a kept copy
    std::vector<Owner> marked;
    for (const PlanFile &file : files) {
        struct stat st = {};
        if (file.group == 0 || StatPath(file.path, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        const Owner owner{file.group, st.st_dev, st.st_uid, st.st_gid,
                          static_cast<mode_t>(st.st_mode & 07777)};
        if (file.marked) {
            marked.push_back(owner);
        } else {
            kept.insert(owner);
            keptOn.insert({file.group, st.st_dev});
        }
    }
    return static_cast<std::size_t>(std::count_if(marked.begin(), marked.end(), [&](const Owner &m) {
        return keptOn.contains({std::get<0>(m), std::get<1>(m)}) && !kept.contains(m);
    }));
}

}  // namespace geminor
