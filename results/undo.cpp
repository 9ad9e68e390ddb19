#include "results/undo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/file_system.h"
#include "engine/unique_fd.h"
#include "results/file_copy.h"

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

/// A link at `path` (`link`: its state as checked) becomes an independent copy of the bytes it
/// reaches. The copy and the link are swapped in one step, and the link removed only when it is
/// the one checked; anything else put there meanwhile is swapped back, never overwritten.
std::string unlinkCopy(const std::string &path, const struct stat &link)
{
    const UniqueFd folder(OpenFolder(FolderOf(path)));
    const UniqueFd source(OpenPath(path, O_RDONLY | O_CLOEXEC));  // through the link
    struct stat st = {};
    std::string temporary;
    if (!folder || !source || Fs().fstat(source.get(), &st) != 0)
        return std::strerror(errno);
    if (const int error = CopyToTemporary(source.get(), st, folder.get(), temporary))
        return std::strerror(error);
    switch (SwapIn(folder.get(), temporary, NameOf(path), false, [&](const struct stat &swapped) {
        return swapped.st_dev == link.st_dev && swapped.st_ino == link.st_ino;
    })) {
    case Swap::NotSwapped: return std::strerror(errno);
    case Swap::PutBack: return "it changed while it was put back";
    case Swap::LeftAside: return "it changed while it was put back; what stood there is now " + FolderOf(path) + temporary;
    case Swap::Done:
    case Swap::OldKept: return {};
    }
    return {};
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
            return action == PlanAction::Trash ? "it is no longer in the trash" : "it is no longer under its new name";
        const std::string reason = moveBack(step.target, step.path);
        if (!reason.empty())
            return skipped = reason == "the name is taken again" || reason == "its folder is gone", reason;
        if (action == PlanAction::Trash) {  // .../files/NAME has its .../info/NAME.trashinfo
            const std::string trash = FolderOf(FolderOf(step.target).substr(0, FolderOf(step.target).size() - 1));
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
        return Fs().unlinkat(folder.get(), aside.c_str(), 0) == 0 ? std::string() : (skipped = false, std::strerror(errno));
    }
    case PlanAction::HardLink:
    case PlanAction::SymbolicLink:
        // Still the link that was made: a name reaching the kept copy's very file.
        if (!isFile(step.path, st) || (action == PlanAction::HardLink) == S_ISLNK(st.st_mode) ||
            StatPath(step.path, &reached, 0) != 0 || !IdentityOf(reached).sameFile(step.targetState))
            return "it is no longer the link that was made";
        skipped = false;
        return unlinkCopy(step.path, st);
    case PlanAction::Clone:
    case PlanAction::Delete: return {};
    }
    return {};
}

}  // namespace

UndoReport UndoOperation(const JournalRecord &record)
{
    UndoReport report;
    report.undoable = record.action != PlanAction::Delete;
    if (!report.undoable)
        return report;
    for (const JournalStep &step : record.steps) {
        UndoStep done{step.path, UndoOutcome::Restored, {}};
        if (!step.hasOutcome) {
            struct stat st = {};
            if (isFile(step.path, st) && IdentityOf(st) == step.was)
                continue;  // stopped before this file was touched
            done.outcome = UndoOutcome::Skipped;
            done.reason = "the operation stopped while acting on it: where it went is not known";
        } else if (step.outcome != FileOutcome::Done) {
            continue;
        } else {
            bool skipped = false;
            done.reason = undoStep(record.action, step, skipped);
            if (!done.reason.empty())
                done.outcome = skipped ? UndoOutcome::Skipped : UndoOutcome::Failed;
        }
        (done.outcome == UndoOutcome::Restored ? report.restored
         : done.outcome == UndoOutcome::Skipped ? report.skipped : report.failed)++;
        report.steps.push_back(std::move(done));
    }
    return report;
}

const JournalRecord *JournalToUndo(const std::vector<JournalRecord> &records, const std::string &id)
{
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        if (id.empty() ? !it->undone : it->id == id)
            return &*it;
    return nullptr;
}

}  // namespace geminor
