#include "texts/scan_texts.h"

#include <algorithm>
#include <cstdio>

namespace geminor {
namespace {

/// "12.5" for 5 of 40: one decimal, as the progress texts show it.
std::string percentOf(std::int64_t processed, std::int64_t total)
{
    char text[32];
    const double percent = total ? 100.0 / static_cast<double>(total) * static_cast<double>(processed) : 0.0;
    std::snprintf(text, sizeof text, "%.1f", percent);
    return text;
}

/// The first `count` characters of a UTF-8 text (bytes that are not UTF-8 count as one each).
std::string_view leadingCharacters(std::string_view text, std::size_t count)
{
    std::size_t pos = 0;
    while (count > 0 && pos < text.size()) {
        ++pos;
        while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80)
            ++pos;
        --count;
    }
    return text.substr(0, pos);
}

std::string bytesText(std::uint64_t bytes)
{
    char text[32];
    const double gb = static_cast<double>(bytes) / (1 << 30), mb = static_cast<double>(bytes) / (1 << 20);
    std::snprintf(text, sizeof text, gb >= 1 ? "%.1f GB" : "%.1f MB", gb >= 1 ? gb : mb);
    return text;
}

std::string counts(const ScanProgress &p)
{
    return std::to_string(p.done) + '/' + std::to_string(p.total);
}

std::string searchingText(SearchKind search)
{
    switch (search) {
    case SearchKind::Duplicates: return "Searching for duplicates...";
    case SearchKind::SameNames: return "Searching for same name files...";
    case SearchKind::Pictures: return "Searching for similar pictures...";
    }
    return {};
}

/// " 1.2 GB of 60.0 GB, about 25 s left" while a large size group is compared; else empty.
std::string bytesTail(const ScanProgress &p)
{
    if (p.bytesTotal == 0)
        return {};
    const std::uint64_t bytes = std::min(p.bytes, p.bytesTotal);
    std::string tail = " " + bytesText(bytes) + " of " + bytesText(p.bytesTotal);
    if (bytes > 0 && p.seconds >= 1) {
        const auto left = static_cast<std::int64_t>(p.seconds * static_cast<double>(p.bytesTotal - bytes) /
                                                    static_cast<double>(bytes));
        tail += ", about " + std::to_string(left) + " s left";
    }
    return tail;
}

std::string percent(const ScanProgress &p)
{
    if (p.bytesTotal > 0)
        return percentOf(static_cast<std::int64_t>(p.bytes / 1024),
                         static_cast<std::int64_t>(p.bytesTotal / 1024));
    return percentOf(p.done, p.total);
}

}  // namespace

std::string ProgressStatusText(const ScanProgress &p)
{
    switch (p.phase) {
    case ScanPhase::Walking: return "Scanning... " + std::string(p.folder);
    case ScanPhase::Starting: return "Starting search engine, please wait...";
    case ScanPhase::Searching:
        return p.statusAllowed
                   ? searchingText(p.search) + '(' + counts(p) + ") " + percent(p) + '%' + bytesTail(p)
                   : std::string();
    case ScanPhase::Loading:
        return p.total == 0 ? "Loading Searched Result..." : "Loading Searched Result...(" + counts(p) + ')';
    }
    return {};
}

std::string ProgressTitleText(const ScanProgress &p)
{
    switch (p.phase) {
    case ScanPhase::Walking:
        return "Scanning... " + std::string(leadingCharacters(p.folder, 3)) + ".../" + std::string(p.name);
    case ScanPhase::Searching: return percent(p) + "% (" + counts(p) + ')' + bytesTail(p);
    case ScanPhase::Starting:
    case ScanPhase::Loading: return {};
    }
    return {};
}

std::vector<std::string> ClosingTexts(const ScanOutcome &outcome)
{
    std::vector<std::string> texts{
        "Search Completed.", "Duplicates : " + std::to_string(outcome.DuplicateCount),
        "Files : " + std::to_string(outcome.TotalFiles), "Folders : " + std::to_string(outcome.TotalFolders)};
    if (outcome.method == SearchMethod::SimilarPictures)
        texts.push_back("Not pictures : " + std::to_string(outcome.notPictures));
    return texts;
}

std::vector<std::string> ProblemTexts(const ScanOutcome &outcome)
{
    std::vector<std::string> texts;
    if (outcome.noPictureDecoder)
        texts.push_back("Similar pictures cannot be searched: this build reads no pictures");
    if (outcome.unreadableFiles > 0)
        texts.push_back(std::to_string(outcome.unreadableFiles) + (outcome.unreadableFiles == 1
                                                                       ? " file could not be read"
                                                                       : " files could not be read"));
    if (outcome.protectedLocations > 0)
        texts.push_back(std::to_string(outcome.protectedLocations) +
                        (outcome.protectedLocations == 1 ? " location is a protected system folder"
                                                         : " locations are protected system folders") +
                        ": turn off Protect System Folders to search it");
    if (outcome.cancelled)
        texts.push_back("The search was cancelled: the result holds what was found until then");
    if (outcome.unlistedFolders > 0)
        texts.push_back(std::to_string(outcome.unlistedFolders) + (outcome.unlistedFolders == 1
                                                                       ? " folder could not be read"
                                                                       : " folders could not be read"));
    return texts;
}

}  // namespace geminor
