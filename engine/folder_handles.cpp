#include "engine/folder_handles.h"

#include "engine/file_system.h"

namespace geminor {

FolderHandles::FolderHandles(std::size_t capacity) : m_capacity(capacity) {}

FolderHandles::~FolderHandles()
{
    for (const auto &[folder, fd] : m_open)
        if (fd >= 0)
            Fs().close(fd);
}

FileReader FolderHandles::open(const FolderName &folder, const std::string &name)
{
    int fd = -1;
    {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_open.find(folder.str()); it != m_open.end()) {
            fd = it->second;
        } else if (m_open.size() < m_capacity) {
            fd = OpenFolder(folder.str());  // -1 is kept too: that folder is read by whole paths
            m_open.emplace(folder.str(), fd);
        }
    }
    return fd >= 0 && !name.empty() ? FileReader(fd, name) : FileReader(folder + name);
}

}  // namespace geminor
