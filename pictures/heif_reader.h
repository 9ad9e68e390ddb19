#pragma once

#include "engine/picture_decoder.h"

namespace geminor {

/// Holds libheif's plugins for as long as it lives; counted, so several may live at once.
class HeifLibrary
{
public:
    HeifLibrary();
    ~HeifLibrary();
    HeifLibrary(const HeifLibrary &) = delete;
    HeifLibrary &operator=(const HeifLibrary &) = delete;
};

/// The primary picture of the HEIF file (HEIC, HEIF or AVIF) open as `fd`, read whole into
/// memory with pread from its start (the descriptor's offset neither used nor moved) and
/// decoded by libheif, as shown (its rotation, mirroring and crop applied). PictureTooLarge
/// for a file over 256 MB (no detail) or a shown size beyond QtPictureDecoder's limits ("W x
/// H"), before decoding; PictureUndecodable with libheif's words; ReadFailed. Any thread, while
/// a HeifLibrary lives.
Result<PictureLook> LookHeif(int fd);

}  // namespace geminor
