#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/request.h"

namespace geminor {

/// The largest Hamming distance between two pictures' hashes at each similarity level, all in
/// one place: they are set from measurements of edited copies against unrelated pictures.
inline constexpr int kVeryHighThreshold = 4;
inline constexpr int kHighThreshold = 10;
inline constexpr int kMediumThreshold = 14;
inline constexpr int kLowThreshold = 18;

int SimilarityThreshold(Similarity level);

/// A picture of a group: its place in the hashes given, and its distance to the group's first.
struct PictureMember
{
    std::uint32_t index = 0;
    std::uint8_t distance = 0;
};

/// The groups of similar pictures among `hashes`, given in the order in which pictures lead
/// groups. Each picture not yet in a group leads a new one and takes every picture not yet in a
/// group within `threshold` of its own hash (never of the other members': no chains). Pictures
/// of equal hashes always share a group. A group lists its first, then the others in the order
/// given; groups of one are left out. Any thread.
std::vector<std::vector<PictureMember>> GroupPictures(std::span<const std::uint64_t> hashes, int threshold);

}  // namespace geminor
