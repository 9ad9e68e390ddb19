#include "engine/folder_analysis.h"

#include "tests/support/gtest_common.h"

#include "engine/scan_run.h"

namespace geminor {
namespace {

using ::testing::IsEmpty;
using Groups = std::vector<std::vector<std::string>>;

FolderResult scanFolders(const TempTree &tree, std::vector<SearchLocation> locations = {},
                         SearchMethod method = SearchMethod::ByteToByte, bool hidden = false)
{
    SearchRequest request;
    request.Method = method;
    request.ProtectWindowsFolders = false;
    request.IncludeHidden = hidden;
    request.Folders = true;
    request.Locations =
        locations.empty() ? std::vector<SearchLocation>{{tree.root(), "Yes", "*.*", false}} : locations;
    return test::Scan(request).folders;
}

Groups groupsOf(const FolderResult &result, const TempTree &tree)
{
    Groups groups;
    for (const FolderGroup &group : result.groups) {
        groups.emplace_back();
        for (const FolderSummary &member : group.members)
            groups.back().push_back(member.path.substr(tree.root().size()));
    }
    return groups;
}

/// A folder with a file and a sub-folder of two; `tag` ends each content.
void writeA(TempTree &tree, const std::string &folder, const std::string &tag = "",
            const std::string &two = "two")
{
    tree.write(folder + "/one.txt", "one one one" + tag);
    tree.write(folder + "/sub/two.txt", two + tag);
    tree.write(folder + "/sub/three.bin", "three three" + tag);
}

TEST(FolderGroups, CopiesListedOnceAtTheTopUnlessASubFolderMatchesOutside)
{
    TempTree tree;
    writeA(tree, "A");
    writeA(tree, "B");
    writeA(tree, "F");
    writeA(tree, "C");
    ::unlink(tree.path("C/sub/two.txt").c_str());  // less one file
    writeA(tree, "D", "", "twO");                  // one byte changed
    tree.write("E/two.txt", "two");                // a copy of A/sub
    tree.write("E/three.bin", "three three");
    const FolderResult result = scanFolders(tree, {}, SearchMethod::Crc32);
    EXPECT_THAT(groupsOf(result, tree),
                ElementsAre(ElementsAre("A/", "B/", "F/"), ElementsAre("A/sub/", "B/sub/", "E/", "F/sub/")));
    EXPECT_EQ(result.groups[0].members[0].files, 3);
    EXPECT_EQ(result.groups[0].members[0].bytes, 25U);
    EXPECT_EQ(result.reclaimable, 2 * 25U + 14U);  // B and F whole, E; the sub-folders go with B and F
}

TEST(FolderGroups, NamesAllTheWayDownMustMatch)
{
    TempTree tree;
    const auto pair = [&](const std::string &name) {
        writeA(tree, name + "1", name);
        writeA(tree, name + "2", name);
    };
    pair("name");
    ::rename(tree.path("name2/one.txt").c_str(), tree.path("name2/One.txt").c_str());
    pair("extra");
    tree.write("extra2/sub/four.txt", "four");
    pair("empty");
    tree.mkdir("empty2/sub/nothing");
    pair("hidden");
    tree.write("hidden2/.cache", "not walked");
    pair("link");
    tree.symlink("one.txt", "link1/ln");
    tree.symlink("one.txt", "link2/ln");
    pair("other");
    tree.symlink("one.txt", "other1/ln");
    tree.symlink("sub", "other2/ln");
    pair("hard");
    ::unlink(tree.path("hard2/one.txt").c_str());
    ASSERT_EQ(::link(tree.path("hard1/one.txt").c_str(), tree.path("hard2/one.txt").c_str()), 0);
    Groups groups = groupsOf(scanFolders(tree), tree);
    std::sort(groups.begin(), groups.end());
    EXPECT_THAT(groups,
                ElementsAre(ElementsAre("hard1/sub/", "hard2/sub/"), ElementsAre("hidden1/", "hidden2/"),
                            ElementsAre("link1/", "link2/"), ElementsAre("name1/sub/", "name2/sub/"),
                            ElementsAre("other1/sub/", "other2/sub/")));
    for (const auto &group : groupsOf(scanFolders(tree, {}, SearchMethod::ByteToByte, true), tree))
        EXPECT_NE(group[0], "hidden1/");  // a hidden file the request walks counts
}

TEST(FolderGroups, AFolderReachedTwiceOrNotWholeIsNoCopy)
{
    TempTree tree;
    writeA(tree, "A");
    tree.symlink("A", "linkA");
    EXPECT_THAT(
        scanFolders(tree, {{tree.path("A"), "Yes", "*.*", false}, {tree.path("linkA"), "Yes", "*.*", false}})
            .groups,
        IsEmpty());
    writeA(tree, "B", "b");
    writeA(tree, "C", "b");
    tree.write("B/sub/out/x", "x");
    tree.write("C/sub/out/x", "x");
    const std::vector<SearchLocation> whole{{tree.path("B"), "Yes", "*.*", false},
                                            {tree.path("C"), "Yes", "*.*", false}};
    EXPECT_THAT(groupsOf(scanFolders(tree, whole), tree), ElementsAre(ElementsAre("B/", "C/")));
    std::vector<SearchLocation> excluded = whole;
    excluded.push_back({tree.path("C/sub"), "Yes", "*.*", true});
    EXPECT_THAT(scanFolders(tree, excluded).groups, IsEmpty());
}

TEST(FolderGroups, RedundantFoldersHaveEveryFileElsewhere)
{
    TempTree tree;
    tree.write("import/a.jpg", "photo a");
    tree.write("import/day2/b.jpg", "photo b");
    tree.write("import/day2/c.jpg", "photo c");
    tree.write("photos/2020/a.jpg", "photo a");
    tree.write("photos/2020/b.jpg", "photo b");
    tree.write("photos/2021/c.jpg", "photo c");
    tree.write("photos/2021/c-again.jpg", "photo c");
    tree.write("photos/2021/own.jpg", "only here");
    tree.write("inside/x.jpg", "twice inside");
    tree.write("inside/y/x.jpg", "twice inside");
    const FolderResult result = scanFolders(tree);
    EXPECT_THAT(result.groups, IsEmpty());
    ASSERT_EQ(result.redundant.size(), 3U);  // import/ (not its day2/ again), photos/2020/, inside/y/
    const RedundantFolder &import = result.redundant[0];
    EXPECT_EQ(import.folder.path, tree.path("import/"));
    EXPECT_EQ(import.folder.bytes, 21U);
    EXPECT_EQ(import.copies, 1);  // a.jpg and b.jpg have one copy elsewhere
    ASSERT_EQ(import.holders.size(), 2U);
    EXPECT_EQ(import.holders[0].path, tree.path("photos/2020/"));
    EXPECT_EQ(import.holders[0].files, 2);
    EXPECT_EQ(import.holders[1].files, 2);
    EXPECT_EQ(result.redundant[1].folder.path, tree.path("photos/2020/"));
    EXPECT_EQ(result.redundant[2].folder.path, tree.path("inside/y/"));
}

}  // namespace
}  // namespace geminor
