// Scans of trees built to trip a duplicate finder up: special files, loops, paths beyond
// PATH_MAX, huge sparse files, and reads that fail, come back short or see a file change.
#include "tests/support/gtest_common.h"
#include <climits>
#include <fstream>
#include <map>
#include <set>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <utility>

#include "engine/scan_run.h"
#include "tests/support/faulty_file_system.h"

namespace geminor {
namespace {

using test::FaultyFileSystem;
using test::RowsOf;

constexpr SearchMethod kContentMethods[] = {SearchMethod::ByteToByte, SearchMethod::Crc32};

std::ptrdiff_t openDescriptorCount()
{
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

TEST(HostileTree, SpecialFilesAreSkippedLinkLoopsEndAndNoPathRepeats)
{
    TempTree tree;
    tree.writeEach({"a", "b"}, "pair");
    tree.writeEach({"empty1", "sub/empty2"}, "");
    ASSERT_EQ(::mkfifo(tree.path("fifo").c_str(), 0600), 0);
    tree.symlink(tree.path("fifo"), "link-to-fifo");
    tree.symlink("/dev/zero", "zero");
    tree.symlink(tree.path("a"), "link-to-a");
    tree.symlink(tree.path("missing"), "dangling");
    ASSERT_EQ(::mknod(tree.path("socket").c_str(), S_IFSOCK | 0600, 0), 0);
    // A device node needs root; without it the rest still runs.
    const bool haveDevice = ::mknod(tree.path("zero-device").c_str(), S_IFCHR | 0600, makedev(1, 5)) == 0;
    tree.writeEach({"d/x", "e/y"}, "same!");
    tree.symlink(".", "d/self");
    tree.symlink("..", "d/up");
    tree.symlink(tree.path("e"), "d/to-e");
    tree.symlink(tree.path("d"), "e/to-d");
    tree.symlink(tree.path("d/x"), "e/to-x");

    for (SearchMethod method : kContentMethods) {  // nothing blocks: a FIFO read would hang the test
        const ScanOutcome s = test::ScanFolder(tree.root(), method);
        EXPECT_THAT(RowsOf(s, tree.root()), ElementsAre("a#1", "b#1", "d/x#2", "e/y#2"));
        EXPECT_EQ(s.TotalFiles, 4);
        EXPECT_EQ(s.TotalFolders, 3);
        EXPECT_EQ(s.unreadableFiles, 0);
    }
    const ScanOutcome zero = test::ScanFolder(tree.root(), SearchMethod::ZeroSize);
    EXPECT_THAT(RowsOf(zero, tree.root()), ElementsAre("empty1#0", "sub/empty2#0"));
    if (!haveDevice)
        GTEST_SKIP() << "device node not tested: mknod needs root";
}

TEST(HostileTree, PathsLongerThanPathMaxAreWalkedReadAndGrouped)
{
    TempTree tree;
    const std::string name(200, 'n');  // 31 levels of 201 bytes: a path of about 6 KB
    const std::string deep = tree.writeDeep("one", name, 31, "deep content");
    tree.writeDeep("two", name, 31, "deep content");
    tree.write("shallow", "deep content");
    ASSERT_GT(deep.size(), static_cast<std::size_t>(PATH_MAX));
    for (SearchMethod method : kContentMethods) {
        const ScanOutcome s = test::ScanFolder(tree.root(), method);
        ASSERT_EQ(s.entries.size(), 3u) << "deep files dropped";
        EXPECT_TRUE(s.entries[0].path() == deep);  // not printed: 6 KB
        EXPECT_EQ(s.unreadableFiles, 0);
        EXPECT_EQ(s.DuplicateCount, 2);
    }
}

TEST(HostileTree, AThousandsDeepTreeEndsAndIsReported)
{
    TempTree tree;
    tree.writeDeep("deep", "d", 1500, "bottom");  // one descriptor and frame per level
    tree.writeEach({"top", "top2"}, "bottom");
    for (SearchMethod method : {SearchMethod::ByteToByte, SearchMethod::ZeroSize}) {
        const ScanOutcome s = test::ScanFolder(tree.root(), method);
        if (method == SearchMethod::ByteToByte) {
            EXPECT_THAT(RowsOf(s, tree.root()), ElementsAre("top#1", "top2#1"));
        }
        EXPECT_GE(s.unlistedFolders, 1);  // what lies below is reported, not dropped in silence
        EXPECT_GE(s.TotalFolders, 900);
    }
}

TEST(HostileTree, HugeSparseFilesKeepExactSizesAndDifferAtFourGiB)
{
    TempTree tree;
    constexpr std::uint64_t kFourGiB = 1ULL << 32;
    tree.truncate("2g-a", kFourGiB / 2);
    tree.truncate("2g-b", kFourGiB / 2);
    tree.truncate("4g", kFourGiB);
    tree.truncate("4g+1-a", kFourGiB + 1);
    tree.truncate("4g+1-b", kFourGiB + 1);
    // The two 4 GiB + 1 files differ only in their last byte, at offset 2^32.
    const int fd = ::open(tree.path("4g+1-b").c_str(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, "x", 1, static_cast<off_t>(kFourGiB)), 1);
    ::close(fd);
    const ScanOutcome s = test::ScanFolder(tree.root(), SearchMethod::ByteToByte);
    EXPECT_THAT(RowsOf(s, tree.root()), ElementsAre("2g-a#1", "2g-b#1"));
    EXPECT_EQ(s.entries.at(0).seen.size, kFourGiB / 2);
    EXPECT_EQ(s.TotalFiles, 5);
}

TEST(ReadFaults, ShortReadsChangeNothingAndFilesThatCannotBeReadAreInNoGroupAndAreCounted)
{
    TempTree tree;
    const std::string big(300 * 1024, 'q');
    tree.writeEach({"a", "b"}, big);
    tree.write("c", big.substr(1) + "!");
    tree.writeEach({"small1", "small2", "bad1", "bad2"}, "tiny");  // two unreadable ones: still no group
    for (SearchMethod method : kContentMethods) {
        const std::vector<std::string> plain = RowsOf(test::ScanFolder(tree.root(), method), tree.root());
        EXPECT_THAT(plain, ElementsAre("bad1#1", "bad2#1", "small1#1", "small2#1", "a#2", "b#2"));
        FaultyFileSystem shortReads, failing;
        shortReads.readShort(true);
        failing.failReadsOf("bad", EIO);
        for (FaultyFileSystem *faulty : {&shortReads, &failing}) {
            ScopedFileSystem use(*faulty);
            const ScanOutcome s = test::ScanFolder(tree.root(), method);
            const bool fails = faulty == &failing;
            EXPECT_EQ(RowsOf(s, tree.root()),
                      fails ? std::vector<std::string>(plain.begin() + 2, plain.end()) : plain);
            EXPECT_EQ(s.unreadableFiles, fails ? 2 : 0);
            EXPECT_EQ(faulty->openDescriptors(), 0);
        }
    }
}

TEST(ReadFaults, FilesChangingWhileReadAreInNoGroup)
{
    for (SearchMethod method : kContentMethods) {
        TempTree tree;
        const std::string big(200 * 1024, 'g');
        tree.writeEach({"grows", "shrinks", "steady1", "steady2", "swapped", "vanishes"}, big);
        FaultyFileSystem faulty;
        bool grown = false, shrunk = false;
        faulty.beforeRead([&](const std::string &name, off_t offset) {
            // Byte to byte reads in blocks: change the files after the first one. CRC-32 reads
            // these in one call, asking one byte more: change them just before it.
            if (method == SearchMethod::ByteToByte && offset == 0)
                return;
            if (name.ends_with("grows") && !grown) {
                grown = true;
                std::ofstream(tree.path("grows"), std::ios::app) << "more";
            }
            if (name.ends_with("shrinks") && !shrunk) {
                shrunk = true;
                ASSERT_EQ(::truncate(tree.path("shrinks").c_str(), 1000), 0);
            }
        });
        faulty.beforeOpen([&](const std::string &name) {
            // Listed as a file, opened as something else: a FIFO must never be read (it would block).
            if (name.ends_with("swapped") && ::unlink(tree.path("swapped").c_str()) == 0) {
                ASSERT_EQ(::mkfifo(tree.path("swapped").c_str(), 0600), 0);
            }
            if (name.ends_with("vanishes"))
                ::unlink(tree.path("vanishes").c_str());
        });
        ScopedFileSystem use(faulty);
        const ScanOutcome s = test::ScanFolder(tree.root(), method);
        EXPECT_THAT(RowsOf(s, tree.root()), ElementsAre("steady1#1", "steady2#1"));
        EXPECT_EQ(s.unreadableFiles, 4);
    }
}

TEST(ReadFaults, AFileReplacedAfterTheWalkByTheSameBytesIsNotTheWalkedFile)
{
    // Files held open are asked what they are only once grouped: b must still be found out.
    for (SearchMethod method : kContentMethods) {
        TempTree tree;
        tree.writeEach({"a", "b", "c"}, "the same bytes");
        FaultyFileSystem faulty;
        bool replaced = false;
        faulty.beforeOpen([&](const std::string &name) {
            if (name.ends_with("b") && !std::exchange(replaced, true))
                ASSERT_EQ(std::rename(tree.write("later", "the same bytes").c_str(), tree.path("b").c_str()),
                          0);
        });
        ScopedFileSystem use(faulty);
        const ScanOutcome s = test::ScanFolder(tree.root(), method);
        EXPECT_TRUE(replaced);
        EXPECT_THAT(RowsOf(s, tree.root()), ElementsAre("a#1", "c#1"));
        EXPECT_EQ(s.unreadableFiles, 1);
        EXPECT_EQ(faulty.openDescriptors(), 0);
    }
}

TEST(ReadFaults, AnyFailingOpenLeavesOnlyTrueGroups)
{
    TempTree tree;
    tree.writeEach({"x/a", "x/b", "x/c"}, "alpha");
    tree.writeEach({"y/d", "y/e"}, "betaa");
    tree.write("z", "gamma");
    for (SearchMethod method : kContentMethods) {
        const std::vector<std::string> all =
            RowsOf(test::ScanFolder(tree.root(), method), tree.root(), false);
        const std::set<std::string> allRows(all.begin(), all.end());
        for (int n = 1; n <= 12; ++n) {
            FaultyFileSystem faulty;
            faulty.failOpenNumber(n, EIO);
            ScopedFileSystem use(faulty);
            const ScanOutcome s = test::ScanFolder(tree.root(), method);
            std::map<std::int32_t, int> sizes;
            for (const ResultEntry &e : s.entries)
                ++sizes[e.group];
            for (const auto &[group, size] : sizes)
                EXPECT_GE(size, 2) << "a group of one when open number " << n << " failed";
            for (const std::string &row : RowsOf(s, tree.root(), false))
                EXPECT_TRUE(allRows.count(row)) << row;
            EXPECT_EQ(faulty.openDescriptors(), 0);
        }
        EXPECT_EQ(allRows.size(), 5u);
    }
}

TEST(ReadFaults, ThousandsOfIdenticalFilesUnderALowDescriptorLimit)
{
    TempTree tree;
    for (int i = 0; i < 3000; ++i)
        tree.write("f/" + std::to_string(10000 + i), "8 bytes!");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    const auto before = openDescriptorCount();
    FaultyFileSystem counting;
    ScanOutcome s;
    {
        ScopedFileSystem use(counting);
        s = test::ScanFolder(tree.root(), SearchMethod::ByteToByte);
    }
    const auto after = openDescriptorCount();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(s.entries.size(), 3000u);
    EXPECT_EQ(s.DuplicateCount, 2999);
    EXPECT_EQ(s.unreadableFiles, 0);
    EXPECT_EQ(counting.openDescriptors(), 0);
    EXPECT_EQ(after, before);
}

TEST(Determinism, ShuffledListingsGiveTheSameResult)
{
    TempTree tree;
    for (int i = 0; i < 40; ++i) {
        tree.write("d" + std::to_string(i % 4) + "/f" + std::to_string(i),
                   "content " + std::to_string(i % 7));
        tree.write("n" + std::to_string(i % 3) + "/same name", std::to_string(i % 3));
    }
    tree.writeEach({"z/empty-a", "z/empty-b"}, "");
    ASSERT_EQ(::link(tree.path("d0/f0").c_str(), tree.path("d3/hard-link").c_str()), 0);
    for (SearchMethod method :
         {SearchMethod::ByteToByte, SearchMethod::Crc32, SearchMethod::SameName, SearchMethod::ZeroSize}) {
        const std::vector<std::string> plain = RowsOf(test::ScanFolder(tree.root(), method), tree.root());
        EXPECT_FALSE(plain.empty());
        for (unsigned seed = 1; seed <= 4; ++seed) {
            FaultyFileSystem shuffled;
            shuffled.shuffleListings(seed);
            ScopedFileSystem use(shuffled);
            EXPECT_EQ(RowsOf(test::ScanFolder(tree.root(), method), tree.root()), plain) << "seed " << seed;
        }
    }
}

}  // namespace
}  // namespace geminor
