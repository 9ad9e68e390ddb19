// The journal of each operation and undo from it, on real trees: every kind of action put back,
// nothing overwritten when the world changed since, and a crash part-way through.
#include "texts/plan_texts.h"
#include "results/undo.h"

#include "results/rename_file.h"

#include "tests/support/gtest_common.h"
#include <sys/wait.h>

#include "tests/support/cli_helpers.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/mount_helpers.h"

namespace geminor {
namespace {

/// Entered before main(), while the process has one thread.
const std::string g_mountsRefused = test::EnterPrivateMountNamespace();

struct Operation
{
    PlanReport report;
    UndoReport undo;
};

ActionPlan journaledPlan(const TempTree &tree, PlanAction action, const std::vector<std::string> &marked)
{
    ActionPlan plan = test::PlanOf(tree.path("files"), action, marked);
    plan.journalFolder = tree.path("journal");
    return plan;
}

/// Runs `action` on the marked files of a fresh scan of `root`, then `between`, then undo.
template <typename Between>
Operation runAndUndo(const TempTree &tree, PlanAction action, const std::vector<std::string> &marked,
                     Between between)
{
    ActionPlan plan = journaledPlan(tree, action, marked);
    plan.targetFolder = tree.path("into");
    Operation op{RunPlan(plan), {}};
    between();
    const auto records = ReadJournals(plan.journalFolder);
    const JournalRecord *record = JournalToUndo(records, op.report.journal);
    EXPECT_TRUE(record);
    if (record) {
        op.undo = UndoOperation(*record);
        MarkUndone(plan.journalFolder, record->id);
    }
    return op;
}

/// Runs `plan` in a child whose file system `arm` makes exit 9 part-way.
template <typename Arm> void runKilled(const ActionPlan &plan, Arm arm)
{
    const pid_t child = ::fork();
    if (child == 0) {
        test::FaultyFileSystem seam;
        arm(seam);
        ScopedFileSystem use(seam);
        RunPlan(plan);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 9);
}

TEST(Journal, UndoPutsBackEveryKindOfActionAndNeverOverwrites)
{
    TempTree tree;
    const test::TrashHome home(tree.path("data"));
    tree.mkdir("into");
    for (const char *name : {"files/keep/a", "files/dup/a", "files/dup/b c,?"})
        ::chmod(tree.write(name, "same bytes").c_str(), 0600);  // not what a new file gets
    // Times of its own: undo gives back the file itself, not one made again from its kept copy.
    const struct timespec old[2] = {{1'700'000'000, 0}, {1'600'000'000, 5}};
    ::utimensat(AT_FDCWD, tree.path("files/dup/a").c_str(), old, 0);
    const std::vector<std::string> marked{"dup/a", "dup/b c,?"};
    for (PlanAction action : {PlanAction::Trash, PlanAction::Move, PlanAction::Copy, PlanAction::HardLink,
                              PlanAction::SymbolicLink}) {
        SCOPED_TRACE(ActionWord(action));
        const Operation op = runAndUndo(tree, action, marked, [] {});
        ASSERT_EQ(op.report.done, 2u);
        EXPECT_EQ(op.undo.restored, 2u);
        for (const std::string &name : marked) {
            struct stat st = {};
            ASSERT_EQ(::lstat(tree.path("files/" + name).c_str(), &st), 0);
            EXPECT_TRUE(S_ISREG(st.st_mode) && st.st_nlink == 1);  // an independent file again
            EXPECT_EQ(readFile(tree.path("files/" + name)), "same bytes");
        }
        struct stat st = {};
        ASSERT_EQ(::lstat(tree.path("files/dup/a").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(st.st_mtim.tv_sec, 1'600'000'000);
        EXPECT_EQ(st.st_mtim.tv_nsec, 5);
        EXPECT_TRUE(std::filesystem::is_empty(tree.path("into")));
    }
    EXPECT_TRUE(std::filesystem::is_empty(tree.path("data/Trash/info")));

    // Since the trash: one name was taken again, the other file was purged from the trash.
    const Operation op = runAndUndo(tree, PlanAction::Trash, marked, [&] {
        tree.write("files/dup/a", "new content");
        std::filesystem::remove(tree.path("data/Trash/files/b c,?"));
    });
    EXPECT_EQ(op.undo.restored, 0u);
    EXPECT_EQ(op.undo.skipped, 2u);
    EXPECT_EQ(readFile(tree.path("files/dup/a")), "new content");
    EXPECT_EQ(readFile(tree.path("data/Trash/files/a")), "same bytes");  // left where it is

    // Since a move: another file of the same length took the file's new place; it stays there.
    tree.write("files/dup/a", "same bytes");
    const Operation moved = runAndUndo(tree, PlanAction::Move, {"dup/a"}, [&] {
        tree.write("into/other", "SAME BYTES");  // a new inode, while the moved one still lives
        std::filesystem::rename(tree.path("into/other"), tree.path("into/a"));
    });
    ASSERT_EQ(moved.undo.skipped, 1u);
    EXPECT_EQ(moved.undo.steps[0].error.code, ErrorCode::NotUnderNewName);
    EXPECT_FALSE(std::filesystem::exists(tree.path("files/dup/a")));
    EXPECT_EQ(readFile(tree.path("into/a")), "SAME BYTES");
    std::filesystem::remove(tree.path("into/a"));

    // A rename from the window is journaled too, and named back.
    struct stat st = {};
    ASSERT_EQ(::stat(tree.path("files/keep/a").c_str(), &st), 0);
    ASSERT_TRUE(RenameJournaled(tree.path("files/keep/a"), IdentityOf(st), tree.path("files/keep/new name"),
                                tree.path("journal")));
    const auto records = ReadJournals(tree.path("journal"));
    ASSERT_EQ(records.back().action, PlanAction::Rename);
    EXPECT_EQ(UndoOperation(records.back()).restored, 1u);
    EXPECT_EQ(readFile(tree.path("files/keep/a")), "same bytes");

    // A permanent delete is journaled, and nothing claims to bring it back.
    tree.write("files/dup/a", "same bytes");
    EXPECT_FALSE(runAndUndo(tree, PlanAction::Delete, {"dup/a"}, [] {}).undo.undoable);
}

TEST(Journal, AMoveToAnotherMountIsUndoneByACopyAndLeavesAFileThatChangesLate)
{
    SKIP_IF(g_mountsRefused);
    TempTree tree;
    tree.writeEach({"files/keep/a", "files/go/a", "files/go/b", "files/go/c"}, "same bytes");
    const test::Mount other(tree.mkdir("elsewhere"), tree.mkdir("into"));  // no rename crosses it
    ASSERT_TRUE(other.ok()) << other.error();
    const Operation op = runAndUndo(tree, PlanAction::Move, {"go/a"},
                                    [&] { EXPECT_EQ(readFile(tree.path("into/a")), "same bytes"); });
    ASSERT_EQ(op.report.done, 1u) << ProblemText(op.report.files[0]);
    EXPECT_EQ(op.undo.restored, 1u);
    EXPECT_EQ(readFile(tree.path("files/go/a")), "same bytes");

    // Written to through descriptors held open: b while it is copied, c once its copy took its
    // name. Each stays as it is now, and its copy goes.
    ActionPlan plan = journaledPlan(tree, PlanAction::Move, {"go/b", "go/c"});
    plan.targetFolder = tree.path("into");
    const int b = ::open(tree.path("files/go/b").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    const int c = ::open(tree.path("files/go/c").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    test::FaultyFileSystem seam;
    seam.beforeOpen([&](const std::string &name) {
        if (name.ends_with("-copy") && ::write(b, "!", 1) != 1)
            ADD_FAILURE() << "b not written";
    });
    seam.beforeRename([&](const std::string &from, const std::string &to) {
        if (from.ends_with("-copy") && to == "c" && ::write(c, "!", 1) != 1)
            ADD_FAILURE() << "c not written";
    });
    PlanReport report;
    {
        ScopedFileSystem use(seam);
        report = RunPlan(plan);
    }
    ::close(b);
    ::close(c);
    ASSERT_EQ(report.skipped, 2u);
    EXPECT_EQ(report.files[0].problem, FileProblem::Changed);
    EXPECT_EQ(report.files[1].problem, FileProblem::Changed);
    EXPECT_EQ(readFile(tree.path("files/go/b")), "same bytes!!");  // the hook ran for c's copy too
    EXPECT_EQ(readFile(tree.path("files/go/c")), "same bytes!");
    EXPECT_TRUE(std::filesystem::is_empty(tree.path("into")));
}

TEST(Journal, KilledBetweenTheStepsOfAnActionUndoFindsEveryFileAndLeavesNoTrashInfo)
{
    TempTree tree;
    const test::TrashHome home(tree.path("data"));
    tree.writeEach({"files/keep/f", "files/dup/f1", "files/dup/f2", "files/dup/f3"}, "x");
    ActionPlan plan = journaledPlan(tree, PlanAction::Trash, {"dup/f1", "dup/f2", "dup/f3"});
    // f1 is in the trash, f2 set aside with its trash info written, f3 untouched.
    int renamed = 0;
    runKilled(plan, [&](test::FaultyFileSystem &seam) {
        seam.beforeRename([&](const std::string &from, const std::string &to) {
            if (from.starts_with(".geminor-") && to.starts_with("f") && ++renamed == 2)
                ::_exit(9);
        });
    });
    EXPECT_FALSE(std::filesystem::exists(tree.path("files/dup/f2")));
    auto records = ReadJournals(plan.journalFolder);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].finished);
    EXPECT_EQ(InterruptedJournals(plan.journalFolder).size(), 1u);
    UndoReport undo = UndoOperation(records[0]);
    EXPECT_EQ(undo.restored, 2u);
    EXPECT_EQ(undo.skipped + undo.failed, 0u)
        << (undo.steps.empty() ? "" : UndoReasonText(undo.steps[0].error));
    for (const char *name : {"f1", "f2", "f3"})
        EXPECT_EQ(readFile(tree.path(std::string("files/dup/") + name)), "x") << name;
    EXPECT_TRUE(std::filesystem::is_empty(tree.path("data/Trash/info")));
    EXPECT_TRUE(std::filesystem::is_empty(tree.path("data/Trash/files")));

    // Killed as it opens f3, after its intent was written: it was never touched, so undo says
    // nothing of it and puts back the two before.
    plan = journaledPlan(tree, PlanAction::Trash, {"dup/f1", "dup/f2", "dup/f3"});
    int opened = 0;
    runKilled(plan, [&](test::FaultyFileSystem &seam) {
        seam.beforeOpen([&](const std::string &name) {
            if (name == "f3" && ++opened == 1)
                ::_exit(9);
        });
    });
    records = ReadJournals(plan.journalFolder);
    ASSERT_EQ(records.size(), 2u);
    undo = UndoOperation(records.back());
    EXPECT_EQ(undo.restored, 2u);
    EXPECT_EQ(undo.steps.size(), 2u);
    for (const char *name : {"f1", "f2", "f3"})
        EXPECT_EQ(readFile(tree.path(std::string("files/dup/") + name)), "x") << name;
}

TEST(Journal, AnOperationOnRelativePathsIsUndoneFromAnyWorkingFolder)
{
    TempTree tree;
    const test::TrashHome home(tree.path("data"));
    tree.writeEach({"files/keep", "files/mine"}, "bytes");
    tree.mkdir("elsewhere/files");
    char *before = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir(tree.root().c_str()), 0);
    ActionPlan plan = test::PlanOf("files", PlanAction::Trash, {"mine"});
    plan.journalFolder = tree.path("journal");
    const PlanReport report = RunPlan(plan);
    ASSERT_EQ(::chdir(tree.path("elsewhere").c_str()), 0);
    const auto records = ReadJournals(plan.journalFolder);
    const UndoReport undo = UndoOperation(records.back());
    ASSERT_EQ(::chdir(before), 0);
    std::free(before);
    ASSERT_EQ(report.done, 1u);
    EXPECT_EQ(undo.restored, 1u);
    EXPECT_EQ(readFile(tree.path("files/mine")), "bytes");
    EXPECT_TRUE(std::filesystem::is_empty(tree.path("elsewhere/files")));
}

TEST(Journal, WhatCannotBeUndoneIsPassedOverAndAJournalThatCannotBeWrittenTouchesNothing)
{
    TempTree tree;
    tree.writeEach({"files/keep", "files/a", "files/b"}, "bytes");
    const std::string journal = tree.path("journal");
    ASSERT_EQ(RunPlan(journaledPlan(tree, PlanAction::SymbolicLink, {"files/a"})).done, 1u);
    RunPlan(journaledPlan(tree, PlanAction::Clone, {"files/b"}));  // no clone on this file system
    ASSERT_EQ(RunPlan(journaledPlan(tree, PlanAction::Delete, {"files/b"})).done, 1u);
    const auto records = ReadJournals(journal);
    ASSERT_EQ(records.size(), 3u);
    std::vector<const JournalRecord *> passed;
    const JournalRecord *undo = JournalToUndo(records, {}, &passed);
    ASSERT_TRUE(undo);
    EXPECT_EQ(undo->action, PlanAction::SymbolicLink);
    EXPECT_EQ(passed.size(), 2u);  // the delete and the clone
    EXPECT_TRUE(InterruptedJournals(journal).empty());

    // A journal folder that cannot be written: every file fails untouched, and says why.
    tree.write("files/c", "bytes");
    tree.write("not-a-folder", "");
    ActionPlan plan = test::PlanOf(tree.path("files"), PlanAction::Delete, {"files/c"});
    plan.journalFolder = tree.path("not-a-folder/journal");
    const PlanReport report = RunPlan(plan);
    EXPECT_EQ(report.failed, 1u);
    EXPECT_NE(report.journalError, 0);
    ASSERT_EQ(report.files.size(), 1u);
    EXPECT_EQ(report.files[0].problem, FileProblem::NoJournal);
    EXPECT_THAT(ProblemText(report.files[0]), ::testing::HasSubstr("journal"));
    EXPECT_EQ(readFile(tree.path("files/c")), "bytes");
    plan.journalFolder.clear();  // the user agreed to go on without undo
    EXPECT_EQ(RunPlan(plan).done, 1u);
}

}  // namespace
}  // namespace geminor
