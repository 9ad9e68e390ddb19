#include "results/marking.h"

#include <cstdlib>

#include "engine/group_runs.h"

namespace geminor {
namespace {

/// Sets every row's mark (and its picture) by `marked(i)` and counts the marked rows. A file
/// in a reference location is never marked.
template <typename Rule> MarkedTotals markBy(std::vector<ResultRow> &rows, Rule marked)
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].marked = !rows[i].reference && marked(i);
        rows[i].markedIcon = rows[i].marked;
    }
    return UpdateMarkedTotals(rows);
}

}  // namespace

MarkedTotals UpdateMarkedTotals(const std::vector<ResultRow> &rows)
{
    MarkedTotals totals;
    for (const ResultRow &row : rows) {
        if (!row.marked)
            continue;
        ++totals.count;
        totals.size += static_cast<double>(row.size);
    }
    return totals;
}

MarkedTotals MarkAll(std::vector<ResultRow> &rows)
{
    return markBy(rows, [](std::size_t) { return true; });
}

MarkedTotals MarkAllDuplicates(std::vector<ResultRow> &rows)
{
    // A group holding a reference file keeps that one: every other member is marked.
    std::vector<bool> keptByReference(rows.size());
    ForEachGroupRun(rows, [&](std::size_t begin, std::size_t end) {
        bool any = false;
        for (std::size_t i = begin; i < end; ++i)
            any = any || rows[i].reference;
        for (std::size_t i = begin; i < end; ++i)
            keptByReference[i] = any && rows[i].group != 0;
    });
    return markBy(rows, [&](std::size_t i) {
        return keptByReference[i] || (i > 0 && rows[i].group == rows[i - 1].group);
    });
}

MarkedTotals MarkSelected(std::vector<ResultRow> &rows, const std::vector<bool> &selected)
{
    return markBy(rows, [&](std::size_t i) { return i < selected.size() && selected[i]; });
}

MarkedTotals MarkNone(std::vector<ResultRow> &rows)
{
    return markBy(rows, [](std::size_t) { return false; });
}

}  // namespace geminor
