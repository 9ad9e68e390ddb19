#include "results/undo_steps.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

#include "engine/file_system.h"
#include "engine/folder_walker.h"
#include "engine/unique_fd.h"
#include "results/file_copy.h"

namespace geminor {
namespace {

/// The name `path` is free in its folder, which still exists: its folder open, or the error.
Result<UniqueFd> freeName(const std::string &path)
{
    UniqueFd folder(OpenFolder(FolderOf(path)));
    if (!folder)
        return Fail(ErrorCode::FolderGone, errno, path);
    struct stat st = {};
    if (Fs().fstatat(folder.get(), NameOf(path).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return Fail(ErrorCode::NameTaken, 0, path);
    return folder;
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

}  // namespace

bool IsThere(const std::string &path, struct stat &st)
{
    return StatPath(path, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool StillItsFile(const JournalStep &step, const struct stat &st, bool withTime)
{
    const FileIdentity now = IdentityOf(st);
    if (step.folder)
        return S_ISDIR(st.st_mode) && now.sameFile(step.was);
    return withTime ? now.sameContentState(step.was) : now.sameFile(step.was) && now.size == step.was.size;
}

Status MoveBack(const std::string &from, const std::string &to)
{
    const Result<UniqueFd> into = freeName(to);
    if (!into)
        return Unexpected(into.error());
    const UniqueFd fromFolder(OpenFolder(FolderOf(from)));
    if (RenameNoReplace(fromFolder.get(), NameOf(from), into->get(), NameOf(to)) == 0)
        return {};
    if (errno != EXDEV)
        return FailErrno(from, errno);
    const UniqueFd source(OpenPath(from, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st = {};
    std::string temporary;
    if (!source || Fs().fstat(source.get(), &st) != 0)
        return FailErrno(from, errno);
    if (const int error = CopyToTemporary(source.get(), st, into->get(), temporary))
        return FailErrno(to, error);
    if (RenameNoReplace(into->get(), temporary, into->get(), NameOf(to)) != 0) {
        const int error = errno;
        Fs().unlinkat(into->get(), temporary.c_str(), 0);
        return error == EEXIST ? Fail(ErrorCode::NameTaken, 0, to) : FailErrno(to, error);
    }
    Fs().unlinkat(fromFolder.get(), NameOf(from).c_str(), 0);
    return {};
}

void DropUndoLeftover(const JournalStep &step)
{
    struct stat st = {};
    const std::string left = FolderOf(step.path) + undoTemporaryName(step);
    if (IsThere(left, st) && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
        UnlinkPath(left);
}

Status UnlinkCopy(const std::string &path, const struct stat &link, const JournalStep &step)
{
    const UniqueFd folder(OpenFolder(FolderOf(path)));
    const UniqueFd source(OpenPath(path, O_RDONLY | O_CLOEXEC));  // through the link
    struct stat st = {};
    std::string temporary = undoTemporaryName(step);
    if (!folder || !source || Fs().fstat(source.get(), &st) != 0)
        return FailErrno(path, errno);
    DropUndoLeftover(step);
    if (const int error = CopyToTemporary(source.get(), st, folder.get(), temporary))
        return FailErrno(path, error);
    if (step.hasOwn && !giveOwn(folder.get(), temporary, step)) {
        const int error = errno;
        Fs().unlinkat(folder.get(), temporary.c_str(), 0);
        return FailErrno(path, error);
    }
    switch (SwapIn(folder.get(), temporary, NameOf(path), false, [&](const struct stat &swapped) {
        return swapped.st_dev == link.st_dev && swapped.st_ino == link.st_ino;
    })) {
    case Swap::NotSwapped: return FailErrno(path, errno);
    case Swap::PutBack: return Fail(ErrorCode::ChangedWhilePutBack);
    case Swap::LeftAside: return Fail(ErrorCode::ChangedWhilePutBack, 0, FolderOf(path) + temporary);
    case Swap::Done:
    case Swap::OldKept: return {};
    }
    return {};
}

}  // namespace geminor
