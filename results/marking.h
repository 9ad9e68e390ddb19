#pragma once

#include <cstdint>
#include <vector>

#include "results/result_row.h"

namespace geminor {

/// How many rows are marked and the sum of their sizes.
struct MarkedTotals
{
    std::int64_t count = 0;
    double size = 0;
};

/// The totals of the marked rows, recounted from all rows.
MarkedTotals UpdateMarkedTotals(const std::vector<ResultRow> &rows);

// The marking rules rewrite the mark of every row (and the marked picture with it) and return
// the totals. Mark All Duplicates keeps the first row of every group unmarked by group identity,
// so it never marks every file of a group.
MarkedTotals MarkAll(std::vector<ResultRow> &rows);
MarkedTotals MarkAllDuplicates(std::vector<ResultRow> &rows);
MarkedTotals MarkSelected(std::vector<ResultRow> &rows, const std::vector<bool> &selected);
MarkedTotals MarkNone(std::vector<ResultRow> &rows);

}  // namespace geminor
