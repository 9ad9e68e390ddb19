#include "pictures/picture_magic.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace geminor {
namespace {

bool StartsWith(std::span<const std::byte> head, std::string_view signature, std::size_t at = 0)
{
    if (head.size() < at + signature.size())
        return false;
    for (std::size_t i = 0; i < signature.size(); ++i)
        if (head[at + i] != std::byte(signature[i]))
            return false;
    return true;
}

std::uint32_t Read32(std::span<const std::byte> head, std::size_t at, bool bigEndian)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= std::uint32_t(head[at + i]) << (8 * (bigEndian ? 3 - i : i));
    return value;
}

// "BM" alone starts too many other files: the header that follows must have one of the sizes
// the format ever had.
bool IsBmp(std::span<const std::byte> head)
{
    if (!StartsWith(head, "BM") || head.size() < 18)
        return false;
    const std::uint32_t infoSize = Read32(head, 14, false);
    for (std::uint32_t known : {12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u})
        if (infoSize == known)
            return true;
    return false;
}

// An ISO media file whose "ftyp" box names one of the HEIF brands, as its major brand or among
// the compatible ones that fit in the head.
bool IsHeif(std::span<const std::byte> head)
{
    if (!StartsWith(head, "ftyp", 4))
        return false;
    static constexpr std::array<std::string_view, 6> kBrands{"heic", "heix", "mif1", "msf1", "heif", "avif"};
    const std::size_t boxEnd = std::min<std::size_t>(Read32(head, 0, true), head.size());
    for (std::size_t at = 8; at + 4 <= boxEnd; at += at == 8 ? 8 : 4)  // skips the minor version
        for (std::string_view brand : kBrands)
            if (StartsWith(head, brand, at))
                return true;
    return false;
}

}  // namespace

PictureKind PictureKindOf(std::span<const std::byte> head)
{
    using namespace std::string_view_literals;
    const bool common = StartsWith(head, "\xFF\xD8\xFF") || StartsWith(head, "\x89PNG\r\n\x1A\n") ||
                        StartsWith(head, "GIF87a") || StartsWith(head, "GIF89a") || IsBmp(head) ||
                        StartsWith(head, "II*\0"sv) || StartsWith(head, "MM\0*"sv) ||
                        (StartsWith(head, "RIFF") && StartsWith(head, "WEBP", 8));
    if (common)
        return PictureKind::Common;
    return IsHeif(head) ? PictureKind::Heif : PictureKind::None;
}

}  // namespace geminor
