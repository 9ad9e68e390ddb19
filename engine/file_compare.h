#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/file_reader.h"

namespace geminor {

/// The IEEE CRC-32 of a whole file already open; nothing when it cannot be read to its end, or
/// when its length is not `expectedSize` (when given). `buffer` is grown as needed (up to 1 MiB)
/// and kept by the caller from one file to the next: a fresh one would be faulted in every time.
std::optional<std::uint32_t> FileCrc32(FileReader file, std::optional<std::uint64_t> expectedSize,
                                       std::vector<std::byte> &buffer);

/// Compares two open files byte by byte, with buffers kept from one comparison to the next.
class ByteComparer
{
public:
    explicit ByteComparer(std::size_t block = 1 << 20) : m_a(block), m_b(block) {}

    /// True when the files open as `a` and `b` both hold exactly `size` bytes, the same ones:
    /// each is read to one byte past `size`, so a file that grew or shrank meanwhile differs.
    /// Reads through Fs() (short reads and EINTR retried), block by block; any thread.
    bool same(int a, int b, std::uint64_t size);

private:
    std::vector<std::byte> m_a, m_b;
};

}  // namespace geminor
