#include "results/keep_rules.h"

#include <algorithm>
#include <fnmatch.h>
#include <limits>
#include <utility>
#include <map>

#include "engine/group_runs.h"

namespace geminor {
namespace {

/// How much a rule likes a member: lower is better.
std::int64_t rankOf(const KeepCandidate &member, std::size_t index, const KeepCriterion &rule)
{
    switch (rule.rule) {
    case KeepRule::First: return static_cast<std::int64_t>(index);
    case KeepRule::Newest: return -member.modifiedNs;
    case KeepRule::Oldest: return member.modifiedNs;
    case KeepRule::ShortestPath: return static_cast<std::int64_t>(member.path.size());
    case KeepRule::LongestPath: return -static_cast<std::int64_t>(member.path.size());
    case KeepRule::ShortestName: return static_cast<std::int64_t>(member.nameLength);
    case KeepRule::FirstLocation:
        return member.location < 0 ? std::numeric_limits<std::int64_t>::max() : member.location;
    case KeepRule::Path: return MatchesPattern(rule.pattern, std::string(member.path)) ? 0 : 1;
    case KeepRule::NotPath: return MatchesPattern(rule.pattern, std::string(member.path)) ? 1 : 0;
    case KeepRule::LargestResolution: break;  // two halves: see score()
    }
    return 0;
}

std::int64_t largest(std::uint64_t value)
{
    return -static_cast<std::int64_t>(
        std::min<std::uint64_t>(value, std::numeric_limits<std::int64_t>::max()));
}

/// A rule's rank of a member and what breaks its ties within the rule: the largest resolution
/// goes on to the largest file, so a re-encoded copy at the same size loses to the fuller one.
std::pair<std::int64_t, std::int64_t> score(const KeepCandidate &member, std::size_t index,
                                            const KeepCriterion &rule)
{
    if (rule.rule == KeepRule::LargestResolution)
        return {largest(member.pixels), largest(member.size)};
    return {rankOf(member, index, rule), 0};
}

/// The runs of rows of one group in `shown`: calls `each(begin, end)`. A zero-size listing
/// (group 0) is one group: all its files are alike.
template <typename Each>
void forEachGroup(const std::vector<ResultRow> &rows, const MarkScope &shown, Each each)
{
    ForEachGroupRun(rows, [&](std::size_t begin, std::size_t end) {
        if (shown.empty() || shown[begin])
            each(begin, end);
    });
}

void setMark(ResultRow &row, bool marked)
{
    row.marked = marked && !row.reference;
    row.markedIcon = row.marked;
}

/// Unmarks the first member of every group left with all its members marked.
MarkReport spareAndCount(std::vector<ResultRow> &rows, const MarkScope &shown)
{
    MarkReport report;
    forEachGroup(rows, shown, [&](std::size_t begin, std::size_t end) {
        if (std::all_of(rows.begin() + static_cast<std::ptrdiff_t>(begin),
                        rows.begin() + static_cast<std::ptrdiff_t>(end),
                        [](const ResultRow &r) { return r.marked; })) {
            setMark(rows[begin], false);
            ++report.sparedGroups;
        }
    });
    report.totals = UpdateMarkedTotals(rows);
    return report;
}

template <typename Rule>
MarkReport markEach(std::vector<ResultRow> &rows, const MarkScope &shown, Rule marked)
{
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (shown.empty() || shown[i])
            setMark(rows[i], marked(rows[i]));
    return spareAndCount(rows, shown);
}

}  // namespace

std::optional<KeepCriterion> ParseKeepCriterion(std::string_view text)
{
    static const std::pair<std::string_view, KeepRule> kNames[] = {
        {"first", KeepRule::First},
        {"newest", KeepRule::Newest},
        {"oldest", KeepRule::Oldest},
        {"shortest-path", KeepRule::ShortestPath},
        {"longest-path", KeepRule::LongestPath},
        {"shortest-name", KeepRule::ShortestName},
        {"first-location", KeepRule::FirstLocation},
        {"largest-resolution", KeepRule::LargestResolution}};
    for (const auto &[name, rule] : kNames)
        if (text == name)
            return KeepCriterion{rule, {}};
    for (const auto &[prefix, rule] : {std::pair{std::string_view("path:"), KeepRule::Path},
                                       std::pair{std::string_view("not-path:"), KeepRule::NotPath}})
        if (text.starts_with(prefix) && text.size() > prefix.size())
            return KeepCriterion{rule, std::string(text.substr(prefix.size()))};
    return std::nullopt;
}

bool MatchesPattern(const std::string &pattern, const std::string &path)
{
    if (pattern.find('/') != std::string::npos)
        return ::fnmatch(pattern.c_str(), path.c_str(), 0) == 0;
    const std::size_t slash = path.rfind('/');
    return ::fnmatch(pattern.c_str(), path.c_str() + (slash == std::string::npos ? 0 : slash + 1), 0) == 0;
}

std::size_t KeptMember(std::span<const KeepCandidate> members, const std::vector<KeepCriterion> &rules)
{
    std::vector<std::size_t> left(members.size());
    for (std::size_t i = 0; i < left.size(); ++i)
        left[i] = i;
    std::vector<std::pair<std::int64_t, std::int64_t>> scores;
    for (const KeepCriterion &rule : rules) {
        if (left.size() < 2)
            break;
        scores.clear();
        for (std::size_t i : left)
            scores.push_back(score(members[i], i, rule));
        const auto best = *std::min_element(scores.begin(), scores.end());
        std::size_t kept = 0;
        for (std::size_t k = 0; k < left.size(); ++k)
            if (scores[k] == best)
                left[kept++] = left[k];
        left.resize(kept);
    }
    return left.empty() ? 0 : left.front();
}

MarkReport KeepOne(std::vector<ResultRow> &rows, const std::vector<KeepCriterion> &rules,
                   const MarkScope &shown)
{
    std::vector<KeepCandidate> members;
    std::vector<std::string> paths;
    forEachGroup(rows, shown, [&](std::size_t begin, std::size_t end) {
        const bool anyReference = std::any_of(rows.begin() + static_cast<std::ptrdiff_t>(begin),
                                              rows.begin() + static_cast<std::ptrdiff_t>(end),
                                              [](const ResultRow &r) { return r.reference; });
        std::size_t keep = end;  // with reference files: every other member goes
        if (!anyReference) {
            paths.clear();
            members.clear();
            for (std::size_t i = begin; i < end; ++i)
                paths.push_back(rows[i].path());
            for (std::size_t i = begin; i < end; ++i)
                members.push_back({paths[i - begin], rows[i].name.size(), rows[i].seen.modifiedNs,
                                   rows[i].location, rows[i].size,
                                   std::uint64_t{rows[i].width} * rows[i].height});
            keep = begin + KeptMember(members, rules);
        }
        for (std::size_t i = begin; i < end; ++i)
            setMark(rows[i], i != keep);
    });
    return spareAndCount(rows, shown);
}

ReportGroupMarks SettleReportGroup(std::vector<JsonFile> &files, const std::vector<KeepCriterion> &rules)
{
    ReportGroupMarks report;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> first;  // (device, inode) -> listing kept
    std::size_t kept = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto [at, added] = first.try_emplace({files[i].seen.device, files[i].seen.inode}, kept);
        if (added) {
            if (kept != i)
                files[kept] = std::move(files[i]);
            ++kept;
            continue;
        }
        JsonFile &listed = files[at->second];
        listed.marked = listed.marked && files[i].marked;  // kept by any listing: kept
        listed.reference = listed.reference || files[i].reference;
        ++report.repeats;
    }
    files.resize(kept);
    bool anyMarked = false, anyReference = false;
    for (JsonFile &file : files) {
        report.markedReferences += file.marked && file.reference;
        file.marked = file.marked && !file.reference;
        anyMarked = anyMarked || file.marked;
        anyReference = anyReference || file.reference;
    }
    if (anyMarked) {
        report.everyFileMarked =
            std::all_of(files.begin(), files.end(), [](const JsonFile &f) { return f.marked; });
        return report;
    }
    if (rules.empty())
        return report;
    report.byRules = true;
    std::size_t keep = files.size();  // with reference files: every other member goes
    if (!anyReference) {
        std::vector<KeepCandidate> members;
        for (const JsonFile &file : files) {
            const std::size_t slash = file.path.rfind('/');
            members.push_back({file.path,
                               slash == std::string::npos ? file.path.size() : file.path.size() - slash - 1,
                               file.seen.modifiedNs, -1, file.seen.size});
        }
        keep = KeptMember(members, rules);
    }
    for (std::size_t i = 0; i < files.size(); ++i)
        files[i].marked = i != keep && !files[i].reference;
    return report;
}

MarkReport MarkInFolder(std::vector<ResultRow> &rows, const std::string &folder, bool mark,
                        const MarkScope &shown)
{
    const std::string within = folder.ends_with('/') ? folder : folder + '/';
    return markEach(rows, shown, [&](const ResultRow &row) {
        return row.folder.str().starts_with(within) ? mark : row.marked;
    });
}

MarkReport KeepThisOne(std::vector<ResultRow> &rows, std::size_t keep)
{
    MarkReport report;
    report.totals = UpdateMarkedTotals(rows);
    if (keep >= rows.size())
        return report;
    std::size_t begin = keep, end = keep + 1;
    const std::int32_t group = rows[keep].group;
    if (group != 0) {
        while (begin > 0 && rows[begin - 1].group == group)
            --begin;
        while (end < rows.size() && rows[end].group == group)
            ++end;
    }
    for (std::size_t i = begin; i < end; ++i)
        setMark(rows[i], i != keep);
    report.totals = UpdateMarkedTotals(rows);
    return report;
}

MarkReport MarkByPattern(std::vector<ResultRow> &rows, const std::string &pattern, const MarkScope &shown)
{
    return markEach(rows, shown,
                    [&](const ResultRow &row) { return row.marked || MatchesPattern(pattern, row.path()); });
}

MarkReport InvertMarks(std::vector<ResultRow> &rows, const MarkScope &shown)
{
    return markEach(rows, shown, [](const ResultRow &row) { return !row.marked; });
}

}  // namespace geminor
