#include "results/rename_file.h"

#include "results/journal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/file_system.h"
#include "engine/unique_fd.h"

namespace geminor {

Status CheckFileName(const std::string &name)
{
    if (name.empty() || name == "." || name == "..")
        return Fail(ErrorCode::InvalidName, 0, name);
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
        return Fail(ErrorCode::NameWithSlashOrNul, 0, name);
    if (name.size() > 255)
        return Fail(ErrorCode::NameTooLong, 0, name);
    return {};
}

Status RenameFile(const std::string &oldPath, const std::string &newPath, FileIdentity *renamed)
{
    const UniqueFd oldFolder(OpenFolder(FolderOf(oldPath)));
    const UniqueFd newFolder(OpenFolder(FolderOf(newPath)));
    if (!oldFolder || !newFolder) {
        const int error = errno;
        return FailErrno(FolderOf(oldFolder ? newPath : oldPath), error);
    }
    const std::string newName = NameOf(newPath);
    if (RenameNoReplace(oldFolder.get(), NameOf(oldPath), newFolder.get(), newName) != 0) {
        const int error = errno;
        return FailErrno(oldPath, error);
    }
    struct stat st = {};
    if (renamed && Fs().fstatat(newFolder.get(), newName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        *renamed = IdentityOf(st);
    return {};
}

Status RenameJournaled(const std::string &oldPath, const FileIdentity &seen, const std::string &newPath,
                       const std::string &journalFolder, FileIdentity *renamed)
{
    Result<Journal> journal = Journal::Start(journalFolder, PlanAction::Rename);
    if (!journal)
        return Unexpected(journal.error());
    if (!journal->intent(0, {oldPath, seen}))
        return Fail(ErrorCode::JournalUnwritable);
    Status done = RenameFile(oldPath, newPath, renamed);
    static_cast<void>(journal->done({0, done ? FileOutcome::Done : FileOutcome::Failed, FileProblem::None, 0,
                                     TrashRefusal::None, done ? newPath : std::string()}));
    static_cast<void>(journal->finish());
    return done;
}

}  // namespace geminor
