#include "results/marking.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace geminor {
namespace {

std::vector<ResultRow> rowsOfGroups(const std::vector<int> &groups, std::uint64_t size = 10)
{
    std::vector<ResultRow> rows;
    for (int g : groups)
        rows.push_back({"f", size, "N/A", "/d/", false, false, g, g % 2 ? RowColour::Black : RowColour::DarkBlue, {}});
    return rows;
}

std::vector<bool> marks(const std::vector<ResultRow> &rows)
{
    std::vector<bool> out;
    for (const ResultRow &r : rows)
        out.push_back(r.marked);
    return out;
}

TEST(Marking, AllDuplicatesKeepsTheFirstOfEveryGroup)
{
    auto rows = rowsOfGroups({1, 1, 2, 2, 2, 3});
    MarkedTotals totals = MarkAllDuplicates(rows);
    EXPECT_THAT(marks(rows), testing::ElementsAre(false, true, false, true, true, false));
    EXPECT_EQ(totals.count, 3);
    EXPECT_EQ(totals.size, 30);
    EXPECT_TRUE(rows[1].markedIcon);

    // Groups, not colours: two neighbouring groups of one colour are still two groups.
    rows = rowsOfGroups({1, 1, 3, 3});
    MarkAllDuplicates(rows);
    EXPECT_THAT(marks(rows), testing::ElementsAre(false, true, false, true));
}

TEST(Marking, OtherRulesAndTotals)
{
    auto rows = rowsOfGroups({0, 0}, 1024);
    rows[1].size = 512;
    MarkedTotals totals = MarkAll(rows);
    EXPECT_EQ(totals.count, 2);
    EXPECT_EQ(totals.size, 1536);
    rows[0].marked = false;  // by hand: the picture stays
    totals = UpdateMarkedTotals(rows);
    EXPECT_EQ(totals.count, 1);
    EXPECT_TRUE(rows[0].markedIcon);

    totals = MarkSelected(rows, {false, false});
    EXPECT_EQ(totals.count, 0);
    EXPECT_THAT(marks(rows), testing::ElementsAre(false, false));
    MarkAll(rows);
    totals = MarkSelected(rows, {false, true});
    EXPECT_THAT(marks(rows), testing::ElementsAre(false, true));  // the selection replaces the marks
    EXPECT_EQ(MarkNone(rows).count, 0);
    std::vector<ResultRow> none;
    EXPECT_EQ(MarkAllDuplicates(none).count, 0);
    EXPECT_EQ(MarkAll(none).size, 0);
}

}  // namespace
}  // namespace geminor
