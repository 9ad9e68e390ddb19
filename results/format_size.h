#pragma once

#include <QLocale>
#include <QString>

namespace geminor {

/// "1023 Bytes", "1.50 KB", "1024.00 KB", "1.00 GB": two decimals with the locale's separator,
/// no grouping, from 1 KB on.
QString FormatSize(double size, const QLocale &locale = QLocale());

/// The marked-rows line: "Total Files Marked 3 Size 1.50 KB".
QString MarkedTotalsText(qint64 count, double size, const QLocale &locale = QLocale());

}  // namespace geminor
