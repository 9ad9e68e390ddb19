#include "engine/atomic_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/file_system.h"

namespace geminor {

std::optional<std::string> WriteFileAtomically(const std::string &path, std::string_view bytes)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string temporary = folder + "/.geminor-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return std::string(std::strerror(errno));
    auto fail = [&](int error) {
        Fs().close(fd);
        UnlinkPath(temporary);
        return std::optional<std::string>(std::strerror(error));
    };
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = Fs().write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(errno);
        done += static_cast<std::size_t>(n);
    }
    struct stat st = {};
    const mode_t mode = StatPath(path, &st) == 0 ? (st.st_mode & 07777) : 0644;
    if (::fchmod(fd, mode) != 0 || Fs().fsync(fd) != 0)
        return fail(errno);
    if (Fs().close(fd) != 0) {
        const int error = errno;
        UnlinkPath(temporary);
        return std::string(std::strerror(error));
    }
    if (Fs().renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), 0) != 0) {
        const int error = errno;
        UnlinkPath(temporary);
        return std::string(std::strerror(error));
    }
    return std::nullopt;
}

}  // namespace geminor
