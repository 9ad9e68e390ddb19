#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <numeric>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

// Top-down merge sort over lists that are never changed in place: each routine takes its input
// by value (a copy, or a list the caller hands over) and returns a new list.

namespace geminor {

/// Fills `first` with the first half of `list` and `second` with the rest; an odd element goes
/// to the second half, and a one-element list goes whole to the first.
template <typename T> void SplitList(std::vector<T> list, std::vector<T> &first, std::vector<T> &second)
{
    first.clear();
    second.clear();
    if (list.size() == 1) {
        first = std::move(list);
        return;
    }
    const std::size_t half = list.size() / 2;
    first.assign(std::make_move_iterator(list.begin()), std::make_move_iterator(list.begin() + half));
    second.assign(std::make_move_iterator(list.begin() + half), std::make_move_iterator(list.end()));
}

/// Merges two sorted lists. On equal elements both go out, the left one first.
template <typename T, typename Less = std::less<>>
std::vector<T> MergeLists(std::vector<T> left, std::vector<T> right, Less less = {})
{
    if (left.empty())
        return right;
    if (right.empty())
        return left;
    std::vector<T> out;
    out.reserve(left.size() + right.size());
    std::size_t l = 0, r = 0;
    while (l < left.size() && r < right.size()) {
        if (less(left[l], right[r])) {
            out.push_back(std::move(left[l++]));
        } else if (less(right[r], left[l])) {
            out.push_back(std::move(right[r++]));
        } else {
            out.push_back(std::move(left[l++]));
            out.push_back(std::move(right[r++]));
        }
    }
    for (; l < left.size(); ++l)
        out.push_back(std::move(left[l]));
    for (; r < right.size(); ++r)
        out.push_back(std::move(right[r]));
    return out;
}

/// Sorts by repeated exchange of neighbours until a pass exchanges nothing.
template <typename T, typename Less = std::less<>>
std::vector<T> BubbleSortList(std::vector<T> list, Less less = {})
{
    for (bool exchanged = true; exchanged;) {
        exchanged = false;
        for (std::size_t i = 0; i + 1 < list.size(); ++i) {
            if (less(list[i + 1], list[i])) {
                std::swap(list[i], list[i + 1]);
                exchanged = true;
            }
        }
    }
    return list;
}

/// Ascending order by `less`; stable for elements that are not equal.
template <typename T, typename Less = std::less<>>
std::vector<T> MergeSortList(std::vector<T> list, Less less = {})
{
    if (list.size() <= 1)
        return list;
    if (list.size() == 2)
        return BubbleSortList(std::move(list), less);
    std::vector<T> first, second;
    SplitList(std::move(list), first, second);
    return MergeLists(MergeSortList(std::move(first), less), MergeSortList(std::move(second), less), less);
}

/// Calls `each(begin, end)` over [0, n) in two halves, the second on a thread of its own when
/// `n` reaches `worthIt` (what repays a thread's start); whether it was split.
template <typename Each>
bool InTwoHalves(std::size_t n, Each each, std::size_t worthIt = std::size_t{1} << 14)
{
    if (n < worthIt || std::thread::hardware_concurrency() < 2) {
        each(std::size_t{0}, n);
        return false;
    }
    std::jthread second(each, n / 2, n);
    each(std::size_t{0}, n / 2);
    return true;
}

/// Sorts [first, last) by `less`: when there are enough, the halves on two threads, then merged.
template <typename It, typename Less> void SortInTwoHalves(It first, It last, Less less)
{
    const auto n = static_cast<std::size_t>(last - first);
    const auto at = [first](std::size_t k) { return first + static_cast<std::ptrdiff_t>(k); };
    if (InTwoHalves(n, [&](std::size_t begin, std::size_t end) { std::sort(at(begin), at(end), less); }))
        std::inplace_merge(first, at(n / 2), last, less);  // a total order: the same as one sort
}

/// Places in a list, each with a cheap key that orders as the list's own order does.
template <typename Key> using KeyedPlaces = std::vector<std::pair<Key, std::uint32_t>>;

/// Rearranges `items` so that element k is the one that was at `from[k]`, where `from` holds
/// every place of `items` once; one element at a time is held aside, never a second array.
template <typename T> void PermuteInPlace(std::vector<T> &items, const std::vector<std::uint32_t> &from)
{
    std::vector<bool> done(items.size());
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (done[k] || from[k] == k)
            continue;
        T aside = std::move(items[k]);
        for (std::size_t j = k;;) {  // along the cycle through k
            done[j] = true;
            const std::size_t source = from[j];
            if (source == k) {
                items[j] = std::move(aside);
                break;
            }
            items[j] = std::move(items[source]);
            j = source;
        }
    }
}

/// The elements of `list` (a vector, or a list with takeRecords() that gives its elements as
/// one) at the places of `order`, which is sorted by key and place, in the order SortList gives:
/// among equal keys by `less`, then by place. The elements are moved within the one array they
/// are handed over in: at no time are there two copies of them.
template <typename List, typename Less, typename Key>
auto TakeSorted(List list, KeyedPlaces<Key> order, Less less)
{
    auto before = [&](const auto &a, const auto &b) {
        if (less(list[a.second], list[b.second]))
            return true;
        return !less(list[b.second], list[a.second]) && a.second < b.second;  // equal: as listed
    };
    for (auto p = order.begin(); p != order.end();) {
        const auto end = std::find_if(p + 1, order.end(), [&](const auto &o) { return o.first != p->first; });
        if (end - p > 1)
            SortInTwoHalves(p, end, before);
        p = end;
    }
    auto items = [&] {
        if constexpr (requires { list.takeRecords(); })
            return list.takeRecords();
        else
            return std::move(list);
    }();
    // The places not taken (element 0 of a file list, files reached twice) go after the rest.
    std::vector<std::uint32_t> from;
    from.reserve(items.size());
    std::vector<bool> taken(items.size());
    for (const auto &o : order) {
        from.push_back(o.second);
        taken[o.second] = true;
    }
    const std::size_t kept = order.size();
    order = {};
    for (std::uint32_t p = 0; p < items.size(); ++p)
        if (!taken[p])
            from.push_back(p);
    taken = {};
    PermuteInPlace(items, from);
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(kept), items.end());
    return items;
}

/// The order MergeSortList gives lists without equal elements, of the elements from `from` on,
/// found by sorting their places by a cheap key first (`keyOf`, ordered as `less` orders), then
/// by `less` among equal keys: each element is moved once, not once per level, and seldom read
/// (a million records moved twenty times took longer than the search that followed when the
/// contents were cached).
template <typename List, typename Less, typename KeyOf>
auto SortList(List list, Less less, KeyOf keyOf, std::size_t from = 0)
{
    KeyedPlaces<decltype(keyOf(list[0]))> order;
    order.reserve(list.size() - std::min(from, list.size()));
    for (std::size_t i = from; i < list.size(); ++i)
        order.emplace_back(keyOf(list[i]), static_cast<std::uint32_t>(i));
    SortInTwoHalves(order.begin(), order.end(), std::less<>());
    return TakeSorted(std::move(list), std::move(order), less);
}

/// The same without a cheaper key.
template <typename T, typename Less> std::vector<T> SortList(std::vector<T> list, Less less)
{
    return SortList(std::move(list), less, [](const T &) { return 0; });
}

}  // namespace geminor
