#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <utility>

#include "engine/unique_fd.h"

namespace geminor {

/// An open regular file for reading. Move-only; closes once; never follows a final symbolic
/// link and never blocks on a FIFO that took a file's place.
class FileReader
{
public:
    FileReader() = default;
    /// Opens `path`; fails (isOpen() false, error() set) unless it is a regular file.
    explicit FileReader(const std::string &path);
    /// Opens `name` in the folder open as `folder`.
    FileReader(int folder, const std::string &name);
    /// Takes a descriptor from OpenToRead.
    explicit FileReader(UniqueFd fd) { adopt(std::move(fd)); }

    bool isOpen() const { return bool(m_fd); }
    int error() const { return m_error; }
    std::uint64_t size() const { return m_size; }
    dev_t device() const { return m_dev; }
    ino_t inode() const { return m_ino; }

    /// Reads up to buffer.size() bytes at `offset`, retrying short reads and EINTR until the
    /// buffer is full or the file ends. Returns the count, or -1 on error.
    std::int64_t readAt(std::uint64_t offset, std::span<std::byte> buffer)
    {
        return readAtLeast(offset, buffer, buffer.size());
    }
    /// Like readAt, but content with `least` bytes: asking one byte beyond the expected end
    /// tells in the same call whether the file has grown.
    std::int64_t readAtLeast(std::uint64_t offset, std::span<std::byte> buffer, std::size_t least);
    /// Where the next bytes that are not a hole begin at or after `offset`: size() when only a
    /// hole follows, nullopt when the file system cannot tell.
    std::optional<std::uint64_t> nextData(std::uint64_t offset);
    void close() noexcept { m_fd.reset(); }  // never retried: the descriptor is gone either way
    /// Gives the descriptor away.
    UniqueFd release() noexcept { return std::move(m_fd); }

private:
    void adopt(UniqueFd fd);

    UniqueFd m_fd;
    int m_error = 0;
    std::uint64_t m_size = 0;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
};

/// Opens `path`, or `name` in the folder open as `folder`, as FileReader does but without asking
/// what was opened: the caller must fstat it before its bytes may count.
/// Reading it first is harmless: a FIFO or terminal refuses pread, and reads stop at the size
/// expected, so nothing blocks or runs on.
UniqueFd OpenToRead(const std::string &path);
UniqueFd OpenToRead(int folder, const std::string &name);

/// FileReader::readAtLeast on a descriptor held elsewhere; errno tells why on -1.
std::int64_t ReadAtLeast(int fd, std::uint64_t offset, std::span<std::byte> buffer, std::size_t least);

/// FileReader::nextData on a descriptor held elsewhere, for a file of `size` bytes.
std::optional<std::uint64_t> NextData(int fd, std::uint64_t offset, std::uint64_t size);

}  // namespace geminor
