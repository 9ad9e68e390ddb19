#include "texts/plan_texts.h"

#include <cstring>

namespace geminor {

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
    case FileProblem::FolderDiffers:
        return report.target.empty() ? std::string("no longer the same as its kept folder")
                                     : "no longer the same as its kept folder: " + report.target + " differs";
    case FileProblem::NotForFolders: return "a whole folder cannot be acted on this way";
    case FileProblem::NotForPictures: return "a similar picture is never replaced by a link to another";
    case FileProblem::OwnerOrMode:
        return "its owner, permissions or extended attributes (ACL) differ from the kept copy's: a hard link "
               "would give it the kept copy's";
    }
    return {};
}

std::string UndoReasonText(const Error &error)
{
    switch (error.code) {
    case ErrorCode::FolderGone: return "its folder is gone";
    case ErrorCode::NameTaken: return "the name is taken again";
    case ErrorCode::ChangedWhilePutBack:
        return error.path.empty() ? "it changed while it was put back"
                                  : "it changed while it was put back; what stood there is now " + error.path;
    case ErrorCode::NotInTrash: return "it is no longer in the trash";
    case ErrorCode::NotUnderNewName: return "it is no longer under its new name";
    case ErrorCode::CopyChangedOrGone: return "the copy changed since, or is gone";
    case ErrorCode::CopyGone: return "the copy is gone";
    case ErrorCode::CopyChanged: return "the copy changed since";
    case ErrorCode::NotOurLink: return "it is no longer the link that was made";
    case ErrorCode::WhereaboutsUnknown:
        return "the operation stopped while acting on it: where it went is not known";
    case ErrorCode::LeftUnderOtherName: return "its name holds another file now; it stays as " + error.path;
    default: break;
    }
    return std::strerror(error.errnum);
}

}  // namespace geminor
