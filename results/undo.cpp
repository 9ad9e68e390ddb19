#include "results/undo.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>

#include "engine/file_system.h"
#include "engine/folder_walker.h"
#include "engine/unique_fd.h"
#include "results/undo_steps.h"

namespace geminor {
namespace {

/// Whether what a done step did was already undone: the file is back under its name (and, for
/// a trash, its trash info gone), a link is an independent file again, a copy is gone.
bool alreadyBack(PlanAction action, const JournalStep &step)
{
    struct stat st = {};
    switch (action) {
    case PlanAction::Trash:
    case PlanAction::Move:
    case PlanAction::Rename:
        if (!IsThere(step.path, st) || !StillItsFile(step, st, false))
            return false;
        if (action == PlanAction::Trash) {  // its trash info, left when the undo was stopped
            const std::string files = FolderOf(step.target);
            UnlinkPath(FolderOf(files.substr(0, files.size() - 1)) + "info/" + NameOf(step.target) +
                       ".trashinfo");
        }
        return true;
    case PlanAction::Copy: return !IsThere(step.target, st);
    case PlanAction::HardLink:
    case PlanAction::SymbolicLink:
        return IsThere(step.path, st) && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
               !IdentityOf(st).sameFile(step.targetState);
    case PlanAction::Clone:
    case PlanAction::Delete: return false;
    }
    return false;
}

/// A trashed, moved or renamed file comes back, when its target is still the very file the
/// operation put there.
Status moveBackFromTarget(PlanAction action, const JournalStep &step, bool &skipped)
{
    struct stat st = {};
    if (!IsThere(step.target, st) || !IdentityOf(st).sameFile(step.targetState) ||
        (!step.folder && static_cast<std::uint64_t>(st.st_size) != step.was.size))
        return Fail(action == PlanAction::Trash ? ErrorCode::NotInTrash : ErrorCode::NotUnderNewName, 0,
                    step.target);
    if (Status back = MoveBack(step.target, step.path); !back) {
        skipped = back.error().code == ErrorCode::NameTaken || back.error().code == ErrorCode::FolderGone;
        return back;
    }
    if (action == PlanAction::Trash) {  // .../files/NAME has its .../info/NAME.trashinfo
        const std::string trash = FolderOf(FolderOf(step.target).substr(0, FolderOf(step.target).size() - 1));
        UnlinkPath(trash + "info/" + NameOf(step.target) + ".trashinfo");
    }
    return {};
}

/// Unchanged (its change time too), then set aside: what is removed is the copy checked, not a
/// file that took its name in between.
Status removeCopy(const JournalStep &step, bool &skipped)
{
    struct stat st = {};
    if (!IsThere(step.target, st) || IdentityOf(st) != step.targetState)
        return Fail(ErrorCode::CopyChangedOrGone, 0, step.target);
    const UniqueFd folder(OpenFolder(FolderOf(step.target)));
    const std::string aside = TemporaryName();
    if (!folder || RenameNoReplace(folder.get(), NameOf(step.target), folder.get(), aside) != 0)
        return Fail(ErrorCode::CopyGone, 0, step.target);
    if (Fs().fstatat(folder.get(), aside.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !IdentityOf(st).sameContentState(step.targetState)) {  // the rename itself changed its ctime
        RenameNoReplace(folder.get(), aside, folder.get(), NameOf(step.target));
        return Fail(ErrorCode::CopyChanged, 0, step.target);
    }
    if (Fs().unlinkat(folder.get(), aside.c_str(), 0) == 0)
        return {};
    skipped = false;
    return FailErrno(step.target, errno);
}

/// Undoes one file the operation acted on; the error says why not, `skipped` whether that is
/// a skip rather than a failure.
Status undoStep(PlanAction action, const JournalStep &step, bool &skipped)
{
    skipped = true;
    struct stat st = {}, reached = {};
    switch (action) {
    case PlanAction::Trash:
    case PlanAction::Rename:
    case PlanAction::Move: return moveBackFromTarget(action, step, skipped);
    case PlanAction::Copy: return removeCopy(step, skipped);
    case PlanAction::HardLink:
    case PlanAction::SymbolicLink:
        // Still the link that was made: a name reaching the kept copy's very file.
        if (!IsThere(step.path, st) || (action == PlanAction::HardLink) == S_ISLNK(st.st_mode) ||
            StatPath(step.path, &reached, 0) != 0 || !IdentityOf(reached).sameFile(step.targetState))
            return Fail(ErrorCode::NotOurLink, 0, step.path);
        skipped = false;
        return UnlinkCopy(step.path, st, step);
    case PlanAction::Clone:
    case PlanAction::Delete: return {};
    }
    return {};
}

/// What undo did with `step`; nothing when there was nothing to do.
std::optional<UndoStep> undoOne(PlanAction action, const JournalStep &step)
{
    UndoStep done{step.path, UndoOutcome::Restored, {}};
    bool restored = false, skipped = true;
    Status status;
    if (!step.hasOutcome) {
        status = RecoverStep(action, step, restored, skipped);
        if (!restored && status)
            return std::nullopt;  // stopped before this file was touched
    } else if (step.outcome != FileOutcome::Done) {
        // A file left aside when a step failed and it could not be put back.
        status = RecoverStep(action, step, restored, skipped);
        if (!restored)
            return std::nullopt;
    } else if (alreadyBack(action, step)) {
        if (IsLinkAction(action))
            DropUndoLeftover(step);
        return std::nullopt;  // an undo before was stopped after putting it back
    } else {
        skipped = false;
        status = undoStep(action, step, skipped);
    }
    if (!status) {
        done.outcome = skipped ? UndoOutcome::Skipped : UndoOutcome::Failed;
        done.error = status.error();
    }
    return done;
}

}  // namespace

UndoReport UndoOperation(const JournalRecord &record)
{
    UndoReport report;
    report.undoable = record.action != PlanAction::Delete && record.action != PlanAction::Clone;
    if (!report.undoable)
        return report;
    for (const JournalStep &step : record.steps) {
        std::optional<UndoStep> done = undoOne(record.action, step);
        if (!done)
            continue;
        (done->outcome == UndoOutcome::Restored  ? report.restored
         : done->outcome == UndoOutcome::Skipped ? report.skipped
                                                 : report.failed)++;
        report.steps.push_back(std::move(*done));
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
