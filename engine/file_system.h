#pragma once

#include <cstddef>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace geminor {

/// The system calls Geminor makes on files and folders. Production code calls them through
/// Fs(), so a test can put a file system in between that fails the Nth call, reads short,
/// shuffles listings or changes a file between listing and opening it.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    virtual int openat(int dirFd, const char *name, int flags, mode_t mode);
    virtual int close(int fd);
    virtual ssize_t pread(int fd, void *buffer, std::size_t count, off_t offset);
    /// pread that fails with EAGAIN rather than wait for the disk: the bytes are not all in
    /// the page cache (the kernel starts reading them), or the file system cannot tell. It
    /// may return fewer bytes than asked for before the end of the file.
    virtual ssize_t preadCached(int fd, void *buffer, std::size_t count, off_t offset);
    virtual ssize_t write(int fd, const void *buffer, std::size_t count);
    virtual ssize_t pwrite(int fd, const void *buffer, std::size_t count, off_t offset);
    virtual int ftruncate(int fd, off_t length);
    virtual int fstat(int fd, struct stat *st);
    virtual int fstatat(int dirFd, const char *name, struct stat *st, int flags);
    virtual int fsync(int fd);
    virtual off_t lseek(int fd, off_t offset, int whence);
    virtual DIR *fdopendir(int fd);
    virtual dirent *readdir(DIR *dir);
    virtual int closedir(DIR *dir);
    virtual int unlinkat(int dirFd, const char *name, int flags);
    virtual int renameat2(int oldDir, const char *oldName, int newDir, const char *newName, unsigned flags);
    virtual int linkat(int oldDir, const char *oldName, int newDir, const char *newName, int flags);
    virtual int symlinkat(const char *target, int dirFd, const char *name);
    virtual int ioctl(int fd, unsigned long request, void *argument);
    virtual int mkdirat(int dirFd, const char *name, mode_t mode);
};

/// The file system in use: the real one unless a test installed another.
FileSystem &Fs();

/// Installs `fs` for its lifetime (tests only; install before any scan thread starts).
class ScopedFileSystem
{
public:
    explicit ScopedFileSystem(FileSystem &fs);
    ~ScopedFileSystem();
    ScopedFileSystem(const ScopedFileSystem &) = delete;
    ScopedFileSystem &operator=(const ScopedFileSystem &) = delete;

private:
    FileSystem *m_previous;
};

/// The most descriptors one search budgets for (OpenFileBudget never gives more).
inline constexpr std::size_t kMostFilesOpen = 8192;

/// Raises the soft limit of open files towards the hard one (at most 65,536): big groups and
/// deep folders are read with more files open at once. Keeps one malloc arena: the searching
/// threads would otherwise each keep their own, and the peak memory would grow by half. Grows
/// the descriptor table ahead. Called first thing, while the process has one thread.
void PrepareProcess();

/// The folder and its missing parents made, readable by the user alone; false (errno set) when
/// one cannot be made.
bool MakeFolders(const std::string &folder);

/// A base folder of the user's: `variable` (XDG_DATA_HOME, XDG_CACHE_HOME) when it holds an
/// absolute path, else `underHome` (as "/.local/share") under $HOME.
std::string UserBaseFolder(const char *variable, const char *underHome);

/// open(2) that also reaches paths longer than PATH_MAX, by descending folder by folder.
int OpenPath(const std::string &path, int flags, mode_t mode = 0);
/// stat(2) (or lstat(2) with AT_SYMLINK_NOFOLLOW) for paths of any length.
int StatPath(const std::string &path, struct stat *st, int flags = 0);
/// unlink(2) for paths of any length.
int UnlinkPath(const std::string &path);
/// A descriptor of the folder `path` (O_PATH), for the *at() calls; -1 with errno when it fails.
int OpenFolder(const std::string &path);

/// renameat2(RENAME_NOREPLACE); where a file system lacks it, link and unlink (which never
/// replace either); where it has no hard links either (exFAT, FAT, most FUSE), a rename after
/// checking the new name free, verified afterwards. Remembers per file system which way works.
/// Any thread. 0 or -1 with errno (EEXIST: the new name is taken).
int RenameNoReplace(int oldDir, const std::string &oldName, int newDir, const std::string &newName);

/// The absolute path by which the kernel knows the folder open as `fd`, ending in '/' (links
/// resolved, no "..", whatever the working folder); `spelled` made absolute against the
/// working folder when the kernel cannot tell.
std::string RealFolder(int fd, const std::string &spelled);

/// A random hidden name for a file being written or set aside: ".geminor-" and 12 letters.
std::string TemporaryName();

/// The folder part of a path, ending in '/' ("./" when there is none), and the last part.
std::string FolderOf(const std::string &path);
std::string NameOf(const std::string &path);

}  // namespace geminor
