#pragma once

#include <cstdint>
#include <vector>

namespace geminor {

/// A picture as grey levels (0 black .. 255 white), row after row.
struct GreyImage
{
    int width = 0, height = 0;
    std::vector<float> pixels;  // width * height
};

/// The 64-bit DCT hash of a picture: pictures that look alike (resized, re-encoded, lightly
/// cropped or retouched) get hashes a few bits apart (HashDistance). Pure computation, any
/// thread. An empty picture hashes to 0.
std::uint64_t PerceptualHash(const GreyImage &image);

}  // namespace geminor
