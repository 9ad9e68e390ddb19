#include "results/folder_compare.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/file_identity.h"
#include "engine/file_system.h"
#include "engine/unique_fd.h"
#include "results/kept_copies.h"
#include "results/trash.h"

namespace geminor {
namespace {

constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

struct Entry
{
    std::string name;
    struct stat st = {};
};

/// The entries of the folder open as `fd`, sorted by name, each in its state (not followed);
/// 0 or the errno.
int listSorted(int fd, std::vector<Entry> &entries)
{
    UniqueFd own(Fs().openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    const UniqueDir dir(own ? Fs().fdopendir(own.get()) : nullptr);
    if (!dir)
        return errno;
    own.release();  // the listing closes it
    for (;;) {
        errno = 0;
        const dirent *found = Fs().readdir(dir.get());
        if (!found)
            break;
        Entry entry{found->d_name, {}};
        if (entry.name == "." || entry.name == "..")
            continue;
        if (Fs().fstatat(fd, entry.name.c_str(), &entry.st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno;
        entries.push_back(std::move(entry));
    }
    if (errno != 0)
        return errno;
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.name < b.name; });
    return 0;
}

bool sameInode(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/// What a delete checks an entry against: folders by identity, anything else by its state too.
std::array<std::int64_t, 4> keyOf(const struct stat &st)
{
    const bool folder = S_ISDIR(st.st_mode);
    return {static_cast<std::int64_t>(st.st_dev), static_cast<std::int64_t>(st.st_ino),
            folder ? 0 : static_cast<std::int64_t>(st.st_size), folder ? 0 : Nanoseconds(st.st_mtim)};
}

/// Opens `name` of `folder` with `flags` and checks it is still the entry listed: the open
/// descriptor, or an empty one with `error` set (0 when it changed or went meanwhile).
UniqueFd openListed(int folder, const Entry &entry, bool asFolder, int &error)
{
    UniqueFd fd(asFolder ? Fs().openat(folder, entry.name.c_str(), kOpenFolder, 0)
                         : OpenForReading(folder, entry.name));
    struct stat st = {};
    error = 0;
    if (!fd) {
        error = errno == ENOENT || errno == ENOTDIR || errno == ELOOP ? 0 : errno;
        return {};
    }
    if (Fs().fstat(fd.get(), &st) != 0 || !sameInode(st, entry.st))
        return {};
    return fd;
}

/// One walk of a folder and its kept folder, side by side, stopped at the first difference.
class TreeCompare
{
public:
    TreeCompare(ByteComparer &compare, dev_t device, std::uint64_t mount, dev_t keptDevice,
                std::uint64_t keptMount)
        : m_compare(compare), m_device(device), m_mount(mount), m_keptDevice(keptDevice),
          m_keptMount(keptMount)
    {
    }

    /// Whether the folders open as `a` and `b` (at `where`, "" or ending in '/') are the same.
    bool folders(int a, int b, const std::string &where)
    {
        std::vector<Entry> mine, kept;
        // An entry gone between the listing and its look changed meanwhile: a difference.
        if (const int error = listSorted(a, mine); error)
            return error == ENOENT ? differs(where) : failed(where, error);
        if (const int error = listSorted(b, kept); error)
            return error == ENOENT ? differs(where) : failed(where, error);
        for (std::size_t i = 0; i < std::max(mine.size(), kept.size()); ++i) {
            // The first name only one side has: the smaller of the two at the first mismatch.
            if (i == kept.size() || (i < mine.size() && mine[i].name < kept[i].name))
                return differs(where + mine[i].name);
            if (i == mine.size() || kept[i].name < mine[i].name)
                return differs(where + kept[i].name);
        }
        for (std::size_t i = 0; i < mine.size(); ++i) {
            if (!entry(a, b, mine[i], kept[i], where + mine[i].name))
                return false;
            out.compared.insert(keyOf(mine[i].st));
        }
        return true;
    }

    FolderComparison out;

private:
    bool differs(const std::string &where)
    {
        out.where = where;
        return false;
    }

    bool failed(const std::string &where, int error)
    {
        out.error = error;
        return differs(where);
    }

    bool entry(int a, int b, const Entry &mine, const Entry &kept, const std::string &where)
    {
        const mode_t type = mine.st.st_mode & S_IFMT;
        if (type != (kept.st.st_mode & S_IFMT))
            return differs(where);
        switch (type) {
        case S_IFDIR: return subFolders(a, b, mine, kept, where);
        case S_IFREG: return files(a, b, mine, kept, where);
        case S_IFLNK: return links(a, b, mine, kept, where);
        default: return differs(where);  // a FIFO, socket or device is never a copy
        }
    }

    // What lies below a mount point is not the folder's own: it never goes with it.
    bool subFolders(int a, int b, const Entry &mine, const Entry &kept, const std::string &where)
    {
        if (mine.st.st_dev != m_device || kept.st.st_dev != m_keptDevice || sameInode(mine.st, kept.st))
            return differs(where);
        int error = 0;
        const UniqueFd x = openListed(a, mine, true, error);
        if (!x || MountIdOf(x.get()) != m_mount)
            return error ? failed(where, error) : differs(where);
        // A mount inside the kept folder may show anything, this very folder too.
        const UniqueFd k = openListed(b, kept, true, error);
        if (!k || MountIdOf(k.get()) != m_keptMount)
            return error ? failed(where, error) : differs(where);
        return folders(x.get(), k.get(), where + '/');
    }

    // A hard link to the kept file is no copy: removing it frees nothing and keeps nothing.
    bool files(int a, int b, const Entry &mine, const Entry &kept, const std::string &where)
    {
        if (mine.st.st_size != kept.st.st_size || sameInode(mine.st, kept.st))
            return differs(where);
        int error = 0;
        const UniqueFd x = openListed(a, mine, false, error);
        if (!x)
            return error ? failed(where, error) : differs(where);
        const UniqueFd k = openListed(b, kept, false, error);
        if (!k)
            return error ? failed(where, error) : differs(where);
        if (!m_compare.same(x.get(), k.get(), static_cast<std::uint64_t>(mine.st.st_size)))
            return differs(where);
        if (mine.st.st_nlink == 1)
            out.bytesOnce += static_cast<std::uint64_t>(mine.st.st_size);
        return true;
    }

    bool links(int a, int b, const Entry &mine, const Entry &kept, const std::string &where)
    {
        std::string x(PATH_MAX + 1, '\0'), k(PATH_MAX + 1, '\0');
        const ssize_t n = ::readlinkat(a, mine.name.c_str(), x.data(), x.size());
        const ssize_t m = n < 0 ? -1 : ::readlinkat(b, kept.name.c_str(), k.data(), k.size());
        if (n < 0 || m < 0)
            return errno == ENOENT || errno == EINVAL ? differs(where) : failed(where, errno);
        x.resize(static_cast<std::size_t>(n));
        k.resize(static_cast<std::size_t>(m));
        return x == k || differs(where);
    }

    ByteComparer &m_compare;
    dev_t m_device;
    std::uint64_t m_mount;
    dev_t m_keptDevice;
    std::uint64_t m_keptMount;
};

/// Whether the kept folder shows a name made in the folder a moment ago: then it is the folder
/// itself seen through a mirror that follows it wherever it is renamed.
bool mirrors(int folder, int kept)
{
    const std::string probe = ".geminor-probe-" + TemporaryName();
    const UniqueFd made(Fs().openat(folder, probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!made)
        return true;  // a folder that cannot be told apart from its kept one is not removed
    struct stat st = {};
    const bool shown = Fs().fstatat(kept, probe.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    Fs().unlinkat(folder, probe.c_str(), 0);
    return shown;
}

using Compared = std::set<std::array<std::int64_t, 4>>;

int removeTree(int parent, const std::string &name, dev_t device, std::uint64_t mount,
               const Compared &compared)
{
    UniqueFd fd(Fs().openat(parent, name.c_str(), kOpenFolder, 0));
    struct stat st = {};
    if (!fd || Fs().fstat(fd.get(), &st) != 0)
        return errno;
    if (st.st_dev != device || MountIdOf(fd.get()) != mount)
        return EXDEV;
    std::vector<Entry> entries;
    if (const int error = listSorted(fd.get(), entries))
        return error;
    for (const Entry &entry : entries) {
        if (!compared.count(keyOf(entry.st)))
            return EBUSY;  // new or changed since it was compared: it stays, and so does its folder
        if (S_ISDIR(entry.st.st_mode)) {
            if (const int error = removeTree(fd.get(), entry.name, device, mount, compared))
                return error;
        } else if (Fs().unlinkat(fd.get(), entry.name.c_str(), 0) != 0) {
            return errno;
        }
    }
    fd.reset();
    return Fs().unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

}  // namespace

FolderComparison CompareFolders(int folder, int kept, ByteComparer &compare, bool probe)
{
    struct stat st = {}, keptSt = {};
    if (Fs().fstat(folder, &st) != 0 || Fs().fstat(kept, &keptSt) != 0)
        return {false, {}, errno, 0, {}};
    if (probe && mirrors(folder, kept))
        return {false, {}, 0, 0, {}};
    TreeCompare walk(compare, st.st_dev, MountIdOf(folder), keptSt.st_dev, MountIdOf(kept));
    walk.out.same = walk.folders(folder, kept, "");
    if (!walk.out.same) {
        walk.out.bytesOnce = 0;
        walk.out.compared.clear();
    }
    return walk.out;
}

int RemoveFolderTree(int parent, const std::string &name, const FolderComparison &compared)
{
    const UniqueFd fd(Fs().openat(parent, name.c_str(), kOpenFolder, 0));
    struct stat st = {};
    if (!fd || Fs().fstat(fd.get(), &st) != 0)
        return errno;
    return removeTree(parent, name, st.st_dev, MountIdOf(fd.get()), compared.compared);
}

}  // namespace geminor
