#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/file_reader.h"

namespace geminor {

/// 1 when both files hold the same bytes, 0 when they differ (different lengths included),
/// -1 when either cannot be found or read. Compares in blocks of 1000 bytes, stopping at the
/// first that differs.
std::int16_t CompareFiles(const std::string &FileName1, const std::string &FileName2);

/// The IEEE CRC-32 of a whole file; nothing when it cannot be read to its end, or when its
/// length is not `expectedSize` (when given).
std::optional<std::uint32_t> FileCrc32(const std::string &path,
                                       std::optional<std::uint64_t> expectedSize = std::nullopt);
/// The same of a file already open.
std::optional<std::uint32_t> FileCrc32(FileReader file, std::optional<std::uint64_t> expectedSize);

/// The checksum as 8 upper-case hex digits, as the CRC-32 method compares it.
std::string CrcText(std::uint32_t crc);

/// True when both files have the same CRC-32 text. A file that cannot be read matches nothing.
bool CRC(const std::string &FileName1, const std::string &FileName2);

}  // namespace geminor
