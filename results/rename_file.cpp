#include "results/rename_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "engine/file_system.h"

namespace geminor {

std::optional<std::string> InvalidNameReason(const std::string &name)
{
    if (name.empty() || name == "." || name == "..")
        return std::string("\"") + name + "\" cannot be a file name.";
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
        return std::string("A file name cannot contain '/'.");
    if (name.size() > 255)
        return std::string("A file name can be at most 255 bytes long.");
    return std::nullopt;
}

std::optional<std::string> RenameFile(const std::string &oldPath, const std::string &newPath)
{
    if (Fs().renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) == 0)
        return std::nullopt;
    if (errno != EINVAL && errno != ENOSYS)
        return std::string(std::strerror(errno));
    // A file system without RENAME_NOREPLACE: link() never replaces either.
    if (Fs().linkat(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), 0) != 0)
        return std::string(std::strerror(errno));
    if (UnlinkPath(oldPath) != 0) {
        const int error = errno;
        UnlinkPath(newPath);
        return std::string(std::strerror(error));
    }
    return std::nullopt;
}

}  // namespace geminor
