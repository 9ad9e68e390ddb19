#include "engine/file_system.h"
#include "engine/unique_fd.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <optional>
#include <fcntl.h>
#include <cstdlib>
#include <malloc.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace geminor {
namespace {

FileSystem g_real;
FileSystem *g_current = &g_real;

/// A path of PATH_MAX or more split into a folder descriptor and a last part short enough
/// for the *at() calls.
class PathAnchor
{
public:
    explicit PathAnchor(const std::string &path)
    {
        std::size_t start = 0;
        if (path.front() == '/') {
            m_fd = UniqueFd(Fs().openat(AT_FDCWD, "/", O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
            start = 1;
        }
        for (;;) {
            while (path[start] == '/')
                ++start;  // "a//b": a piece must never begin with '/'
            if (path.size() - start < PATH_MAX) {
                m_name = path.substr(start);
                return;
            }
            // As many whole folders as fit into one call.
            const std::size_t slash = path.rfind('/', start + PATH_MAX - 2);
            if (slash == std::string::npos || slash <= start) {
                m_error = ENAMETOOLONG;  // one name longer than any file system allows
                return;
            }
            const std::string piece = path.substr(start, slash - start + 1);
            UniqueFd next(Fs().openat(dir(), piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
            if (!next) {
                m_error = errno;
                m_fd.reset();
                return;
            }
            m_fd = std::move(next);
            start = slash + 1;
        }
    }
    PathAnchor(const PathAnchor &) = delete;
    PathAnchor &operator=(const PathAnchor &) = delete;

    bool ok() const
    {
        if (m_error)
            errno = m_error;
        return m_error == 0;
    }
    int dir() const { return m_fd ? m_fd.get() : AT_FDCWD; }
    const char *name() const { return m_name.c_str(); }

private:
    UniqueFd m_fd;
    int m_error = 0;
    std::string m_name;
};

}  // namespace

int FileSystem::openat(int dirFd, const char *name, int flags, mode_t mode)
{
    return ::openat(dirFd, name, flags, mode);
}
int FileSystem::close(int fd)
{
    return ::close(fd);
}
ssize_t FileSystem::pread(int fd, void *buffer, std::size_t count, off_t offset)
{
    return ::pread(fd, buffer, count, offset);
}
ssize_t FileSystem::preadCached(int fd, void *buffer, std::size_t count, off_t offset)
{
    iovec one{buffer, count};
    const ssize_t n = ::preadv2(fd, &one, 1, offset, RWF_NOWAIT);
    if (n < 0 && errno == EOPNOTSUPP)
        errno = EAGAIN;
    return n;
}
ssize_t FileSystem::write(int fd, const void *buffer, std::size_t count)
{
    return ::write(fd, buffer, count);
}
ssize_t FileSystem::pwrite(int fd, const void *buffer, std::size_t count, off_t offset)
{
    return ::pwrite(fd, buffer, count, offset);
}
int FileSystem::ftruncate(int fd, off_t length)
{
    return ::ftruncate(fd, length);
}
int FileSystem::fstat(int fd, struct stat *st)
{
    return ::fstat(fd, st);
}
int FileSystem::fstatat(int dirFd, const char *name, struct stat *st, int flags)
{
    return ::fstatat(dirFd, name, st, flags);
}
int FileSystem::fsync(int fd)
{
    return ::fsync(fd);
}
off_t FileSystem::lseek(int fd, off_t offset, int whence)
{
    return ::lseek(fd, offset, whence);
}
DIR *FileSystem::fdopendir(int fd)
{
    return ::fdopendir(fd);
}
dirent *FileSystem::readdir(DIR *dir)
{
    return ::readdir(dir);
}
int FileSystem::closedir(DIR *dir)
{
    return ::closedir(dir);
}
int FileSystem::unlinkat(int dirFd, const char *name, int flags)
{
    return ::unlinkat(dirFd, name, flags);
}
int FileSystem::renameat2(int oldDir, const char *oldName, int newDir, const char *newName, unsigned flags)
{
    return ::renameat2(oldDir, oldName, newDir, newName, flags);
}
int FileSystem::linkat(int oldDir, const char *oldName, int newDir, const char *newName, int flags)
{
    return ::linkat(oldDir, oldName, newDir, newName, flags);
}

int FileSystem::symlinkat(const char *target, int dirFd, const char *name)
{
    return ::symlinkat(target, dirFd, name);
}

int FileSystem::ioctl(int fd, unsigned long request, void *argument)
{
    return ::ioctl(fd, request, argument);
}
int FileSystem::mkdirat(int dirFd, const char *name, mode_t mode)
{
    return ::mkdirat(dirFd, name, mode);
}

FileSystem &Fs()
{
    return *g_current;
}

ScopedFileSystem::ScopedFileSystem(FileSystem &fs) : m_previous(g_current)
{
    g_current = &fs;
}
ScopedFileSystem::~ScopedFileSystem()
{
    g_current = m_previous;
}

void PrepareProcess()
{
    ::mallopt(M_ARENA_MAX, 1);
    // A fixed threshold: large arrays (records, their sorted copy, the result) always get pages
    // of their own and give them back when freed, instead of leaving holes in the heap.
    ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 65536);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    // The descriptor table doubles as folders and files are opened; with several threads each
    // doubling waits out an RCU grace period (a listing took 50 ms instead of 5). So it is grown
    // once here, while the process has one thread, to what the searches hold at most.
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        const int top = static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 2 * kMostFilesOpen)) - 1;
        const UniqueFd any(Fs().openat(AT_FDCWD, "/", O_PATH | O_CLOEXEC, 0));
        const UniqueFd high(any && top > any.get() ? ::fcntl(any.get(), F_DUPFD_CLOEXEC, top) : -1);
    }
}

int OpenPath(const std::string &path, int flags, mode_t mode)
{
    if (path.size() < PATH_MAX)
        return Fs().openat(AT_FDCWD, path.c_str(), flags, mode);
    const PathAnchor at(path);
    return at.ok() ? Fs().openat(at.dir(), at.name(), flags, mode) : -1;
}

int StatPath(const std::string &path, struct stat *st, int flags)
{
    if (path.size() < PATH_MAX)
        return Fs().fstatat(AT_FDCWD, path.c_str(), st, flags);
    const PathAnchor at(path);
    return at.ok() ? Fs().fstatat(at.dir(), at.name(), st, flags) : -1;
}

int UnlinkPath(const std::string &path)
{
    if (path.size() < PATH_MAX)
        return Fs().unlinkat(AT_FDCWD, path.c_str(), 0);
    const PathAnchor at(path);
    return at.ok() ? Fs().unlinkat(at.dir(), at.name(), 0) : -1;
}

std::string UserBaseFolder(const char *variable, const char *underHome)
{
    const char *value = std::getenv(variable);
    if (value && *value == '/')
        return value;
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "") + underHome;
}

bool MakeFolders(const std::string &folder)
{
    for (std::size_t slash = 1; slash != std::string::npos;) {
        slash = folder.find('/', slash + 1);
        const std::string part = folder.substr(0, slash);
        if (!part.empty() && Fs().mkdirat(AT_FDCWD, part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

int OpenFolder(const std::string &path)
{
    return OpenPath(path.empty() ? std::string(".") : path, O_PATH | O_DIRECTORY | O_CLOEXEC);
}

std::string FolderOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string NameOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RealFolder(int fd, const std::string &spelled)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    std::string path(PATH_MAX, '\0');
    const ssize_t n = fd >= 0 ? ::readlink(link, path.data(), path.size()) : -1;
    if (n > 0 && path[0] == '/' && static_cast<std::size_t>(n) < path.size()) {
        path.resize(static_cast<std::size_t>(n));
        if (!path.ends_with(" (deleted)"))
            return path.ends_with('/') ? path : path + '/';
    }
    std::string absolute = spelled;
    if (!absolute.starts_with('/')) {
        char *cwd = ::getcwd(nullptr, 0);
        absolute = std::string(cwd ? cwd : "") + '/' + absolute;
        std::free(cwd);
    }
    return absolute.ends_with('/') ? absolute : absolute + '/';
}

std::string TemporaryName()
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static const char kLetters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string name = ".geminor-";
    for (int i = 0; i < 12; ++i)
        name += kLetters[random() % 36];
    return name;
}

int UniqueFd::reset() noexcept
{
    const int fd = std::exchange(m_fd, -1);
    return fd >= 0 ? Fs().close(fd) : 0;
}

void UniqueDir::reset() noexcept
{
    if (DIR *dir = std::exchange(m_dir, nullptr))
        Fs().closedir(dir);
}

}  // namespace geminor
