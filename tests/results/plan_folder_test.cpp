// Whole folders in the action plan: a folder goes only while its kept folder holds all it holds,
// compared at the moment of acting, and comes back whole on undo.
#include "results/action_plan.h"

#include "tests/support/gtest_common.h"
#include <sys/wait.h>

#include "results/folder_compare.h"
#include "results/folder_marks.h"
#include "results/undo.h"
#include "tests/support/cli_helpers.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/mount_helpers.h"

namespace geminor {
namespace {

using test::NamesBelow;

/// Entered before main(), while the process has one thread.
const std::string g_mountsRefused = test::EnterPrivateMountNamespace();

/// Two identical folders, A (marked) and B (kept), as a scan of folders would give them.
ActionPlan folderPlan(TempTree &tree, PlanAction action)
{
    for (const char *folder : {"A/", "B/"}) {
        const std::string f = folder;
        tree.write(f + "f.txt", "same");
        tree.write(f + "sub/g", "deep bytes");
        tree.write(f + ".hidden", "");
        if (!std::filesystem::is_symlink(tree.path(f + "sub/l")))
            tree.symlink("../f.txt", f + "sub/l");
    }
    ActionPlan plan;
    plan.action = action;
    for (const char *name : {"A", "B"}) {
        struct stat st = {};
        EXPECT_EQ(::lstat(tree.path(name).c_str(), &st), 0);
        plan.files.push_back({tree.path(name), IdentityOf(st), 1, name[0] == 'A', true});
    }
    return plan;
}

const std::set<std::string> kNames{".hidden", "f.txt", "sub", "sub/g", "sub/l"};

TEST(PlanFolder, TrashMoveAndDeleteTakeTheFolderWholeAndUndoBringsItBack)
{
    TempTree tree;
    const test::TrashHome home(tree.path("data"));
    tree.mkdir("into");
    for (PlanAction action : {PlanAction::Trash, PlanAction::Move}) {
        ActionPlan plan = folderPlan(tree, action);
        plan.journalFolder = tree.path("journal");
        plan.targetFolder = tree.path("into");
        // A folder's size and times follow its entries: what the scan saw of them may be stale.
        plan.files[0].seen.size += 4096;
        plan.files[0].seen.modifiedNs -= 1;
        const PlanReport report = RunPlan(plan);
        ASSERT_EQ(report.done, 1u);
        EXPECT_EQ(report.bytesFreed, 14u);
        EXPECT_FALSE(std::filesystem::exists(tree.path("A")));
        if (action == PlanAction::Trash) {  // one entry, one trash info
            EXPECT_EQ(NamesBelow(tree.path("data/Trash/info/")), std::set<std::string>{"A.trashinfo"});
            EXPECT_EQ(NamesBelow(tree.path("data/Trash/files/A/")), kNames);
        } else {
            EXPECT_EQ(NamesBelow(tree.path("into/A/")), kNames);
        }
        const auto records = ReadJournals(plan.journalFolder);
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(UndoOperation(records.back()).restored, 1u);
        EXPECT_EQ(NamesBelow(tree.path("A/")), kNames);
        EXPECT_EQ(readFile(tree.path("A/sub/g")), "deep bytes");
    }
    EXPECT_TRUE(std::filesystem::is_empty(tree.path("data/Trash/info")));
    EXPECT_TRUE(std::filesystem::is_empty(tree.path("data/Trash/files")));
    EXPECT_TRUE(std::filesystem::is_empty(tree.path("into")));

    ActionPlan plan = folderPlan(tree, PlanAction::Delete);
    plan.dryRun = true;
    EXPECT_EQ(RunPlan(plan).done, 1u);
    EXPECT_EQ(NamesBelow(tree.path("A/")), kNames);
    plan.dryRun = false;
    EXPECT_EQ(RunPlan(plan).done, 1u);
    EXPECT_FALSE(std::filesystem::exists(tree.path("A")));
    EXPECT_EQ(NamesBelow(tree.path("B/")), kNames);
}

TEST(PlanFolder, AnythingThatChangedSinceTheScanKeepsTheFolderWhereItWas)
{
    struct Case
    {
        const char *name;
        std::function<void(TempTree &)> change;
        FileProblem problem;
        const char *where;
    };
    const std::vector<Case> cases{
        {"added in A", [](TempTree &t) { t.write("A/sub/new", ""); }, FileProblem::FolderDiffers, "sub/new"},
        {"one byte", [](TempTree &t) { t.write("A/sub/g", "deep bytez"); }, FileProblem::FolderDiffers,
         "sub/g"},
        {"gone from B", [](TempTree &t) { ::unlink(t.path("B/f.txt").c_str()); }, FileProblem::FolderDiffers,
         "f.txt"},
        {"hard link",
         [](TempTree &t) {
             ::unlink(t.path("A/f.txt").c_str());
             ::link(t.path("B/f.txt").c_str(), t.path("A/f.txt").c_str());
         },
         FileProblem::FolderDiffers, "f.txt"},
        {"B a link to A",
         [](TempTree &t) {
             std::filesystem::rename(t.path("B"), t.path("B.old"));
             t.symlink(t.path("A"), "B");
         },
         FileProblem::NoKeptCopy, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        const ActionPlan plan = folderPlan(tree, PlanAction::Delete);
        c.change(tree);
        const std::set<std::string> before = NamesBelow(tree.path("A/"));
        const PlanReport report = RunPlan(plan);
        ASSERT_EQ(report.files.size(), 1u);
        EXPECT_EQ(report.files[0].problem, c.problem);
        EXPECT_EQ(report.files[0].target, c.where);
        EXPECT_EQ(NamesBelow(tree.path("A/")), before);
        EXPECT_EQ(readFile(tree.path("A/f.txt")), "same");
    }

    // The kept folder swapped for a link to A while A is being set aside: seen after the rename.
    TempTree tree;
    const ActionPlan plan = folderPlan(tree, PlanAction::Delete);
    test::FaultyFileSystem seam;
    seam.beforeRename([&](const std::string &from, const std::string &) {
        if (from == "A" && !std::filesystem::is_symlink(tree.path("B"))) {
            std::filesystem::rename(tree.path("B"), tree.path("B.old"));
            tree.symlink(tree.path("A"), "B");
        }
    });
    PlanReport report;
    {
        ScopedFileSystem use(seam);
        report = RunPlan(plan);
    }
    ASSERT_EQ(report.files.size(), 1u);
    EXPECT_EQ(report.files[0].problem, FileProblem::NoKeptCopy);
    EXPECT_EQ(NamesBelow(tree.path("A/")), kNames);
}

TEST(PlanFolder, WhatLiesBelowAMountPointNeverGoesWithTheFolder)
{
    SKIP_IF(g_mountsRefused);
    TempTree tree;
    ActionPlan plan = folderPlan(tree, PlanAction::Delete);
    // Another copy of sub on the same file system, mounted over A's own: the same bytes, other files.
    std::filesystem::copy(tree.path("B/sub"), tree.path("C"),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::copy_symlinks);
    const test::Mount over(tree.path("C"), tree.path("A/sub"));
    ASSERT_TRUE(over.ok()) << over.error();
    const PlanReport report = RunPlan(plan);
    ASSERT_EQ(report.files.size(), 1u);
    EXPECT_EQ(report.files[0].problem, FileProblem::FolderDiffers);
    EXPECT_EQ(report.files[0].target, "sub");
    EXPECT_EQ(NamesBelow(tree.path("C/")), (std::set<std::string>{"g", "l"}));
}

TEST(PlanFolder, KilledBetweenSettingAsideAndTheTrashTheFolderIsRecovered)
{
    TempTree tree;
    const test::TrashHome home(tree.path("data"));
    ActionPlan plan = folderPlan(tree, PlanAction::Trash);
    plan.journalFolder = tree.path("journal");
    const pid_t child = ::fork();
    if (child == 0) {
        test::FaultyFileSystem seam;
        seam.beforeRename([](const std::string &from, const std::string &to) {
            if (from.starts_with(".geminor-") && to == "A")
                ::_exit(9);
        });
        ScopedFileSystem use(seam);
        RunPlan(plan);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 9);
    EXPECT_FALSE(std::filesystem::exists(tree.path("A")));
    const auto interrupted = InterruptedJournals(plan.journalFolder);
    ASSERT_EQ(interrupted.size(), 1u);
    EXPECT_EQ(UndoOperation(interrupted[0]).restored, 1u);
    EXPECT_EQ(NamesBelow(tree.path("A/")), kNames);
    EXPECT_TRUE(std::filesystem::is_empty(tree.path("data/Trash/info")));
}

TEST(PlanFolder, ADeleteRemovesOnlyWhatWasCompared)
{
    TempTree tree;
    folderPlan(tree, PlanAction::Delete);
    const UniqueFd a(OpenFolder(tree.path("A"))), b(OpenFolder(tree.path("B"))),
        root(OpenFolder(tree.root()));
    ByteComparer compare(1 << 16);
    const FolderComparison compared = CompareFolders(a.get(), b.get(), compare, true);
    ASSERT_TRUE(compared.same) << compared.where;
    EXPECT_EQ(NamesBelow(tree.path("A/")), kNames);  // the probe is gone again
    tree.write("A/sub/late", "written after the compare");
    EXPECT_EQ(RemoveFolderTree(root.get(), "A", compared), EBUSY);
    EXPECT_EQ(readFile(tree.path("A/sub/late")), "written after the compare");
    EXPECT_FALSE(CompareFolders(a.get(), a.get(), compare, true).same);  // a folder is never its own copy
}

TEST(PlanFolder, AMirrorOfTheFolderIsNoKeptFolder)
{
    SKIP_IF(test::BindfsMissing());
    TempTree tree;
    ActionPlan plan = folderPlan(tree, PlanAction::Delete);
    tree.mkdir("M");
    test::BindfsMirror mirror(tree.path("A"), tree.path("M"));
    SKIP_IF(mirror.ok() ? std::string() : mirror.error());
    struct stat st = {};
    ASSERT_EQ(::lstat(tree.path("M").c_str(), &st), 0);
    plan.files[1] = {tree.path("M"), IdentityOf(st), 1, false, true};
    const PlanReport report = RunPlan(plan);
    EXPECT_EQ(report.files[0].problem, FileProblem::FolderDiffers);
    EXPECT_EQ(NamesBelow(tree.path("A/")), kNames);
}

TEST(PlanFolder, NestedMarksGoWithTheirOuterFolderAndOtherActionsTakeNoFolders)
{
    std::vector<PlanFile> files;
    for (const char *path : {"/t/a", "/t/a/b", "/t/ab", "/t/a/b/c", "/t/x/y"})
        files.push_back({path, {}, 1, true, true});
    files.push_back({"/t/x", {}, 1, false, true});
    SettleNestedFolders(files);
    std::vector<bool> marked;
    for (const PlanFile &file : files)
        marked.push_back(file.marked);
    EXPECT_EQ(marked, (std::vector<bool>{true, false, true, false, true, false}));

    TempTree tree;
    tree.mkdir("into");
    ActionPlan plan = folderPlan(tree, PlanAction::Copy);
    plan.targetFolder = tree.path("into");
    const PlanReport report = RunPlan(plan);
    ASSERT_EQ(report.files.size(), 1u);
    EXPECT_EQ(report.files[0].problem, FileProblem::NotForFolders);
    EXPECT_TRUE(std::filesystem::is_empty(tree.path("into")));
}

}  // namespace
}  // namespace geminor
