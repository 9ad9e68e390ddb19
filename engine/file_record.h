#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/request.h"

namespace geminor {

/// One accepted file. Kept as three fields, never joined, since a Linux name may hold '?'.
struct FileRecord
{
    std::uint64_t size = 0;  // exact 64-bit length
    std::string name;        // bytes as listed
    std::string folder;      // bytes, ends in '/'

    bool operator==(const FileRecord &) const = default;
};

/// Records in the order the walk accepted them; element 0 is always empty and never a record.
using FileList = std::vector<FileRecord>;

/// A file list holding only its empty element 0.
inline FileList NewFileList()
{
    return FileList(1);
}

/// The size as 12 zero-padded digits (more digits from 10^12 on, so the text still sorts by size).
std::string SizeText(std::uint64_t size);

/// The record as text, fields joined by '?', in the field order of `method` (for display and tests).
std::string RecordText(const FileRecord &record, SearchMethod method);

/// Size-first order: size as a number, then name, then folder, as byte strings.
bool SizeFirstLess(const FileRecord &a, const FileRecord &b);

/// The same-name key: the name with leading and trailing spaces removed, case folded.
std::string NameKey(std::string_view name);

}  // namespace geminor
