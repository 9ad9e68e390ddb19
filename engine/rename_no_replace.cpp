#include "engine/file_system.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "engine/unique_fd.h"

// RenameNoReplace: renameat2(RENAME_NOREPLACE), and the ways down where a file system lacks it.
namespace geminor {
namespace {

/// How a file system renames without replacing, from the best way down.
enum class RenameStep { NoReplace, LinkThenUnlink, CheckedRename };

/// The first step worth trying on each file system that lacks RENAME_NOREPLACE, so that a big
/// delete does not pay for two refused calls per file. Keyed by device and mount, since a
/// device number alone is handed to the next file system mounted after this one goes.
struct FileSystemKey
{
    std::uint64_t device = 0, mount = 0;
    bool operator==(const FileSystemKey &) const = default;
};

class RenameSteps
{
public:
    using Key = FileSystemKey;

    bool empty() const { return m_count.load(std::memory_order_acquire) == 0; }
    RenameStep find(const Key &key)
    {
        std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < m_count; ++i)
            if (m_entries[i].first == key)
                return m_entries[i].second;
        return RenameStep::NoReplace;
    }
    void remember(const Key &key, RenameStep step)
    {
        std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < m_count; ++i)
            if (m_entries[i].first == key) {
                m_entries[i].second = step;
                return;
            }
        const std::size_t slot = m_count < m_entries.size() ? m_count.load() : m_next++ % m_entries.size();
        m_entries[slot] = {key, step};
        if (m_count < m_entries.size())
            m_count.store(m_count + 1, std::memory_order_release);
    }

private:
    std::mutex m_mutex;
    std::array<std::pair<Key, RenameStep>, 16> m_entries{};
    std::atomic<std::size_t> m_count{0};
    std::size_t m_next = 0;
};

RenameSteps g_renameSteps;

std::optional<FileSystemKey> fileSystemOf(int dirFd)
{
#ifndef STATX_MNT_ID_UNIQUE
    constexpr unsigned STATX_MNT_ID_UNIQUE = 0x4000U;  // Linux 6.8: never handed to another mount
#endif
    struct statx st = {};
    if (::statx(dirFd, "", AT_EMPTY_PATH, STATX_MNT_ID | STATX_MNT_ID_UNIQUE, &st) != 0)
        return std::nullopt;
    return FileSystemKey{::makedev(st.stx_dev_major, st.stx_dev_minor), st.stx_mnt_id};
}

/// link(2) refuses these where the file system has no hard links at all: exFAT and FAT (EPERM,
/// also through exfat-fuse), other FUSE file systems (ENOSYS, EOPNOTSUPP).
bool noHardLinks(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK;
}

int linkThenUnlink(int oldDir, const std::string &oldName, int newDir, const std::string &newName)
{
    if (Fs().linkat(oldDir, oldName.c_str(), newDir, newName.c_str(), 0) != 0)
        return -1;
    if (Fs().unlinkat(oldDir, oldName.c_str(), 0) != 0) {
        const int error = errno;
        Fs().unlinkat(newDir, newName.c_str(), 0);
        errno = error;
        return -1;
    }
    return 0;
}

/// The same file as `before`: a FUSE file system that numbers its files itself may number a
/// renamed one anew, so there the kind, length and modification time must do.
bool sameRenamedFile(const struct stat &before, const struct stat &after)
{
    return before.st_dev == after.st_dev &&
           (before.st_ino == after.st_ino ||
            ((before.st_mode & S_IFMT) == (after.st_mode & S_IFMT) && before.st_size == after.st_size &&
             before.st_mtim.tv_sec == after.st_mtim.tv_sec &&
             before.st_mtim.tv_nsec == after.st_mtim.tv_nsec));
}

/// The last resort, for file systems with neither RENAME_NOREPLACE nor hard links (exFAT, FAT,
/// most FUSE): the new name is checked free, then a plain rename. A file another program puts
/// under the new name in the moment between the check and the rename would be replaced; no
/// call narrows that window there. Afterwards the new name must hold the file and the old
/// name must have let it go. `before`: the file as it was found.
int checkedRename(int oldDir, const std::string &oldName, int newDir, const std::string &newName,
                  struct stat &before)
{
    struct stat there = {}, after = {};
    if (Fs().fstatat(oldDir, oldName.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    if (Fs().fstatat(newDir, newName.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;  // on FAT also the same name in other letter case
        return -1;
    }
    if (errno != ENOENT)
        return -1;
    if (Fs().renameat2(oldDir, oldName.c_str(), newDir, newName.c_str(), 0) != 0)
        return -1;
    if (Fs().fstatat(newDir, newName.c_str(), &after, AT_SYMLINK_NOFOLLOW) != 0 ||
        !sameRenamedFile(before, after)) {
        errno = EIO;  // replaced right after the rename: not the file that was moved
        return -1;
    }
    if (Fs().fstatat(oldDir, oldName.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
        there.st_ino == before.st_ino) {
        errno = EEXIST;  // two names of one file: rename(2) leaves both
        return -1;
    }
    return 0;
}

}  // namespace

int RenameNoReplace(int oldDir, const std::string &oldName, int newDir, const std::string &newName)
{
    std::optional<FileSystemKey> key;
    RenameStep first = RenameStep::NoReplace;
    if (!g_renameSteps.empty() && (key = fileSystemOf(oldDir)))
        first = g_renameSteps.find(*key);
    if (first == RenameStep::NoReplace) {
        if (Fs().renameat2(oldDir, oldName.c_str(), newDir, newName.c_str(), RENAME_NOREPLACE) == 0)
            return 0;
        // EINVAL also answers a folder moved into itself: the steps below refuse that too.
        if (errno != EINVAL && errno != ENOSYS)
            return -1;
        key = key ? key : fileSystemOf(oldDir);
    }
    int linkError = 0;
    if (first != RenameStep::CheckedRename) {
        if (linkThenUnlink(oldDir, oldName, newDir, newName) == 0) {
            if (key && first != RenameStep::LinkThenUnlink)
                g_renameSteps.remember(*key, RenameStep::LinkThenUnlink);
            return 0;
        }
        if (!noHardLinks(linkError = errno))
            return -1;
    }
    struct stat before = {};
    const int done = checkedRename(oldDir, oldName, newDir, newName, before);
    const int error = errno;
    // EPERM also refuses a folder, or another user's file under protected_hardlinks: only a
    // refusal that says nothing about the file speaks for the whole file system.
    const bool typical = linkError != EPERM || (S_ISREG(before.st_mode) && before.st_uid == ::geteuid());
    if (done == 0 && key && linkError && typical)
        g_renameSteps.remember(*key, RenameStep::CheckedRename);
    errno = error;
    return done;
}

}  // namespace geminor
