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
    return FileCrc32(FileReader(path), expectedSize);
}

std::optional<std::uint32_t> FileCrc32(FileReader file, std::optional<std::uint64_t> expectedSize)
{
    if (!file.isOpen() || (expectedSize && file.size() != *expectedSize))
        return std::nullopt;
    // One byte more than the file holds where it fits, so a small file ends in a single read
    // that also tells whether it has grown.
    std::vector<std::byte> buffer(std::min<std::uint64_t>(file.size() + 1, 1 << 20));
    std::uint32_t crc = 0;
    std::uint64_t offset = 0;
    bool probed = false;
    while (offset < file.size() || !probed) {
        const std::uint64_t rest = file.size() - offset;
        const std::size_t least = static_cast<std::size_t>(std::min<std::uint64_t>(rest, buffer.size()));
        probed = rest < buffer.size();  // room for one byte beyond the end
        if (file.readAtLeast(offset, buffer, least) != static_cast<std::int64_t>(least))
            return std::nullopt;  // unreadable, or it shrank or grew while being read
        crc = libdeflate_crc32(crc, buffer.data(), least);
        offset += least;
    }
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
