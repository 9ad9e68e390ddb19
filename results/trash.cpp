#include "results/trash.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "engine/file_system.h"
#include "engine/mount_table.h"
#include "results/file_copy.h"

namespace geminor {
namespace {

/// The nearest folder at or above `path` that exists, opened; -1 when none.
int nearestExisting(std::string path)
{
    for (;;) {
        const int fd = OpenFolder(path);
        if (fd >= 0 || path.size() <= 1)
            return fd;
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        path = FolderOf(path);
    }
}

/// Opens (making them when missing) files/ and info/ inside the trash folder `trashFd`.
void openParts(TrashFolder &trash, int trashFd)
{
    for (auto [name, fd] : {std::pair{"files", &trash.files}, std::pair{"info", &trash.info}}) {
        if (Fs().mkdirat(trashFd, name, 0700) != 0 && errno != EEXIST) {
            trash.refusal = TrashRefusal::System;
            trash.error = errno;
            return;
        }
        *fd = UniqueFd(Fs().openat(trashFd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
        if (!*fd) {
            trash.refusal =
                errno == ENOTDIR || errno == ELOOP ? TrashRefusal::NotAFolder : TrashRefusal::System;
            trash.error = errno;
            return;
        }
    }
}

/// Whether the mount `mountId` (holding the folder `fd`) keeps each file's mode. exFAT and FAT
/// show one mode for all, from the mount's umask, and one owner, from its uid= option; exfat-fuse
/// mounts as "fuseblk", the FUSE type of every file system on a block device (exFAT, NTFS).
bool keepsModes(int fd, std::uint64_t mountId)
{
    constexpr long kFat = 0x4d44, kExfat = 0x2011BAB0, kFuse = 0x65735546;
    struct statfs st = {};
    if (::fstatfs(fd, &st) != 0)
        return true;
    if (st.f_type == kFat || st.f_type == kExfat)
        return false;
    if (st.f_type != kFuse)
        return true;
    const std::string type = MountTypeOf(mountId);
    return !(type == "fuseblk" || type.starts_with("fuseblk.") || type == "fuse.exfat" ||
             type == "fuse.exfat-fuse");
}

/// Opens the folder `name` below `parentFd` (making it 0700 when missing); never a link. Where
/// the file system keeps no modes, the owner it shows (the mount's) is all there is to check.
UniqueFd openOwnFolder(int parentFd, const std::string &name, TrashFolder &trash, bool modesKept)
{
    if (Fs().mkdirat(parentFd, name.c_str(), 0700) != 0 && errno != EEXIST) {
        trash.refusal = TrashRefusal::System;
        trash.error = errno;
        return {};
    }
    UniqueFd fd(Fs().openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (!fd) {
        trash.refusal = errno == ENOTDIR || errno == ELOOP ? TrashRefusal::NotAFolder : TrashRefusal::System;
        trash.error = errno;
        return {};
    }
    struct stat st = {};
    if (Fs().fstat(fd.get(), &st) != 0) {
        trash.refusal = TrashRefusal::System;
        trash.error = errno;
        return {};
    }
    if (st.st_uid != ::getuid())
        trash.refusal = TrashRefusal::NotYours;
    else if (modesKept && (st.st_mode & 0777) != 0700)
        trash.refusal = TrashRefusal::OpenToOthers;
    return trash.refusal == TrashRefusal::None ? std::move(fd) : UniqueFd();
}

TrashFolder topDirectoryTrash(std::uint64_t mountId)
{
    TrashFolder trash;
    trash.topDirectory = MountPointOf(mountId);
    const UniqueFd top(trash.topDirectory.empty() ? -1 : OpenFolder(trash.topDirectory));
    if (!top || MountIdOf(top.get()) != mountId) {
        trash.refusal = TrashRefusal::NoMountPoint;
        return trash;
    }
    const bool modesKept = keepsModes(top.get(), mountId);
    const std::string uid = std::to_string(::getuid());
    struct stat shared = {};
    if (Fs().fstatat(top.get(), ".Trash", &shared, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX)) {
        TrashFolder own;
        const UniqueFd sharedFd(
            Fs().openat(top.get(), ".Trash", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
        if (sharedFd) {
            const UniqueFd mine = openOwnFolder(sharedFd.get(), uid, own, modesKept);
            if (mine) {
                openParts(own, mine.get());
                if (own.refusal == TrashRefusal::None) {
                    own.path = trash.topDirectory + ".Trash/" + uid + "/";
                    own.topDirectory = trash.topDirectory;
                    return own;
                }
            }
        }
    }
    const std::string name = ".Trash-" + uid;
    trash.path = trash.topDirectory + name + "/";
    const UniqueFd mine = openOwnFolder(top.get(), name, trash, modesKept);
    if (mine)
        openParts(trash, mine.get());
    return trash;
}

std::string percentEncoded(const std::string &path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~')
            out += static_cast<char>(c);
        else
            out += {'%', kHex[c >> 4], kHex[c & 15]};
    }
    return out;
}

}  // namespace

std::uint64_t MountIdOf(int fd)
{
    struct statx st = {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &st) != 0 ||
        !(st.stx_mask & STATX_MNT_ID))
        return 0;
    return st.stx_mnt_id;
}

std::string MountPointOf(std::uint64_t mountId)
{
    const std::optional<MountEntry> mount = MountOf(mountId);
    return mount ? mount->point : std::string();
}

std::string MountTypeOf(std::uint64_t mountId)
{
    const std::optional<MountEntry> mount = MountOf(mountId);
    return mount ? mount->type : std::string();
}

std::string TrashName(const std::string &name, int n)
{
    constexpr std::size_t kMost = 255 - std::char_traits<char>::length(".trashinfo");
    std::string variant = NameVariant(name, n);
    if (variant.size() <= kMost)
        return variant;
    std::uint32_t hash = 2166136261U;  // FNV-1a: names that share their first 240 bytes stay apart
    for (const unsigned char c : name)
        hash = (hash ^ c) * 16777619U;
    char mark[16];
    std::snprintf(mark, sizeof mark, "~%08x", hash);
    return ShortenedName(name, kMost, mark + (n > 1 ? " (" + std::to_string(n) + ")" : std::string()));
}

TrashFolder FindTrash(int folderFd)
{
    const std::uint64_t mountId = MountIdOf(folderFd);
    if (mountId == 0) {
        TrashFolder none;
        none.refusal = TrashRefusal::NoMountPoint;
        return none;
    }
    const std::string data = UserBaseFolder("XDG_DATA_HOME", "/.local/share");
    const UniqueFd homeSide(nearestExisting(data));
    if (homeSide && MountIdOf(homeSide.get()) == mountId) {
        TrashFolder trash;
        trash.path = data + "/Trash/";
        if (const int error = MakeFolders(data + "/Trash") ? 0 : errno) {
            trash.refusal =
                error == ENOTDIR || error == EEXIST ? TrashRefusal::NotAFolder : TrashRefusal::System;
            trash.error = error;
            return trash;
        }
        const UniqueFd folder(OpenFolder(trash.path));
        if (!folder) {
            trash.refusal = errno == ENOTDIR ? TrashRefusal::NotAFolder : TrashRefusal::System;
            trash.error = errno;
            return trash;
        }
        openParts(trash, folder.get());
        return trash;
    }
    return topDirectoryTrash(mountId);
}

std::string TrashInfoText(const std::string &originalPath, const std::string &topDirectory)
{
    std::string path = originalPath;
    if (!topDirectory.empty() && path.starts_with(topDirectory) && path.size() > topDirectory.size())
        path.erase(0, topDirectory.size());
    char date[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + percentEncoded(path) + "\nDeletionDate=" + date + "\n";
}

}  // namespace geminor
