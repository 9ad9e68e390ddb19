#include "tests/support/gtest_common.h"

#include <map>

#include "results/action_plan.h"
#include "texts/plan_texts.h"
#include "results/rows_follow.h"
#include "results/undo_offer.h"

using namespace geminor;

namespace {

ResultRow row(const std::string &folder, std::int32_t group, bool marked, std::uint64_t inode)
{
    const FileIdentity seen{1, inode, 4, 100, 100};
    return {"f", 4, "", FolderName(folder), marked, marked, RowColour::Default, group, seen, -1, false, {}};
}

/// What the disk holds now, by path.
struct Disk
{
    std::map<std::string, FileIdentity> files;
    IdentityLookup lookup()
    {
        return [this](const std::string &path) -> std::optional<FileIdentity> {
            auto it = files.find(path);
            return it == files.end() ? std::nullopt : std::optional(it->second);
        };
    }
};

FileReport done(std::size_t file, FileOutcome outcome = FileOutcome::Done, FileProblem problem = {})
{
    return {file, outcome, problem, 0, TrashRefusal::None, {}, 0};
}

std::vector<std::string> paths(const std::vector<ResultRow> &rows)
{
    std::vector<std::string> out;
    for (const ResultRow &r : rows)
        out.push_back(r.path());
    return out;
}

}  // namespace

TEST(FollowReports, TrashLeavesUndoBringsBackWithTheStateNowAndLinksStayUnmarked)
{
    std::vector<ResultRow> rows = {row("/a/", 1, false, 1), row("/b/", 1, true, 2), row("/c/", 1, true, 3),
                                   row("/d/", 2, false, 4), row("/e/", 2, true, 5)};
    ActionPlan plan;
    plan.files = PlanFilesOf(rows);
    PlanReport planReport;
    planReport.files = {done(1), done(2, FileOutcome::Skipped, FileProblem::Changed), done(4)};
    Disk disk;
    std::vector<GoneRow> gone;
    FollowPlan(rows, gone, plan, planReport, disk.lookup(), ProblemText);
    // b went; c stays ticked with its reason; e went and d, alone now, with it.
    EXPECT_EQ(paths(rows), (std::vector<std::string>{"/a/f", "/c/f"}));
    EXPECT_TRUE(rows[1].marked);
    EXPECT_EQ(rows[1].problem, "changed since the scan");
    ASSERT_EQ(gone.size(), 3u);
    EXPECT_EQ(DoneOf(plan, planReport).files, 2u);
    EXPECT_EQ(DoneOf(plan, planReport).bytes, 8u);

    // The rows an undo puts back, with their state now, are rows_follow_test's (the window's).

    // Links stay unmarked, and only a change time is taken on trust.
    rows = {row("/a/", 1, false, 1), row("/b/", 1, true, 2), row("/c/", 1, false, 3)};
    gone.clear();
    plan.action = PlanAction::HardLink;
    plan.files = PlanFilesOf(rows);
    planReport.files = {done(1)};
    disk.files.clear();
    disk.files["/a/f"] = {1, 1, 4, 100, 300};  // one more link: its change time moved
    disk.files["/b/f"] = {1, 1, 4, 100, 300};  // the same file as a now
    disk.files["/c/f"] = {1, 3, 4, 999, 999};  // written since the scan: must still refuse
    FollowPlan(rows, gone, plan, planReport, disk.lookup(), ProblemText);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_FALSE(rows[1].marked);
    EXPECT_EQ(rows[1].seen.inode, 1u);
    EXPECT_EQ(rows[0].seen.changedNs, 300);
    EXPECT_EQ(rows[2].seen.modifiedNs, 100);
    EXPECT_TRUE(gone.empty());
}

TEST(FollowReports, UndoQuestionShowsLocalTimeAndPassesOverWhatChangedNothing)
{
    const QDateTime now = QDateTime::fromString(QStringLiteral("2026-12-06T18:00:00"), Qt::ISODate);
    const QDateTime today = now.addSecs(-600).toUTC(), yesterday = now.addDays(-1).toUTC();
    const QString hhmm = now.addSecs(-600).toString(QStringLiteral("HH:mm"));
    EXPECT_EQ(WhenText(today.toString(Qt::ISODate).toStdString(), now, QLocale::c()),
              "today " + hhmm.toStdString());
    EXPECT_EQ(WhenText(yesterday.toString(Qt::ISODate).toStdString(), now, QLocale::c()), "yesterday 18:00");
    EXPECT_NE(WhenText("2020-01-02T03:04:05Z", now, QLocale::c()).find("04"), std::string::npos);
    EXPECT_EQ(WhenText("not a time", now), "not a time");

    JournalRecord did, nothing, stopped;
    did.action = nothing.action = stopped.action = PlanAction::Trash;
    did.finished = nothing.finished = true;
    did.steps.resize(1);
    did.steps[0].hasOutcome = true;
    did.steps[0].outcome = FileOutcome::Done;
    nothing.steps = did.steps;
    nothing.steps[0].outcome = FileOutcome::Failed;  // refused before anything moved
    stopped.steps = nothing.steps;
    stopped.steps[0].hasOutcome = false;  // the operation stopped on it: not finished
    EXPECT_FALSE(ChangedNothing(did));
    EXPECT_TRUE(ChangedNothing(nothing));
    EXPECT_FALSE(ChangedNothing(stopped));
    std::vector<const JournalRecord *> passed;
    const std::vector<JournalRecord> records = {did, nothing, nothing};
    EXPECT_EQ(OperationToUndo(records, passed), &records[0]);
    EXPECT_TRUE(passed.empty());
}
