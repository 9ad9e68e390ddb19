#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/error.h"

namespace geminor {

/// What the similar-pictures search knows of a picture: its size as it is shown (its EXIF
/// orientation applied) and a 64-bit perceptual hash, whose Hamming distance to another's says
/// how alike the two look.
struct PictureLook
{
    std::uint32_t width = 0, height = 0;
    std::uint64_t hash = 0;

    bool operator==(const PictureLook &) const = default;
};

/// Decodes pictures for the similar-pictures search. The engine declares it and stays without
/// Qt; pictures/ implements it with QtGui, and the front ends hand it in.
class PictureDecoder
{
public:
    virtual ~PictureDecoder() = default;
    /// Whether the first bytes of a file (up to 64) say it is a picture this decoder reads:
    /// by content, not by name.
    virtual bool isPicture(std::span<const std::byte> head) const = 0;
    /// The picture in the file open as `fd` (read from its start, the descriptor left open):
    /// NotAPicture, PictureUndecodable or PictureTooLarge (a declared size beyond what is ever
    /// decoded, refused before anything is allocated) when it has none. Any thread, at once.
    virtual Result<PictureLook> look(int fd) const = 0;
};

/// The number of bits in which two hashes differ.
inline int HashDistance(std::uint64_t a, std::uint64_t b)
{
    return __builtin_popcountll(a ^ b);
}

}  // namespace geminor
