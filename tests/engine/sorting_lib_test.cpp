#include "engine/sorting_lib.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <random>
#include <string>

#include "engine/file_record.h"

namespace geminor {
namespace {

using ::testing::ElementsAre;
using Texts = std::vector<std::string>;

TEST(SortingLib, EqualElementsLeaveLeftFirstThenRight)
{
    using Tagged = std::pair<int, char>;
    auto byNumber = [](const Tagged &a, const Tagged &b) { return a.first < b.first; };
    const auto merged = MergeLists(std::vector<Tagged>{{1, 'L'}, {2, 'L'}},
                                   std::vector<Tagged>{{1, 'R'}, {3, 'R'}}, byNumber);
    EXPECT_THAT(merged, ElementsAre(Tagged{1, 'L'}, Tagged{1, 'R'}, Tagged{2, 'L'}, Tagged{3, 'R'}));
}

TEST(SortingLib, BothSortsMatchStdStableSortOnRecordsOfAllSizes)
{
    std::mt19937_64 random(42);
    for (std::size_t n : {0u, 1u, 2u, 3u, 7u, 64u, 1000u, 4099u, 40001u}) {  // (the last sorted in two halves)
        SCOPED_TRACE(n);
        std::vector<FileRecord> records;
        for (std::size_t i = 0; i < n; ++i)
            records.push_back({random() % 50 + (i % 3 == 0 ? (5ULL << 32) : 0),
                               std::string(i % 4 == 0 ? "a-long-shared-prefix " : i % 4 == 1 ? "\xe9t\xe9 " : "") +
                                   std::to_string(random() % 20),
                               "/f" + std::to_string(random() % 4) + "/"});
        auto expected = records;
        std::stable_sort(expected.begin(), expected.end(), SizeFirstLess);
        EXPECT_EQ(MergeSortList(records, SizeFirstLess), expected);
        EXPECT_EQ(SortList(records, SizeFirstLess, SizeFirstKey), expected);
    }
}

}  // namespace
}  // namespace geminor
