#include "engine/case_fold.h"

#include "tests/support/gtest_common.h"

#include "engine/file_record.h"

namespace geminor {
namespace {

TEST(CaseFold, FoldsUnicodeLettersAndKeepsInvalidBytes)
{
    EXPECT_EQ(FoldCase("ABC.Mp3"), "abc.mp3");
    EXPECT_EQ(FoldCase("ÉTÉ ÄÖÜ Ω"), "été äöü ω");
    EXPECT_EQ(FoldCase(std::string("AB\xff\xc3")), std::string("ab\xff\xc3"));  // invalid bytes stay
    EXPECT_EQ(FoldCase(std::string("\xc0\x81X")), std::string("\xc0\x81x"));  // overlong form is not a letter
    EXPECT_EQ(FoldCase(std::string("a\0B", 3)), std::string("a\0b", 3));
}

TEST(CaseFold, ComparesAsFoldedTextWithoutCopies)
{
    EXPECT_EQ(CompareFolded("Report.DOC", "report.doc"), 0);
    EXPECT_EQ(CompareFolded("É", "é"), 0);
    EXPECT_LT(CompareFolded("a", "B"), 0);
    EXPECT_LT(CompareFolded("ab", "abc"), 0);
    EXPECT_GT(CompareFolded("abc", "AB"), 0);
    EXPECT_EQ(CompareFolded("", ""), 0);
    EXPECT_TRUE(StartsWithFolded("/USR/share", "/usr"));
    EXPECT_FALSE(StartsWithFolded("/us", "/usr"));
    EXPECT_EQ(NameKey("  Report.DOC "), "report.doc");
    EXPECT_EQ(NameKey("   "), "");
}

}  // namespace
}  // namespace geminor
