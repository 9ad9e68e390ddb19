#include "results/file_operations.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/file_system.h"

namespace geminor {
namespace {

std::string reason(int error)
{
    return std::strerror(error);
}

bool exists(const std::string &path)
{
    struct stat st = {};
    return StatPath(path, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

std::string folderOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string nameOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// Copies the bytes of an open file into a new file `target` (created, never replaced).
std::optional<std::string> copyBytes(int source, const struct stat &st, const std::string &target)
{
    const int out = OpenPath(target, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0)
        return reason(errno);
    std::vector<char> buffer(1 << 20);
    int error = 0;
    for (off_t offset = 0;;) {
        const ssize_t n = Fs().pread(source, buffer.data(), buffer.size(), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            break;
        }
        if (n == 0)
            break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = Fs().write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0) {
                error = errno;
                break;
            }
            done += w;
        }
        if (error)
            break;
        offset += n;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (!error && (::futimens(out, times) != 0 || Fs().fsync(out) != 0))
        error = errno;
    if (Fs().close(out) != 0 && !error)
        error = errno;
    if (error) {
        UnlinkPath(target);  // no partial copy stays behind
        return reason(error);
    }
    return std::nullopt;
}

OpResult copyTo(const std::string &path, const std::string &target)
{
    const int source = OpenPath(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (source < 0)
        return {false, {}, reason(errno)};
    struct stat st = {};
    if (Fs().fstat(source, &st) != 0 || !S_ISREG(st.st_mode)) {
        Fs().close(source);
        return {false, {}, "not a regular file"};
    }
    const auto error = copyBytes(source, st, target);
    Fs().close(source);
    if (error)
        return {false, {}, *error};
    return {true, target, {}};
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

std::string absolute(const std::string &path)
{
    if (!path.empty() && path.front() == '/')
        return path;
    char *cwd = ::getcwd(nullptr, 0);
    std::string out = cwd ? std::string(cwd) + '/' + path : path;
    std::free(cwd);
    return out;
}

/// The mount point holding `path`: the highest folder above it on the same device.
std::string topDirectory(const std::string &path, dev_t device)
{
    std::string top = folderOf(absolute(path));
    while (top.size() > 1) {
        const std::string parent = folderOf(top.substr(0, top.size() - 1));
        struct stat st = {};
        if (StatPath(parent, &st) != 0 || st.st_dev != device)
            break;
        top = parent;
    }
    return top;
}

bool makeFolder(const std::string &path, mode_t mode)
{
    return Fs().mkdirat(AT_FDCWD, path.c_str(), mode) == 0 || errno == EEXIST;
}

/// The trash folder for a file on `device`: with files/ and info/ inside, or "" when none.
std::string trashFor(const std::string &path, dev_t device)
{
    const char *dataHome = std::getenv("XDG_DATA_HOME");
    const char *home = std::getenv("HOME");
    const std::string data =
        dataHome && *dataHome ? dataHome : std::string(home ? home : "") + "/.local/share";
    const std::string homeTrash = data + "/Trash/";
    struct stat st = {};
    makeFolder(data, 0700);
    if (makeFolder(homeTrash, 0700) && StatPath(homeTrash, &st) == 0 && st.st_dev == device &&
        makeFolder(homeTrash + "files", 0700) && makeFolder(homeTrash + "info", 0700))
        return homeTrash;
    const std::string own = topDirectory(path, device) + ".Trash-" + std::to_string(::getuid()) + '/';
    if (makeFolder(own, 0700) && StatPath(own, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
        st.st_dev == device && makeFolder(own + "files", 0700) && makeFolder(own + "info", 0700))
        return own;
    return {};
}

}  // namespace

std::string FreeNameIn(const std::string &folder, const std::string &name)
{
    if (!exists(folder + name))
        return name;
    const auto dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    for (int n = 2;; ++n) {
        std::string candidate = stem + " (" + std::to_string(n) + ")" + extension;
        if (!exists(folder + candidate))
            return candidate;
    }
}

OpResult CopyInto(const std::string &path, const std::string &folder)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string target = folder + FreeNameIn(folder, nameOf(path));
        OpResult result = copyTo(path, target);
        if (result.done || result.error != reason(EEXIST))
            return result;  // EEXIST: another file took the name meanwhile; pick again
    }
    return {false, {}, reason(EEXIST)};
}

OpResult MoveInto(const std::string &path, const std::string &folder)
{
    struct stat source = {}, into = {};
    if (StatPath(path, &source, AT_SYMLINK_NOFOLLOW) != 0)
        return {false, {}, reason(errno)};
    if (StatPath(folder, &into) != 0)
        return {false, {}, reason(errno)};
    struct stat own = {};
    if (StatPath(folderOf(path), &own) == 0 && own.st_dev == into.st_dev && own.st_ino == into.st_ino)
        return {false, {}, "the file is already in that folder"};  // even through a link or bind mount
    if (source.st_dev == into.st_dev) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string target = folder + FreeNameIn(folder, nameOf(path));
            if (Fs().renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
                return {true, target, {}};
            if (errno != EEXIST && errno != EXDEV)
                return {false, {}, reason(errno)};
            if (errno == EXDEV)
                break;  // a bind mount of the same device: copy instead
        }
    }
    OpResult copied = CopyInto(path, folder);
    if (!copied.done)
        return copied;  // the source stays where it was
    if (UnlinkPath(path) != 0) {
        const int error = errno;
        UnlinkPath(copied.target);  // keep one file, the original
        return {false, {}, reason(error)};
    }
    return copied;
}

OpResult DeleteForGood(const std::string &path)
{
    if (UnlinkPath(path) != 0)
        return {false, {}, reason(errno)};
    return {true, {}, {}};
}

OpResult MoveToTrash(const std::string &path)
{
    struct stat st = {};
    if (StatPath(path, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return {false, {}, reason(errno)};
    const std::string trash = trashFor(path, st.st_dev);
    if (trash.empty())
        return {false, {}, "no trash can be made on this file's file system"};
    // Reserve a name by creating its .trashinfo first (O_EXCL), then move the file.
    const std::string files = trash + "files/";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = FreeNameIn(files, nameOf(path));
        const std::string info = trash + "info/" + name + ".trashinfo";
        const int fd = OpenPath(info, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return {false, {}, reason(errno)};
        }
        char date[32];
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        ::localtime_r(&now, &local);
        std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
        const std::string text =
            "[Trash Info]\nPath=" + percentEncoded(absolute(path)) + "\nDeletionDate=" + date + "\n";
        const bool written = Fs().write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        Fs().close(fd);
        if (!written) {
            UnlinkPath(info);
            return {false, {}, "the trash information could not be written"};
        }
        if (Fs().renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, (files + name).c_str(), RENAME_NOREPLACE) != 0) {
            const int error = errno;
            UnlinkPath(info);
            if (error == EEXIST)
                continue;
            return {false, {}, reason(error)};
        }
        return {true, files + name, {}};
    }
    return {false, {}, reason(EEXIST)};
}

}  // namespace geminor
