#pragma once

#include <cstdint>
#include <vector>

#include "engine/file_record.h"
#include "engine/picture_decoder.h"
#include "engine/request.h"
#include "engine/scan_state.h"

namespace geminor {

class ChecksumCache;

/// The similar-pictures search over the walked `records`: reads the first bytes of each file,
/// has every picture looked at by `decoder` on all cores, and groups the pictures that look
/// alike at `level` (see GroupPictures) into state.DuplicateRecords, each group led by its
/// largest picture (in pixels, then bytes, then path). A picture that cannot be read or decoded
/// counts as an unreadable file. A checksum cache, when given, spares the decoding of pictures
/// it knows unchanged and keeps the looks found. Runs on the caller's thread; once cancel is
/// requested, groups what was looked at so far. Returns the number of files that are no pictures.
std::int64_t SearchSimilarPictures(std::vector<FileRecord> records, Similarity level,
                                   const PictureDecoder &decoder, SearchState &state,
                                   ChecksumCache *cache = nullptr);

}  // namespace geminor
