#include "engine/file_compare.h"

#include <algorithm>
#include <cstring>
#include <libdeflate.h>
#include <vector>

#include "engine/file_reader.h"

namespace geminor {

std::optional<std::uint32_t> FileCrc32(FileReader file, std::optional<std::uint64_t> expectedSize,
                                       std::vector<std::byte> &buffer)
{
    if (!file.isOpen() || (expectedSize && file.size() != *expectedSize))
        return std::nullopt;
    // One byte more than the file holds where it fits, so a small file ends in a single read
    // that also tells whether it has grown.
    const auto room = static_cast<std::size_t>(std::min<std::uint64_t>(file.size() + 1, 1 << 20));
    if (buffer.size() < room)
        buffer.resize(room);
    std::uint32_t crc = 0;
    std::uint64_t offset = 0;
    bool probed = false;
    while (offset < file.size() || !probed) {
        const std::uint64_t rest = file.size() - offset;
        const std::size_t least = static_cast<std::size_t>(std::min<std::uint64_t>(rest, room));
        probed = rest < room;  // room for one byte beyond the end
        if (file.readAtLeast(offset, {buffer.data(), room}, least) != static_cast<std::int64_t>(least))
            return std::nullopt;  // unreadable, or it shrank or grew while being read
        crc = libdeflate_crc32(crc, buffer.data(), least);
        offset += least;
    }
    return crc;
}

bool ByteComparer::same(int a, int b, std::uint64_t size)
{
    for (std::uint64_t offset = 0;;) {
        // One byte more than the file should hold at the end tells whether either grew.
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(m_a.size(), size - offset + 1));
        const std::int64_t n = ReadAtLeast(a, offset, {m_a.data(), want}, want);
        const std::int64_t k = ReadAtLeast(b, offset, {m_b.data(), want}, want);
        if (n < 0 || n != k || std::memcmp(m_a.data(), m_b.data(), static_cast<std::size_t>(n)) != 0)
            return false;
        offset += static_cast<std::uint64_t>(n);
        if (offset > size)
            return false;
        if (static_cast<std::size_t>(n) < want)
            return offset == size;
    }
}

}  // namespace geminor
