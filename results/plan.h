#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/request.h"
#include "results/plan_file.h"
#include "results/trash.h"

namespace geminor {

/// What is done to the marked files. The links replace a marked file by a link to the copy kept
/// from its group (a hard link, a relative symbolic link, or a clone sharing its blocks).
/// Rename is the single-file command, journaled like the others.
enum class PlanAction { Copy, Move, Trash, Delete, HardLink, SymbolicLink, Clone, Rename };

/// True for the actions that replace a file by a link to its kept copy.
inline bool IsLinkAction(PlanAction action)
{
    return action == PlanAction::HardLink || action == PlanAction::SymbolicLink ||
           action == PlanAction::Clone;
}

/// Everything needed to act: the whole result (the unmarked files are the copies kept), the
/// marks, the method that grouped them and the action.
struct ActionPlan
{
    PlanAction action = PlanAction::Trash;
    SearchMethod method = SearchMethod::ByteToByte;
    std::string targetFolder;  // Copy and Move
    std::vector<PlanFile> files;
    /// False only when the user agreed that marked files without an unmarked identical copy
    /// may go too.
    bool keepLastCopies = true;
    bool dryRun = false;  // check everything, change nothing
    /// Where the journal of the operation goes, for undo ("" for none). Each file is written
    /// to it before it is acted on; when the journal cannot be written, the files not acted on
    /// yet fail with NoJournal, untouched (the front end may ask to go on without undo).
    std::string journalFolder;
};

enum class FileOutcome { Done, Skipped, Failed };

/// Why a marked file was not acted on.
enum class FileProblem {
    None,
    Vanished,             // no longer there
    Changed,              // its identity, size or times differ from what the scan saw
    NoKeptCopy,           // no unmarked member of its group still holds the same bytes as another file
    SameFolder,           // a move into the folder it is in
    NoTrash,              // its file system has no trash Geminor may use (see `trash`)
    System,               // the system refused (see `error`)
    Cancelled,            // the plan was stopped before this file
    LeftAside,            // a step failed and the file could not be put back: it is at `target`
    OtherFileSystem,      // a hard link: no kept copy on the file's own file system
    KeptOnItsFileSystem,  // hard links: the first of its group on its file system, kept for the others
    NoClone,              // its file system cannot share blocks between files
    OwnerOrMode,          // a hard link: every kept copy differs from it in owner, group, permissions or ACL
    NoJournal,            // the journal for undo could not be written (see `error`): nothing was done to it
    FolderDiffers,        // a folder: something in it no longer matches its kept folder (`target` names it)
    NotForFolders,        // the action does not take whole folders
    NotForPictures,       // a link: similar pictures differ, so one never becomes a link to another
};

/// What happened to one marked file.
struct FileReport
{
    std::size_t file = 0;  // index into the plan's files
    FileOutcome outcome = FileOutcome::Done;
    FileProblem problem = FileProblem::None;
    int error = 0;                            // errno, for System, NoTrash and LeftAside
    TrashRefusal trash = TrashRefusal::None;  // for NoTrash
    std::string target;                       // where it went (copy, move, trash); the kept copy (links)
    std::uint64_t bytesFreed = 0;             // its size, when removed and not hard-linked elsewhere
};

struct PlanReport
{
    std::vector<FileReport> files;  // one per marked file, in list order
    std::size_t done = 0, skipped = 0, failed = 0;
    std::uint64_t bytesFreed = 0;
    bool cancelled = false;
    std::string journal;   // the journal's id, when one was written
    int journalError = 0;  // errno, when the journal could not be written
};

}  // namespace geminor
