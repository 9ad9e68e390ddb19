// The checksum cache never changes a result: stale records are never used; damage, a folder others
// can write and two scans at once only cost it its use; records not seen for 90 days are dropped.
#include "engine/checksum_cache.h"

#include "tests/support/gtest_common.h"
#include <mutex>
#include <random>
#include <set>
#include <sys/mman.h>
#include <thread>

#include "tests/support/faulty_file_system.h"

namespace geminor {
namespace {

using ::testing::IsEmpty;

/// Rewrites a file's bytes and puts its modification time back: only its change time tells.
void rewriteKeepingTime(TempTree &tree, const std::string &name, const std::string &content)
{
    struct stat st = {};
    ASSERT_EQ(::stat(tree.path(name).c_str(), &st), 0);
    tree.write(name, content);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, tree.path(name).c_str(), times, 0), 0);
}

/// The rows of a scan of the tree's "t", through the cache in its "cache" when `cached`, which
/// takes files at once unless `settle` says otherwise.
std::vector<std::string> rows(const TempTree &tree, SearchMethod method, bool cached = true,
                              std::chrono::seconds settle = {})
{
    auto cache =
        cached ? ChecksumCache::Open(tree.path("cache"), settle) : Result(std::unique_ptr<ChecksumCache>());
    const ScanOutcome outcome =
        test::ScanFolder(tree.path("t"), method, false, cache ? cache->get() : nullptr);
    return test::RowsOf(outcome, tree.path("t"));
}

/// Skips where the temporary folders lie on a file system the cache is not used for (tmpfs, say).
class ChecksumCacheTest : public ::testing::Test
{
    void SetUp() override
    {
        TempTree tree;
        tree.writeEach({"t/a", "t/b"}, "same");
        rows(tree, SearchMethod::Crc32);
        if (ChecksumCache::RecordsIn(tree.path("cache")) != 2u)
            GTEST_SKIP() << "the temporary folder is on a file system where the cache is not used";
    }
};

TEST_F(ChecksumCacheTest, GivesTheGroupsOfAScanWithoutItWhateverChangedBetweenScans)
{
    std::mt19937 random(9);
    // Long files that differ in the middle or at the end are parted by their last block, or only
    // by a whole read.
    auto content = [&] {
        std::string bytes(random() % 3 ? 100 : random() % 2 ? 9000 : 300000, 'x');
        bytes[random() % 2 ? bytes.size() - 1 : bytes.size() / 2] = static_cast<char>('0' + random() % 3);
        return bytes;
    };
    auto name = [&] { return "t/d" + std::to_string(random() % 4) + "/f" + std::to_string(random() % 60); };
    for (SearchMethod method : {SearchMethod::ByteToByte, SearchMethod::Crc32}) {
        TempTree tree;
        for (int i = 0; i < 90; ++i)
            tree.write(name(), content());
        for (int round = 0; round < 5; ++round) {
            EXPECT_EQ(rows(tree, method), rows(tree, method, false)) << round;
            for (int change = 0; change < 8; ++change)  // changed, touched, replaced, renamed
                if (const std::string file = name(); std::filesystem::exists(tree.path(file)))
                    switch (random() % 4) {
                    case 0: rewriteKeepingTime(tree, file, content()); break;
                    case 1: ::utimensat(AT_FDCWD, tree.path(file).c_str(), nullptr, 0); break;
                    case 2: ::unlink(tree.path(file).c_str()), tree.write(file, content()); break;
                    default: std::filesystem::rename(tree.path(file), tree.path(file + "r"));
                    }
        }
    }
}

TEST_F(ChecksumCacheTest, AStaleRecordIsNeverUsedAndFilesWrittenWithinTheMinuteAreNotTrusted)
{
    const std::string base(8192, 'm');
    for (SearchMethod method : {SearchMethod::ByteToByte, SearchMethod::Crc32}) {
        TempTree tree;
        tree.write("t/a", base + "1");
        tree.write("t/b", base + "2");
        EXPECT_THAT(rows(tree, method), IsEmpty());
        rewriteKeepingTime(tree, "t/b", base + "1");  // now equal to a; same size and time
        EXPECT_THAT(rows(tree, method), ElementsAre("/a#1", "/b#1"));
        // A second write into a page dirtied through a shared map changes the bytes and no time.
        const int fd = ::open(tree.path("t/b").c_str(), O_RDWR);
        auto *map =
            static_cast<char *>(::mmap(nullptr, base.size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        ::close(fd);
        ASSERT_NE(map, MAP_FAILED);
        map[10] = 'x';
        EXPECT_THAT(rows(tree, method, true, ChecksumCache::kSettle), IsEmpty());
        map[10] = 'm';  // the same page: equal to a again
        EXPECT_THAT(rows(tree, method, true, ChecksumCache::kSettle), ElementsAre("/a#1", "/b#1"));
        ::munmap(map, base.size());
    }
}

TEST_F(ChecksumCacheTest, OnlyAFolderAndADatabaseOfTheUsersAloneAreUsed)
{
    TempTree tree;
    tree.write("victim", "precious");
    ASSERT_TRUE(ChecksumCache::Open(tree.path("made/deep"), {}));
    EXPECT_EQ(std::filesystem::status(tree.path("made/deep")).permissions(),
              std::filesystem::perms::owner_all);
    auto plant = [&](const std::string &folder, mode_t mode, const char *link = nullptr) {
        std::filesystem::create_directories(tree.path(folder));
        ::chmod(tree.path(folder).c_str(), mode);
        if (link)
            std::filesystem::create_symlink(tree.path("victim"), tree.path(folder + "/" + link));
        return tree.path(folder);
    };
    const std::string other = plant("other", 0700), open = plant("open", 0700);
    ASSERT_EQ(::chown(other.c_str(), ::geteuid() + 1, static_cast<gid_t>(-1)), 0);
    std::filesystem::copy(tree.path("made/deep"), open, std::filesystem::copy_options::recursive);
    ::chmod((open + "/digests.mdb").c_str(), 0666);  // the user's own records, left writable by everyone
    tree.write("bad/digests.mdb", std::string(8192, '\x5a'));  // not a database at all
    for (const std::string &folder :
         {plant("shared", 01777), plant("group", 0770), other, open, plant("lock", 0700, "digests.mdb-lock"),
          plant("data", 0700, "digests.mdb"), tree.path("bad"), tree.path("victim")}) {
        EXPECT_FALSE(ChecksumCache::Open(folder, {})) << folder;
        EXPECT_EQ(ChecksumCache::RecordsIn(folder), std::nullopt) << folder;
    }
    EXPECT_EQ(test::readFile(tree.path("victim")), "precious");
}

TEST_F(ChecksumCacheTest, DamageCostsOnlyTheCache)
{
    TempTree tree;
    for (int i = 0; i < 300; ++i)
        tree.write("t/" + std::to_string(i % 3) + "/f" + std::to_string(i),
                   std::string(i % 7 * 3000 + 1, 'a') + std::to_string(i % 20));
    const auto expected = rows(tree, SearchMethod::ByteToByte, false);
    ASSERT_EQ(rows(tree, SearchMethod::ByteToByte), expected);
    ASSERT_EQ(ChecksumCache::RecordsIn(tree.path("cache")), 300u);
    std::string whole = test::readFile(tree.path("cache/digests.mdb"));
    whole.resize(whole.find_last_not_of('\0') + 1);  // (the rest is room left past the last page)
    std::mt19937 random(3);
    const std::size_t pages = (whole.size() + 4095) / 4096;
    for (std::size_t page = 0; page <= pages; ++page) {  // each page overwritten, then the file cut short
        std::string damaged = whole.substr(0, page < pages ? whole.size() : whole.size() / 2);
        for (std::size_t i = page * 4096 + 16; i < std::min(damaged.size(), (page + 1) * 4096); ++i)
            damaged[i] = static_cast<char>(random());
        tree.write("cache/digests.mdb", damaged);
        EXPECT_EQ(rows(tree, SearchMethod::ByteToByte), expected) << page;
        EXPECT_TRUE(page < pages || !ChecksumCache::Open(tree.path("cache"), {}));
    }
}

TEST_F(ChecksumCacheTest, TwoScansWriteOneCacheAtOnce)
{
    TempTree tree;
    for (int i = 0; i < 400; ++i)
        tree.write("big/" + std::to_string(i % 2) + "/f" + std::to_string(i), std::to_string(i % 200));
    const std::string shared = tree.path("shared");
    std::string out[3], err[3];
    auto cli = [&](int i, const char *folder) {
        EXPECT_EQ(test::RunCli({"-q", "--cache-dir", shared, tree.path(folder)}, out[i], err[i],
                               "GEMINOR_TEST_CACHE_SETTLE_SECONDS=0 "),
                  0);
    };
    std::thread first(cli, 0, "big/0");
    cli(1, "big/1");
    first.join();
    EXPECT_EQ(ChecksumCache::RecordsIn(shared), 400u);  // every record whole, none lost
    cli(2, "big/0");                                    // (checked by geminor-cli, then used)
    EXPECT_EQ(out[2], out[0]);
    EXPECT_THAT(err[0] + err[1] + err[2], ::testing::Not(::testing::HasSubstr("checksum")));
    EXPECT_LT(ChecksumCache::SizeIn(shared), 120u * 1024);  // (20 KiB of it the lock file's, held in advance)
    EXPECT_EQ(test::RunCli({"--clear-cache", "--cache-dir", shared}, out[0], err[0]), 0);
    EXPECT_EQ(ChecksumCache::SizeIn(shared), 0u);
}

TEST_F(ChecksumCacheTest, ASecondScanReadsNoFileThoughTheSnapshotIsRenewed)
{
    TempTree tree;
    for (int i = 0; i < 4200; ++i)  // more than one snapshot's reads (kRenewEvery)
        tree.write("t/" + std::to_string(i % 8) + "/f" + std::to_string(i), std::to_string(10000 + i % 2100));
    const auto expected = rows(tree, SearchMethod::Crc32);
    test::FaultyFileSystem fs;
    std::atomic<int> reads = 0;
    fs.beforeRead([&](const std::string &, off_t) { ++reads; });
    const ScopedFileSystem installed(fs);
    EXPECT_EQ(rows(tree, SearchMethod::Crc32), expected);
    EXPECT_EQ(reads, 0);
}

TEST_F(ChecksumCacheTest, ARescanReadsWhatChangedAndOnlyTheFilesItMayEqual)
{
    TempTree tree;
    const std::string copy(300000, 'x');
    std::string middle = copy;
    middle[150000] = 'm';  // first and last blocks as the copies', the whole digest not
    tree.writeEach({"t/f-a", "t/f-b"}, copy);
    tree.writeEach({"t/f-c", "t/f-c2"}, middle);
    auto unique = [&](char first) { return first + copy.substr(1); };
    for (char u = 'A'; u < 'U'; ++u)
        tree.write(std::string("t/f-u") + u, unique(u));
    const auto before = ElementsAre("/f-a#1", "/f-b#1", "/f-c#2", "/f-c2#2");
    for (SearchMethod method : {SearchMethod::ByteToByte, SearchMethod::Crc32})
        EXPECT_THAT(rows(tree, method), before);
    tree.write("t/f-d", copy);  // new: its digest must be the one the compare chains
    tree.write("t/f-uC", unique('z'));
    test::FaultyFileSystem fs;
    std::mutex mutex;
    std::set<std::string> opened;
    fs.beforeOpen([&](const std::string &name) {
        const std::lock_guard lock(mutex);
        if (name.starts_with("f-"))
            opened.insert(name);
    });
    const ScopedFileSystem installed(fs);
    EXPECT_THAT(rows(tree, SearchMethod::ByteToByte),
                ElementsAre("/f-a#1", "/f-b#1", "/f-d#1", "/f-c#2", "/f-c2#2"));
    EXPECT_THAT(opened, ElementsAre("f-a", "f-b", "f-c", "f-c2", "f-d", "f-uC"));
}

TEST_F(ChecksumCacheTest, RecordsNotSeenFor90DaysAreDropped)
{
    TempTree tree;
    tree.writeEach({"t/a", "t/b", "t/gone/c", "t/gone/d"}, "same");
    auto recordsAfterScanOn = [&](const char *day) {
        ::setenv("GEMINOR_TEST_CACHE_DAY", day, 1);
        rows(tree, SearchMethod::Crc32);
        ::unsetenv("GEMINOR_TEST_CACHE_DAY");
        return ChecksumCache::RecordsIn(tree.path("cache"));
    };
    EXPECT_EQ(recordsAfterScanOn("20000"), 4u);
    std::filesystem::rename(tree.path("t/gone"), tree.path("gone"));
    EXPECT_EQ(recordsAfterScanOn("20090"), 4u);  // c and d, last seen 90 days ago, are kept
    EXPECT_EQ(recordsAfterScanOn("20091"), 2u);
}

}  // namespace
}  // namespace geminor
