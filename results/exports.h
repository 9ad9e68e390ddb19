#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/error.h"
#include "results/result_row.h"

namespace geminor {

/// The product's web address, linked from the HTML report.
inline constexpr std::string_view kProductSite = "https://geminor.org";

/// A cell as written to CSV: quoted (inner quotes doubled) only when it holds a comma, a double
/// quote, CR or LF.
std::string CsvField(std::string_view text);

/// The whole CSV file: the header, one CR LF line per row, and one more CR LF.
std::string CsvText(const std::vector<ResultRow> &rows);

/// Text with &, <, > and " escaped for HTML.
std::string HtmlEscaped(std::string_view text);

/// One page of the HTML report: its file name and its content.
struct HtmlPage
{
    std::string path;
    std::string text;
};

/// What the report's head shows: the two counts as the status panels show them, and the date.
struct ReportHead
{
    std::string scanned;     // " 1234": the files text from its 8th character on
    std::string duplicates;  // " 56": the duplicates text from its 13th character on
    std::string date;        // today, as the locale's short date
};

/// The head for a scan that counted `files` and `duplicates`, made today (`date`): each count
/// after one space, as the status panels show them.
ReportHead ReportHeadOf(std::int64_t files, std::int64_t duplicates, std::string date);

/// The pages of the HTML report for `chosenPath` (meant to end in ".htm"): 1,000 rows a page,
/// linked by previous and next links. `progress(i, n)` is called after each full page.
std::vector<HtmlPage> HtmlPages(const std::vector<ResultRow> &rows, const std::string &chosenPath,
                                const ReportHead &head,
                                const std::function<void(std::size_t, std::size_t)> &progress = {});

/// Writes every page, all or none: a failure part-way leaves the earlier pages as they were.
/// Fails as WriteFilesAtomically does.
Status WritePages(const std::vector<HtmlPage> &pages);

}  // namespace geminor
