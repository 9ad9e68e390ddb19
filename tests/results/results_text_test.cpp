#include <QLocale>
#include "tests/support/gtest_common.h"

#include "results/append_string.h"
#include "results/format_size.h"

namespace geminor {
namespace {

TEST(ResultsText, FormatsSizesAtEveryUnit)
{
    const QLocale c(QLocale::C);
    EXPECT_EQ(FormatSize(0, c), QStringLiteral("0 Bytes"));
    EXPECT_EQ(FormatSize(1023.9, c), QStringLiteral("1023 Bytes"));
    EXPECT_EQ(FormatSize(1024, c), QStringLiteral("1.00 KB"));
    EXPECT_EQ(FormatSize(1048575, c), QStringLiteral("1024.00 KB"));
    EXPECT_EQ(FormatSize(1048576, c), QStringLiteral("1.00 MB"));
    EXPECT_EQ(FormatSize(1073741824, c), QStringLiteral("1.00 GB"));
    EXPECT_EQ(FormatSize(5.0 * 1073741824 * 1024, c), QStringLiteral("5120.00 GB"));  // no grouping
    EXPECT_EQ(FormatSize(1536, QLocale(QLocale::German)), QStringLiteral("1,50 KB"));
    EXPECT_EQ(MarkedTotalsText(3, 1536, c), QStringLiteral("Total Files Marked 3 Size 1.50 KB"));
    EXPECT_EQ(MarkedTotalsText(0, 0, c), QStringLiteral("Total Files Marked 0 Size 0 Bytes"));
}

TEST(ResultsText, KeepsEveryByteAcrossReturns)
{
    AppendString text;
    text.AddToString("");
    text.AddToString(std::string_view("ab\0c", 4));
    EXPECT_EQ(text.ReturnString(), std::string("ab\0c", 4));
    EXPECT_EQ(text.ReturnString(), std::string("ab\0c", 4));  // asking twice
    text.AddToString(std::string(25000, 'x'));                // more than one step at once
    EXPECT_EQ(text.ReturnString(), std::string("ab\0c", 4) + std::string(25000, 'x'));
}

}  // namespace
}  // namespace geminor
