#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace geminor {

/// Lower-cases valid UTF-8 by the Unicode simple mapping; bytes that are not valid UTF-8 stay
/// as they are. Thread-safe.
std::string FoldCase(std::string_view text);

/// Compares as FoldCase(a) <=> FoldCase(b) would, byte-wise, without allocating.
int CompareFolded(std::string_view a, std::string_view b);

/// The first 8 bytes of FoldCase(text) (or of `text` itself when `fold` is false), big-endian,
/// padded with zero bytes. When two prefixes differ they order their texts as a byte compare would.
std::uint64_t TextPrefix(std::string_view text, bool fold);

/// True when `text` begins with `prefix`, both case folded.
bool StartsWithFolded(std::string_view text, std::string_view prefix);

}  // namespace geminor
