#include "engine/sorting_lib.h"

#include "tests/support/gtest_common.h"
#include <random>

#include "engine/file_record.h"
#include "engine/walk_companion.h"

namespace geminor {
namespace {

using Texts = std::vector<std::string>;

TEST(SortingLib, BothSortsMatchStdStableSortOnRecordsOfAllSizes)
{
    std::mt19937_64 random(42);
    for (std::size_t n :
         {0u, 1u, 2u, 3u, 7u, 64u, 1000u, 4099u, 40001u}) {  // (the last sorted in two halves)
        SCOPED_TRACE(n);
        std::vector<FileRecord> records;
        for (std::size_t i = 0; i < n; ++i)
            records.push_back({random() % 50 + (i % 3 == 0 ? (5ULL << 32) : 0),
                               std::string(i % 4 == 0   ? "a-long-shared-prefix "
                                           : i % 4 == 1 ? "\xe9t\xe9 "
                                                        : "") +
                                   std::to_string(random() % 20),
                               "/f" + std::to_string(random() % 4) + "/"});
        auto expected = records;
        std::stable_sort(expected.begin(), expected.end(), SizeFirstLess);
        EXPECT_EQ(MergeSortList(records, SizeFirstLess), expected);
        EXPECT_EQ(SortList(records, SizeFirstLess, SizeFirstKey), expected);
    }
}

TEST(SortingLib, TheOrderFoundBesideTheWalkIsTheOrderOfOneSortOfTheFilesFirstReached)
{
    std::mt19937_64 random(7);
    for (std::size_t files : {0u, 1u, 4095u, 4097u, 40000u}) {
        SCOPED_TRACE(files);
        WalkCompanion companion(nullptr);
        SizeOrder expected;
        for (std::size_t handed = 0; handed < files;) {
            std::vector<WalkedFile> batch(std::min<std::size_t>(files - handed, random() % 9000 + 1));
            for (WalkedFile &file : batch) {
                file.state.size = random() % 40;  // many equal keys: their places decide
                file.namePrefix = random() % 3;
                ++handed;
                // Now and then the first file again (a hard link, a folder walked twice): left out.
                file.state.inode = handed > 1 && random() % 10 == 0 ? 1 : handed;
                if (file.state.inode == handed)
                    expected.push_back(
                        {{file.state.size, file.namePrefix}, static_cast<std::uint32_t>(handed)});
            }
            companion.hand(std::move(batch));
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(companion.finish(), expected);
    }
}

}  // namespace
}  // namespace geminor
