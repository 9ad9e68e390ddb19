#include "tests/support/faulty_file_system.h"

#include <algorithm>
#include <cerrno>

namespace geminor::test {

void FaultyFileSystem::failReadsOf(std::string part, int error)
{
    std::lock_guard lock(m_mutex);
    m_failingReads.emplace_back(std::move(part), error);
}

void FaultyFileSystem::failOpenNumber(int n, int error)
{
    std::lock_guard lock(m_mutex);
    m_failOpen = n;
    m_failOpenError = error;
}

void FaultyFileSystem::beforeRead(std::function<void(const std::string &, off_t)> hook)
{
    m_beforeRead = std::move(hook);
}

void FaultyFileSystem::beforeOpen(std::function<void(const std::string &)> hook)
{
    m_beforeOpen = std::move(hook);
}

void FaultyFileSystem::shuffleListings(unsigned seed)
{
    m_shuffle = true;
    m_random.seed(seed);
}

int FaultyFileSystem::openat(int dirFd, const char *name, int flags, mode_t mode)
{
    if (m_beforeOpen)
        m_beforeOpen(name);
    {
        std::lock_guard lock(m_mutex);
        if (++m_opens == m_failOpen) {
            errno = m_failOpenError;
            return -1;
        }
    }
    const int fd = FileSystem::openat(dirFd, name, flags, mode);
    if (fd >= 0) {
        std::lock_guard lock(m_mutex);
        m_names[fd] = name;
        ++m_openCount;
    }
    return fd;
}

int FaultyFileSystem::close(int fd)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_names.erase(fd))
            --m_openCount;
    }
    return FileSystem::close(fd);
}

ssize_t FaultyFileSystem::pread(int fd, void *buffer, std::size_t count, off_t offset)
{
    std::string name;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_names.find(fd);
        if (it != m_names.end())
            name = it->second;
        for (const auto &[part, error] : m_failingReads) {
            if (name.find(part) != std::string::npos) {
                errno = error;
                return -1;
            }
        }
    }
    if (m_beforeRead)
        m_beforeRead(name, offset);
    if (m_short && count > 3)
        count = 1 + static_cast<std::size_t>(offset % 3);
    return FileSystem::pread(fd, buffer, count, offset);
}

DIR *FaultyFileSystem::fdopendir(int fd)
{
    DIR *dir = FileSystem::fdopendir(fd);
    if (!dir)
        return dir;
    {
        // The descriptor now belongs to the listing (still counted once): closedir() closes it.
        std::lock_guard lock(m_mutex);
        if (!m_names.erase(fd))
            ++m_openCount;
    }
    if (m_shuffle) {
        std::vector<dirent> entries;
        for (dirent *entry = FileSystem::readdir(dir); entry; entry = FileSystem::readdir(dir))
            entries.push_back(*entry);
        std::lock_guard lock(m_mutex);
        std::shuffle(entries.begin(), entries.end(), m_random);
        std::reverse(entries.begin(), entries.end());  // popped from the back
        m_listings[dir] = std::move(entries);
    }
    return dir;
}

dirent *FaultyFileSystem::readdir(DIR *dir)
{
    if (!m_shuffle)
        return FileSystem::readdir(dir);
    std::lock_guard lock(m_mutex);
    auto &entries = m_listings[dir];
    if (entries.empty()) {
        errno = 0;
        return nullptr;
    }
    static thread_local dirent current;
    current = entries.back();
    entries.pop_back();
    return &current;
}

int FaultyFileSystem::renameat2(int oldDir, const char *oldName, int newDir, const char *newName,
                                unsigned flags)
{
    if (m_beforeRename)
        m_beforeRename(oldName, newName);
    if (const int number = ++m_renames; m_renameError && number >= m_renameFrom && number <= m_renameTo) {
        errno = m_renameError;
        return -1;
    }
    return FileSystem::renameat2(oldDir, oldName, newDir, newName, flags);
}

int FaultyFileSystem::closedir(DIR *dir)
{
    {
        std::lock_guard lock(m_mutex);
        m_listings.erase(dir);
        --m_openCount;
    }
    return FileSystem::closedir(dir);
}

}  // namespace geminor::test
