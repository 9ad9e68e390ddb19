#pragma once

#include <string>
#include <sys/stat.h>

#include "engine/error.h"
#include "results/journal.h"

namespace geminor {

// The steps undo puts files back with, shared by the undo of a done step and the recovery of a
// step the operation was killed in.

/// True when something stands at `path` (not followed); its state in `st`.
bool IsThere(const std::string &path, struct stat &st);

/// Whether `st` is still the step's file: the same file with the same length (and modification
/// time, `withTime`). A folder's length and times follow its entries: the same folder will do.
bool StillItsFile(const JournalStep &step, const struct stat &st, bool withTime);

/// Moves `from` back to `to` without replacing anything; across file systems by a copy that is
/// published first and the file removed after. NameTaken and FolderGone when `to` cannot take it.
Status MoveBack(const std::string &from, const std::string &to);

/// A link at `path` (`link`: its state as checked) becomes an independent copy of the bytes it
/// reaches. The copy and the link are swapped in one step, and the link removed only when it is
/// the one checked; anything else put there meanwhile is swapped back, never overwritten.
Status UnlinkCopy(const std::string &path, const struct stat &link, const JournalStep &step);

/// What an undo of `step` killed part-way left beside the file: a copy not swapped in yet, or
/// the link swapped out. Neither holds anything the file does not.
void DropUndoLeftover(const JournalStep &step);

/// A step whose outcome was never written (the operation was killed while acting on it): the
/// file is found where each step of the action may have left it (under its name, set aside in
/// its folder, in the trash, or replaced by a link) and put back. Done when it is back (`restored`)
/// or never left; else why not, and whether that is a skip rather than a failure.
Status RecoverStep(PlanAction action, const JournalStep &step, bool &restored, bool &skipped);

}  // namespace geminor
