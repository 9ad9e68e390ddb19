#include "results/undo_steps.h"

#include <fcntl.h>
#include <utility>
#include <vector>

#include "engine/file_compare.h"
#include "engine/file_system.h"
#include "engine/folder_walker.h"
#include "engine/unique_fd.h"
#include "results/file_copy.h"
#include "results/link_files.h"
#include "results/trash.h"

namespace geminor {
namespace {

/// A .trashinfo file's own file in the trash, and whether it is still the very file the journal
/// recorded.
using TrashInfos = std::vector<std::pair<std::string, bool>>;

/// The .trashinfo files of `step`'s trash that name its file.
TrashInfos trashInfosOf(const JournalStep &step)
{
    TrashInfos infos;
    const std::string text =
        TrashInfoText(AbsoluteFolder(FolderOf(step.path)) + NameOf(step.path), step.trashTop);
    const std::string pathLine = text.substr(0, text.find("\nDeletionDate="));
    const UniqueDir dir = ListFolder(step.trash + "info");
    if (!dir)
        return infos;
    while (const dirent *entry = Fs().readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (!name.ends_with(".trashinfo"))
            continue;
        const UniqueFd fd(OpenPath(step.trash + "info/" + name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        char buffer[8192];
        const ssize_t n = fd ? Fs().pread(fd.get(), buffer, sizeof buffer, 0) : -1;
        const std::string content(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        // One killed while it was written holds less than its Path line: known by its name.
        const bool cutShort = n >= 0 && content.find("\nDeletionDate=") == std::string::npos &&
                              name.starts_with(NameOf(step.path).substr(0, 64));
        if (!cutShort && content.find(pathLine + "\n") != 0)
            continue;
        struct stat st = {};
        const std::string file = step.trash + "files/" + name.substr(0, name.size() - 10);
        infos.push_back(
            {file, StatPath(file, &st, AT_SYMLINK_NOFOLLOW) == 0 && IdentityOf(st).sameFile(step.was)});
    }
    return infos;
}

/// `there` (in state `st`) is a copy of the file at `path` made by a move: the same length,
/// modification time and bytes.
bool sameCopy(const std::string &there, const struct stat &st, const std::string &path)
{
    const UniqueFd a(OpenPath(there, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    const UniqueFd b(OpenPath(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat other = {};
    if (!a || !b || Fs().fstat(b.get(), &other) != 0 || other.st_size != st.st_size ||
        Nanoseconds(other.st_mtim) != Nanoseconds(st.st_mtim) || IdentityOf(other).sameFile(IdentityOf(st)))
        return false;
    return ByteComparer(1 << 16).same(a.get(), b.get(), static_cast<std::uint64_t>(st.st_size));
}

/// What a step killed part-way may have left beside the file, none of it holding anything the
/// file does not: a link not yet in the file's place, a copy to another file system not yet
/// published, trash info (of `infos`, the step's trash info read once) whose file never reached
/// the trash.
void dropLeftovers(PlanAction action, const JournalStep &step, const TrashInfos &infos = {})
{
    struct stat st = {};
    if (!step.aside.empty()) {
        const std::string link = FolderOf(step.path) + LinkTemporaryName(step.aside);
        if (IsThere(link, st) && (S_ISLNK(st.st_mode) || st.st_nlink > 1))
            UnlinkPath(link);
        const std::string copy =
            step.moveTo.empty() ? std::string() : step.moveTo + MoveTemporaryName(step.aside);
        if (action == PlanAction::Move && !copy.empty() && IsThere(copy, st) && S_ISREG(st.st_mode))
            UnlinkPath(copy);
    }
    for (const auto &[file, same] : infos)
        if (struct stat there = {}; StatPath(file, &there, AT_SYMLINK_NOFOLLOW) != 0)
            UnlinkPath(step.trash + "info/" + NameOf(file) + ".trashinfo");
}

/// A move's file in its target folder: moved within its file system (the same file), or copied
/// to another one and the file removed (its length and modification time, which the copy
/// keeps), comes back; a published copy of a file that is back goes.
void recoverMove(const JournalStep &step, Status &status, bool &restored)
{
    struct stat st = {};
    const bool back = IsThere(step.path, st) && StillItsFile(step, st, true);
    for (int n = 1; n <= 1000; ++n) {
        const std::string there = step.moveTo + NameVariant(NameOf(step.path), n);
        struct stat moved = {};
        if (!IsThere(there, moved) || (step.folder ? !S_ISDIR(moved.st_mode) : !S_ISREG(moved.st_mode)))
            continue;
        const bool itself =
            IdentityOf(moved).sameFile(step.was) ||
            (!step.folder && moved.st_dev != step.was.device && IdentityOf(moved).size == step.was.size &&
             IdentityOf(moved).modifiedNs == step.was.modifiedNs);
        if (!back && itself) {
            status = MoveBack(there, step.path);
            restored = status.has_value();
            break;
        }
        if (back && !step.folder &&
            sameCopy(there, moved, step.path))  // a copy to another file system, published
            UnlinkPath(there);
    }
}

bool isLinkToKept(PlanAction action)
{
    return action == PlanAction::HardLink || action == PlanAction::SymbolicLink;
}

}  // namespace

Status RecoverStep(PlanAction action, const JournalStep &step, bool &restored, bool &skipped)
{
    restored = false;
    skipped = true;
    struct stat st = {};
    const bool atName = IsThere(step.path, st);
    if (atName && (S_ISREG(st.st_mode) || step.folder) && StillItsFile(step, st, true)) {
        // Under its name, the file left no trash info behind: the trash's folder is not read.
        dropLeftovers(action, step);
        return {};  // never left, or already back
    }
    const TrashInfos infos =
        action == PlanAction::Trash && !step.trash.empty() ? trashInfosOf(step) : TrashInfos{};
    Status status = Fail(ErrorCode::WhereaboutsUnknown, 0, step.path);
    const std::string aside = step.aside.empty() ? std::string() : FolderOf(step.path) + step.aside;
    struct stat reached = {};
    if (!aside.empty() && IsThere(aside, st) && StillItsFile(step, st, true)) {
        if (atName && isLinkToKept(action)) {
            // The link was put in place; the file itself is still aside: the link goes.
            if (StatPath(step.path, &reached, 0) != 0 ||
                static_cast<std::uint64_t>(reached.st_size) != step.was.size)
                return Fail(ErrorCode::LeftUnderOtherName, 0, aside);
            UnlinkPath(step.path);
        }
        status = MoveBack(aside, step.path);
        restored = status.has_value();
    } else if (!atName) {
        for (const auto &[file, same] : infos)
            if (same) {
                status = MoveBack(file, step.path);
                restored = status.has_value();
                break;
            }
    } else if (isLinkToKept(action) && StatPath(step.path, &reached, 0) == 0 &&
               static_cast<std::uint64_t>(reached.st_size) == step.was.size &&
               (S_ISLNK(st.st_mode) || st.st_nlink > 1)) {
        // The link stands and the file is gone: the bytes the link reaches were checked equal.
        status = UnlinkCopy(step.path, st, step);
        restored = status.has_value();
        skipped = !restored;
    }
    if (action == PlanAction::Move && !step.moveTo.empty())
        recoverMove(step, status, restored);
    dropLeftovers(action, step, infos);
    return restored ? Status{} : status;
}

}  // namespace geminor
