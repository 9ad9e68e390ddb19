// The action plan on real trees: what is checked at the moment of acting, and that the last
// copy of a file survives every alias, change and failure that can come between scan and act.
#include "texts/plan_texts.h"
#include "results/action_plan.h"

#include "tests/support/gtest_common.h"
#include <algorithm>
#include <sys/xattr.h>

#include "results/link_files.h"
#include "tests/support/cli_helpers.h"
#include "tests/support/faulty_file_system.h"

namespace geminor {
namespace {

bool exists(const std::string &path)
{
    struct stat st = {};
    return ::lstat(path.c_str(), &st) == 0;
}

/// Nothing set aside by an action may stay beside the files.
void expectNoSetAside(const std::string &folder)
{
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        EXPECT_THAT(entry.path().filename().string(), ::testing::Not(::testing::StartsWith(".geminor")));
}

struct stat statOf(const std::string &path)
{
    struct stat st = {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

FileProblem onlyProblem(const PlanReport &report)
{
    EXPECT_EQ(report.files.size(), 1u);
    return report.files.empty() ? FileProblem::None : report.files[0].problem;
}

TEST(ActionPlan, RemovesAMarkedFileOnlyWhileAnotherFileHoldsItsBytes)
{
    TempTree tree;
    const test::TrashHome home(tree.path("data"));
    tree.writeEach({"X/f", "Y/f"}, "same bytes");
    // A kept copy that became an alias of the marked file (a link to its folder, a hard link, a
    // bind mount) is content_kept_test's and mounts_test's.
    for (PlanAction action : {PlanAction::Delete, PlanAction::Trash}) {
        // A kept copy whose bytes changed (same length), or that is gone, keeps nothing.
        const ActionPlan plan = test::PlanOf(tree.root(), action, {"X/f"});
        tree.write("Y/f", "SAME bytes");
        EXPECT_EQ(onlyProblem(RunPlan(plan)), FileProblem::NoKeptCopy);
        ::unlink(tree.path("Y/f").c_str());
        EXPECT_EQ(onlyProblem(RunPlan(plan)), FileProblem::NoKeptCopy);

        // With a true copy it goes; the kept one stays.
        tree.write("Y/f", "same bytes");
        const PlanReport report = RunPlan(plan);
        ASSERT_EQ(onlyProblem(report), FileProblem::None);
        EXPECT_EQ(report.done, 1u);
        EXPECT_EQ(report.bytesFreed, 10u);
        EXPECT_FALSE(exists(tree.path("X/f")));
        EXPECT_EQ(readFile(tree.path("Y/f")), "same bytes");
        tree.write("X/f", "same bytes");
    }
    EXPECT_EQ(readFile(tree.path("data/Trash/files/f")), "same bytes");
    EXPECT_THAT(readFile(tree.path("data/Trash/info/f.trashinfo")),
                HasSubstr("Path=" + tree.path("X/f") + "\nDeletionDate="));
    expectNoSetAside(tree.path("X"));
    expectNoSetAside(tree.path("Y"));
}

TEST(ActionPlan, AMarkedFileThatChangedSinceTheScanIsSkipped)
{
    TempTree tree;
    tree.writeEach({"a/f", "b/f"}, "content");
    ActionPlan plan = test::PlanOf(tree.root(), PlanAction::Delete, {"b/f"});

    ::unlink(tree.path("b/f").c_str());  // vanished
    EXPECT_EQ(onlyProblem(RunPlan(plan)), FileProblem::Vanished);
    tree.write("b/f", "content");  // replaced by another file with the same bytes
    EXPECT_EQ(onlyProblem(RunPlan(plan)), FileProblem::Changed);
    ::unlink(tree.path("b/f").c_str());  // now a FIFO: never opened
    ASSERT_EQ(::mkfifo(tree.path("b/f").c_str(), 0600), 0);
    EXPECT_EQ(onlyProblem(RunPlan(plan)), FileProblem::Changed);
    ::unlink(tree.path("b/f").c_str());

    tree.write("b/f", "content");
    plan = test::PlanOf(tree.root(), PlanAction::Delete, {"b/f"});
    const struct timespec later[2] = {{0, UTIME_OMIT}, {12345, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, tree.path("b/f").c_str(), later, 0), 0);  // touched
    EXPECT_EQ(onlyProblem(RunPlan(plan)), FileProblem::Changed);
    EXPECT_TRUE(exists(tree.path("b/f")));
}

TEST(ActionPlan, LastCopiesGoOnlyWhenAllowedAndEmptyFilesNeedNoCopy)
{
    TempTree tree;
    tree.write("a.bin", "first file!!");
    tree.write("b.bin", std::string("other da\xfa\x75\x0c\x6c", 12));  // the same CRC-32
    ActionPlan plan = test::PlanOf(tree.root(), PlanAction::Delete, {"b.bin"}, SearchMethod::Crc32);
    ASSERT_EQ(plan.files.size(), 2u);
    EXPECT_EQ(onlyProblem(RunPlan(plan)), FileProblem::NoKeptCopy);  // a CRC-32 group is checked by bytes
    plan.keepLastCopies = false;
    EXPECT_EQ(RunPlan(plan).done, 1u);
    EXPECT_FALSE(exists(tree.path("b.bin")));

    TempTree empty;
    empty.write("one", "");
    empty.write("two", "");
    plan = test::PlanOf(empty.root(), PlanAction::Delete, {"one", "two"}, SearchMethod::ZeroSize);
    EXPECT_EQ(RunPlan(plan).done, 2u);
}

TEST(ActionPlan, AKeptCopyThatBecomesAnAliasAtTheMomentOfTheCheckKeepsTheFile)
{
    TempTree tree;
    tree.writeEach({"src/f", "mir/f"}, "only one");
    const ActionPlan plan = test::PlanOf(tree.root(), PlanAction::Delete, {"src/f"});
    // Just as the kept copy is opened, its folder turns into a mirror of the marked file's.
    test::FaultyFileSystem seam;
    bool swapped = false;
    seam.beforeOpen([&](const std::string &name) {
        if (!swapped && name == tree.path("mir/f")) {
            swapped = true;
            std::filesystem::remove_all(tree.path("mir"));
            std::filesystem::create_directory_symlink(tree.path("src"), tree.path("mir"));
        }
    });
    ScopedFileSystem use(seam);
    EXPECT_EQ(onlyProblem(RunPlan(plan)), FileProblem::NoKeptCopy);
    EXPECT_TRUE(swapped);
    EXPECT_EQ(readFile(tree.path("src/f")), "only one");
}

TEST(ActionPlan, CopiesNeverReplaceKeepHolesModeAndTimes)
{
    TempTree tree;
    tree.writeEach({"one/a.txt", "two/a.txt"}, "first");
    for (const char *name : {"one/sparse", "two/sparse"}) {
        tree.truncate(name, 64 << 20);
        const int fd = ::open(tree.path(name).c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, "middle", 6, 32 << 20), 6);
        ::close(fd);
        ::chmod(tree.path(name).c_str(), 0640);
    }
    tree.write("into/a.txt", "taken");
    ActionPlan plan = test::PlanOf(tree.root(), PlanAction::Copy, {"one/a.txt", "two/a.txt", "one/sparse"});
    plan.targetFolder = tree.path("into");
    const PlanReport report = RunPlan(plan);
    ASSERT_EQ(report.files.size(), 3u);
    EXPECT_EQ(report.done, 3u) << ProblemText(report.files[0]);
    EXPECT_EQ(readFile(tree.path("into/a.txt")), "taken");
    EXPECT_EQ(readFile(tree.path("into/a (2).txt")), "first");
    EXPECT_EQ(readFile(tree.path("into/a (3).txt")), "first");
    const struct stat source = statOf(tree.path("one/sparse")), copy = statOf(tree.path("into/sparse"));
    EXPECT_EQ(copy.st_size, 64 << 20);
    EXPECT_LE(copy.st_blocks, source.st_blocks + 64);  // holes stay holes
    EXPECT_EQ(copy.st_mode & 07777, 0640u);
    EXPECT_EQ(copy.st_mtim.tv_sec, source.st_mtim.tv_sec);
    EXPECT_EQ(copy.st_mtim.tv_nsec, source.st_mtim.tv_nsec);
    EXPECT_EQ(readFile(tree.path("into/sparse")), readFile(tree.path("one/sparse")));
    expectNoSetAside(tree.path("into"));
}

TEST(ActionPlan, MovesStayInsideTheFileSystemAndNeverIntoTheFilesOwnFolder)
{
    TempTree tree;
    tree.writeEach({"a/f.bin", "b/f.bin"}, "payload");
    tree.writeEach({"c/f.bin", "c/g.bin"}, "other");
    ActionPlan plan = test::PlanOf(tree.root(), PlanAction::Move, {"b/f.bin"});
    // Into the file's own folder, also through a link to it: refused, nothing renamed.
    tree.symlink(tree.path("b"), "alias");
    for (const char *into : {"b", "alias"}) {
        plan.targetFolder = tree.path(into);
        EXPECT_EQ(onlyProblem(RunPlan(plan)), FileProblem::SameFolder) << into;
    }
    plan.targetFolder = tree.path("c");
    PlanReport report = RunPlan(plan);
    ASSERT_EQ(report.done, 1u);
    EXPECT_EQ(readFile(tree.path("c/f (2).bin")), "payload");
    EXPECT_FALSE(exists(tree.path("b/f.bin")));

    // To another file system: journal_test's move across mounts.
}

TEST(ActionPlan, LongPathsAndHostileNamesAreTrashedMovedAndDeletedByTheirBytes)
{
    TempTree tree;
    const test::TrashHome home(tree.path("data"));
    const std::string deep = tree.writeDeep("deep", std::string(200, 'd'), 30, "far away");  // about 6 KB
    tree.write("near/deep", "far away");
    tree.mkdir("moved");
    ActionPlan plan = test::PlanOf(tree.root(), PlanAction::Trash, {"/deep"});
    for (PlanFile &file : plan.files)
        file.marked = file.path == deep;
    PlanReport report = RunPlan(plan);
    ASSERT_EQ(report.done, 1u) << ProblemText(report.files[0]);
    EXPECT_EQ(readFile(report.files[0].target), "far away");
    EXPECT_THAT(readFile(tree.path("data/Trash/info/deep.trashinfo")),
                HasSubstr(std::string(200, 'd') + "/deep\n"));

    const std::vector<std::string> names{"new\nline",  "tab\there",   std::string("bad\xff\xfe"),
                                         "-rf",        "*",           "%s%n",
                                         "quote\"'s",  " lead space", "back\\slash",
                                         "comma,name", "what?"};
    for (const std::string &name : names) {
        tree.write("src/" + name, "same bytes");
        tree.write("other/" + name, "same bytes");
    }
    plan = test::PlanOf(tree.root(), PlanAction::Move, {});
    for (PlanFile &file : plan.files)
        file.marked = file.path.starts_with(tree.path("src/"));
    plan.targetFolder = tree.path("moved");
    report = RunPlan(plan);
    EXPECT_EQ(report.done, names.size());
    for (const std::string &name : names) {
        EXPECT_EQ(readFile(tree.path("moved/" + name)), "same bytes") << name;
        EXPECT_EQ(readFile(tree.path("other/" + name)), "same bytes") << name;
    }
}

// A dry run of the trash is cli_actions_test's (geminor-cli --dry-run).
TEST(ActionPlan, AFailedStepPutsTheFileBackAndACancelledPlanChangesNothing)
{
    TempTree tree;
    const test::TrashHome home(tree.path("data"));
    tree.writeEach({"a/f", "b/f"}, "bytes");
    const ActionPlan plan = test::PlanOf(tree.root(), PlanAction::Trash, {"b/f"});
    PlanReport report;
    {
        test::FaultyFileSystem seam;
        seam.failRenames(EIO, 2, 2);  // the set-aside works, moving into the trash fails
        ScopedFileSystem use(seam);
        report = RunPlan(plan);
    }
    EXPECT_EQ(report.failed, 1u);
    EXPECT_EQ(readFile(tree.path("b/f")), "bytes");
    for (const auto &entry : std::filesystem::directory_iterator(tree.path("data/Trash/info")))
        ADD_FAILURE() << "a .trashinfo stayed: " << entry.path();

    std::atomic<bool> cancel{true};
    report = RunPlan(plan, {}, &cancel);
    EXPECT_TRUE(report.cancelled);
    EXPECT_TRUE(report.files.empty());
    EXPECT_TRUE(exists(tree.path("b/f")));
}

TEST(ActionPlan, LinksReplaceOnlyTheUnchangedFileAndLoseNothing)
{
    TempTree tree;
    tree.writeEach({"keep/f", "dup/a", "dup/b", "dup/c", "dup/d"}, "same bytes");
    const struct stat kept = statOf(tree.path("keep/f"));

    // Between the scan and the act: changed, replaced by a copy, replaced by a link to the kept copy.
    ActionPlan plan = test::PlanOf(tree.root(), PlanAction::HardLink, {"dup/a", "dup/b", "dup/c"});
    tree.write("dup/a", "other bytes");
    ::unlink(tree.path("dup/b").c_str());
    tree.write("dup/b", "same bytes");
    ::unlink(tree.path("dup/c").c_str());
    tree.symlink(tree.path("keep/f"), "dup/c");
    for (PlanAction action : {PlanAction::HardLink, PlanAction::SymbolicLink}) {
        plan.action = action;
        const PlanReport report = RunPlan(plan);
        ASSERT_EQ(report.skipped, 3u);
        for (const FileReport &file : report.files)
            EXPECT_EQ(file.problem, FileProblem::Changed) << plan.files[file.file].path;
    }
    EXPECT_EQ(readFile(tree.path("dup/a")), "other bytes");

    // Unchanged: a hard link, then a relative symbolic link, to the kept copy.
    plan = test::PlanOf(tree.root(), PlanAction::HardLink, {"dup/b", "dup/d"});
    plan.files.erase(std::remove_if(plan.files.begin(), plan.files.end(),
                                    [](const PlanFile &f) { return f.path.ends_with("dup/c"); }),
                     plan.files.end());
    PlanReport report = RunPlan(plan);
    ASSERT_EQ(report.done, 2u) << ProblemText(report.files[0]);
    EXPECT_EQ(report.files[0].target, tree.path("keep/f"));
    struct stat st = statOf(tree.path("dup/d"));
    EXPECT_TRUE(st.st_ino == kept.st_ino && st.st_nlink >= 2);
    EXPECT_EQ(report.bytesFreed, 20u);
    // A result listing a file and its hard link (JSON may have both).
    plan.files = {{tree.path("keep/f"), IdentityOf(st), 1, false},
                  {tree.path("dup/d"), IdentityOf(st), 1, true}};
    report = RunPlan(plan);
    EXPECT_EQ(report.done, 1u);  // already what was asked
    EXPECT_EQ(report.bytesFreed, 0u);

    tree.writeEach({"sym/x", "sym/deeper/y"}, "linked by name");
    report = RunPlan(test::PlanOf(tree.path("sym"), PlanAction::SymbolicLink, {"deeper/y"}));
    ASSERT_EQ(report.done, 1u) << ProblemText(report.files[0]);
    EXPECT_EQ(std::filesystem::read_symlink(tree.path("sym/deeper/y")), "../x");
    EXPECT_EQ(readFile(tree.path("sym/deeper/y")), "linked by name");
    expectNoSetAside(tree.path("dup"));
    expectNoSetAside(tree.path("sym/deeper"));

    // The swap fails: the file stays as it was and the new link is gone.
    tree.writeEach({"swap/k", "swap/m"}, "swap me");
    plan = test::PlanOf(tree.path("swap"), PlanAction::HardLink, {"m"});
    test::FaultyFileSystem seam;
    seam.failRenames(EIO);
    {
        ScopedFileSystem use(seam);
        EXPECT_EQ(onlyProblem(RunPlan(plan)), FileProblem::System);
    }
    EXPECT_EQ(statOf(tree.path("swap/m")).st_nlink, 1u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tree.path("swap")), {}), 2);
}

TEST(ActionPlan, HardLinksJoinOnlyFilesThatAgreeOnOwnerAndMode)
{
    TempTree tree;
    tree.writeEach({"keep", "private"}, "script");
    ::chmod(tree.path("keep").c_str(), 0644);
    ::chmod(tree.path("private").c_str(), 0700);
    const ActionPlan plan = test::PlanOf(tree.root(), PlanAction::HardLink, {"private"});
    EXPECT_EQ(OwnerOrModeMismatches(plan.files), 1u);  // what the question says before acting
    EXPECT_EQ(onlyProblem(RunPlan(plan)), FileProblem::OwnerOrMode);
    const struct stat keep = statOf(tree.path("keep"));
    EXPECT_NE(statOf(tree.path("private")).st_ino, keep.st_ino);
    EXPECT_EQ(statOf(tree.path("private")).st_mode & 07777, 0700u);

    ::chmod(tree.path("private").c_str(), 0644);
    EXPECT_EQ(OwnerOrModeMismatches(plan.files), 0u);
    // A note or an ACL of its own is the file's too; a copy keeps them.
    if (::setxattr(tree.path("private").c_str(), "user.note", "mine", 4, 0) == 0) {
        EXPECT_EQ(onlyProblem(RunPlan(test::PlanOf(tree.root(), PlanAction::HardLink, {"private"}))),
                  FileProblem::OwnerOrMode);
        ActionPlan copy = test::PlanOf(tree.root(), PlanAction::Copy, {"private"});
        copy.targetFolder = tree.mkdir("copies");
        ASSERT_EQ(RunPlan(copy).done, 1u);
        char note[8] = {};
        EXPECT_EQ(::getxattr(tree.path("copies/private").c_str(), "user.note", note, sizeof note), 4);
        EXPECT_STREQ(note, "mine");
        ::removexattr(tree.path("private").c_str(), "user.note");
        std::filesystem::remove_all(tree.path("copies"));
    }
    const PlanReport report = RunPlan(test::PlanOf(tree.root(), PlanAction::HardLink, {"private"}));
    ASSERT_EQ(report.done, 1u) << ProblemText(report.files[0]);
    EXPECT_EQ(statOf(tree.path("private")).st_ino, keep.st_ino);
    // A symbolic link keeps nothing of the file's own but its name: it is not held to this.
    tree.writeEach({"s/keep", "s/mine"}, "other");
    ::chmod(tree.path("s/mine").c_str(), 0600);
    EXPECT_EQ(RunPlan(test::PlanOf(tree.path("s"), PlanAction::SymbolicLink, {"mine"})).done, 1u);
}

}  // namespace
}  // namespace geminor
