#include "results/exports.h"

#include <algorithm>

#include "engine/atomic_file.h"
#include "engine/file_system.h"
#include "results/append_string.h"

namespace geminor {
namespace {

constexpr std::size_t kRowsPerPage = 1000;
constexpr std::string_view kOnlyPrevious = "<td><p align=right><b><font face=Arial size=2><a>";
constexpr std::string_view kPlainPrevious = "<td><p align=right><b><font face=Arial size=2>";
constexpr std::string_view kLastNext = "</font></b></p></a></td>";
constexpr std::string_view kPageEnd = "</table><br><br></body></html>";

std::string pageHead(const ReportHead &head)
{
    const std::string site = HtmlEscaped(kProductSite);
    std::string host(kProductSite);
    if (const auto scheme = host.find("://"); scheme != std::string::npos)
        host.erase(0, scheme + 3);
    return "<html><head><meta charset=\"utf-8\"><title>Geminor</title></head>\r\n"
           "<body topmargin=0><table border=0 cellpadding=4 cellspacing=1 style=\"border-collapse: "
           "collapse\" "
           "bordercolor=\"#111111\" width=763>\r\n"
           "<tr><td width=242 height=28><i><font size=6>Geminor<br> </font></i><font size=2 face=Arial><a "
           "href=\"" +
           site +
           "\" style=\"font-weight: 700; font-style: italic; text-decoration: none\"><font "
           "color=\"#0099FF\">" +
           HtmlEscaped(host) +
           "</font></a></font></td>\r\n"
           "<td width=103 align=left valign=bottom><b><font size=2 face=Arial color=#008000>Total "
           "Scanned<br>" +
           HtmlEscaped(head.scanned) +
           "</font></b></td>\r\n"
           "<td width=112 align=left valign=bottom><b><font size=2 face=Arial color=#CC3300>Total "
           "Duplicates<br>" +
           HtmlEscaped(head.duplicates) +
           "</font></b></td>\r\n"
           "<td width=132 align=left valign=bottom><b><font face=Arial size=2>Generate on<br>" +
           HtmlEscaped(head.date) + "</font></b></td>\r\n";
}

std::string tableHead()
{
    const std::string cell =
        "<td bgcolor=#000000 nowrap height=16><p style=\"margin-left: 5; margin-right: 5\"><b>"
        "<font color=#FFFFFF size=2 face=Arial>";
    return "<table border=0 style=\"border-collapse: collapse\" bordercolor=#111111 width=100% cellpadding=2 "
           "cellspacing=0>\r\n<tr>" +
           cell + "File Name</font></b></td>\r\n" + cell + "Size(Bytes)</font></b></td>\r\n" + cell +
           "Last Modified</font></b></td>\r\n" + cell + "Version </font></b></td>\r\n" + cell +
           "Path</font></b></td></tr>\r\n";
}

std::string rowText(const ResultRow &row)
{
    const std::string colour = row.colour == RowColour::Black ? "#99CCFF" : "#FFCC99";
    const std::string cell =
        "<td nowrap bgcolor=\"" + colour +
        "\"><p style=\"margin-left: 5; margin-right: 5\"><font face=\"Arial\" size=\"2\">";
    return "<tr>\r\n" + cell + HtmlEscaped(row.name) + "</font></td>\r\n" + cell + std::to_string(row.size) +
           "</td>\r\n" + cell + HtmlEscaped(ModifiedText(row)) + "</td>\r\n" + "<td nowrap bgcolor=\"" +
           colour +
           "\"><p style=\"margin-left: 5; margin-right: 5\" align=\"center\"><font face=\"Arial\" "
           "size=\"2\">" +
           HtmlEscaped(row.version) + "</td>\r\n" + cell + HtmlEscaped(row.folder.str()) +
           "</td>\r\n</tr>\r\n";
}

/// A neighbour page's address: its file name alone, so the pages work wherever they are moved.
/// The characters a URL would read as its own ('%', '#', '?', and ':' before any '/', a scheme)
/// are percent-encoded.
std::string pageLink(const std::string &base, std::size_t page)
{
    std::string link;
    for (char c : NameOf(base + std::to_string(page) + ".htm")) {
        if (c == '%' || c == '#' || c == '?' || c == ':') {
            constexpr char kHex[] = "0123456789ABCDEF";
            link += '%';
            link += kHex[static_cast<unsigned char>(c) >> 4];
            link += kHex[static_cast<unsigned char>(c) & 15];
        } else {
            link += c;
        }
    }
    return HtmlEscaped(link);
}

std::string previousLink(const std::string &base, std::size_t page)
{
    return std::string(kPlainPrevious) + "<a href=\"" + pageLink(base, page) +
           "\" style=\"text-decoration: none\">&lt;&lt;Previous</a>&nbsp;";
}

std::string nextLink(const std::string &base, std::size_t page)
{
    return "<a href=\"" + pageLink(base, page) +
           "\" style=\"text-decoration: none\">Next&gt;&gt;</font></b></p></a></td>";
}

std::string trimmedSpaces(const std::string &text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string CsvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + '"';
}

std::string CsvText(const std::vector<ResultRow> &rows)
{
    // Marks are a sixth column, there only when something is marked: an unmarked result reads
    // as it always did.
    const bool anyMarked = std::any_of(rows.begin(), rows.end(), [](const ResultRow &r) { return r.marked; });
    AppendString text;
    text.AddToString(anyMarked ? "File Name,Size(Bytes),Last Modified,Version,Path,Marked\r\n"
                               : "File Name,Size(Bytes),Last Modified,Version,Path\r\n");
    for (const ResultRow &row : rows)
        text.AddToString(CsvField(row.name) + ',' + std::to_string(row.size) + ',' +
                         CsvField(ModifiedText(row)) + ',' + CsvField(row.version) + ',' +
                         CsvField(row.folder.str()) + (anyMarked ? (row.marked ? ",Yes" : ",No") : "") +
                         "\r\n");
    text.AddToString("\r\n");
    return text.ReturnString();
}

std::string HtmlEscaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

ReportHead ReportHeadOf(std::int64_t files, std::int64_t duplicates, std::string date)
{
    return {" " + std::to_string(files), " " + std::to_string(duplicates), std::move(date)};
}

std::vector<HtmlPage> HtmlPages(const std::vector<ResultRow> &rows, const std::string &chosenPath,
                                const ReportHead &head,
                                const std::function<void(std::size_t, std::size_t)> &progress)
{
    const std::string base = chosenPath.substr(0, chosenPath.size() >= 4 ? chosenPath.size() - 4 : 0) + ' ';
    const std::string top = pageHead(head);
    const std::string table = tableHead();
    auto page = [&](std::string path, std::string_view previous, std::string_view next,
                    std::string_view body) {
        std::string text;
        text.reserve(top.size() + table.size() + body.size() + 256);
        text.append(top).append(previous).append(next).append(table).append(body).append(kPageEnd).append(
            "\r\n");
        return HtmlPage{std::move(path), std::move(text)};
    };
    std::vector<HtmlPage> pages;
    AppendString body;  // the rows of one page
    const std::size_t full = rows.size() / kRowsPerPage;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        body.AddToString(rowText(rows[i]));
        if ((i + 1) % kRowsPerPage != 0)
            continue;
        const std::size_t k = (i + 1) / kRowsPerPage;
        const std::string previous = k == 1 ? std::string(kPlainPrevious) : previousLink(base, k - 1);
        pages.push_back(
            page(base + std::to_string(k) + ".htm", previous, nextLink(base, k + 1), body.ReturnString()));
        body = AppendString();
        if (progress)
            progress(i + 1, rows.size());
    }
    if (full == 0)
        pages.push_back(page(trimmedSpaces(base) + ".htm", kOnlyPrevious, kLastNext, body.ReturnString()));
    else
        pages.push_back(page(base + std::to_string(full + 1) + ".htm", previousLink(base, full), kLastNext,
                             body.ReturnString()));
    return pages;
}

Status WritePages(const std::vector<HtmlPage> &pages)
{
    std::vector<FileText> files;
    files.reserve(pages.size());
    for (const HtmlPage &page : pages)
        files.push_back({page.path, page.text});
    return WriteFilesAtomically(files);
}

}  // namespace geminor
