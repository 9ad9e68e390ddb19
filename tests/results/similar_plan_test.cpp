// The action plan on similar pictures: the kept picture is not the marked one's bytes, so it
// keeps the marked one only while it is still the very file the scan grouped.
#include "results/action_plan.h"

#include "tests/support/gtest_common.h"

#include "tests/support/cli_helpers.h"

namespace geminor {
namespace {

bool exists(const std::string &path)
{
    struct stat st = {};
    return ::lstat(path.c_str(), &st) == 0;
}

/// A group of the two pictures as a scan would have found them, the small one marked.
ActionPlan planOf(const TempTree &tree, PlanAction action,
                  SearchMethod method = SearchMethod::SimilarPictures)
{
    ActionPlan plan;
    plan.action = action;
    plan.method = method;
    for (const char *name : {"large.jpg", "small.jpg"}) {
        struct stat st = {};
        EXPECT_EQ(::stat(tree.path(name).c_str(), &st), 0);
        plan.files.push_back({tree.path(name), IdentityOf(st), 1, name[0] == 's'});
    }
    return plan;
}

TEST(SimilarPicturesPlan, AMarkedPictureGoesOnlyWhileItsKeptPictureIsTheFileTheScanSaw)
{
    TempTree tree;
    const test::TrashHome home(tree.path("data"));
    tree.write("large.jpg", "the large picture");
    tree.write("small.jpg", "the small one");

    // The kept picture changed since the scan: the marked one stays.
    ActionPlan plan = planOf(tree, PlanAction::Trash);
    tree.write("large.jpg", "the large picture, edited");
    PlanReport report = RunPlan(plan);
    ASSERT_EQ(report.files.size(), 1u);
    EXPECT_EQ(report.files[0].problem, FileProblem::NoKeptCopy);
    EXPECT_TRUE(exists(tree.path("small.jpg")));

    // A link would put the kept picture's look in the marked one's place: never.
    plan = planOf(tree, PlanAction::HardLink);
    EXPECT_EQ(RunPlan(plan).files.at(0).problem, FileProblem::NotForPictures);
    // Other methods still ask for the same bytes.
    EXPECT_EQ(RunPlan(planOf(tree, PlanAction::Trash, SearchMethod::ByteToByte)).files.at(0).problem,
              FileProblem::NoKeptCopy);
    EXPECT_TRUE(exists(tree.path("small.jpg")));

    // Unchanged, another file with other bytes, it keeps the marked one.
    report = RunPlan(planOf(tree, PlanAction::Trash));
    EXPECT_EQ(report.done, 1u);
    EXPECT_FALSE(exists(tree.path("small.jpg")));
    EXPECT_TRUE(exists(tree.path("data/Trash/files/small.jpg")));
    EXPECT_TRUE(exists(tree.path("large.jpg")));
}

}  // namespace
}  // namespace geminor
