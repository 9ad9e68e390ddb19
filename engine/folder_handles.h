#pragma once

#include <cstddef>
#include <mutex>
#include <sys/stat.h>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/file_reader.h"
#include "engine/file_record.h"
#include "engine/unique_fd.h"

namespace geminor {

/// Descriptors of the folders whose files a search reads, shared by its threads. A file is then
/// opened by its name in its folder: the kernel looks up one name instead of every folder of
/// the path. A descriptor, once open, stays open until the search ends, so no thread can lose
/// it while another uses it; past the capacity, files are opened by their whole paths.
class FolderHandles
{
public:
    explicit FolderHandles(std::size_t capacity);
    FolderHandles(const FolderHandles &) = delete;
    FolderHandles &operator=(const FolderHandles &) = delete;

    /// The file `name` of `folder`, opened as FileReader opens a path.
    FileReader open(const FolderName &folder, const std::string &name);
    /// The same, through OpenToRead: unchecked.
    UniqueFd openToRead(const FolderName &folder, const std::string &name);
    /// lstat of the file `name` of `folder` through `folderFd`, the folder's descriptor from
    /// `descriptor` (-1: by its whole path).
    static int statIn(int folderFd, const FolderName &folder, const std::string &name, struct stat &st);
    /// The folder's descriptor, opened on first use; -1 when it cannot be or the budget is spent.
    int descriptor(const FolderName &folder);

private:
    std::mutex m_mutex;
    std::unordered_map<std::string_view, UniqueFd> m_open;  // views of the records' own folder names
    std::size_t m_capacity;
};

}  // namespace geminor
