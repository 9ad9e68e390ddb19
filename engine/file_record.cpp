#include "engine/file_record.h"

#include <cstdio>
#include <tuple>

#include "engine/case_fold.h"

namespace geminor {

bool SizeFirstLess(const FileRecord &a, const FileRecord &b)
{
    return std::tie(a.size, a.name, a.folder) < std::tie(b.size, b.name, b.folder);
}

std::pair<std::uint64_t, std::uint64_t> SizeFirstKey(const FileRecord &record)
{
    std::uint64_t prefix =
        0;  // big-endian: compared as numbers, as the bytes compare; a shorter name pads with 0
    for (std::size_t i = 0; i < 8; ++i)
        prefix = prefix << 8 | (i < record.name.size() ? static_cast<unsigned char>(record.name[i]) : 0u);
    return {record.size, prefix};
}

std::string NameKey(std::string_view name)
{
    const auto first = name.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = name.find_last_not_of(' ');
    return FoldCase(name.substr(first, last - first + 1));
}

}  // namespace geminor
