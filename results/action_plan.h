#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/file_identity.h"
#include "engine/request.h"
#include "results/result_row.h"
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

/// One file of the result as the scan saw it.
struct PlanFile
{
    std::string path;  // bytes
    FileIdentity seen;
    std::int32_t group = 0;  // the files of one group share it; 0 for a zero-size listing
    bool marked = false;
};

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

/// The files of the result rows, marked as the rows are.
std::vector<PlanFile> PlanFilesOf(const std::vector<ResultRow> &rows);

/// Called after each marked file with the count handled so far and the count marked.
using PlanProgress = std::function<void(std::size_t done, std::size_t total)>;

/// Acts on every marked file of the plan, in list order, re-checking each at the moment of
/// acting: it must still be the file the scan saw (device, inode, size, times). Before a
/// marked file is deleted, trashed or moved away it is renamed aside in its own folder, and
/// some unmarked member of its group must then still open as a different file with the same
/// bytes; otherwise it is renamed back. Runs on the caller's thread; `cancel` is read between
/// files; the report says what became of each file.
PlanReport RunPlan(const ActionPlan &plan, const PlanProgress &progress = {},
                   const std::atomic<bool> *cancel = nullptr);

/// Puts the reports of a second run over some of the same files in place of the first's.
void MergeReports(PlanReport &into, const PlanReport &again);

/// Why a file was not acted on, in Geminor's words ("changed since the scan").
std::string ProblemText(const FileReport &report);

/// Why a trash cannot be used, in Geminor's words.
std::string TrashRefusalText(TrashRefusal refusal, int error, const std::string &trashPath = {});

}  // namespace geminor
