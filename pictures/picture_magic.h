#pragma once

#include <cstddef>
#include <span>

namespace geminor {

enum class PictureKind {
    None,
    Common,  // JPEG, PNG, GIF, BMP, TIFF or WebP
    Heif,    // HEIC, HEIF or AVIF, read through libheif
};

/// What the first bytes of a file (up to 64) say it is, by their signature alone.
PictureKind PictureKindOf(std::span<const std::byte> head);

}  // namespace geminor
