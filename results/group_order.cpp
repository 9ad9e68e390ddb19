#include "results/group_order.h"

#include <algorithm>
#include <numeric>

#include "engine/case_fold.h"
#include "engine/group_runs.h"

namespace geminor {
namespace {

struct GroupSpan
{
    std::size_t begin, end;
};

/// The runs of rows of equal group number; in a zero-size listing every row is a run.
std::vector<GroupSpan> groupSpans(const std::vector<ResultRow> &rows)
{
    std::vector<GroupSpan> spans;
    ForEachGroupRun(
        rows,
        [&](std::size_t begin, std::size_t end) {
            spans.push_back({begin, end});
        },
        true);
    return spans;
}

}  // namespace

std::optional<GroupOrder> ParseGroupOrder(std::string_view text)
{
    static const std::pair<std::string_view, GroupOrder> kNames[] = {
        {"found", GroupOrder::Found},   {"space", GroupOrder::Space}, {"size", GroupOrder::Size},
        {"copies", GroupOrder::Copies}, {"name", GroupOrder::Name},   {"folder", GroupOrder::Folder}};
    for (const auto &[name, order] : kNames)
        if (text == name)
            return order;
    return std::nullopt;
}

void OrderGroups(std::vector<ResultRow> &rows, GroupOrder order)
{
    if (rows.empty() || rows.front().group == 0)
        return;
    std::vector<GroupSpan> spans = groupSpans(rows);
    // The colour the first found group had when loaded: colours alternate by position, so its
    // colour now, flipped when it stands at an odd position, is that colour.
    const auto firstFound =
        std::min_element(spans.begin(), spans.end(), [&](const GroupSpan &a, const GroupSpan &b) {
            return rows[a.begin].group < rows[b.begin].group;
        });
    const RowColour now = rows[firstFound->begin].colour;
    const RowColour start = GroupColour(now, static_cast<std::size_t>(firstFound - spans.begin()));
    auto copies = [](const GroupSpan &g) { return static_cast<std::uint64_t>(g.end - g.begin); };
    auto space = [&](const GroupSpan &g) { return rows[g.begin].size * (copies(g) - 1); };
    auto less = [&](const GroupSpan &a, const GroupSpan &b) {
        const ResultRow &x = rows[a.begin], &y = rows[b.begin];
        switch (order) {
        case GroupOrder::Found: return x.group < y.group;
        case GroupOrder::Space: return space(a) > space(b);
        case GroupOrder::Size: return x.size > y.size;
        case GroupOrder::Copies: return copies(a) > copies(b);
        case GroupOrder::Name: return CompareFolded(x.name, y.name) < 0;
        case GroupOrder::Folder: return CompareFolded(x.folder.str(), y.folder.str()) < 0;
        }
        return false;
    };
    // Ties keep the order found, whatever order the rows were in before.
    std::stable_sort(spans.begin(), spans.end(), [&](const GroupSpan &a, const GroupSpan &b) {
        return less(a, b) || (!less(b, a) && rows[a.begin].group < rows[b.begin].group);
    });
    std::vector<ResultRow> ordered;
    ordered.reserve(rows.size());
    for (std::size_t g = 0; g < spans.size(); ++g)
        for (std::size_t i = spans[g].begin; i < spans[g].end; ++i) {
            ordered.push_back(std::move(rows[i]));
            ordered.back().colour = GroupColour(start, g);
        }
    rows = std::move(ordered);
}

std::vector<bool> GroupsContaining(const std::vector<ResultRow> &rows, std::string_view text)
{
    std::vector<bool> shown(rows.size(), text.empty());
    if (text.empty())
        return shown;
    const std::string wanted = FoldCase(text);
    for (const GroupSpan &g : groupSpans(rows)) {
        bool any = false;
        for (std::size_t i = g.begin; i < g.end && !any; ++i)
            any = FoldCase(rows[i].path()).find(wanted) != std::string::npos;
        std::fill(shown.begin() + static_cast<std::ptrdiff_t>(g.begin),
                  shown.begin() + static_cast<std::ptrdiff_t>(g.end), any);
    }
    return shown;
}

}  // namespace geminor
