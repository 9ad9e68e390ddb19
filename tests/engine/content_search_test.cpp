#include "engine/content_search.h"

#include "tests/support/gtest_common.h"
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <random>
#include <stdexcept>
#include <thread>

#include "engine/file_compare.h"
#include "engine/file_system.h"
#include "engine/identical_groups.h"
#include "engine/same_name_search.h"
#include "engine/thread_pool.h"
#include "engine/unique_fd.h"
#include "tests/support/faulty_file_system.h"

namespace geminor {
namespace {

/// Records for files of the tree, in the given (already sorted) order.
std::vector<FileRecord> recordsOf(const TempTree &tree, const std::vector<std::string> &names)
{
    std::vector<FileRecord> out;
    for (const std::string &name : names)
        out.push_back({test::readFile(tree.path(name)).size(), name, tree.root()});
    return out;
}

TEST(ContentSearch, GroupsFollowThePairwiseRuleInBothMethods)
{
    TempTree tree;
    const char *const files[] = {"a5",  "12345",      "b7",  "1234567",    "c7",  "1234567",
                                 "d10", "0123456789", "e10", "ABCDEFGHIJ", "f10", "0123456789",
                                 "g3",  "abc",        "h3",  "abc",        "i3",  "abc"};  // name, content
    for (std::size_t i = 0; i < std::size(files); i += 2)
        tree.write(files[i], files[i + 1]);
    for (SearchMethod method : {SearchMethod::ByteToByte, SearchMethod::Crc32}) {
        test::QuietSearch q;  // the records sorted by size: 3, 3, 3, 5, 7, 7, 10, 10, 10
        SearchDuplicates(recordsOf(tree, {"g3", "h3", "i3", "a5", "b7", "c7", "d10", "e10", "f10"}), method,
                         q.state);
        std::vector<std::string> rows;
        for (const ResultEntry &e : q.state.DuplicateRecords)
            rows.push_back(e.name + ":" + std::to_string(e.group));
        EXPECT_THAT(rows, ElementsAre("g3:1", "h3:1", "i3:1", "b7:2", "c7:2", "d10:3", "f10:3"));
        EXPECT_EQ(q.state.DuplicateCount, 4);
    }
}

TEST(ContentSearch, ACancelPartWayKeepsTheGroupsAlreadyFound)
{
    TempTree tree;
    tree.writeEach({"a1", "a2"}, "first kind");
    tree.writeEach({"b1", "b2"}, "other kind");
    test::QuietSearch q;
    test::FaultyFileSystem seam;  // the cancel comes while the second kind is read
    seam.beforeRead([&](const std::string &name, off_t) {
        if (name.ends_with("b1"))
            q.cancel = true;
    });
    ScopedFileSystem use(seam);
    SearchDuplicates(recordsOf(tree, {"a1", "a2", "b1", "b2"}), SearchMethod::Crc32, q.state);
    ASSERT_EQ(q.state.DuplicateRecords.size(), 2u);
    EXPECT_EQ(q.state.DuplicateRecords[0].name, "a1");
    EXPECT_EQ(q.state.DuplicateRecords[1].name, "a2");
}

TEST(ByteComparer, SameOnlyForTheSameBytesOfTheLengthExpected)
{
    TempTree tree;
    const std::string twoBlocks(2000, 'x');
    auto open = [&](const char *name, const std::string &content) {
        return UniqueFd(OpenPath(tree.write(name, content), O_RDONLY | O_CLOEXEC));
    };
    const UniqueFd a = open("a", twoBlocks), b = open("b", twoBlocks),
                   c = open("c", twoBlocks.substr(1) + "y"), d = open("d", twoBlocks + "z");
    ByteComparer compare(1000);
    EXPECT_TRUE(compare.same(a.get(), b.get(), 2000));
    EXPECT_FALSE(compare.same(a.get(), c.get(), 2000));  // the last byte differs
    EXPECT_FALSE(compare.same(d.get(), d.get(), 2000));  // longer than expected: it grew
    EXPECT_FALSE(compare.same(a.get(), b.get(), 2001));  // shorter than expected
    EXPECT_FALSE(compare.same(a.get(), -1, 2000));
    std::vector<std::byte> buffer;
    EXPECT_EQ(FileCrc32(FileReader(tree.write("t", "123456789")), std::nullopt, buffer),
              0xCBF43926u);  // the check value
}

TEST(IdenticalGroups, ExactWhateverTheDigestTheKeptBlocksOrTheOpenFiles)
{
    TempTree tree;
    std::mt19937 random(5);
    std::vector<std::string> names;
    std::map<std::string, std::vector<std::uint32_t>> byContent;
    for (std::uint32_t i = 0; i < 1200; ++i) {  // enough for a round to be read by two threads
        // Twelve kinds that differ in one byte: in the first block, the middle, the last block
        // (read out of turn) or the last byte.
        std::string content(140000, 'z');
        const std::size_t kind = random() % 12;
        content[std::vector<std::size_t>{0, 4095, 4096, 70000, 136000, 139999}[kind % 6]] =
            static_cast<char>('a' + kind);
        if (i % 97 == 0)
            content[1] = static_cast<char>(i);  // alone
        names.push_back("f" + std::to_string(10000 + i));
        tree.write(names.back(), content);
        byContent[content].push_back(i);
    }
    std::vector<std::vector<std::uint32_t>> expected;
    for (const auto &[content, members] : byContent)
        if (members.size() > 1)
            expected.push_back(members);
    std::sort(expected.begin(), expected.end());
    const auto records = recordsOf(tree, names);
    // A digest of 2 bits makes nearly every digest match a collision that only the bytes settle.
    for (const CompareLimits limits :
         {CompareLimits{}, CompareLimits{8, 0, 2}, CompareLimits{1, 4096 * 3, 64}}) {
        test::QuietSearch q;
        ThreadPool helpers(1);
        const MemberGroups groups = IdenticalGroups(records, q.state, limits, {nullptr, nullptr, &helpers});
        std::vector<std::vector<std::uint32_t>> found;
        for (std::size_t g = 0; g < groups.size(); ++g)
            found.emplace_back(groups[g].begin(), groups[g].end());
        EXPECT_EQ(found, expected) << limits.keptBlocks << " " << limits.digestBits;
        EXPECT_EQ(q.state.unreadableFiles, 0);
    }
}

TEST(IdenticalGroups, AFileReplacedBetweenReadsIsNotTheFileCompared)
{
    // Another file of the very same bytes takes b's name between b's first and second read: only
    // its identity tells, and b is then unreadable, not a copy of a.
    TempTree tree;
    const std::string content = std::string(4096, 'p') + std::string(5000, 'q');
    tree.write("a", content);
    const std::string b = tree.write("b", content);
    const auto records = recordsOf(tree, {"a", "b"});
    test::FaultyFileSystem seam;
    int opensOfB = 0;
    seam.beforeOpen([&](const std::string &name) {
        if (name.ends_with("/b") && ++opensOfB == 2)
            ASSERT_EQ(std::rename(tree.write("other", content).c_str(), b.c_str()), 0);
    });
    ScopedFileSystem use(seam);
    test::QuietSearch q;
    CompareLimits limits;
    limits.maxOpen = 0;  // every read opens its file again
    EXPECT_EQ(IdenticalGroups(records, q.state, limits).size(), 0u);
    EXPECT_EQ(q.state.unreadableFiles, 1);
    EXPECT_EQ(opensOfB, 2);
}

TEST(ThreadPool, AJobIsDoneOnceByAThreadOfThePoolOrItsWaiterAndTellsWhatItThrew)
{
    ThreadPool none(0);  // no thread: each job is done by its waiter
    int done = 0;
    PoolJob job = none.start([&] { ++done; });
    job.wait();
    EXPECT_EQ(done, 1);
    job = none.start([] { throw std::runtime_error("inside the job"); });
    EXPECT_THROW(job.wait(), std::runtime_error);
    {
        const PoolJob dropped = none.start([&] { ++done; });
    }  // its owner went before any thread began it
    EXPECT_EQ(done, 1);
    ThreadPool two(2);
    std::atomic<int> count{0};
    std::vector<PoolJob> jobs;
    for (int i = 0; i < 100; ++i)
        jobs.push_back(two.start([&] { ++count; }));
    for (PoolJob &each : jobs)
        each.wait();
    EXPECT_EQ(count, 100);
}

TEST(ContentSearch, ShowsProgressInStatusOrTitle)
{
    test::RecordingHost host;
    TempTree tree;
    tree.write("a", "1");
    tree.write("b", "22");
    const auto records = recordsOf(tree, {"a", "b"});
    CancelRequested cancel{false};
    SearchState state(host, cancel);
    SearchDuplicates(records, SearchMethod::ByteToByte, state);
    EXPECT_THAT(host.status, ElementsAre("Searching for duplicates...(1/2) 50.0%"));
    host.minimized = true;
    SearchDuplicates(records, SearchMethod::ByteToByte, state);
    EXPECT_THAT(host.titles, ElementsAre("50.0% (1/2)"));

    // One size group that takes long: its bytes and the time left, in the title while minimized.
    tree.writeEach({"big1", "big2"}, std::string(3 << 20, 'x'));
    const auto big = recordsOf(tree, {"big1", "big2"});
    test::FaultyFileSystem slow;
    std::atomic<int> reads{0};
    slow.beforeRead([&](const std::string &, off_t) {
        if (++reads <= 6)
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
    });
    ScopedFileSystem use(slow);
    host.titles.clear();
    SearchDuplicates(big, SearchMethod::ByteToByte, state);
    ASSERT_FALSE(host.titles.empty());
    EXPECT_THAT(host.titles.front(), ::testing::MatchesRegex(R"([0-9.]+% \(0/2\) [0-9.]+ MB of 6\.0 MB.*)"));
    EXPECT_THAT(host.titles, ::testing::Contains(::testing::HasSubstr("s left")));
}

TEST(SameNameSearch, GroupsNamesEqualAfterTrimmingAndFolding)
{
    std::vector<FileRecord> records{
        {5, "a.txt", "/x/"},       {7, "b.txt", "/x/"},   {9, "b.txt", "/y/"},  {1, "Report.doc", "/x/"},
        {2, " report.DOC", "/y/"}, {3, "ÉTÉ.txt", "/x/"}, {4, "été.txt", "/y/"}};
    std::stable_sort(records.begin(), records.end(), [](const FileRecord &a, const FileRecord &b) {
        return NameKey(a.name) < NameKey(b.name);  // as the scan orders them
    });
    std::vector<std::string> keys;
    for (const FileRecord &r : records)
        keys.push_back(NameKey(r.name));
    test::QuietSearch q;
    SearchSameNames(records, keys, q.state);
    std::vector<std::string> rows;
    for (const auto &e : q.state.DuplicateRecords)
        rows.push_back(e.folder + e.name + ":" + std::to_string(e.group));
    EXPECT_THAT(rows, ElementsAre("/x/b.txt:1", "/y/b.txt:1", "/x/Report.doc:2", "/y/ report.DOC:2",
                                  "/x/ÉTÉ.txt:3", "/y/été.txt:3"));
    EXPECT_EQ(q.state.DuplicateCount, 3);
}

}  // namespace
}  // namespace geminor
