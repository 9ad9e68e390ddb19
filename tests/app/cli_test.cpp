// geminor-cli as a user runs it: options, the groups on stdout and the closing texts on stderr.
#include "tests/support/gtest_common.h"

#include "tests/support/cli_helpers.h"

namespace geminor {
namespace {

using GeminorCli = test::CliTest;

TEST_F(GeminorCli, PrintsGroupsAsPathBlocksAndTheClosingTexts)
{
    tree.writeEach({"x/one", "x/two"}, "dup");
    tree.writeEach({"x/new\nline", "x/other"}, "pair");
    tree.write(std::string("x/bad\xff"), "solo");
    ASSERT_EQ(run({"-q", "--no-protect", tree.path("x")}), 0) << err;
    const std::string x = tree.path("x/");
    EXPECT_EQ(out, x + "one\n" + x + "two\n\n" + x + "new\nline\n" + x + "other\n\n");  // smaller size first
    EXPECT_EQ(err, "Search Completed.\nDuplicates : 2\nFiles : 5\nFolders : 0\nReclaimable : 7 bytes\n");

    ASSERT_EQ(run({"-q", "-m", "zero", tree.path("x")}), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(run({"-m", "fuzzy", tree.path("x")}), 2);
    EXPECT_THAT(err, testing::HasSubstr("fuzzy"));
    EXPECT_EQ(run({}), 2);
    EXPECT_EQ(run({tree.path("nowhere")}), 2);
    EXPECT_THAT(err, testing::HasSubstr("nowhere"));
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_THAT(out, testing::StartsWith("geminor-cli "));
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_THAT(out, testing::HasSubstr("Example"));
}

TEST_F(GeminorCli, OptionsBecomeLocationsAndExclusions)
{
    tree.writeEach(
        {"keep/a.jpg", "keep/b.JPG", "keep/c.txt", "skip/d.jpg", "keep/.hidden.jpg", "keep/deeper/e.jpg"},
        "img");
    ASSERT_EQ(run({"-q", "--no-protect", "-t", ".jpg", "-n", "-x", tree.path("skip"), tree.path("keep"),
                   tree.path("skip")}),
              0);
    EXPECT_EQ(out, tree.path("keep/a.jpg") + "\n" + tree.path("keep/b.JPG") + "\n\n");
    ASSERT_EQ(run({"-q", "--no-protect", "-H", "-t", ".jpg", tree.path("keep")}), 0);
    EXPECT_THAT(out, testing::HasSubstr(".hidden.jpg"));
    EXPECT_THAT(out, testing::HasSubstr("deeper/e.jpg"));
}

TEST_F(GeminorCli, SaysWhyASessionOrAResultCannotBeRead)
{
    const std::pair<const char *, const char *> sessions[] = {
        {"Option1\r\n1\r\n0\r\n/a,Yes,*.*,1",
         "Input past end of file: line 4 has no line end and is incomplete; the file was cut short"},
        {"Option1\r\nyes\r\n0\r\n", "Type mismatch: a check box state must be 0 or 1 (line 2)"},
        {"Option1\r\n1\r\n7\r\n", "Invalid property value: a check box state must be 0 or 1 (line 3)"},
        {"Option1\r\n1\r\n0\r\n/b,Yes\r\n",
         "Subscript out of range: line 4 is not a search location (Folder,SubFolder,FileTypes,marker)"},
        {"Option1\r\n1\r\n0\r\n/x%41,Yes,*.*,15%\r\n",
         "Invalid property value: line 4 holds a folder escape other than %0D, %0A or %25"}};
    for (const auto &[text, said] : sessions) {
        run({"-q", "-s", tree.write("s.gmr", text)});
        EXPECT_THAT(err, HasSubstr(std::string(": ") + said + "\n"));
    }
    run({"-q", "-s", tree.path("gone/s.gmr")});
    EXPECT_THAT(err, HasSubstr(": Path not found: " + tree.path("gone/") + "\n"));

    const std::pair<std::string, std::string> results[] = {
        {tree.write("a.json", "{"), "not JSON: expected a member name at byte 1"},
        {tree.write("b.json", "{\"method\":\"byte\"}"), "not a Geminor result: no method or no groups"},
        {tree.path("none.json"), "No such file or directory"},
        {tree.root(), "cannot be read: Is a directory"}};
    for (const auto &[path, said] : results) {
        EXPECT_EQ(run({"--apply", path, "--trash"}), 1);
        EXPECT_THAT(err, ::testing::EndsWith(": " + said + "\n"));
    }
}

TEST_F(GeminorCli, UnderAnAddressSpaceLimitTheScanCompletesOrFailsWhole)
{
    SKIP_IF_SANITIZED();
    for (int i = 0; i < 1000; ++i)
        tree.write("d" + std::to_string(i % 30) + "/f" + std::to_string(i), std::string(100 + i % 50, 'x'));
    ASSERT_EQ(run({"-q", tree.root()}), 0);
    const std::string full = out;
    int completed = 0, failed = 0;
    for (int megabytes = 60; megabytes <= 156; megabytes += 8) {  // QtGui, for pictures, loads too
        const int status = run({"-q", tree.root()}, test::MemoryLimit(megabytes));
        if (status == 127)
            continue;  // too little even to load the libraries
        if (status == 0) {
            EXPECT_EQ(out, full) << megabytes << " MB";
            ++completed;
        } else {
            EXPECT_EQ(status, 1) << megabytes << " MB: " << err;
            EXPECT_EQ(out, "") << megabytes << " MB: a partial result";
            EXPECT_THAT(err, testing::HasSubstr("out of memory")) << megabytes << " MB";
            ++failed;
        }
    }
    EXPECT_GT(completed, 0);
    EXPECT_GT(failed, 0) << "no limit in the range made the scan fail";
}

}  // namespace
}  // namespace geminor
