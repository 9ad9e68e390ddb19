// geminor-cli -m similar on real pictures: the decoder is wired in, and the result says sizes.
#include <QImage>
#include "tests/support/gtest_common.h"

#include "tests/support/test_pictures.h"
#include "tests/support/cli_helpers.h"

namespace geminor {
namespace {

using GeminorCliSimilar = test::CliTest;

TEST_F(GeminorCliSimilar, GroupsAPictureWithItsSmallerCopyAndCountsTheRest)
{
    tree.write("p/notes.txt", "no picture");
    tree.write("p/broken.png", std::string("\x89PNG\r\n\x1a\n", 8) + "cut short");
    ASSERT_TRUE(test::Pattern(160).save(QString::fromStdString(tree.path("p/large.png"))));
    ASSERT_TRUE(test::Pattern(80).save(QString::fromStdString(tree.write("p/sub/small.jpg", ""))));
    const std::string json = tree.path("result.json");
    ASSERT_EQ(run({"-q", "--no-cache", "-m", "similar", "--json", json, tree.path("p")}), 0) << err;
    EXPECT_EQ(out, tree.path("p/large.png\n") + tree.path("p/sub/small.jpg\n\n"));
    EXPECT_THAT(err, HasSubstr("Duplicates : 1\nFiles : 4\nFolders : 1\nNot pictures : 1\n"));
    EXPECT_THAT(err, HasSubstr("1 file could not be read"));
    EXPECT_THAT(test::readFile(json), HasSubstr("\"method\":\"similar\""));
    EXPECT_THAT(test::readFile(json), HasSubstr("\"width\":160,\"height\":120,\"distance\":0}"));
    EXPECT_THAT(test::readFile(json), HasSubstr("\"width\":80,\"height\":60,\"distance\":"));

    EXPECT_EQ(run({"-m", "similar", "--save-session", tree.path("s.gse"), tree.path("p")}), 2);
    EXPECT_EQ(run({"-m", "similar", "--similarity", "lowest", tree.path("p")}), 2);
    // A report is untrusted: nothing could confirm at the act that its pictures look alike.
    EXPECT_EQ(run({"--apply", json, "--keep", "first", "--delete"}), 2);
}

}  // namespace
}  // namespace geminor
