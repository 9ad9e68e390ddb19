#include "engine/file_reader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "engine/file_system.h"

namespace geminor {

namespace {
constexpr int kReadFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
}

UniqueFd OpenToRead(const std::string &path)
{
    return UniqueFd(OpenPath(path, kReadFlags));
}

UniqueFd OpenToRead(int folder, const std::string &name)
{
    return UniqueFd(Fs().openat(folder, name.c_str(), kReadFlags, 0));
}

FileReader::FileReader(const std::string &path)
{
    adopt(OpenToRead(path));
}

FileReader::FileReader(int folder, const std::string &name)
{
    adopt(OpenToRead(folder, name));
}

void FileReader::adopt(UniqueFd fd)
{
    if (!fd) {
        m_error = errno;
        return;
    }
    struct stat st = {};
    const bool statFailed = Fs().fstat(fd.get(), &st) != 0;
    if (statFailed || !S_ISREG(st.st_mode)) {
        m_error = statFailed ? errno : EINVAL;
        return;
    }
    m_fd = std::move(fd);
    m_size = static_cast<std::uint64_t>(st.st_size);
    m_dev = st.st_dev;
    m_ino = st.st_ino;
}

std::int64_t ReadAtLeast(int fd, std::uint64_t offset, std::span<std::byte> buffer, std::size_t least)
{
    std::size_t done = 0;
    for (;;) {  // at least one call, even for `least` 0: it is how the end of a file is confirmed
        const ssize_t n =
            Fs().pread(fd, buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        done += static_cast<std::size_t>(n);
        if (n == 0 || done >= least)
            return static_cast<std::int64_t>(done);
    }
}

std::optional<std::uint64_t> NextData(int fd, std::uint64_t offset, std::uint64_t size)
{
    const off_t at = Fs().lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
    if (at >= 0)
        return static_cast<std::uint64_t>(at);
    if (errno == ENXIO)
        return size;
    return std::nullopt;
}

std::int64_t FileReader::readAtLeast(std::uint64_t offset, std::span<std::byte> buffer, std::size_t least)
{
    const std::int64_t done = ReadAtLeast(m_fd.get(), offset, buffer, least);
    if (done < 0)
        m_error = errno;
    return done;
}

std::optional<std::uint64_t> FileReader::nextData(std::uint64_t offset)
{
    return NextData(m_fd.get(), offset, m_size);
}

}  // namespace geminor
