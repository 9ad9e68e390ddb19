#include <QTest>

#include "results/append_string.h"
#include "results/format_size.h"

using namespace geminor;

class ResultsTextTest : public QObject
{
    Q_OBJECT
private slots:
    void formatsSizesAtEveryUnit()
    {
        const QLocale c(QLocale::C);
        QCOMPARE(FormatSize(0, c), QStringLiteral("0 Bytes"));
        QCOMPARE(FormatSize(1, c), QStringLiteral("1 Bytes"));
        QCOMPARE(FormatSize(1023, c), QStringLiteral("1023 Bytes"));
        QCOMPARE(FormatSize(1023.9, c), QStringLiteral("1023 Bytes"));
        QCOMPARE(FormatSize(1024, c), QStringLiteral("1.00 KB"));
        QCOMPARE(FormatSize(1536, c), QStringLiteral("1.50 KB"));
        QCOMPARE(FormatSize(1048575, c), QStringLiteral("1024.00 KB"));
        QCOMPARE(FormatSize(1048576, c), QStringLiteral("1.00 MB"));
        QCOMPARE(FormatSize(1073741824, c), QStringLiteral("1.00 GB"));
        QCOMPARE(FormatSize(5.0 * 1073741824 * 1024, c), QStringLiteral("5120.00 GB"));  // no grouping
        QCOMPARE(FormatSize(1536, QLocale(QLocale::German)), QStringLiteral("1,50 KB"));
        QCOMPARE(MarkedTotalsText(3, 1536, c), QStringLiteral("Total Files Marked 3 Size 1.50 KB"));
        QCOMPARE(MarkedTotalsText(0, 0, c), QStringLiteral("Total Files Marked 0 Size 0 Bytes"));
    }

    void buildsTextsInFixedSteps()
    {
        AppendString empty;
        QVERIFY(empty.ReturnString().empty());
        AppendString text;
        text.AddToString("");
        QCOMPARE(text.capacity(), std::size_t{0});
        text.AddToString("abc");
        text.AddToString(std::string_view("d\0f", 3));
        QCOMPARE(text.capacity(), AppendString::kGrowth);
        QCOMPARE(text.ReturnString(), std::string("abcd\0f", 6));
        QCOMPARE(text.ReturnString(), std::string("abcd\0f", 6));
        text.AddToString("g");
        QCOMPARE(text.ReturnString(), std::string("abcd\0fg", 7));
        AppendString big;
        big.AddToString(std::string(25000, 'x'));  // longer than one step: grows as often as needed
        QCOMPARE(big.capacity(), std::size_t{30000});
        QCOMPARE(big.ReturnString().size(), std::size_t{25000});
    }
};

QTEST_GUILESS_MAIN(ResultsTextTest)
#include "results_text_test.moc"
