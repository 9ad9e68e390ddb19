#include "results/marking.h"

#include <random>
#include <tuple>

#include "results/group_order.h"
#include "results/keep_rules.h"

#include "tests/support/gtest_common.h"

namespace geminor {
namespace {

std::vector<ResultRow> rowsOfGroups(const std::vector<int> &groups, std::uint64_t size = 10)
{
    std::vector<ResultRow> rows(groups.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].size = size;
        rows[i].group = groups[i];
        rows[i].colour = groups[i] % 2 ? RowColour::Black : RowColour::DarkBlue;
    }
    return rows;
}

std::vector<bool> marks(const std::vector<ResultRow> &rows)
{
    std::vector<bool> out;
    for (const ResultRow &r : rows)
        out.push_back(r.marked);
    return out;
}

TEST(Marking, AllDuplicatesKeepsTheFirstOfEveryGroupAndTotalsFollowEveryRule)
{
    auto rows = rowsOfGroups({1, 1, 2, 2, 2, 3});
    MarkedTotals totals = MarkAllDuplicates(rows);
    EXPECT_THAT(marks(rows), testing::ElementsAre(false, true, false, true, true, false));
    EXPECT_EQ(totals.count, 3);
    EXPECT_EQ(totals.size, 30);
    EXPECT_TRUE(rows[1].markedIcon);

    // Groups, not colours: two neighbouring groups of one colour are still two groups.
    rows = rowsOfGroups({1, 1, 3, 3});
    MarkAllDuplicates(rows);
    EXPECT_THAT(marks(rows), testing::ElementsAre(false, true, false, true));

    // The other rules, and the totals.
    rows = rowsOfGroups({0, 0}, 1024);
    rows[1].size = 512;
    totals = MarkAll(rows);
    EXPECT_EQ(totals.count, 2);
    EXPECT_EQ(totals.size, 1536);
    rows[0].marked = false;  // by hand: the picture stays
    totals = UpdateMarkedTotals(rows);
    EXPECT_EQ(totals.count, 1);
    EXPECT_TRUE(rows[0].markedIcon);

    totals = MarkSelected(rows, {false, false});
    EXPECT_EQ(totals.count, 0);
    EXPECT_THAT(marks(rows), testing::ElementsAre(false, false));
    MarkAll(rows);
    totals = MarkSelected(rows, {false, true});
    EXPECT_THAT(marks(rows), testing::ElementsAre(false, true));  // the selection replaces the marks
    EXPECT_EQ(MarkNone(rows).count, 0);
    std::vector<ResultRow> none;
    EXPECT_EQ(MarkAllDuplicates(none).count, 0);
    EXPECT_EQ(MarkAll(none).size, 0);
}

/// A group of files for the keep rules: path, modification second, search location.
std::vector<ResultRow> group(std::int32_t number, const std::vector<std::tuple<std::string, int, int>> &files)
{
    std::vector<ResultRow> rows;
    for (const auto &[path, second, location] : files) {
        const std::size_t slash = path.rfind('/');
        ResultRow row;
        row.name = path.substr(slash + 1);
        row.size = 10;
        row.folder = FolderName(path.substr(0, slash + 1));
        row.colour = RowColour::Black;
        row.group = number;
        row.seen.modifiedNs = std::int64_t{second} * 1'000'000'000;
        static std::uint64_t inode = 0;
        row.seen.inode = ++inode;
        row.location = static_cast<std::int16_t>(location);
        rows.push_back(row);
    }
    return rows;
}

std::size_t keptOf(std::vector<ResultRow> rows, const std::vector<std::string> &rules)
{
    std::vector<KeepCriterion> parsed;
    for (const std::string &rule : rules)
        parsed.push_back(*ParseKeepCriterion(rule));
    KeepOne(rows, parsed);
    std::size_t kept = rows.size();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!rows[i].marked) {
            EXPECT_EQ(kept, rows.size()) << "two kept";
            kept = i;
        }
    return kept;
}

TEST(KeepRules, EachRuleKeepsItsFileAndLaterRulesBreakTies)
{
    // Two share the newest time and the shortest name; lengths differ otherwise.
    const auto rows = group(1, {{"/b/photo (1).jpg", 5, 1},
                                {"/archive/2019/photo.jpg", 9, 1},
                                {"/a/photo.jpg", 9, 0},
                                {"/a/copy of photo, \xff?.jpg", 1, 2}});
    const std::pair<std::vector<std::string>, std::size_t> cases[] = {
        {{"first"}, 0},
        {{"newest"}, 1},
        {{"newest", "shortest-path"}, 2},
        {{"oldest"}, 3},
        {{"shortest-path"}, 2},
        {{"longest-path"}, 3},
        {{"shortest-name"}, 1},
        {{"shortest-name", "first-location"}, 2},
        {{"first-location"}, 2},
        {{"path:/archive/*"}, 1},
        {{"not-path:*copy*", "not-path:* (1).*"}, 1},
        {{"path:*.png"}, 0},  // nothing matches: every file ties, the first listed stays
    };
    for (const auto &[rules, kept] : cases)
        EXPECT_EQ(keptOf(rows, rules), kept) << testing::PrintToString(rules);
    for (const char *bad : {"", "latest", "path:", "Newest", "not-path"})
        EXPECT_FALSE(ParseKeepCriterion(bad)) << bad;
}

TEST(KeepRules, LargestResolutionThenLargestFile)
{
    // A half-size copy, the original, and a re-encoded copy at full size but smaller.
    const KeepCandidate members[] = {{"/a/small.jpg", 9, 3, 0, 90'000, 320 * 240},
                                     {"/a/original.jpg", 12, 1, 0, 400'000, 640 * 480},
                                     {"/b/reencoded.jpg", 14, 2, 0, 150'000, 640 * 480}};
    const auto rules = [](std::vector<std::string> words) {
        std::vector<KeepCriterion> parsed;
        for (const std::string &word : words)
            parsed.push_back(*ParseKeepCriterion(word));
        return parsed;
    };
    EXPECT_EQ(KeptMember(members, rules({"largest-resolution"})), 1u);
    EXPECT_EQ(KeptMember(members, rules({"path:/b/*", "largest-resolution"})), 2u);
    // Not pictures (no pixels): the largest file stays.
    const KeepCandidate files[] = {{"/x", 1, 0, 0, 5, 0}, {"/y", 1, 0, 0, 7, 0}};
    EXPECT_EQ(KeptMember(files, rules({"largest-resolution"})), 1u);
    // Through the rows: the row's width and height count, and the others are marked.
    auto rows = rowsOfGroups({1, 1});
    rows[0].width = 100, rows[0].height = 50, rows[0].size = 900;
    rows[1].width = 200, rows[1].height = 100, rows[1].size = 100;
    KeepOne(rows, rules({"largest-resolution"}));
    EXPECT_EQ(marks(rows), (std::vector<bool>{true, false}));
}

TEST(KeepRules, NoCommandMarksAWholeGroupOrAReferenceFile)
{
    std::mt19937 random(3);
    for (int round = 0; round < 300; ++round) {
        std::vector<ResultRow> rows;
        for (std::int32_t g = 1; g <= 6; ++g) {
            const int members = 1 + static_cast<int>(random() % 4);  // a group of one: a cancelled scan
            for (int m = 0; m < members; ++m) {
                auto row =
                    group(g, {{"/" + std::string(1, char('a' + random() % 3)) + "/f" + std::to_string(m),
                               static_cast<int>(random() % 3), static_cast<int>(random() % 3)}});
                row[0].reference = random() % 5 == 0;
                row[0].marked = !row[0].reference && random() % 2;
                rows.push_back(row[0]);
            }
        }
        MarkScope shown;
        if (round % 3 == 0)
            for (const ResultRow &row : rows)
                shown.push_back(row.group % 2 == 1);
        const std::vector<ResultRow> before = rows;
        switch (round % 4) {
        case 0: KeepOne(rows, {{KeepRule::Newest, {}}, {KeepRule::Path, "/b/*"}}, shown); break;
        case 1: MarkInFolder(rows, "/a", true, shown); break;
        case 2: MarkByPattern(rows, "f*", shown); break;
        default: InvertMarks(rows, shown);
        }
        for (std::size_t begin = 0, end; begin < rows.size(); begin = end) {
            bool anyKept = false, anyReference = false;
            for (end = begin; end < rows.size() && rows[end].group == rows[begin].group; ++end) {
                EXPECT_FALSE(rows[end].reference && rows[end].marked);
                anyKept = anyKept || !rows[end].marked;
                anyReference = anyReference || rows[end].reference;
                if (!shown.empty() && !shown[end]) {
                    EXPECT_EQ(rows[end].marked, before[end].marked) << "a hidden row changed";
                }
            }
            const bool changed = shown.empty() || shown[begin];
            EXPECT_TRUE(anyKept || !changed) << "round " << round << ": a whole group marked";
            if (round % 4 == 0 && anyReference && changed) {
                for (std::size_t i = begin; i < end; ++i)
                    EXPECT_EQ(rows[i].marked, !rows[i].reference) << "a reference file is the copy kept";
            }
        }
    }
    // The spared groups are counted: inverting an unmarked group of one marks nothing in it.
    auto rows = group(1, {{"/a/x", 0, 0}, {"/a/y", 0, 0}});
    rows[0].marked = rows[1].marked = true;
    EXPECT_EQ(InvertMarks(rows).sparedGroups, 0);
    EXPECT_EQ(MarkInFolder(rows, "/a/", true).sparedGroups, 1);
    EXPECT_FALSE(rows[0].marked);
    EXPECT_TRUE(rows[1].marked);
    EXPECT_EQ(MarkInFolder(rows, "/a", false).totals.count, 0);

    // Keep This One: the rest of its group only, references never, neighbours of the same colour untouched.
    rows = group(1, {{"/a/x", 0, 0}});
    for (auto &more : {group(2, {{"/a/x", 0, 0}, {"/b/x", 0, 0}, {"/r/x", 0, 0}, {"/c/x", 0, 0}}),
                       group(3, {{"/d/y", 0, 0}, {"/e/y", 0, 0}})})
        rows.insert(rows.end(), more.begin(), more.end());
    rows[3].reference = true;
    rows[1].marked = true;
    const MarkReport kept = KeepThisOne(rows, 2);
    EXPECT_THAT(marks(rows), testing::ElementsAre(false, true, false, false, true, false, false));
    EXPECT_EQ(kept.totals.count, 2);
    EXPECT_TRUE(rows[4].markedIcon);
    EXPECT_EQ(KeepThisOne(rows, 99).totals.count, 2);  // no such row: nothing changes
    EXPECT_THAT(marks(rows), testing::ElementsAre(false, true, false, false, true, false, false));
}

TEST(GroupOrder, GroupsStayWholeInEveryOrderAndAsFoundGivesThemBack)
{
    std::vector<ResultRow> rows;
    for (const auto &g : {group(1, {{"/z/small", 0, 0}, {"/y/small", 0, 0}}),
                          group(2, {{"/m/Big", 0, 0}, {"/m/big2", 0, 0}, {"/n/big3", 0, 0}}),
                          group(3, {{"/a/mid", 0, 0}, {"/b/mid", 0, 0}})})
        rows.insert(rows.end(), g.begin(), g.end());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].size = i < 2 ? 100 : i < 5 ? 40 : 60;  // to reclaim: group 1 100, group 2 2 x 40, group 3 60
        rows[i].colour = rows[i].group % 2 ? RowColour::DarkBlue : RowColour::Black;
        rows[i].seen.inode = i + 1;
        rows[i].seen.size = rows[i].size;
    }
    const std::vector<ResultRow> found = rows;
    auto groupsOf = [](const std::vector<ResultRow> &r) {
        std::vector<std::int32_t> order;
        for (const ResultRow &row : r)
            if (order.empty() || order.back() != row.group)
                order.push_back(row.group);
        return order;
    };
    const std::pair<GroupOrder, std::vector<std::int32_t>> cases[] = {
        {GroupOrder::Space, {1, 2, 3}}, {GroupOrder::Size, {1, 3, 2}},   {GroupOrder::Copies, {2, 1, 3}},
        {GroupOrder::Name, {2, 3, 1}},  {GroupOrder::Folder, {3, 2, 1}}, {GroupOrder::Found, {1, 2, 3}}};
    for (const auto &[order, groups] : cases) {
        OrderGroups(rows, order);
        EXPECT_EQ(groupsOf(rows), groups) << static_cast<int>(order);
        EXPECT_EQ(rows.size(), found.size());
        EXPECT_EQ(rows.front().colour, RowColour::DarkBlue);  // colours alternate from the first found
    }
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].path() + ModifiedText(rows[i]), found[i].path() + ModifiedText(found[i]));
    EXPECT_EQ(ReclaimableBytes(rows), 100u + 80u + 60u);
    rows[3].seen = rows[2].seen;  // a hard link of the same file frees nothing
    EXPECT_EQ(ReclaimableBytes(rows), 100u + 40u + 60u);
    EXPECT_THAT(GroupsContaining(rows, "BIG3"),
                testing::ElementsAre(false, false, true, true, true, false, false));
}

}  // namespace
}  // namespace geminor
