#include "engine/folder_handles.h"

#include "engine/file_system.h"

#include <fcntl.h>

namespace geminor {

FolderHandles::FolderHandles(std::size_t capacity) : m_capacity(capacity) {}

int FolderHandles::descriptor(const FolderName &folder)
{
    std::lock_guard lock(m_mutex);
    if (const auto it = m_open.find(folder.str()); it != m_open.end())
        return it->second.get();
    if (m_open.size() >= m_capacity)
        return -1;
    // -1 is kept too: that folder is read by whole paths.
    return m_open.emplace(folder.str(), UniqueFd(OpenFolder(folder.str()))).first->second.get();
}

FileReader FolderHandles::open(const FolderName &folder, const std::string &name)
{
    return FileReader(openToRead(folder, name));
}

UniqueFd FolderHandles::openToRead(const FolderName &folder, const std::string &name)
{
    const int fd = descriptor(folder);
    return fd >= 0 && !name.empty() ? OpenToRead(fd, name) : OpenToRead(folder + name);
}

int FolderHandles::statIn(int fd, const FolderName &folder, const std::string &name, struct stat &st)
{
    return fd >= 0 && !name.empty() ? Fs().fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW)
                                    : StatPath(folder + name, &st, AT_SYMLINK_NOFOLLOW);
}

}  // namespace geminor
