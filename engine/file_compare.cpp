#include "engine/file_compare.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <libdeflate.h>
#include <vector>

#include "engine/file_reader.h"

namespace geminor {

std::int16_t CompareFiles(const std::string &FileName1, const std::string &FileName2)
{
    FileReader a(FileName1), b(FileName2);
    if (!a.isOpen() || !b.isOpen())
        return -1;
    if (a.size() != b.size())
        return 0;
    constexpr std::size_t kBlock = 1000;
    std::array<std::byte, kBlock> bufferA{}, bufferB{};
    for (std::uint64_t offset = 0; offset < a.size(); offset += kBlock) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, a.size() - offset));
        if (a.readAt(offset, {bufferA.data(), want}) != static_cast<std::int64_t>(want) ||
            b.readAt(offset, {bufferB.data(), want}) != static_cast<std::int64_t>(want))
            return -1;
        if (std::memcmp(bufferA.data(), bufferB.data(), want) != 0)
            return 0;
    }
    return 1;
}

std::optional<std::uint32_t> FileCrc32(const std::string &path, std::optional<std::uint64_t> expectedSize)
{
    FileReader file(path);
    if (!file.isOpen() || (expectedSize && file.size() != *expectedSize))
        return std::nullopt;
    // One byte more than the file holds, so a small file ends in a single short read.
    std::vector<std::byte> buffer(std::min<std::uint64_t>(file.size() + 1, 1 << 20));
    std::uint32_t crc = 0;
    std::uint64_t offset = 0;
    for (;;) {
        const std::int64_t n = file.readAt(offset, buffer);
        if (n < 0)
            return std::nullopt;
        crc = libdeflate_crc32(crc, buffer.data(), static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
        if (static_cast<std::size_t>(n) < buffer.size())
            break;  // the end of the file
    }
    if (offset != file.size() || file.currentSize() != file.size())
        return std::nullopt;  // it shrank or grew while being read
    return crc;
}

std::string CrcText(std::uint32_t crc)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08X", crc);
    return text;
}

bool CRC(const std::string &FileName1, const std::string &FileName2)
{
    const auto a = FileCrc32(FileName1), b = FileCrc32(FileName2);
    return a && b && CrcText(*a) == CrcText(*b);
}

}  // namespace geminor
