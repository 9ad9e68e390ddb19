// geminor-cli --folders: whole folders that are copies, listed and acted on as one.
#include "tests/support/gtest_common.h"

#include "tests/support/cli_helpers.h"

namespace geminor {
namespace {

using test::NamesBelow;

struct CliFolders : test::CliTest
{
    void writeA(const std::string &folder, const std::string &two = "two")
    {
        tree.write(folder + "/one.txt", "one one one");
        tree.write(folder + "/sub/two.txt", two);
        tree.write(folder + "/sub/three.bin", "three three");
    }
    void writeTree()
    {
        writeA("in/A");
        writeA("in/B");
        writeA("in/C");
        ::unlink(tree.path("in/C/sub/two.txt").c_str());
        writeA("in/D", "twO");
        tree.write("in/E/two.txt", "two");
        tree.write("in/E/three.bin", "three three");
    }
};

TEST_F(CliFolders, CopiesListedThenTrashedAsOneEntryEachAndBroughtBack)
{
    writeTree();
    const std::string in = tree.path("in/");
    ASSERT_EQ(run({"-q", "--no-cache", "--folders", in}), 0) << err;
    EXPECT_EQ(out, in + "A/\n" + in + "B/\n\n" + in + "A/sub/\n" + in + "B/sub/\n" + in + "E/\n\n");
    EXPECT_THAT(err, HasSubstr("Folder groups : 2\nReclaimable : 39 bytes\n"));

    const test::TrashHome home(tree.path("data"));
    const auto before = NamesBelow(in);
    ASSERT_EQ(run({"-q", "--no-cache", "--folders", "--keep", "first-location", "--trash", in}), 0) << err;
    EXPECT_EQ(NamesBelow(in),
              (std::set<std::string>{"A", "A/one.txt", "A/sub", "A/sub/three.bin", "A/sub/two.txt", "C",
                                     "C/one.txt", "C/sub", "C/sub/three.bin", "D", "D/one.txt", "D/sub",
                                     "D/sub/three.bin", "D/sub/two.txt"}));
    EXPECT_EQ(NamesBelow(tree.path("data/Trash/info/")),
              (std::set<std::string>{"B.trashinfo", "E.trashinfo"}));
    EXPECT_THAT(err, HasSubstr("Trashed : 2\n"));
    ASSERT_EQ(run({"-q", "--undo"}), 0) << err;
    EXPECT_EQ(NamesBelow(in), before);
}

TEST_F(CliFolders, NulEndedRedundantAndJson)
{
    writeTree();
    tree.write("backup/one.txt", "one one one");
    tree.write("backup/x/three.bin", "three three");
    const std::string in = tree.path("in/"), json = tree.path("r.json");
    ASSERT_EQ(
        run({"-q", "--no-cache", "-0", "--folders", "--redundant", "--json", json, in, tree.path("backup")}),
        0)
        << err;
    const std::string nul(1, '\0');
    EXPECT_EQ(out, in + "A/" + nul + in + "B/" + nul + nul + in + "A/sub/" + nul + in + "B/sub/" + nul + in +
                       "E/" + nul + nul + in + "C/sub/" + nul + tree.path("backup/x/") + nul + nul +
                       tree.path("backup/") + "\t22\t4 copies elsewhere" + nul + in +
                       "C/\t22\t4 copies elsewhere" + nul);
    EXPECT_THAT(test::readFile(json), HasSubstr("\"folders\":[\n{\"paths\":[\"" + in + "A/\",\"" + in +
                                                "B/\"],\"files\":3,\"bytes\":25}"));
    EXPECT_THAT(test::readFile(json),
                HasSubstr("\"redundant\":[\n{\"path\":\"" + tree.path("backup/") + "\",\"files\":2"));
    EXPECT_EQ(run({"--folders", "-m", "name", in}), 2);
}

}  // namespace
}  // namespace geminor
