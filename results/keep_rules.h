#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "results/plan_file.h"
#include "results/marking.h"
#include "results/result_json.h"
#include "results/result_row.h"

namespace geminor {

/// Which file of a group stays.
enum class KeepRule {
    First,
    Newest,
    Oldest,
    ShortestPath,
    LongestPath,
    ShortestName,
    FirstLocation,
    Path,
    NotPath,
    LargestResolution  // the most pixels, then the largest file: for similar pictures
};

struct KeepCriterion
{
    KeepRule rule = KeepRule::First;
    std::string pattern;  // Path and NotPath

    bool operator==(const KeepCriterion &) const = default;
};

/// "first", "newest", "oldest", "shortest-path", "longest-path", "shortest-name",
/// "first-location", "largest-resolution", "path:GLOB" or "not-path:GLOB"; nothing for any
/// other text.
std::optional<KeepCriterion> ParseKeepCriterion(std::string_view text);

/// True when `path` matches the shell pattern: a pattern holding a '/' is matched against the
/// whole path (its '*' also matches '/'), any other against the file name alone.
bool MatchesPattern(const std::string &pattern, const std::string &path);

/// One member of a group as the keep rules see it.
struct KeepCandidate
{
    std::string_view path;
    std::size_t nameLength = 0;
    std::int64_t modifiedNs = 0;
    std::int16_t location = -1;  // -1: held by no location, after every location
    std::uint64_t size = 0;
    std::uint64_t pixels = 0;  // width times height as shown; 0 when not a picture
};

/// The member to keep: each rule keeps the members it likes best among those the earlier rules
/// left, and the first listed of the last ones left stays.
std::size_t KeptMember(std::span<const KeepCandidate> members, const std::vector<KeepCriterion> &rules);

/// What a marking command did.
struct MarkReport
{
    MarkedTotals totals;
    std::int64_t sparedGroups = 0;  // groups of which it would have marked every member
};

/// Rows a command may change: all when empty, else those whose flag is set.
using MarkScope = std::vector<bool>;

// The commands below never mark a reference file, and where they would leave every member of a
// group marked they unmark its first member instead and count the group as spared.

/// Keeps one file of each group by `rules` and marks the others; in a group holding reference
/// files those are kept and every other member is marked.
MarkReport KeepOne(std::vector<ResultRow> &rows, const std::vector<KeepCriterion> &rules,
                   const MarkScope &shown = {});
/// What SettleReportGroup made of a group.
struct ReportGroupMarks
{
    bool byRules = false;              // the result marked nothing in it, and the rules chose
    bool everyFileMarked = false;      // the result marks every file of it: none would be kept
    std::size_t repeats = 0;           // listings of a file already listed, left out
    std::size_t markedReferences = 0;  // reference files the result marks, kept
};

/// Settles the marks of one group of a JSON result, which is data from outside: a file listed
/// again (the same device and inode) is listed once, marked only when every listing marks it;
/// a reference file is never marked; in a group the result marks nothing in, `rules` mark as
/// KeepOne does (no rules: nothing is marked).
ReportGroupMarks SettleReportGroup(std::vector<JsonFile> &files, const std::vector<KeepCriterion> &rules);
/// Marks (or unmarks) every row whose file lies in `folder` or below it; other rows stay.
MarkReport MarkInFolder(std::vector<ResultRow> &rows, const std::string &folder, bool mark,
                        const MarkScope &shown = {});
/// Keeps the file of row `keep` and marks the other members of its group (reference files stay
/// unmarked); the other groups stay as they were. In a zero-size listing only that row changes.
MarkReport KeepThisOne(std::vector<ResultRow> &rows, std::size_t keep);
/// Marks every row whose path matches `pattern` (see MatchesPattern); other rows stay.
MarkReport MarkByPattern(std::vector<ResultRow> &rows, const std::string &pattern,
                         const MarkScope &shown = {});
/// Marks the unmarked rows and unmarks the marked ones.
MarkReport InvertMarks(std::vector<ResultRow> &rows, const MarkScope &shown = {});

}  // namespace geminor
