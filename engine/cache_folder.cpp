#include "engine/cache_folder.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "engine/file_system.h"

namespace geminor {
namespace {

// LMDB's lock file for 256 readers takes about 16 KiB; it is written through a map, where a
// block that cannot be had is a SIGBUS, so its blocks are had before.
constexpr off_t kLockBytes = 20 << 10;
constexpr std::uint64_t kLeastRoom = 1 << 20;  // less free on the cache's file system: not used

}  // namespace

Result<UniqueFd> OpenOwnFolder(const std::string &folder, bool make)
{
    if (make && !MakeFolders(folder))
        return FailErrno();
    UniqueFd fd(Fs().openat(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    struct stat st = {};
    if (!fd || Fs().fstat(fd.get(), &st) != 0)
        return FailErrno();
    if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)))
        return Fail(ErrorCode::CacheFolderNotOwn);
    return fd;
}

Status OwnFileOrNone(int folderFd, const char *name)
{
    struct stat st = {};
    if (Fs().fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        (S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && !(st.st_mode & (S_IWGRP | S_IWOTH))))
        return {};
    return Fail(S_ISREG(st.st_mode) && st.st_uid == ::geteuid() ? ErrorCode::CacheFileOthersCanWrite
                                                                : ErrorCode::CacheFileNotOwn,
                0, {}, name);
}

Result<UniqueFd> OpenOwnFile(int folderFd, const char *name)
{
    struct stat st = {};
    if (Status own = OwnFileOrNone(folderFd, name); !own)  // (first: opening a FIFO would wait)
        return Unexpected(own.error());
    UniqueFd fd(Fs().openat(folderFd, name, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd || Fs().fstat(fd.get(), &st) != 0)
        return Fail(ErrorCode::SystemCall, errno, {}, name);
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)))
        return Fail(ErrorCode::CacheFileNotOwnAlone, 0, {}, name);
    return fd;
}

Status ReserveLockFile(int folderFd)
{
    Result<UniqueFd> fd = OpenOwnFile(folderFd, kLockFile);
    struct stat st = {};
    struct statvfs room = {};
    if (!fd)
        return Unexpected(fd.error());
    if (Fs().fstat(fd->get(), &st) != 0)
        return FailErrno();
    // (KEEP_SIZE: a lock file in use by another scan must not change its length under it.)
    if (::fallocate(fd->get(), FALLOC_FL_KEEP_SIZE, 0, std::max(kLockBytes, st.st_size)) != 0 &&
        errno != EOPNOTSUPP)
        return Fail(ErrorCode::SystemCall, errno, {}, kLockFile);
    if (::fstatvfs(fd->get(), &room) == 0 && std::uint64_t{room.f_bavail} * room.f_frsize < kLeastRoom)
        return FailErrno({}, ENOSPC);
    return {};
}

}  // namespace geminor
