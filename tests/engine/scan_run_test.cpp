#include "engine/scan_run.h"

#include "tests/support/gtest_common.h"

namespace geminor {
namespace {

struct Scan
{
    ScanOutcome outcome;
    std::vector<std::string> rows;  // relative path and group
};

Scan scan(const TempTree &tree, SearchRequest request)
{
    SilentHost host;
    CancelRequested cancel{false};
    Scan out;
    out.outcome = RunScan(request, host, cancel);
    out.rows = test::RowsOf(out.outcome, tree.root());
    for (const ResultEntry &e : out.outcome.entries) {  // the walk's look is carried to the result
        struct stat st = {};
        EXPECT_EQ(::lstat(e.path().c_str(), &st), 0);
        EXPECT_EQ(e.seen, IdentityOf(st)) << e.path();
    }
    return out;
}

SearchRequest requestFor(const TempTree &tree, SearchMethod method)
{
    SearchRequest request;
    request.Method = method;
    request.ProtectWindowsFolders = false;
    request.Locations.push_back({tree.root(), "Yes", "*.*", false});
    return request;
}

TEST(ScanRun, EachMethodGivesItsGroupsAndCounts)
{
    TempTree tree;
    tree.write("one/a.txt", "same content");
    tree.write("two/a.TXT", "same content");
    tree.write("two/b.txt", "other content");
    tree.write("three/b.txt", "other conteNT");
    tree.write("empty1", "");
    tree.write("sub/empty2", "");

    Scan s = scan(tree, requestFor(tree, SearchMethod::ByteToByte));
    EXPECT_THAT(s.rows, ElementsAre("two/a.TXT#1", "one/a.txt#1"));  // same size: by name, capitals first
    EXPECT_EQ(s.outcome.DuplicateCount, 1);
    EXPECT_EQ(s.outcome.TotalFiles, 4);
    EXPECT_EQ(s.outcome.TotalFolders, 4);
    EXPECT_FALSE(s.outcome.cancelled);
    EXPECT_THAT(ClosingTexts(s.outcome),
                ElementsAre("Search Completed.", "Duplicates : 1", "Files : 4", "Folders : 4"));

    s = scan(tree, requestFor(tree, SearchMethod::Crc32));
    EXPECT_THAT(s.rows, ElementsAre("two/a.TXT#1", "one/a.txt#1"));

    s = scan(tree, requestFor(tree, SearchMethod::SameName));
    EXPECT_THAT(s.rows, ElementsAre("two/a.TXT#1", "one/a.txt#1", "three/b.txt#2", "two/b.txt#2"));
    EXPECT_EQ(s.outcome.DuplicateCount, 2);
    EXPECT_EQ(s.outcome.groups, 2);  // the window's next scan goes on colouring from here

    s = scan(tree, requestFor(tree, SearchMethod::ZeroSize));
    EXPECT_THAT(s.rows, ElementsAre("empty1#0", "sub/empty2#0"));
    EXPECT_EQ(s.outcome.DuplicateCount, 0);
    EXPECT_EQ(s.outcome.groups, 0);
    EXPECT_EQ(s.outcome.TotalFiles, 2);
    EXPECT_EQ(s.outcome.entries[0].version, "N/A");
}

TEST(ScanRun, ExclusionsOnlyOrNothingAcceptedEndsWithZeroCounts)
{
    TempTree tree;
    tree.write("a", "x");
    SearchRequest request;
    request.Locations.push_back({tree.root(), "Yes", "*.*", true});
    Scan s = scan(tree, request);
    EXPECT_THAT(ClosingTexts(s.outcome),
                ElementsAre("Search Completed.", "Duplicates : 0", "Files : 0", "Folders : 0"));
    EXPECT_TRUE(s.rows.empty());

    request = requestFor(tree, SearchMethod::ByteToByte);
    request.Locations[0].FileTypes = ".none";
    EXPECT_EQ(scan(tree, request).outcome.TotalFiles, 0);
}

TEST(ScanRun, AProtectedLocationIsSaidNotSilentlyEmpty)
{
    TempTree tree;
    tree.write("a", "x");
    tree.write("b", "x");
    ::setenv("GEMINOR_PROTECTED_FOLDERS", tree.root().c_str(), 1);
    SearchRequest request;
    request.Locations = {{tree.root(), "Yes", "*.*", false}};
    const ScanOutcome outcome = scan(tree, request).outcome;
    ::unsetenv("GEMINOR_PROTECTED_FOLDERS");
    EXPECT_EQ(outcome.TotalFiles, 0);
    EXPECT_THAT(ProblemTexts(outcome),
                ::testing::ElementsAre(::testing::StartsWith("1 location is a protected system folder")));
}

TEST(ScanRun, AnExclusionNamedThroughALinkLeavesItsFolderOut)
{
    test::TempTree tree;
    tree.write("data/a", "x");
    tree.write("data/private/b", "x");
    tree.symlink(tree.path("data/private"), "alias");
    SearchRequest request = requestFor(tree, SearchMethod::ByteToByte);
    request.Locations = {{tree.path("data"), "Yes", "*.*", false}, {tree.path("alias"), "Yes", "*.*", true}};
    EXPECT_EQ(scan(tree, request).outcome.TotalFiles, 1);
}

TEST(ScanRun, AReferenceOrFirstLocationNamedThroughAnotherSpellingHoldsTheSameFiles)
{
    test::TempTree tree;
    tree.write("data/photos/a.jpg", "picture");
    tree.write("data/photos/sub/b.jpg", "picture");
    tree.write("data/copy.jpg", "picture");
    tree.symlink(tree.path("data/photos"), "Photos");
    for (const std::string &spelling :
         {tree.path("Photos"), tree.path("Photos") + "/", tree.path("data/photos/sub/..")}) {
        SearchRequest request = requestFor(tree, SearchMethod::ByteToByte);
        request.Locations = {{tree.path("data"), "Yes", "*.*", false}, {spelling, "Yes", "*.*", false, true}};
        const ScanOutcome outcome = scan(tree, request).outcome;
        ASSERT_EQ(outcome.entries.size(), 3u) << spelling;
        for (const ResultEntry &e : outcome.entries)
            EXPECT_EQ(e.reference, e.path().find("photos") != std::string::npos)
                << e.path() << " " << spelling;
        // Without sub-folders the reference holds its own files only.
        request.Locations[1].SubFolder = "No";
        for (const ResultEntry &e : scan(tree, request).outcome.entries)
            EXPECT_EQ(e.reference, e.path().ends_with("a.jpg")) << e.path() << " " << spelling;
    }
}

}  // namespace
}  // namespace geminor
