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
        QCOMPARE(FormatSize(1023.9, c), QStringLiteral("1023 Bytes"));
        QCOMPARE(FormatSize(1024, c), QStringLiteral("1.00 KB"));
        QCOMPARE(FormatSize(1048575, c), QStringLiteral("1024.00 KB"));
        QCOMPARE(FormatSize(1048576, c), QStringLiteral("1.00 MB"));
        QCOMPARE(FormatSize(1073741824, c), QStringLiteral("1.00 GB"));
        QCOMPARE(FormatSize(5.0 * 1073741824 * 1024, c), QStringLiteral("5120.00 GB"));  // no grouping
        QCOMPARE(FormatSize(1536, QLocale(QLocale::German)), QStringLiteral("1,50 KB"));
        QCOMPARE(MarkedTotalsText(3, 1536, c), QStringLiteral("Total Files Marked 3 Size 1.50 KB"));
        QCOMPARE(MarkedTotalsText(0, 0, c), QStringLiteral("Total Files Marked 0 Size 0 Bytes"));
    }

    void keepsEveryByteAcrossReturns()
    {
        AppendString text;
        text.AddToString("");
        text.AddToString(std::string_view("ab\0c", 4));
        QCOMPARE(text.ReturnString(), std::string("ab\0c", 4));
        QCOMPARE(text.ReturnString(), std::string("ab\0c", 4));  // asking twice
        text.AddToString(std::string(25000, 'x'));               // more than one step at once
        QCOMPARE(text.ReturnString(), std::string("ab\0c", 4) + std::string(25000, 'x'));
    }
};

QTEST_GUILESS_MAIN(ResultsTextTest)
#include "results_text_test.moc"
