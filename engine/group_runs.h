#pragma once

#include <cstddef>

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

}  // namespace geminor
