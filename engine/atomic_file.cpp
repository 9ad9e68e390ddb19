#include "engine/atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <cstdio>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/file_system.h"
#include "engine/unique_fd.h"

namespace geminor {
namespace {

/// True when `st` lies in a sticky folder anyone may write (/tmp) and belongs to neither the
/// user nor that folder's owner: there such a link is not followed (protected_symlinks), nor
/// such a FIFO or file opened to be written (protected_fifos, protected_regular), whoever
/// writes and whatever those settings say.
bool plantedInSticky(const std::string &folder, const struct stat &st)
{
    struct stat sticky = {};
    return StatPath(folder.empty() ? "/" : folder, &sticky) == 0 &&
           (sticky.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH) && st.st_uid != ::geteuid() &&
           st.st_uid != sticky.st_uid;
}

void pushNames(std::vector<std::string> &names, const std::string &path)
{
    std::vector<std::string> parts;
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        if (slash > at && path.compare(at, slash - at, ".") != 0)
            parts.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    names.insert(names.end(), parts.rbegin(), parts.rend());
}

/// Looks `path` up name by name as the kernel would, and gives the folder its last name lies
/// in (links resolved). EACCES when a link on the way, a folder's or the last one, is planted
/// in a sticky folder (plantedInSticky). The links are only read, never acted on by hand.
int lookUp(const std::string &path, std::string &folder)
{
    std::vector<std::string> names;  // what is left, the next name last
    pushNames(names, path);
    folder = path.starts_with('/') ? "" : ".";  // links resolved, so ".." is the kernel's too
    for (int hops = 0; !names.empty();) {
        const std::string next = folder + '/' + names.back();
        names.pop_back();
        struct stat st = {};
        if (StatPath(next, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT ? 0 : errno;  // nothing there (yet): open(2) decides
        if (!S_ISLNK(st.st_mode)) {
            if (names.empty())
                return 0;
            folder = next;
            continue;
        }
        if (plantedInSticky(folder, st))
            return EACCES;
        if (++hops > 40)
            return ELOOP;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(next.c_str(), target.data(), target.size());
        if (n <= 0)
            return n < 0 ? errno : ENOENT;
        target.resize(static_cast<std::size_t>(n));
        if (target.front() == '/')
            folder.clear();
        pushNames(names, target);  // "pipe:[...]" (/dev/stdout) leads nowhere: done
    }
    return 0;
}

/// The standard output or error when `st` is the very file behind it, else -1.
int standardStreamOf(const struct stat &st)
{
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat own = {};
        if (Fs().fstat(fd, &own) == 0 && own.st_dev == st.st_dev && own.st_ino == st.st_ino)
            return fd;
    }
    return -1;
}

int writeAll(int fd, std::string_view bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = Fs().write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

mode_t creationMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

/// One file being written, and for a replacement its temporary and backup names.
struct Pending
{
    std::string path;
    std::string_view bytes;
    bool throughLink = false;        // `path` is a link, written through with open(2)
    bool inPlace = false;            // a link, a device, a FIFO, a stream, or an owner not to be lost
    std::optional<struct stat> old;  // what is there now (behind a link), when anything is
    std::string temporary;           // written and ready to be renamed over `path`
    std::string backup;              // a hard link to the earlier file while the set is renamed
    std::string folder;              // where the file lies, links resolved
};

/// Opens the file to be written in place. A FIFO no one reads, or one put behind a link since
/// it was looked at, is given a moment for its reader (ENXIO after it), never waited for
/// forever; then its writes wait as usual.
UniqueFd openInPlace(const Pending &file)
{
    // A link is followed by the kernel with the user's own rights (and its protected_symlinks);
    // anything else is taken only as it was checked, never through a link put there since.
    const bool fifo = file.old && S_ISFIFO(file.old->st_mode);
    const int how = (file.throughLink ? O_CREAT : O_NOFOLLOW) | (fifo || !file.old ? O_NONBLOCK : 0);
    for (int waited = 0;; waited += 20) {
        UniqueFd fd(OpenPath(file.path, O_WRONLY | O_NOCTTY | O_CLOEXEC | how, 0666));
        if (fd && (how & O_NONBLOCK) &&
            ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0)
            return UniqueFd();
        if (fd || !fifo || errno != ENXIO || waited >= 1000)
            return fd;
        ::usleep(20 * 1000);
    }
}

int writeInPlace(const Pending &file)
{
    if (const int stream = file.old ? standardStreamOf(*file.old) : -1; stream >= 0) {
        std::fflush(stream == STDOUT_FILENO ? stdout : stderr);
        return writeAll(stream, file.bytes);
    }
    UniqueFd fd = openInPlace(file);
    struct stat now = {};
    if (!fd || Fs().fstat(fd.get(), &now) != 0)
        return errno;
    if (file.old && (now.st_dev != file.old->st_dev || now.st_ino != file.old->st_ino))
        return EAGAIN;  // replaced since it was checked: nothing written
    if (!file.old && plantedInSticky(file.folder, now))
        return EACCES;  // put behind the link since it was looked at
    if (!S_ISREG(now.st_mode)) {
        if (const int error = writeAll(fd.get(), file.bytes))
            return error;
        return fd.reset() != 0 ? errno : 0;
    }
    // The room first: a full disk then leaves the earlier text whole, as a replacement would.
    const auto size = static_cast<off_t>(file.bytes.size());
    if (size > now.st_size && ::fallocate(fd.get(), 0, 0, size) != 0 &&
        (errno == ENOSPC || errno == EDQUOT || errno == EFBIG))
        return errno;
    if (const int error = writeAll(fd.get(), file.bytes))
        return error;
    if (Fs().ftruncate(fd.get(), size) != 0 || Fs().fsync(fd.get()) != 0)
        return errno;
    return fd.reset() != 0 ? errno : 0;
}

/// Decides how `file` is written; an error when it must not be written at all.
int prepare(Pending &file)
{
    if (const int error = lookUp(file.path, file.folder))
        return error;
    struct stat st = {};
    if (StatPath(file.path, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    file.throughLink = S_ISLNK(st.st_mode);
    if (file.throughLink) {
        file.inPlace = true;  // never resolved by hand and renamed over, as root could
        if (StatPath(file.path, &st) != 0)
            return errno == ENOENT ? 0 : errno;  // a link to no file yet: open(2) makes it
    }
    // Neither written into nor replaced: the planter's FIFO would hang the export, and the
    // planter's file would be given the user's text or taken from its owner.
    if ((S_ISFIFO(st.st_mode) || S_ISREG(st.st_mode)) && plantedInSticky(file.folder, st))
        return EACCES;
    file.old = st;
    // Standard output, a device or a FIFO, however named (/dev/stdout leads to "pipe:[...]").
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || standardStreamOf(st) >= 0) {
        file.inPlace = true;
        return 0;
    }
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    if (::faccessat(AT_FDCWD, file.path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES)
        return EACCES;
    return 0;
}

/// Writes the temporary beside `file.path` with the mode and owner the file should have.
int writeTemporary(Pending &file)
{
    const mode_t mode = file.old ? (file.old->st_mode & 07777) : creationMode();
    for (int attempt = 0; attempt < 100; ++attempt) {
        file.temporary = FolderOf(file.path) + TemporaryName();
        UniqueFd fd(OpenPath(file.temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd && errno == EEXIST)
            continue;
        if (!fd) {
            file.temporary.clear();
            return errno;
        }
        int error = writeAll(fd.get(), file.bytes);
        if (!error && file.old && (file.old->st_uid != ::geteuid() || file.old->st_gid != ::getegid()) &&
            ::fchown(fd.get(), file.old->st_uid, file.old->st_gid) != 0) {
            // Replacing would take the file from its owner: write it in place instead.
            fd.reset();
            UnlinkPath(file.temporary);
            file.temporary.clear();
            file.inPlace = true;
            return 0;
        }
        if (!error && (::fchmod(fd.get(), mode) != 0 || Fs().fsync(fd.get()) != 0))
            error = errno;
        if (fd.reset() != 0 && !error)
            error = errno;
        if (error) {
            UnlinkPath(file.temporary);
            file.temporary.clear();
        }
        return error;
    }
    return EEXIST;
}

int renamePath(const std::string &from, const std::string &to, unsigned flags = 0)
{
    return Fs().renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags) == 0 ? 0 : errno;
}

/// Undoes the renames of files [0, count): each earlier file back from its backup, a new one removed.
void rollBack(std::vector<Pending> &files, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (files[i].inPlace)
            continue;
        if (!files[i].backup.empty()) {
            if (renamePath(files[i].backup, files[i].path) == 0)
                files[i].backup.clear();
        } else if (!files[i].old.has_value()) {
            UnlinkPath(files[i].path);
        }
    }
}

void removeLeftovers(std::vector<Pending> &files)
{
    for (Pending &file : files) {
        if (!file.temporary.empty())
            UnlinkPath(file.temporary);
        if (!file.backup.empty())
            UnlinkPath(file.backup);
    }
}

}  // namespace

Status WriteFileAtomically(const std::string &path, std::string_view bytes)
{
    return WriteFilesAtomically({{path, bytes}});
}

Status WriteFilesAtomically(const std::vector<FileText> &texts)
{
    std::vector<Pending> files;
    files.reserve(texts.size());
    for (const FileText &text : texts)
        files.push_back(Pending{text.path, text.bytes, false, false, std::nullopt, {}, {}, {}});
    auto fail = [&](const Pending &file, int error) -> Status {
        removeLeftovers(files);
        const bool unread = error == ENXIO && file.old && S_ISFIFO(file.old->st_mode);
        return Fail(unread ? ErrorCode::NoReader : ErrorCode::SystemCall, error, file.path);
    };
    for (Pending &file : files) {
        if (const int error = prepare(file))
            return fail(file, error);
        if (file.inPlace)
            continue;
        const int error = writeTemporary(file);
        if ((error == EACCES || error == EPERM) && file.old)
            file.inPlace = true;  // a writable file in a folder that is not: as the shell's '>' would
        else if (error)
            return fail(file, error);
    }
    // What cannot be replaced is written first: a full disk there still leaves the rest as it was.
    for (Pending &file : files)
        if (file.inPlace)
            if (const int error = writeInPlace(file))
                return fail(file, error);
    // Every new text is on disk; keep each earlier file reachable until all are in place.
    for (std::size_t i = 0; i < files.size(); ++i) {
        Pending &file = files[i];
        if (file.inPlace || !file.old)
            continue;
        file.backup = FolderOf(file.path) + TemporaryName();
        if (Fs().linkat(AT_FDCWD, file.path.c_str(), AT_FDCWD, file.backup.c_str(), 0) != 0)
            file.backup.clear();  // no hard links here: the file is still replaced atomically
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        Pending &file = files[i];
        if (file.inPlace)
            continue;
        if (const int error = renamePath(file.temporary, file.path)) {
            rollBack(files, i);
            return fail(file, error);
        }
        file.temporary.clear();
    }
    removeLeftovers(files);
    return {};
}

}  // namespace geminor
