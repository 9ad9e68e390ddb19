#pragma once

#include <atomic>
#include <cerrno>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "engine/file_system.h"

namespace geminor::test {

/// The real file system with faults put in on purpose. Thread-safe: content searches read
/// from several threads.
class FaultyFileSystem : public FileSystem
{
public:
    /// Every read of a file whose name contains `part` fails with `error`.
    void failReadsOf(std::string part, int error);
    /// Reads return at most a few bytes at a time, as a slow network file system may.
    void readShort(bool on) { m_short = on; }
    /// The `n`th open of anything (counted from 1) fails with `error`.
    void failOpenNumber(int n, int error);
    /// The renames numbered `from` to `to` (counted from 1) fail with `error` (0: none do).
    void failRenames(int error, int from = 1, int to = 1 << 30)
    {
        m_renameError = error;
        m_renameFrom = from;
        m_renameTo = to;
    }
    /// Runs before every read with the name the file was opened under and the offset.
    void beforeRead(std::function<void(const std::string &name, off_t offset)> hook);
    /// Runs before every open with the name given.
    void beforeOpen(std::function<void(const std::string &name)> hook);
    /// Runs before every rename with the two names.
    void beforeRename(std::function<void(const std::string &from, const std::string &to)> hook)
    {
        m_beforeRename = std::move(hook);
    }
    /// Lists every folder in a shuffled order drawn from `seed`.
    void shuffleListings(unsigned seed);

    /// Descriptors opened through this file system and not yet closed.
    int openDescriptors() const { return m_openCount; }

    int openat(int dirFd, const char *name, int flags, mode_t mode) override;
    int close(int fd) override;
    ssize_t pread(int fd, void *buffer, std::size_t count, off_t offset) override;
    /// Never cached: every read then comes to pread, where the faults are.
    ssize_t preadCached(int, void *, std::size_t, off_t) override
    {
        errno = EAGAIN;
        return -1;
    }
    DIR *fdopendir(int fd) override;
    dirent *readdir(DIR *dir) override;
    int closedir(DIR *dir) override;
    int renameat2(int oldDir, const char *oldName, int newDir, const char *newName, unsigned flags) override;

private:
    std::mutex m_mutex;
    std::map<int, std::string> m_names;  // descriptor -> name opened
    std::vector<std::pair<std::string, int>> m_failingReads;
    bool m_short = false;
    int m_renameError = 0;
    int m_renameFrom = 1;
    int m_renameTo = 1 << 30;
    int m_renames = 0;
    int m_opens = 0;
    int m_failOpen = 0;
    int m_failOpenError = 0;
    std::atomic<int> m_openCount{0};
    std::function<void(const std::string &, off_t)> m_beforeRead;
    std::function<void(const std::string &)> m_beforeOpen;
    std::function<void(const std::string &, const std::string &)> m_beforeRename;
    bool m_shuffle = false;
    std::mt19937 m_random;
    std::map<DIR *, std::vector<dirent>> m_listings;
};

}  // namespace geminor::test
