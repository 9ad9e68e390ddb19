#include "engine/file_reader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace geminor {

FileReader::FileReader(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        m_error = errno;
        return;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_error = errno ? errno : EINVAL;
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_size = static_cast<std::uint64_t>(st.st_size);
    m_dev = st.st_dev;
    m_ino = st.st_ino;
}

FileReader::FileReader(FileReader &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_error(other.m_error), m_size(other.m_size), m_dev(other.m_dev),
      m_ino(other.m_ino)
{
}

FileReader &FileReader::operator=(FileReader &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_error = other.m_error;
        m_size = other.m_size;
        m_dev = other.m_dev;
        m_ino = other.m_ino;
    }
    return *this;
}

std::int64_t FileReader::readAt(std::uint64_t offset, std::span<std::byte> buffer)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n =
            ::pread(m_fd, buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_error = errno;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

void FileReader::close() noexcept
{
    if (m_fd >= 0)
        ::close(m_fd);  // never retried: the descriptor is gone either way
    m_fd = -1;
}

}  // namespace geminor
