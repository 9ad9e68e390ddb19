#pragma once

#include <cstdint>
#include <string>

namespace geminor {

/// "major.minor.build.revision" from the version resource of a program file (.exe, .dll, .ocx,
/// by the last four characters of the path, any case); "N/A" for every other file and for any
/// program file without a readable version resource. Reads only a few small pieces of the file.
std::string FileVersionText(const std::string &FileName);
/// The same for the file `name` in `folder` (which ends in '/'), the path joined only when needed.
std::string FileVersionText(const std::string &folder, const std::string &name);

/// The high and low 16 bits of a 32-bit value, as unsigned numbers.
std::int32_t HiWordOf(std::int32_t value);
std::int32_t LoWordOf(std::int32_t value);

}  // namespace geminor
