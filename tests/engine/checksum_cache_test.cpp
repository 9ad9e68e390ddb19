// The checksum cache never changes a result: stale records are never used, and damage, locks,
// a folder that cannot be written and two scans at once only cost it its use.
#include "engine/checksum_cache.h"

#include <fcntl.h>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

// Files of a test are seconds old: unless a test says otherwise, the cache takes them at once.
constexpr std::chrono::seconds kAtOnce{0};
const std::string kSettleAtOnce = "GEMINOR_TEST_CACHE_SETTLE_SECONDS=0 ";

std::vector<std::string> rows(const TempTree &tree, SearchMethod method, const std::string &cacheFolder = {},
                              std::chrono::seconds settle = kAtOnce)
{
    std::unique_ptr<ChecksumCache> cache;
    if (!cacheFolder.empty()) {
        auto opened = ChecksumCache::Open(cacheFolder, settle);
        EXPECT_TRUE(opened);
        cache = opened ? std::move(*opened) : nullptr;
    }
    return test::RowsOf(test::ScanFolder(tree.path("t"), method, false, cache.get()), tree.path("t"));
}

/// Whether the temporary folders lie where the cache is used (not on tmpfs, say).
bool cacheUsedForTemporaryFiles()
{
    TempTree tree;
    tree.write("t/a", "same");
    tree.write("t/b", "same");
    rows(tree, SearchMethod::Crc32, tree.path("cache"));
    return ChecksumCache::RecordsIn(tree.path("cache")) == 2u;
}

#define SKIP_UNLESS_CACHE_USED()                                                                             \
    if (!cacheUsedForTemporaryFiles())                                                                       \
    GTEST_SKIP() << "the temporary folder is on a file system where the cache is not used"

TEST(ChecksumCache, GivesTheGroupsOfAScanWithoutItWhateverChangedBetweenScans)
{
    SKIP_UNLESS_CACHE_USED();
    std::mt19937 random(9);
    for (SearchMethod method : {SearchMethod::ByteToByte, SearchMethod::Crc32}) {
        TempTree tree;
        const std::string cache = tree.path("cache");
        auto content = [&](int kind) {
            return std::string(kind % 3 == 0 ? 9000 : 100, 'x') + std::to_string(kind % 5);
        };
        for (int i = 0; i < 60; ++i)
            tree.write("t/d" + std::to_string(i % 4) + "/f" + std::to_string(i),
                       content(static_cast<int>(random() % 10)));
        for (int round = 0; round < 6; ++round) {
            SCOPED_TRACE(round);
            EXPECT_EQ(rows(tree, method, cache), rows(tree, method));
            for (int change = 0; change < 8;
                 ++change) {  // between scans: changed, touched, replaced, renamed
                const std::string name =
                    "t/d" + std::to_string(random() % 4) + "/f" + std::to_string(random() % 60);
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

TEST(ChecksumCache, AStaleRecordIsNeverUsedAndFilesWrittenWithinTheMinuteAreNotTrusted)
{
    for (SearchMethod method : {SearchMethod::ByteToByte, SearchMethod::Crc32}) {
        SCOPED_TRACE(static_cast<int>(method));
        TempTree stale;
        stale.write("t/a", std::string(5000, 'a') + "1");
        stale.write("t/b", std::string(5000, 'a') + "2");
        EXPECT_THAT(rows(stale, method, stale.path("cache")), ::testing::IsEmpty());
        rewriteKeepingTime(stale, "t/b", std::string(5000, 'a') + "1");  // now equal to a; same size and time
        EXPECT_THAT(rows(stale, method, stale.path("cache")), ::testing::ElementsAre("/a#1", "/b#1"));

        // A second write into a page dirtied through a shared map changes the bytes and no time.
        TempTree tree;
        const std::string base(8192, 'm');
        tree.write("t/a", base);
        tree.write("t/b", base);
        const int fd = ::open(tree.path("t/b").c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        auto *map =
            static_cast<char *>(::mmap(nullptr, base.size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        ::close(fd);
        ASSERT_NE(map, MAP_FAILED);
        map[10] = 'x';
        EXPECT_THAT(rows(tree, method, tree.path("cache"), ChecksumCache::kSettle), ::testing::IsEmpty());
        map[10] = 'm';  // the same page: equal to a again
        const auto again = rows(tree, method, tree.path("cache"), ChecksumCache::kSettle);
        EXPECT_EQ(again, rows(tree, method));
        EXPECT_THAT(again, ::testing::ElementsAre("/a#1", "/b#1"));
        ::munmap(map, base.size());
        EXPECT_EQ(ChecksumCache::RecordsIn(tree.path("cache")), 0u);  // nothing that young was kept
    }
}

/// geminor-cli with `args` under `prefix`; its exit status, output in `out` and warnings in `err`.
int cli(const std::vector<std::string> &args, std::string &out, std::string &err,
        const std::string &prefix = {})
{
    return test::RunCli(args, out, err, kSettleAtOnce + prefix);
}

TEST(ChecksumCache, AFolderOthersCanWriteIsNotTrusted)
{
    SKIP_UNLESS_CACHE_USED();
    TempTree tree;
    tree.write("t/a", "same");
    tree.write("t/b", "same");
    tree.write("t/c", "diff");
    tree.write("victim", "precious");
    std::string expected, out, err;
    ASSERT_EQ(cli({"-q", "-m", "crc32", "--no-cache", tree.path("t")}, expected, err), 0);
    // Made by Geminor: no one else's.
    ASSERT_EQ(cli({"-q", "-m", "crc32", "--cache-dir", tree.path("made/deep"), tree.path("t")}, out, err), 0);
    struct stat st = {};
    ASSERT_EQ(::stat(tree.path("made/deep").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(ChecksumCache::RecordsIn(tree.path("made/deep")), 3u);
    auto plant = [&](const std::string &folder, mode_t mode, const char *link) {
        std::filesystem::create_directories(tree.path(folder));
        ::chmod(tree.path(folder).c_str(), mode);
        if (link)
            std::filesystem::create_symlink(tree.path("victim"), tree.path(folder + "/" + link));
        return tree.path(folder);
    };
    const std::string shared = plant("shared", 01777, nullptr), group = plant("group", 0770, nullptr),
                      lock = plant("lock", 0700, "digests.mdb-lock"),
                      data = plant("data", 0700, "digests.mdb");
    const std::string other = plant("other", 0700, nullptr);
    ASSERT_EQ(::chown(other.c_str(), ::geteuid() + 1, static_cast<gid_t>(-1)), 0);
    // The user's own records, left writable by everyone.
    const std::string open = plant("open", 0700, nullptr);
    std::filesystem::copy(tree.path("made/deep"), open,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
    ::chmod((open + "/digests.mdb").c_str(), 0666);
    for (const std::string &folder : {shared, group, lock, data, other, open}) {
        SCOPED_TRACE(folder);
        EXPECT_EQ(cli({"-q", "-m", "crc32", "--cache-dir", folder, tree.path("t")}, out, err), 0);
        EXPECT_EQ(out, expected);
        EXPECT_THAT(err, ::testing::HasSubstr("checksum cache not used"));
        EXPECT_EQ(ChecksumCache::RecordsIn(folder), std::nullopt);
    }
    EXPECT_EQ(test::readFile(tree.path("victim")), "precious");
    EXPECT_TRUE(std::filesystem::is_symlink(tree.path("lock/digests.mdb-lock")));
}

/// Geminor's output for `folder` with the cache in `cacheFolder`; its warnings in `warnings`.
std::string cliOutput(const std::string &folder, const std::string &cacheFolder, std::string &warnings)
{
    std::string out;
    EXPECT_EQ(cli({"-q", "--cache-dir", cacheFolder, folder}, out, warnings), 0) << warnings;
    return out;
}

TEST(ChecksumCache, DamageCostsOnlyTheCache)
{
    SKIP_UNLESS_CACHE_USED();
    TempTree tree;
    for (int i = 0; i < 300; ++i)
        tree.write("t/" + std::to_string(i % 3) + "/f" + std::to_string(i),
                   std::string(i % 7 * 3000 + 1, 'a') + std::to_string(i % 20));
    std::string out, warnings;
    ASSERT_EQ(test::RunCli({"-q", "--no-cache", tree.path("t")}, out, warnings), 0);
    // Not a database at all, and a file where the folder should be.
    tree.write("bad/digests.mdb", std::string(8192, '\x5a'));
    tree.write("file", "x");
    for (const char *folder : {"bad", "file"}) {
        EXPECT_EQ(cliOutput(tree.path("t"), tree.path(folder), warnings), out);
        EXPECT_THAT(warnings, ::testing::HasSubstr("checksum cache not used"));
    }
    // A cache cut short, and one with its pages overwritten: each page in turn.
    const std::string cache = tree.path("cache"), data = cache + "/digests.mdb";
    cliOutput(tree.path("t"), cache, warnings);
    ASSERT_EQ(ChecksumCache::RecordsIn(cache), 300u);
    std::string whole = test::readFile(data);
    whole.resize(whole.find_last_not_of('\0') + 1);  // (the rest is room left past the last page)
    ASSERT_EQ(::truncate(data.c_str(), static_cast<off_t>(whole.size() / 2)), 0);
    EXPECT_EQ(cliOutput(tree.path("t"), cache, warnings), out);
    EXPECT_THAT(warnings, ::testing::HasSubstr("damaged"));
    std::mt19937 random(3);
    for (std::size_t page = 0; page * 4096 < whole.size(); ++page) {
        SCOPED_TRACE(page);
        std::string damaged = whole;
        for (std::size_t i = page * 4096 + 16; i < std::min(whole.size(), (page + 1) * 4096); ++i)
            damaged[i] = static_cast<char>(random());
        tree.write("cache/digests.mdb", damaged);
        EXPECT_EQ(cliOutput(tree.path("t"), cache, warnings), out);
    }
}

TEST(ChecksumCache, TwoScansWriteOneCacheAtOnce)
{
    SKIP_UNLESS_CACHE_USED();
    TempTree tree;
    for (int i = 0; i < 400; ++i)
        tree.write("big/" + std::to_string(i % 2) + "/f" + std::to_string(i), std::to_string(i % 200));
    const std::string shared = tree.path("shared");
    std::string out[2], err[2];
    std::thread first([&] { out[0] = cliOutput(tree.path("big/0"), shared, err[0]); });
    out[1] = cliOutput(tree.path("big/1"), shared, err[1]);
    first.join();
    EXPECT_THAT(err[0] + err[1], ::testing::Not(::testing::HasSubstr("checksum")));
    EXPECT_EQ(ChecksumCache::RecordsIn(shared), 400u);  // every record whole, none lost
    std::string again;
    EXPECT_EQ(cliOutput(tree.path("big/0"), shared, again), out[0]);
    EXPECT_GT(ChecksumCache::SizeIn(shared), 0u);
    EXPECT_LT(ChecksumCache::SizeIn(shared), 120u * 1024);  // (20 KiB of it the lock file's, held in advance)
    EXPECT_EQ(test::RunCli({"--clear-cache", "--cache-dir", shared}, again, err[0]), 0);
    EXPECT_EQ(ChecksumCache::SizeIn(shared), 0u);
}

}  // namespace
}  // namespace geminor
