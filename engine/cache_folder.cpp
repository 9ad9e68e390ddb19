#include "engine/cache_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
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

UniqueFd OpenOwnFolder(const std::string &folder, bool make, std::string &reason)
{
    if (make && !MakeFolders(folder)) {
        reason = std::strerror(errno);
        return {};
    }
    UniqueFd fd(Fs().openat(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    struct stat st = {};
    if (!fd || Fs().fstat(fd.get(), &st) != 0) {
        reason = std::strerror(errno);
        return {};
    }
    if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH))) {
        reason = "a folder that other users can write or that is not yours";
        return {};
    }
    return fd;
}

bool OwnFileOrNone(int folderFd, const char *name, std::string &reason)
{
    struct stat st = {};
    if (Fs().fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        (S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && !(st.st_mode & (S_IWGRP | S_IWOTH))))
        return true;
    reason =
        std::string(name) + (S_ISREG(st.st_mode) && st.st_uid == ::geteuid() ? " can be written by others"
                                                                             : " is not a file of yours");
    return false;
}

UniqueFd OpenOwnFile(int folderFd, const char *name, std::string &reason)
{
    struct stat st = {};
    if (!OwnFileOrNone(folderFd, name, reason))  // (first: opening a FIFO would wait)
        return {};
    UniqueFd fd(Fs().openat(folderFd, name, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd || Fs().fstat(fd.get(), &st) != 0) {
        reason = std::string(name) + ": " + std::strerror(errno);
        return {};
    }
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH))) {
        reason = std::string(name) + " is not a file of yours alone";
        return {};
    }
    return fd;
}

bool ReserveLockFile(int folderFd, std::string &reason)
{
    UniqueFd fd = OpenOwnFile(folderFd, kLockFile, reason);
    struct stat st = {};
    struct statvfs room = {};
    if (!fd || Fs().fstat(fd.get(), &st) != 0)
        return false;
    // (KEEP_SIZE: a lock file in use by another scan must not change its length under it.)
    if (::fallocate(fd.get(), FALLOC_FL_KEEP_SIZE, 0, std::max(kLockBytes, st.st_size)) != 0 &&
        errno != EOPNOTSUPP) {
        reason = std::string(kLockFile) + ": " + std::strerror(errno);
        return false;
    }
    if (::fstatvfs(fd.get(), &room) == 0 && std::uint64_t{room.f_bavail} * room.f_frsize < kLeastRoom) {
        reason = std::strerror(ENOSPC);
        return false;
    }
    return true;
}

}  // namespace geminor
