#include "results/plan_report.h"

#include <cstring>
#include <unordered_map>

namespace geminor {

void MergeReports(PlanReport &into, const PlanReport &again)
{
    std::unordered_map<std::size_t, const FileReport *> replaced;
    for (const FileReport &file : again.files)
        replaced[file.file] = &file;
    into.done = into.skipped = into.failed = 0;
    into.bytesFreed = 0;
    into.cancelled = into.cancelled || again.cancelled;
    for (FileReport &file : into.files) {
        if (const auto found = replaced.find(file.file); found != replaced.end())
            file = *found->second;
        switch (file.outcome) {
        case FileOutcome::Done: ++into.done; break;
        case FileOutcome::Skipped: ++into.skipped; break;
        case FileOutcome::Failed: ++into.failed; break;
        }
        into.bytesFreed += file.bytesFreed;
    }
}

std::string TrashRefusalText(TrashRefusal refusal, int error, const std::string &trashPath)
{
    const std::string folder = trashPath.empty() ? std::string("the trash folder") : trashPath;
    switch (refusal) {
    case TrashRefusal::None: return {};
    case TrashRefusal::NotAFolder: return folder + " is not a folder";
    case TrashRefusal::NotYours: return folder + " belongs to another user";
    case TrashRefusal::OpenToOthers: return folder + " can be opened by other users";
    case TrashRefusal::NoMountPoint: return "the mount point of its file system cannot be found";
    case TrashRefusal::System:
        return "no trash can be made on its file system (" + std::string(std::strerror(error)) + ")";
    }
    return {};
}

std::string ProblemText(const FileReport &report)
{
    switch (report.problem) {
    case FileProblem::None: return {};
    case FileProblem::Vanished: return "no longer there";
    case FileProblem::Changed: return "changed since the scan";
    case FileProblem::NoKeptCopy: return "no other copy left";
    case FileProblem::SameFolder: return "it is already in that folder";
    case FileProblem::NoTrash:
        return "cannot be moved to the trash: " + TrashRefusalText(report.trash, report.error, report.target);
    case FileProblem::System: return std::strerror(report.error);
    case FileProblem::Cancelled: return "cancelled";
    case FileProblem::LeftAside:
        return std::string(std::strerror(report.error)) + "; the file was left as " + report.target;
    case FileProblem::OtherFileSystem:
        return "no kept copy on its file system: a hard link cannot cross file systems";
    case FileProblem::KeptOnItsFileSystem: return "kept as the copy its file system's other copies link to";
    case FileProblem::NoClone:
        return "its file system cannot share blocks between files (clones need btrfs or XFS)";
    case FileProblem::NoJournal:
        return std::string("the journal for undo cannot be written: ") + std::strerror(report.error);
    case FileProblem::OwnerOrMode:
        return "its owner, permissions or extended attributes (ACL) differ from the kept copy's: a hard link "
               "would give it the kept copy's";
    }
    return {};
}

}  // namespace geminor
