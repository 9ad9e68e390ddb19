#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <vector>

namespace geminor {

/// Calls `each(begin, end)` for every run of neighbours in `items` that share their group
/// number. With `zeroAlone`, items of group 0 (the files of a zero-size listing, which is not
/// a group of duplicates) are each a run of their own.
template <typename List, typename Each>
void ForEachGroupRun(const List &items, Each each, bool zeroAlone = false)
{
    for (std::size_t begin = 0; begin < items.size();) {
        std::size_t end = begin + 1;
        while (!(zeroAlone && items[begin].group == 0) && end < items.size() &&
               items[end].group == items[begin].group)
            ++end;
        each(begin, end);
        begin = end;
    }
}

/// The bytes freed by keeping the first file of each group and removing the others: what the
/// others hold, each file once (a hard link of a file counted, or of the one kept, frees
/// nothing). The same for result entries and result rows, whatever the method.
template <typename List> std::uint64_t ReclaimableBytes(const List &items)
{
    std::uint64_t bytes = 0;
    std::vector<std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>> others;
    ForEachGroupRun(
        items,
        [&](std::size_t begin, std::size_t end) {
            if (items[begin].group == 0)
                return;
            others.clear();
            for (std::size_t i = begin + 1; i < end; ++i)
                if (items[i].seen.device != items[begin].seen.device ||
                    items[i].seen.inode != items[begin].seen.inode)
                    others.emplace_back(items[i].seen.device, items[i].seen.inode, items[i].seen.size);
            std::sort(others.begin(), others.end());
            others.erase(std::unique(others.begin(), others.end(),
                                     [](const auto &a, const auto &b) {
                                         return std::get<0>(a) == std::get<0>(b) &&
                                                std::get<1>(a) == std::get<1>(b);
                                     }),
                         others.end());
            for (const auto &other : others)
                bytes += std::get<2>(other);
        },
        true);
    return bytes;
}

}  // namespace geminor
