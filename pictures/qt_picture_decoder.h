#pragma once

#include "engine/picture_decoder.h"
#include "pictures/heif_reader.h"

namespace geminor {

/// The picture decoder of the front ends: QtGui's image readers (JPEG, PNG, GIF, BMP, TIFF,
/// WebP), no widgets, and libheif for HEIC, HEIF and AVIF. Needs no application object.
class QtPictureDecoder final : public PictureDecoder
{
public:
    /// Beyond either, a picture is refused from its declared size, before it is decoded.
    static constexpr std::uint64_t kMostPixels = 100'000'000;
    static constexpr int kLongestSide = 30'000;
    /// The short side pictures are decoded at, where the format can decode smaller.
    static constexpr int kDecodedSide = 128;

    QtPictureDecoder() = default;
    /// Waits for the threads Qt's image conversions started: left running, they race with
    /// Qt's own teardown when the program ends without an application object.
    ~QtPictureDecoder() override;
    QtPictureDecoder(const QtPictureDecoder &) = delete;
    QtPictureDecoder &operator=(const QtPictureDecoder &) = delete;

    bool isPicture(std::span<const std::byte> head) const override;
    Result<PictureLook> look(int fd) const override;

private:
    HeifLibrary m_heif;
};

}  // namespace geminor
