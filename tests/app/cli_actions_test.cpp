// geminor-cli acting on what it found: --json, then --apply with --keep first and an action.
#include "tests/support/gtest_common.h"
#include <ctime>
#include <map>

#include "tests/support/cli_helpers.h"

namespace geminor {
namespace {

using ::testing::AllOf;
using ::testing::ContainsRegex;

using GeminorCliActions = test::CliTest;

/// Every file below `root` with its bytes and state: what a dry run must leave as it was.
std::map<std::string, std::string> snapshot(const std::string &root)
{
    std::map<std::string, std::string> files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
        struct stat st = {};
        ::lstat(entry.path().c_str(), &st);
        files[entry.path()] = readFile(entry.path()) + "|" + std::to_string(st.st_ino) + "|" +
                              std::to_string(st.st_mtim.tv_nsec) + "|" + std::to_string(st.st_ctim.tv_nsec);
    }
    return files;
}

TEST_F(GeminorCliActions, AppliesAJsonResultAfterCheckingEveryFileAgainstIt)
{
    for (const std::string folder : {"first/", "second/"}) {
        for (const char *name : {"a", "b", "c", "d", "e"})
            tree.write(folder + name, std::string("content of ") + name);
        tree.write(folder + "new\nline", "odd");
    }
    const std::string json = tree.path("r.json"), data = tree.path("data");
    const test::TrashHome home(data);
    ASSERT_EQ(run({"-q", "--json", json, tree.path("first"), tree.path("second")}), 0) << err;
    EXPECT_THAT(readFile(json), HasSubstr("\"path\":\"" + tree.path("second/new\\nline") + "\""));

    const auto before = snapshot(tree.path("second"));
    EXPECT_EQ(run({"--apply", json, "--keep", "first", "--trash", "--dry-run"}), 0) << err;
    EXPECT_THAT(out, HasSubstr(tree.path("second/a") + "\n"));
    EXPECT_THAT(err, HasSubstr("Would trash : 6\n"));
    EXPECT_EQ(snapshot(tree.path("second")), before);
    EXPECT_FALSE(std::filesystem::exists(data));

    // Between the report and the act: one changed, one replaced, one aliased to its kept copy.
    tree.write("second/a", "content of A");
    ::unlink(tree.path("second/b").c_str());
    tree.write("second/b", "content of b");
    ::unlink(tree.path("second/c").c_str());
    ASSERT_EQ(::symlink(tree.path("first/c").c_str(), tree.path("second/c").c_str()), 0);
    EXPECT_EQ(run({"--apply", json, "--keep", "first", "--trash"}), 3) << err;
    EXPECT_THAT(err, AllOf(HasSubstr("Trashed : 3\nSkipped : 3\nFailed : 0\nFreed : 27 bytes\n"),
                           HasSubstr("skipped " + tree.path("second/a") + ": changed since the scan")));
    for (const char *name : {"a", "b", "c", "d", "e"})
        EXPECT_EQ(readFile(tree.path(std::string("first/") + name)), std::string("content of ") + name);
    EXPECT_FALSE(std::filesystem::exists(tree.path("second/d")));
    EXPECT_EQ(readFile(data + "/Trash/files/e"), "content of e");
    EXPECT_EQ(readFile(data + "/Trash/files/new\nline"), "odd");

    // The operation is listed, and undo puts back what it did; then nothing is left to undo.
    EXPECT_EQ(run({"--journal"}), 0) << err;
    EXPECT_THAT(out, HasSubstr("  trash          3 file(s)\n"));
    EXPECT_EQ(run({"--undo"}), 0) << err;
    EXPECT_THAT(err, HasSubstr("Restored : 3\nSkipped : 0\nFailed : 0\n"));
    EXPECT_EQ(readFile(tree.path("second/e")), "content of e");
    EXPECT_EQ(run({"--journal"}), 0) << err;
    EXPECT_THAT(out, HasSubstr("  3 file(s)  undone\n"));
    EXPECT_EQ(run({"--undo"}), 1);
    EXPECT_THAT(err, HasSubstr("geminor-cli: nothing to undo\n"));

    // Only one action at a time. Without --keep a result that marks nothing does nothing.
    EXPECT_EQ(run({"--apply", json, "--trash"}), 0);
    EXPECT_THAT(err, HasSubstr("the result marks no file"));
    EXPECT_EQ(run({"--apply", json, "--keep", "first", "--trash", "--delete"}), 2);
}

TEST_F(GeminorCliActions, AnExportToStandardOutputReachesItThroughAPipe)
{
    tree.writeEach({"d/1", "d/2"}, "a");
    // The prefix makes geminor-cli's standard output a pipe (/dev/stdout then leads to "pipe:[...]").
    EXPECT_EQ(run({"-q", "--csv", "/dev/stdout", tree.path("d")}, "sh -c 'exec \"$0\" \"$@\" | cat' "), 0)
        << err;
    EXPECT_THAT(out, HasSubstr("File Name,Size(Bytes),Last Modified,Version,Path\r\n1,1,"));
    // A device stays one: exports_test's.
}

TEST_F(GeminorCliActions, ScansAndMovesInOneRunWithByteSafeJson)
{
    const std::string odd = std::string("bad\xff name");
    tree.write("src/" + odd, "same");
    tree.write("src/z" + odd, "same");
    tree.mkdir("into");
    EXPECT_EQ(run({"-q", "--json", tree.path("r.json"), "--keep", "first", "--move-to", tree.path("into"),
                   tree.path("src")}),
              0)
        << err;
    EXPECT_THAT(readFile(tree.path("r.json")), HasSubstr("\"path\":[47,"));  // not UTF-8: its bytes
    EXPECT_EQ(readFile(tree.path("into/z" + odd)), "same");
    EXPECT_EQ(readFile(tree.path("src/" + odd)), "same");
    EXPECT_THAT(err, HasSubstr("Moved : 1\n"));

    // A name with newlines cannot make up a group in the NUL-separated listing.
    tree.writeEach({"nul/a\n\nb", "nul/z\xff\n"}, "same");
    EXPECT_EQ(run({"-q", "-0", tree.path("nul")}), 0) << err;
    EXPECT_EQ(out, tree.path("nul/a\n\nb") + '\0' + tree.path("nul/z\xff\n") + '\0' + '\0');
}

TEST_F(GeminorCliActions, KeepRulesAndReferenceFoldersChooseWhatADryRunLists)
{
    const auto at = [&](const char *name, const std::string &content, std::time_t seconds) {
        tree.write(name, content);
        const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ::utimensat(AT_FDCWD, tree.path(name).c_str(), times, 0);
    };
    at("lib/photo.jpg", "one", 100);              // oldest
    at("lib/new/photo, copy\n.jpg", "one", 300);  // newest, with a longer path
    at("lib/x/photo.jpg", "one", 300);            // newest too, shorter
    at("lib/a.txt", "two", 100);
    at("ref/a.txt", "two", 50);  // in the reference folder: always kept
    at("ref/only1", "three", 1);
    at("ref/only2", "three", 1);  // a group of reference files: left out
    ASSERT_EQ(run({"-q", "--keep", "newest", "--keep", "shortest-path", "--trash", "--dry-run", "--reference",
                   tree.path("ref"), tree.path("lib")}),
              0)
        << err;
    EXPECT_EQ(out, tree.path("lib/a.txt") + "\n" + tree.path("lib/new/photo, copy\n.jpg") + "\n" +
                       tree.path("lib/photo.jpg") + "\n");
    EXPECT_THAT(err, HasSubstr("Duplicates : 3\n"));  // the reference-only group is not counted
    ASSERT_EQ(run({"-q", "-0", "--keep", "oldest", "--delete", "--dry-run", tree.path("lib")}), 0);
    EXPECT_EQ(out, tree.path("lib/new/photo, copy\n.jpg") + '\0' + tree.path("lib/x/photo.jpg") + '\0');

    // The marks travel in the JSON; the listing follows --sort; a rule that is not one is refused.
    ASSERT_EQ(run({"-q", "--keep", "path:*/x/*", "--sort", "copies", "--json", tree.path("r.json"),
                   "--reference", tree.path("ref"), tree.path("lib")}),
              0)
        << err;
    EXPECT_EQ(out.substr(0, out.find(',')), tree.path("lib/new/photo"));  // three copies come first
    const std::string json = readFile(tree.path("r.json"));
    EXPECT_THAT(json, AllOf(HasSubstr("x/photo.jpg\",\"size\":3,"),
                            ContainsRegex("x/photo.jpg\"[^}]*\"marked\":false"),
                            ContainsRegex("ref/a.txt\"[^}]*\"marked\":false,\"reference\":true")));
    EXPECT_EQ(run({"--keep", "latest", "--trash", tree.path("lib")}), 2);
    EXPECT_EQ(run({"--keep", "first", tree.path("lib")}), 2);
}

}  // namespace
}  // namespace geminor
