// The checksum cache never changes a result: stale records are never used, and damage, locks,
// a folder that cannot be written and two scans at once only cost it its use.
#include "engine/checksum_cache.h"

#include <fcntl.h>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>

#include "tests/support/scan_helpers.h"
#include "tests/support/temp_tree.h"

namespace geminor {
namespace {

using test::TempTree;

/// Rewrites a file's bytes and puts its modification time back: only its change time tells.
void rewriteKeepingTime(TempTree &tree, const std::string &name, const std::string &content)
{
    struct stat st = {};
    ASSERT_EQ(::stat(tree.path(name).c_str(), &st), 0);
    tree.write(name, content);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, tree.path(name).c_str(), times, 0), 0);
}

std::vector<std::string> rows(const TempTree &tree, SearchMethod method, const std::string &cacheFolder = {})
{
    std::string warning;
    auto cache = cacheFolder.empty() ? nullptr : ChecksumCache::Open(cacheFolder, warning);
    EXPECT_TRUE(cacheFolder.empty() || cache) << warning;
    return test::RowsOf(test::ScanFolder(tree.path("t"), method, false, cache.get()), tree.path("t"));
}

TEST(ChecksumCache, GivesTheGroupsOfAScanWithoutItWhateverChangedBetweenScans)
{
    std::mt19937 random(9);
    for (SearchMethod method : {SearchMethod::ByteToByte, SearchMethod::Crc32}) {
        TempTree tree;
        const std::string cache = tree.path("cache");
        auto content = [&](int kind) { return std::string(kind % 3 == 0 ? 9000 : 100, 'x') + std::to_string(kind % 5); };
        for (int i = 0; i < 60; ++i)
            tree.write("t/d" + std::to_string(i % 4) + "/f" + std::to_string(i), content(static_cast<int>(random() % 10)));
        for (int round = 0; round < 6; ++round) {
            SCOPED_TRACE(round);
            EXPECT_EQ(rows(tree, method, cache), rows(tree, method));
            for (int change = 0; change < 8; ++change) {  // between scans: changed, touched, replaced, renamed
                const std::string name = "t/d" + std::to_string(random() % 4) + "/f" + std::to_string(random() % 60);
                if (!std::filesystem::exists(tree.path(name)))
                    continue;
                switch (random() % 4) {
                case 0: rewriteKeepingTime(tree, name, content(static_cast<int>(random() % 10))); break;
                case 1: ::utimensat(AT_FDCWD, tree.path(name).c_str(), nullptr, 0); break;
                case 2:
                    ::unlink(tree.path(name).c_str());
                    tree.write(name, content(static_cast<int>(random() % 10)));
                    break;
                default: std::filesystem::rename(tree.path(name), tree.path(name + "r"));
                }
            }
        }
    }
}

TEST(ChecksumCache, AStaleRecordIsNeverUsed)
{
    for (SearchMethod method : {SearchMethod::ByteToByte, SearchMethod::Crc32}) {
        TempTree tree;
        tree.write("t/a", std::string(5000, 'a') + "1");
        tree.write("t/b", std::string(5000, 'a') + "2");
        EXPECT_THAT(rows(tree, method, tree.path("cache")), ::testing::IsEmpty());
        rewriteKeepingTime(tree, "t/b", std::string(5000, 'a') + "1");  // now equal to a; same size and time
        EXPECT_THAT(rows(tree, method, tree.path("cache")), ::testing::ElementsAre("/a#1", "/b#1"));
    }
}

TEST(ChecksumCache, DamageTwoWritersAndAFolderThatCannotBeUsedCostOnlyTheCache)
{
    TempTree tree;
    tree.write("t/a", "same");
    tree.write("t/b", "same");
    const std::vector<std::string> plain = rows(tree, SearchMethod::ByteToByte);
    // Not a database at all.
    tree.write("bad/digests.db", std::string(8192, '\x5a'));
    std::string warning;
    auto cache = ChecksumCache::Open(tree.path("bad"), warning);
    if (cache) {  // some damage shows only on the first read or write
        EXPECT_EQ(test::RowsOf(test::ScanFolder(tree.path("t"), SearchMethod::ByteToByte, false, cache.get()),
                               tree.path("t")),
                  plain);
        warning = cache->warning();
    }
    EXPECT_THAT(warning, ::testing::HasSubstr("checksum cache not used"));
    // A file where the folder should be.
    tree.write("file", "x");
    EXPECT_FALSE(ChecksumCache::Open(tree.path("file"), warning));
    EXPECT_THAT(warning, ::testing::HasSubstr("checksum cache not used"));

    // Two geminor-cli scans writing one cache at once; the cache stays whole and is used after.
    for (int i = 0; i < 400; ++i)
        tree.write("big/" + std::to_string(i % 2) + "/f" + std::to_string(i), std::to_string(i % 200));
    const std::string shared = tree.path("shared");
    int statuses[2] = {-1, -1};
    std::string out[2], err[2];
    std::thread first([&] {
        statuses[0] = test::RunCli({"-q", "--cache-dir", shared, tree.path("big/0")}, out[0], err[0]);
    });
    statuses[1] = test::RunCli({"-q", "--cache-dir", shared, tree.path("big/1")}, out[1], err[1]);
    first.join();
    EXPECT_EQ(statuses[0], 0) << err[0];
    EXPECT_EQ(statuses[1], 0) << err[1];
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2((shared + "/digests.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt *check = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(db);
    std::string again, errors;
    EXPECT_EQ(test::RunCli({"-q", "--cache-dir", shared, tree.path("big/0")}, again, errors), 0);
    EXPECT_EQ(again, out[0]);
    EXPECT_GT(ChecksumCache::SizeIn(shared), 0u);
    EXPECT_LT(ChecksumCache::SizeIn(shared), 100u * 1024);
    EXPECT_EQ(test::RunCli({"--clear-cache", "--cache-dir", shared}, again, errors), 0);
    EXPECT_EQ(ChecksumCache::SizeIn(shared), 0u);
}

}  // namespace
}  // namespace geminor
