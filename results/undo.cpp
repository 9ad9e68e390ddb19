#include "results/undo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/file_system.h"
#include "engine/unique_fd.h"
#include "engine/folder_walker.h"
#include "results/file_copy.h"
#include "results/link_files.h"
#include "results/trash.h"

namespace geminor {
namespace {

bool isFile(const std::string &path, struct stat &st)
{
    return StatPath(path, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

/// The name `path` is free in its folder, which still exists: its folder open, or an empty
/// descriptor and the reason.
UniqueFd freeName(const std::string &path, std::string &reason)
{
    UniqueFd folder(OpenFolder(FolderOf(path)));
    if (!folder) {
        reason = "its folder is gone";
        return {};
    }
    struct stat st = {};
    if (Fs().fstatat(folder.get(), NameOf(path).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        reason = "the name is taken again";
        return {};
    }
    return folder;
}

/// Moves `from` back to `to` without replacing anything; across file systems by a copy that is
/// published first and the file removed after.
std::string moveBack(const std::string &from, const std::string &to)
{
    std::string reason;
    const UniqueFd into = freeName(to, reason);
    if (!into)
        return reason;
    const UniqueFd fromFolder(OpenFolder(FolderOf(from)));
    if (RenameNoReplace(fromFolder.get(), NameOf(from), into.get(), NameOf(to)) == 0)
        return {};
    if (errno != EXDEV)
        return std::strerror(errno);
    const UniqueFd source(OpenPath(from, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st = {};
    std::string temporary;
    if (!source || Fs().fstat(source.get(), &st) != 0)
        return std::strerror(errno);
    if (const int error = CopyToTemporary(source.get(), st, into.get(), temporary))
        return std::strerror(error);
    if (RenameNoReplace(into.get(), temporary, into.get(), NameOf(to)) != 0) {
        const int error = errno;
        Fs().unlinkat(into.get(), temporary.c_str(), 0);
        return error == EEXIST ? "the name is taken again" : std::strerror(error);
    }
    Fs().unlinkat(fromFolder.get(), NameOf(from).c_str(), 0);
    return {};
}

/// Gives the copy `name` of `folder` the file's own mode, times and (where permitted) owner, as
/// the journal recorded them before it became a link.
bool giveOwn(int folder, const std::string &name, const JournalStep &step)
{
    const UniqueFd fd(Fs().openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (!fd)
        return false;
    struct stat st = {};
    if (Fs().fstat(fd.get(), &st) == 0 && (st.st_uid != step.uid || st.st_gid != step.gid) &&
        ::fchown(fd.get(), step.uid, step.gid) != 0 && errno != EPERM)
        return false;  // another user's file copied by a user: it stays theirs where the system says so
    auto time = [](std::int64_t ns) {
        return timespec{static_cast<time_t>(FloorSeconds(ns)),
                        static_cast<long>(ns - FloorSeconds(ns) * 1'000'000'000)};
    };
    const struct timespec times[2] = {time(step.accessedNs), time(step.was.modifiedNs)};
    return ::fchmod(fd.get(), step.mode) == 0 && ::futimens(fd.get(), times) == 0;
}

/// A link at `path` (`link`: its state as checked) becomes an independent copy of the bytes it
/// reaches. The copy and the link are swapped in one step, and the link removed only when it is
/// the one checked; anything else put there meanwhile is swapped back, never overwritten.
/// The name an undo copies a link's bytes under beside it: the same for every undo of `step`,
/// so that one killed part-way leaves nothing the next cannot find.
std::string undoTemporaryName(const JournalStep &step)
{
    char hex[17];
    std::snprintf(
        hex, sizeof hex, "%016zx",
        std::hash<std::string>{}(step.path + '\0' + step.aside + '\0' + std::to_string(step.was.inode)));
    return ".geminor-u" + std::string(hex, 11);
}

/// What an undo of `step` killed part-way left beside the file: a copy not swapped in yet, or
/// the link swapped out. Neither holds anything the file does not.
void dropUndoLeftover(const JournalStep &step)
{
    struct stat st = {};
    const std::string left = FolderOf(step.path) + undoTemporaryName(step);
    if (isFile(left, st) && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
        UnlinkPath(left);
}

std::string unlinkCopy(const std::string &path, const struct stat &link, const JournalStep &step)
{
    const UniqueFd folder(OpenFolder(FolderOf(path)));
    const UniqueFd source(OpenPath(path, O_RDONLY | O_CLOEXEC));  // through the link
    struct stat st = {};
    std::string temporary = undoTemporaryName(step);
    if (!folder || !source || Fs().fstat(source.get(), &st) != 0)
        return std::strerror(errno);
    dropUndoLeftover(step);
    if (const int error = CopyToTemporary(source.get(), st, folder.get(), temporary))
        return std::strerror(error);
    if (step.hasOwn && !giveOwn(folder.get(), temporary, step)) {
        const int error = errno;
        Fs().unlinkat(folder.get(), temporary.c_str(), 0);
        return std::strerror(error);
    }
    switch (SwapIn(folder.get(), temporary, NameOf(path), false, [&](const struct stat &swapped) {
        return swapped.st_dev == link.st_dev && swapped.st_ino == link.st_ino;
    })) {
    case Swap::NotSwapped: return std::strerror(errno);
    case Swap::PutBack: return "it changed while it was put back";
    case Swap::LeftAside:
        return "it changed while it was put back; what stood there is now " + FolderOf(path) + temporary;
    case Swap::Done:
    case Swap::OldKept: return {};
    }
    return {};
}

/// Whether what a done step did was already undone: the file is back under its name (and, for
/// a trash, its trash info gone), a link is an independent file again, a copy is gone.
bool alreadyBack(PlanAction action, const JournalStep &step)
{
    struct stat st = {};
    switch (action) {
    case PlanAction::Trash:
    case PlanAction::Move:
    case PlanAction::Rename:
        if (!isFile(step.path, st) || !IdentityOf(st).sameFile(step.was) ||
            static_cast<std::uint64_t>(st.st_size) != step.was.size)
            return false;
        if (action == PlanAction::Trash) {  // its trash info, left when the undo was stopped
            const std::string files = FolderOf(step.target);
            UnlinkPath(FolderOf(files.substr(0, files.size() - 1)) + "info/" + NameOf(step.target) +
                       ".trashinfo");
        }
        return true;
    case PlanAction::Copy: return !isFile(step.target, st);
    case PlanAction::HardLink:
    case PlanAction::SymbolicLink:
        return isFile(step.path, st) && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
               !IdentityOf(st).sameFile(step.targetState);
    case PlanAction::Clone:
    case PlanAction::Delete: return false;
    }
    return false;
}

/// The .trashinfo files of `step`'s trash that name its file; each with whether its file is
/// still in the trash as the very file the journal recorded.
std::vector<std::pair<std::string, bool>> trashInfosOf(const JournalStep &step)
{
    std::vector<std::pair<std::string, bool>> infos;
    const std::string text =
        TrashInfoText(AbsoluteFolder(FolderOf(step.path)) + NameOf(step.path), step.trashTop);
    const std::string pathLine = text.substr(0, text.find("\nDeletionDate="));
    DIR *dir = ::opendir((step.trash + "info").c_str());
    if (!dir)
        return infos;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!name.ends_with(".trashinfo"))
            continue;
        const UniqueFd fd(OpenPath(step.trash + "info/" + name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        char buffer[8192];
        const ssize_t n = fd ? Fs().pread(fd.get(), buffer, sizeof buffer, 0) : -1;
        const std::string text(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        // One killed while it was written holds less than its Path line: known by its name.
        const bool cutShort = n >= 0 && text.find("\nDeletionDate=") == std::string::npos &&
                              name.starts_with(NameOf(step.path).substr(0, 64));
        if (!cutShort && text.find(pathLine + "\n") != 0)
            continue;
        struct stat st = {};
        const std::string file = step.trash + "files/" + name.substr(0, name.size() - 10);
        infos.push_back(
            {file, StatPath(file, &st, AT_SYMLINK_NOFOLLOW) == 0 && IdentityOf(st).sameFile(step.was)});
    }
    ::closedir(dir);
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
    std::vector<char> x(1 << 16), y(1 << 16);
    for (off_t at = 0;;) {
        const ssize_t n = Fs().pread(a.get(), x.data(), x.size(), at),
                      k = Fs().pread(b.get(), y.data(), y.size(), at);
        if (n < 0 || n != k || std::memcmp(x.data(), y.data(), static_cast<std::size_t>(n)) != 0)
            return false;
        if (n == 0)
            return true;
        at += n;
    }
}

/// What a step killed part-way may have left beside the file, none of it holding anything the
/// file does not: a link not yet in the file's place, a copy to another file system not yet
/// published, trash info (of `infos`, the step's trash info read once) whose file never reached
/// the trash.
void dropLeftovers(PlanAction action, const JournalStep &step,
                   const std::vector<std::pair<std::string, bool>> &infos = {})
{
    struct stat st = {};
    if (!step.aside.empty()) {
        const std::string link = FolderOf(step.path) + LinkTemporaryName(step.aside);
        if (isFile(link, st) && (S_ISLNK(st.st_mode) || st.st_nlink > 1))
            UnlinkPath(link);
        const std::string copy =
            step.moveTo.empty() ? std::string() : step.moveTo + MoveTemporaryName(step.aside);
        if (action == PlanAction::Move && !copy.empty() && isFile(copy, st) && S_ISREG(st.st_mode))
            UnlinkPath(copy);
    }
    for (const auto &[file, same] : infos)
        if (struct stat there = {}; StatPath(file, &there, AT_SYMLINK_NOFOLLOW) != 0)
            UnlinkPath(step.trash + "info/" + NameOf(file) + ".trashinfo");
}

/// A step whose outcome was never written (the operation was killed while acting on it): the
/// file is found where each step of the action may have left it (under its name, set aside in
/// its folder, in the trash, or replaced by a link) and put back; "" when it is back (or never
/// left), else why not.
std::string recoverStep(PlanAction action, const JournalStep &step, bool &restored, bool &skipped)
{
    restored = false;
    skipped = true;
    struct stat st = {};
    const bool atName = isFile(step.path, st);
    if (atName && S_ISREG(st.st_mode) && IdentityOf(st).sameContentState(step.was)) {
        // Under its name, the file left no trash info behind: the trash's folder is not read.
        dropLeftovers(action, step);
        return {};  // never left, or already back
    }
    std::vector<std::pair<std::string, bool>> infos;
    if (action == PlanAction::Trash && !step.trash.empty())
        infos = trashInfosOf(step);
    std::string reason = "the operation stopped while acting on it: where it went is not known";
    const std::string aside = step.aside.empty() ? std::string() : FolderOf(step.path) + step.aside;
    if (!aside.empty() && isFile(aside, st) && IdentityOf(st).sameContentState(step.was)) {
        if (atName && (action == PlanAction::HardLink || action == PlanAction::SymbolicLink)) {
            // The link was put in place; the file itself is still aside: the link goes.
            struct stat reached = {};
            if (StatPath(step.path, &reached, 0) != 0 ||
                static_cast<std::uint64_t>(reached.st_size) != step.was.size)
                return "its name holds another file now; it stays as " + aside;
            UnlinkPath(step.path);
        }
        reason = moveBack(aside, step.path);
        restored = reason.empty();
    } else if (!atName) {
        for (const auto &[file, same] : infos)
            if (same) {
                reason = moveBack(file, step.path);
                restored = reason.empty();
                break;
            }
    } else if (action == PlanAction::HardLink || action == PlanAction::SymbolicLink) {
        // The link stands and the file is gone: the bytes the link reaches were checked equal.
        struct stat reached = {};
        if (StatPath(step.path, &reached, 0) == 0 &&
            static_cast<std::uint64_t>(reached.st_size) == step.was.size &&
            (S_ISLNK(st.st_mode) || st.st_nlink > 1)) {
            reason = unlinkCopy(step.path, st, step);
            restored = reason.empty();
            skipped = !restored;
        }
    }
    if (action == PlanAction::Move && !step.moveTo.empty()) {
        const bool back = isFile(step.path, st) && IdentityOf(st).sameContentState(step.was);
        for (int n = 1; n <= 1000; ++n) {
            const std::string there = step.moveTo + NameVariant(NameOf(step.path), n);
            struct stat moved = {};
            if (!isFile(there, moved) || !S_ISREG(moved.st_mode))
                continue;
            // Moved within its file system (the same file), or copied to another one and the
            // file removed (its length and modification time, which the copy keeps).
            const bool itself = IdentityOf(moved).sameFile(step.was) ||
                                (moved.st_dev != step.was.device && IdentityOf(moved).size == step.was.size &&
                                 IdentityOf(moved).modifiedNs == step.was.modifiedNs);
            if (!back && itself) {
                reason = moveBack(there, step.path);
                restored = reason.empty();
                break;
            }
            if (back && sameCopy(there, moved, step.path))  // a copy to another file system, published
                UnlinkPath(there);
        }
    }
    dropLeftovers(action, step, infos);
    return restored ? std::string() : reason;
}

/// Undoes one file the operation acted on; "" when done, else why not.
std::string undoStep(PlanAction action, const JournalStep &step, bool &skipped)
{
    skipped = true;
    struct stat st = {}, reached = {};
    switch (action) {
    case PlanAction::Trash:
    case PlanAction::Rename:
    case PlanAction::Move: {
        if (!isFile(step.target, st) || !IdentityOf(st).sameFile(step.targetState) ||
            static_cast<std::uint64_t>(st.st_size) != step.was.size)
            return action == PlanAction::Trash ? "it is no longer in the trash"
                                               : "it is no longer under its new name";
        const std::string reason = moveBack(step.target, step.path);
        if (!reason.empty())
            return skipped = reason == "the name is taken again" || reason == "its folder is gone", reason;
        if (action == PlanAction::Trash) {  // .../files/NAME has its .../info/NAME.trashinfo
            const std::string trash =
                FolderOf(FolderOf(step.target).substr(0, FolderOf(step.target).size() - 1));
            UnlinkPath(trash + "info/" + NameOf(step.target) + ".trashinfo");
        }
        return {};
    }
    case PlanAction::Copy: {
        // Unchanged (its change time too), then set aside: what is removed is the copy checked,
        // not a file that took its name in between.
        if (!isFile(step.target, st) || IdentityOf(st) != step.targetState)
            return "the copy changed since, or is gone";
        const UniqueFd folder(OpenFolder(FolderOf(step.target)));
        const std::string aside = TemporaryName();
        if (!folder || RenameNoReplace(folder.get(), NameOf(step.target), folder.get(), aside) != 0)
            return "the copy is gone";
        if (Fs().fstatat(folder.get(), aside.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !IdentityOf(st).sameContentState(step.targetState)) {  // the rename itself changed its ctime
            RenameNoReplace(folder.get(), aside, folder.get(), NameOf(step.target));
            return "the copy changed since";
        }
        return Fs().unlinkat(folder.get(), aside.c_str(), 0) == 0 ? std::string()
                                                                  : (skipped = false, std::strerror(errno));
    }
    case PlanAction::HardLink:
    case PlanAction::SymbolicLink:
        // Still the link that was made: a name reaching the kept copy's very file.
        if (!isFile(step.path, st) || (action == PlanAction::HardLink) == S_ISLNK(st.st_mode) ||
            StatPath(step.path, &reached, 0) != 0 || !IdentityOf(reached).sameFile(step.targetState))
            return "it is no longer the link that was made";
        skipped = false;
        return unlinkCopy(step.path, st, step);
    case PlanAction::Clone:
    case PlanAction::Delete: return {};
    }
    return {};
}

}  // namespace

UndoReport UndoOperation(const JournalRecord &record)
{
    UndoReport report;
    report.undoable = record.action != PlanAction::Delete && record.action != PlanAction::Clone;
    if (!report.undoable)
        return report;
    for (const JournalStep &step : record.steps) {
        UndoStep done{step.path, UndoOutcome::Restored, {}};
        if (!step.hasOutcome) {
            bool restored = false, skipped = true;
            done.reason = recoverStep(record.action, step, restored, skipped);
            if (!restored && done.reason.empty())
                continue;  // stopped before this file was touched
            if (!done.reason.empty())
                done.outcome = skipped ? UndoOutcome::Skipped : UndoOutcome::Failed;
        } else if (step.outcome != FileOutcome::Done) {
            // A file left aside when a step failed and it could not be put back.
            bool restored = false, skipped = true;
            done.reason = recoverStep(record.action, step, restored, skipped);
            if (!restored)
                continue;
        } else if (alreadyBack(record.action, step)) {
            if (IsLinkAction(record.action))
                dropUndoLeftover(step);
            continue;  // an undo before was stopped after putting it back
        } else {
            bool skipped = false;
            done.reason = undoStep(record.action, step, skipped);
            if (!done.reason.empty())
                done.outcome = skipped ? UndoOutcome::Skipped : UndoOutcome::Failed;
        }
        (done.outcome == UndoOutcome::Restored  ? report.restored
         : done.outcome == UndoOutcome::Skipped ? report.skipped
                                                : report.failed)++;
        report.steps.push_back(std::move(done));
    }
    return report;
}

const JournalRecord *JournalToUndo(const std::vector<JournalRecord> &records, const std::string &id,
                                   std::vector<const JournalRecord *> *passed)
{
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if (!id.empty()) {
            if (it->id == id)
                return &*it;
            continue;
        }
        if (it->undone)
            continue;
        if (CanBeUndone(*it))
            return &*it;
        if (passed)
            passed->push_back(&*it);
    }
    return nullptr;
}

}  // namespace geminor
