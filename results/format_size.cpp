#include "results/format_size.h"

#include <cmath>

namespace geminor {
namespace {

QString twoDecimals(double value, const QLocale &locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(value, 'f', 2);
}

}  // namespace

QString FormatSize(double size, const QLocale &locale)
{
    constexpr double kKilo = 1024.0, kMega = kKilo * 1024, kGiga = kMega * 1024;
    if (size >= kGiga)
        return twoDecimals(size / kGiga, locale) + QStringLiteral(" GB");
    if (size >= kMega)
        return twoDecimals(size / kMega, locale) + QStringLiteral(" MB");
    if (size >= kKilo)
        return twoDecimals(size / kKilo, locale) + QStringLiteral(" KB");
    return QString::number(static_cast<qint64>(std::trunc(size))) + QStringLiteral(" Bytes");
}

QString MarkedTotalsText(qint64 count, double size, const QLocale &locale)
{
    return QStringLiteral("Total Files Marked ") + QString::number(count) + QStringLiteral(" Size ") +
           FormatSize(size, locale);
}

}  // namespace geminor
