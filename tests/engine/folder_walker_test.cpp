#include "engine/folder_walker.h"

#include <algorithm>
#include "tests/support/gtest_common.h"

#include "engine/protected_folders.h"

namespace geminor {
namespace {

using ::testing::IsEmpty;

struct Walked
{
    std::vector<std::string> files;  // paths relative to the tree, sorted
    WalkResult counts;
};

Walked walk(const TempTree &tree, std::vector<SearchLocation> rows, WalkSettings settings = {},
            ScanHost *host = nullptr)
{
    SilentHost silent;
    CancelRequested cancel{false};
    FileList list = NewFileList();
    for (const SearchLocation &row : rows)
        if (row.Exclude)
            settings.Excluded.push_back(row.Folder);
    FolderWalker walker(settings, list, host ? *host : silent, cancel);
    Walked out;
    for (SearchLocation &row : rows) {
        if (row.Exclude)
            continue;
        const WalkResult r = walker.ScanLocation(row.Folder, row.SubFolder, row.FileTypes);
        out.counts.Files += r.Files;
        out.counts.Folders += r.Folders;
    }
    EXPECT_EQ(list[0], FileRecord{});
    for (std::size_t i = 1; i < list.size(); ++i) {
        const std::string path = list[i].folder + list[i].name;
        EXPECT_EQ(list[i].size, std::filesystem::file_size(path))
            << path;  // its own state, not a neighbour's
        out.files.push_back(path.starts_with(tree.root()) ? path.substr(tree.root().size()) : path);
    }
    std::sort(out.files.begin(), out.files.end());
    return out;
}

SearchLocation location(const TempTree &tree, std::string relative = "", std::string types = "*.*",
                        std::string sub = "Yes")
{
    return {tree.path(relative), sub, types, false};
}

TEST(FolderWalker, ExcludedFoldersAreEnteredAndCountedButYieldNothing)
{
    TempTree tree;
    tree.write("a.txt", "1");
    tree.write("Skip/b.txt", "2");
    tree.write("Skip/deep/c.txt", "3");
    tree.write("keep/d.txt", "4");

    SearchLocation excluded{tree.path("skip/"), "", "", true};  // other case, trailing '/'
    Walked w = walk(tree, {location(tree), excluded});
    EXPECT_THAT(w.files, ElementsAre("a.txt", "keep/d.txt"));
    EXPECT_EQ(w.counts.Files, 2);
    EXPECT_EQ(w.counts.Folders, 2);  // Skip is entered, but its own sub-folder falls away with its files

    SearchLocation self{tree.path(""), "", "", true};
    w = walk(tree, {location(tree), self});
    EXPECT_THAT(w.files, IsEmpty());
    EXPECT_EQ(w.counts.Folders, 0);

    // However the paths were typed: relative, with "." and "..", doubled slashes.
    const std::string cwd = std::filesystem::current_path().native();
    std::filesystem::current_path(tree.root());
    w = walk(tree,
             {SearchLocation{"./", "Yes", "*.*", false}, SearchLocation{"Skip/../keep//", "", "", true}});
    std::filesystem::current_path(cwd);
    EXPECT_THAT(w.files, ElementsAre("./Skip/b.txt", "./Skip/deep/c.txt", "./a.txt"));  // paths stay as typed
    EXPECT_EQ(AbsoluteFolder("/a/./b/../c//"), "/a/c/");

    EXPECT_TRUE(IsExcludedFolder("/data/Émile/", {"/DATA/émile"}));
    EXPECT_FALSE(IsExcludedFolder("/data/emile2/", {"/data/emile"}));
    EXPECT_TRUE(IsExcludedFolder("/", {"/"}));
}

TEST(FolderWalker, ProtectedFoldersEndAtASeparator)
{
    TempTree tree;
    tree.write("sys/a.txt", "1");
    tree.write("sys/deep/e.txt", "5");
    tree.write("system/b.txt", "2");
    tree.write("sys.log", "3");
    tree.write("other/c.txt", "4");
    tree.write("other/Lib/d.txt", "6");
    tree.write("other/library/f.txt", "7");
    WalkSettings settings;
    ::setenv("GEMINOR_PROTECTED_FOLDERS",
             (tree.path("nowhere") + ":" + tree.path("SYS") + "::" + tree.path("other/lib/")).c_str(), 1);
    settings.ProtectedFolders = ProtectedFolders();
    ::unsetenv("GEMINOR_PROTECTED_FOLDERS");
    ASSERT_EQ(settings.ProtectedFolders.size(), 3u);

    Walked w = walk(tree, {location(tree)}, settings);
    EXPECT_THAT(w.files, ElementsAre("other/c.txt", "other/library/f.txt", "sys.log", "system/b.txt"));

    w = walk(tree, {location(tree, "sys/")}, settings);  // a location inside a protected folder
    EXPECT_THAT(w.files, IsEmpty());

    settings.ProtectWindowsFolders = false;
    w = walk(tree, {location(tree)}, settings);
    EXPECT_EQ(w.files.size(), 7u);

    EXPECT_THAT(ProtectedFolders(), testing::Contains("/proc"));
    const std::vector<std::string> system = ProtectedFolders();
    for (const char *path : {"/usr", "/usr/", "/usr/x", "/USR/share/x", "/var/lib/apt", "/snap/x"})
        EXPECT_TRUE(IsProtectedPath(path, system)) << path;
    for (const char *path :
         {"/usr2/x", "/snapshots", "/library", "/devel/", "/var/library", "/", "/home/usr"})
        EXPECT_FALSE(IsProtectedPath(path, system)) << path;
    EXPECT_TRUE(IsProtectedPath("/Data/Émile/x", {"/data/émile"}));
    EXPECT_FALSE(IsProtectedPath("/data/émile2/x", {"/data/Émile"}));
    EXPECT_TRUE(IsProtectedPath("/anything", {"/"}));
}

TEST(FolderWalker, EachFilterOfTheRequestLeavesOutWhatItShould)
{
    TempTree tree;
    tree.writeEach({"a.MP3", "b.rar", "c.r", "noext", "d.ra", "e.tar.Mp3", "f.ÉTÉ", ".hidden.txt",
                    ".config/a.txt", "sub/below.txt"},
                   "x");
    tree.write("empty", "");
    for (int i = 10; i < 70; ++i)  // enough entries for a helper to read the states of the later half
        tree.write("0pad" + std::to_string(i) + ".pad", std::string(i, 'p'));
    auto files = [&](const char *types, WalkSettings settings = {}, const char *sub = "Yes") {
        return walk(tree, {location(tree, "", types, sub)}, settings).files;
    };
    // File types match as a substring of the list, ignoring case.
    EXPECT_THAT(files(".mp3;.ra"), ElementsAre("a.MP3", "c.r", "d.ra", "e.tar.Mp3"));
    EXPECT_THAT(files(".été"), ElementsAre("f.ÉTÉ"));
    WalkSettings hidden;
    hidden.IncludeHidden = true;
    EXPECT_EQ(files("*.*").size(), 68u);
    EXPECT_THAT(files(".txt", hidden), ElementsAre(".config/a.txt", ".hidden.txt", "sub/below.txt"));
    // Empty files are for the zero-size method alone.
    for (SearchMethod method : {SearchMethod::Crc32, SearchMethod::SameName}) {
        WalkSettings settings;
        settings.Method = method;
        EXPECT_EQ(files("*.*", settings), files("*.*"));
    }
    WalkSettings zero;
    zero.Method = SearchMethod::ZeroSize;
    EXPECT_THAT(files("*.*", zero), ElementsAre("empty"));
    // Without sub-folders nothing below is walked or counted; only the exact text "Yes" walks them.
    for (const char *sub : {"No", "yes"}) {
        const Walked w = walk(tree, {location(tree, "", ".txt", sub)}, hidden);
        EXPECT_THAT(w.files, ElementsAre(".hidden.txt"));
        EXPECT_EQ(w.counts.Folders, 0);
    }
}

TEST(FolderWalker, SameFileIsTakenOnceThroughAnyPath)
{
    TempTree tree;
    tree.write("d/a.txt", "1");
    tree.write("d/sub/b.txt", "2");
    ASSERT_EQ(::link(tree.path("d/a.txt").c_str(), tree.path("d/hard.txt").c_str()), 0);
    tree.mkdir("e");
    ASSERT_EQ(::link(tree.path("d/a.txt").c_str(), tree.path("e/a.txt").c_str()), 0);  // in another location
    Walked w = walk(tree, {location(tree, "d"), location(tree, "d/"), location(tree, "d/sub"),
                           location(tree, "d/./"), location(tree, "d/../d"), location(tree, "e")});
    ASSERT_EQ(w.files.size(), 2u);  // a.txt or hard.txt, whichever the listing gives first
    EXPECT_THAT(w.files[0], testing::AnyOf("d/a.txt", "d/hard.txt"));
    EXPECT_EQ(w.files[1], "d/sub/b.txt");
    EXPECT_EQ(w.counts.Files, 2);
}

TEST(FolderWalker, ShowsProgressEveryFiftyEntriesAndStopsOnCancel)
{
    TempTree tree;
    for (int i = 0; i < 120; ++i)
        tree.write("d" + std::to_string(i) + "/f", "x");
    test::RecordingHost host;
    walk(tree, {location(tree)}, {}, &host);
    ASSERT_FALSE(host.status.empty());
    EXPECT_EQ(host.status.front(), "Scanning... " + tree.root());
    host.minimized = true;
    walk(tree, {location(tree)}, {}, &host);
    ASSERT_FALSE(host.titles.empty());
    EXPECT_THAT(host.titles.front(),
                testing::StartsWith("Scanning... " + tree.root().substr(0, 3) + ".../d"));
    EXPECT_EQ(host.titles.front().back(), '/');

    CancelRequested cancel{true};
    FileList list = NewFileList();
    SilentHost silent;
    FolderWalker walker({}, list, silent, cancel);
    std::string folder = tree.root();
    EXPECT_EQ(walker.ScanLocation(folder, "Yes", "*.*").Files, 0);
    EXPECT_EQ(list.size(), 1u);
}

}  // namespace
}  // namespace geminor
