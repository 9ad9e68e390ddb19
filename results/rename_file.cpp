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

std::optional<std::string> InvalidNameReason(const std::string &name)
{
    if (name.empty() || name == "." || name == "..")
        return std::string("\"") + name + "\" cannot be a file name.";
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
        return std::string("A file name cannot contain '/' or a NUL character.");
    if (name.size() > 255)
        return std::string("A file name can be at most 255 bytes long.");
    return std::nullopt;
}

std::optional<std::string> RenameFile(const std::string &oldPath, const std::string &newPath,
                                      FileIdentity *renamed)
{
    const UniqueFd oldFolder(OpenFolder(FolderOf(oldPath)));
    const UniqueFd newFolder(OpenFolder(FolderOf(newPath)));
    if (!oldFolder || !newFolder)
        return std::string(std::strerror(errno));
    const std::string newName = NameOf(newPath);
    if (RenameNoReplace(oldFolder.get(), NameOf(oldPath), newFolder.get(), newName) != 0)
        return std::string(std::strerror(errno));
    struct stat st = {};
    if (renamed && Fs().fstatat(newFolder.get(), newName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        *renamed = IdentityOf(st);
    return std::nullopt;
}

std::optional<std::string> RenameJournaled(const std::string &oldPath, const FileIdentity &seen,
                                           const std::string &newPath, const std::string &journalFolder,
                                           FileIdentity *renamed)
{
    std::string error;
    std::optional<Journal> journal = Journal::Start(journalFolder, PlanAction::Rename, error);
    if (!journal || !journal->intent(0, {oldPath, seen}))
        return "the journal cannot be written: " + error;
    const auto failed = RenameFile(oldPath, newPath, renamed);
    journal->done({0, failed ? FileOutcome::Failed : FileOutcome::Done, FileProblem::None, 0,
                   TrashRefusal::None, failed ? std::string() : newPath});
    journal->finish();
    return failed;
}

}  // namespace geminor
