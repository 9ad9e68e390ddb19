// Cases that need mounts: bind mounts, pseudo file systems, a full disk, a trash on another
// file system, links across mounts. The whole test runs in a private mount namespace of its
// own, so nothing it mounts is seen outside; where the machine refuses one, the test says so
// and skips.
#include "tests/support/gtest_common.h"
#include <sys/mount.h>

#include "engine/atomic_file.h"
#include "engine/scan_run.h"
#include "texts/plan_texts.h"
#include "results/action_plan.h"
#include "results/journal.h"
#include "tests/support/mount_helpers.h"

namespace geminor {
namespace {

/// Entered before main(), while the process has one thread.
const std::string g_mountsRefused = test::EnterPrivateMountNamespace();

using test::Mount;

TEST(Mounts, BindMountsAndPseudoFileSystemsInsideALocation)
{
    SKIP_IF(g_mountsRefused);
    TempTree tree;
    tree.write("scan/real/file", "one copy");
    tree.writeEach({"scan/pair-a", "scan/pair-b"}, "pair");
    tree.mkdir("scan/alias");
    tree.mkdir("scan/proc");
    tree.mkdir("scan/sys");
    Mount bind(tree.path("scan/real"), tree.path("scan/alias"));
    ASSERT_TRUE(bind.ok()) << bind.error();
    Mount proc("proc", tree.path("scan/proc"), "proc", 0);
    Mount sys("sysfs", tree.path("scan/sys"), "sysfs", 0);
    Mount procBound("/proc", tree.path("scan/real"), nullptr, MS_BIND | MS_REC);  // over real/: hides it
    ASSERT_TRUE(proc.ok() || sys.ok() || procBound.ok()) << "no pseudo file system could be mounted";

    for (SearchMethod method : {SearchMethod::ByteToByte, SearchMethod::ZeroSize}) {
        const ScanOutcome s = test::ScanFolder(tree.path("scan"), method, true);
        for (const ResultEntry &e : s.entries) {
            EXPECT_THAT(e.path(), ::testing::Not(HasSubstr("/proc/")));
            EXPECT_THAT(e.path(), ::testing::Not(HasSubstr("/sys/")));
        }
        if (method == SearchMethod::ByteToByte) {
            EXPECT_THAT(test::RowsOf(s, tree.path("scan/"), false), ElementsAre("pair-a", "pair-b"));
        }
    }
    // With real/ visible again, the file and its bind-mounted alias are one file.
    ::umount2(tree.path("scan/real").c_str(), MNT_DETACH);
    const ScanOutcome s = test::ScanFolder(tree.path("scan"), SearchMethod::ByteToByte, true);
    EXPECT_THAT(test::RowsOf(s, tree.path("scan/"), false), ElementsAre("pair-a", "pair-b"));
    EXPECT_EQ(s.TotalFiles, 3);
    EXPECT_EQ(readFile(tree.path("scan/real/file")), "one copy");
}

TEST(Mounts, AFullDiskReportsAndKeepsWhatWasThere)
{
    SKIP_IF(g_mountsRefused);
    TempTree tree;
    const std::string disk = tree.mkdir("disk") + "/";
    Mount tmpfs("tmpfs", disk, "tmpfs", 0, "size=64k");
    ASSERT_TRUE(tmpfs.ok()) << tmpfs.error();
    const std::string big(256 * 1024, 'b');

    // An export over an earlier one (a session is saved the same way).
    ASSERT_TRUE(WriteFileAtomically(disk + "result.csv", "earlier export\r\n"));
    const Status exported = WriteFileAtomically(disk + "result.csv", big);
    ASSERT_FALSE(exported);
    EXPECT_EQ(exported.error().errnum, ENOSPC);
    EXPECT_EQ(readFile(disk + "result.csv"), "earlier export\r\n");

    // A copy and a move: no partial target, the source whole.
    tree.write("src/big.bin", big);  // the kept copy
    const std::string source = tree.write("src2/big.bin", big);
    for (PlanAction action : {PlanAction::Copy, PlanAction::Move}) {
        ActionPlan plan = test::PlanOf(tree.root(), action, {"src2/big.bin"});
        plan.targetFolder = disk;
        const PlanReport report = RunPlan(plan);
        ASSERT_EQ(report.failed, 1u);
        EXPECT_THAT(ProblemText(report.files[0]), HasSubstr("No space left"));
        EXPECT_EQ(readFile(source), big);
    }
    EXPECT_THAT(test::NamesBelow(disk), ElementsAre("result.csv"));  // no temporary or partial files
}

TEST(Mounts, ABindMountedAliasNeverPassesForTheKeptCopy)
{
    SKIP_IF(g_mountsRefused);
    TempTree tree;
    tree.writeEach({"X/f", "Y/f"}, "the only bytes");
    const ActionPlan plan = test::PlanOf(tree.root(), PlanAction::Delete, {"X/f"});
    std::filesystem::remove_all(tree.path("Y"));
    tree.mkdir("Y");
    Mount bind(tree.path("X"), tree.path("Y"));  // Y/f is now X/f
    ASSERT_TRUE(bind.ok()) << bind.error();
    const PlanReport report = RunPlan(plan);
    EXPECT_EQ(report.skipped, 1u);
    EXPECT_EQ(readFile(tree.path("X/f")), "the only bytes");

    // A move into the file's own folder through a bind-mounted alias of it is refused.
    ActionPlan move = plan;
    move.action = PlanAction::Move;
    move.targetFolder = tree.path("Y");
    EXPECT_EQ(RunPlan(move).files[0].problem, FileProblem::SameFolder);
    EXPECT_EQ(readFile(tree.path("X/f")), "the only bytes");
}

TEST(Mounts, NoActionReplacesTheOnlyCopyByItsMirrorOrLinksItToItself)
{
    SKIP_IF(g_mountsRefused);
    TempTree tree;
    tree.write("src/a", "the only bytes");
    tree.write("src/sub/b", "also the only ones");
    if (const std::string missing = test::BindfsMissing(); !missing.empty())
        GTEST_SKIP() << missing;
    const test::BindfsMirror mirror(tree.path("src"), tree.mkdir("mir"));
    ASSERT_TRUE(mirror.ok()) << mirror.error();
    // The same files under two devices: the mirror's names pass for the kept copies.
    for (PlanAction action :
         {PlanAction::SymbolicLink, PlanAction::HardLink, PlanAction::Clone, PlanAction::Delete}) {
        const ActionPlan plan = test::PlanOf(tree.root(), action, {"src/a", "src/sub/b"});
        ASSERT_EQ(plan.files.size(), 4u);
        const PlanReport report = RunPlan(plan);
        EXPECT_EQ(report.done, 0u) << ActionWord(action);
        struct stat st = {};
        ASSERT_EQ(::lstat(tree.path("src/a").c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << ActionWord(action);
        EXPECT_EQ(readFile(tree.path("src/a")), "the only bytes");
        EXPECT_EQ(readFile(tree.path("src/sub/b")), "also the only ones");
    }
    EXPECT_THAT(test::NamesBelow(tree.path("src/")), ElementsAre("a", "sub", "sub/b"));  // nothing left aside

    // A reference named through a bind mount of its folder protects the same files.
    tree.writeEach({"data/photos/p", "data/copy"}, "picture");
    tree.mkdir("Photos");
    Mount bind(tree.path("data/photos"), tree.path("Photos"));
    ASSERT_TRUE(bind.ok()) << bind.error();
    for (const ResultEntry &e : test::ScanFolders({{tree.path("data"), "Yes", "*.*", false},
                                                   {tree.path("Photos"), "Yes", "*.*", false, true}})
                                    .entries)
        EXPECT_EQ(e.reference, e.path().ends_with("photos/p")) << e.path();
}

TEST(Mounts, AnOverlaysMergedViewNeverPassesForTheKeptCopyOfItsLowerFolder)
{
    SKIP_IF(g_mountsRefused);
    TempTree tree;
    tree.write("lower/a", "the only bytes");
    for (const char *folder : {"upper", "work", "merged"})
        tree.mkdir(folder);
    const std::string options = "lowerdir=" + tree.path("lower") + ",upperdir=" + tree.path("upper") +
                                ",workdir=" + tree.path("work");
    Mount overlay("overlay", tree.path("merged"), "overlay", 0, options.c_str());
    if (!overlay.ok())
        GTEST_SKIP() << "no overlay can be mounted here: " << overlay.error();
    for (PlanAction action :
         {PlanAction::Delete, PlanAction::SymbolicLink, PlanAction::HardLink, PlanAction::Move}) {
        ActionPlan plan;
        plan.action = action;
        plan.targetFolder = tree.mkdir("into");
        plan.files = PlanFilesOf(LoadResults(test::ScanFolders({{tree.path("merged"), "Yes", "*.*", false},
                                                                {tree.path("lower"), "Yes", "*.*", false}})
                                                 .entries));
        ASSERT_EQ(plan.files.size(), 2u);
        for (PlanFile &file : plan.files)
            file.marked = file.path.find("/lower/") != std::string::npos;
        EXPECT_EQ(RunPlan(plan).done, 0u) << ActionWord(action);
        EXPECT_EQ(readFile(tree.path("lower/a")), "the only bytes") << ActionWord(action);
    }
}

TEST(Mounts, TrashOfEveryMountAsTheFreedesktopSpecificationSays)
{
    SKIP_IF(g_mountsRefused);
    TempTree tree;
    const std::string home = tree.mkdir("home");
    const std::string other = tree.mkdir("other") + "/";
    Mount tmpfs("tmpfs", other, "tmpfs", 0, "size=1m");
    ASSERT_TRUE(tmpfs.ok()) << tmpfs.error();
    // No ~/.local yet: the home trash is made with its parents.
    ::unsetenv("XDG_DATA_HOME");
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", home.c_str(), 1);
    const std::string uid = std::to_string(::getuid());
    auto trashOne = [&](const std::string &folder, const std::string &name) {
        tree.writeEach({folder + "/keep/" + name, folder + "/go/" + name}, "trash me");
        return RunPlan(test::PlanOf(tree.path(folder), PlanAction::Trash, {"go/" + name}));
    };
    PlanReport report = trashOne("home", "a.txt");
    ASSERT_EQ(report.done, 1u) << ProblemText(report.files[0]);
    EXPECT_EQ(report.files[0].target, home + "/.local/share/Trash/files/a.txt");

    // Another file system: "$topdir/.Trash-$uid", its info path relative to the top folder.
    report = trashOne("other", "odd name %.txt");
    ASSERT_EQ(report.done, 1u) << ProblemText(report.files[0]);
    EXPECT_EQ(report.files[0].target, other + ".Trash-" + uid + "/files/odd name %.txt");
    EXPECT_THAT(readFile(other + ".Trash-" + uid + "/info/odd name %.txt.trashinfo"),
                HasSubstr("Path=go/odd%20name%20%25.txt\n"));

    // Someone else's .Trash-$uid, or one open to others, is refused with the reason; the file stays.
    ASSERT_EQ(::chmod((other + ".Trash-" + uid).c_str(), 0777), 0);
    report = trashOne("other", "b.txt");
    ASSERT_EQ(report.failed, 1u);
    EXPECT_THAT(ProblemText(report.files[0]), HasSubstr("can be opened by other users"));
    EXPECT_EQ(readFile(other + "go/b.txt"), "trash me");
    if (::getuid() == 0) {
        ASSERT_EQ(::chmod((other + ".Trash-" + uid).c_str(), 0700), 0);
        ASSERT_EQ(::chown((other + ".Trash-" + uid).c_str(), 4321, 4321), 0);
        report = trashOne("other", "c.txt");
        EXPECT_THAT(ProblemText(report.files[0]), HasSubstr("belongs to another user"));
    }
    // A sticky shared ".Trash" takes precedence.
    tree.mkdir("other/.Trash");
    ASSERT_EQ(::chmod((other + ".Trash").c_str(), 01777), 0);
    report = trashOne("other", "d.txt");
    ASSERT_EQ(report.done, 1u) << ProblemText(report.files[0]);
    EXPECT_EQ(report.files[0].target, other + ".Trash/" + uid + "/files/d.txt");

    // A bind mount of a home folder: the trash of the bind mount, never "Invalid cross-device link".
    tree.mkdir("bound");
    Mount bind(home, tree.path("bound"));
    ASSERT_TRUE(bind.ok()) << bind.error();
    report = trashOne("bound", "e.txt");
    ASSERT_EQ(report.done, 1u) << ProblemText(report.files[0]);
    EXPECT_EQ(report.files[0].target, tree.path("bound/.Trash-" + uid + "/files/e.txt"));
    ::setenv("HOME", savedHome.c_str(), 1);
}

TEST(Mounts, LinksStayWithinAFileSystemAndClonesShareBlocksOnBtrfs)
{
    SKIP_IF(g_mountsRefused);
    TempTree tree;
    const std::string other = tree.mkdir("scan/other") + "/";
    Mount tmpfs("tmpfs", other, "tmpfs", 0, "size=1m");
    ASSERT_TRUE(tmpfs.ok()) << tmpfs.error();
    // The only kept copy lies on the other file system.
    tree.writeEach({"scan/other/kept", "scan/here", "scan/there"}, "shared bytes");
    ActionPlan plan = test::PlanOf(tree.path("scan"), PlanAction::HardLink, {"here", "there"});
    EXPECT_EQ(plan.files.size(), 3u);
    PlanReport report = RunPlan(plan);  // within each file system: "there" links to "here"
    ASSERT_EQ(report.files.size(), 2u);
    EXPECT_EQ(report.files[0].problem, FileProblem::KeptOnItsFileSystem);
    EXPECT_EQ(report.files[1].outcome, FileOutcome::Done) << ProblemText(report.files[1]);
    struct stat here = {}, there = {};
    ASSERT_EQ(::stat(tree.path("scan/here").c_str(), &here), 0);
    ASSERT_EQ(::stat(tree.path("scan/there").c_str(), &there), 0);
    EXPECT_EQ(here.st_ino, there.st_ino);
    plan = test::PlanOf(tree.path("scan"), PlanAction::HardLink, {"here"});  // "there" is a link of it now
    plan.action = PlanAction::SymbolicLink;                                  // a symbolic link may cross
    report = RunPlan(plan);
    ASSERT_EQ(report.done, 1u) << ProblemText(report.files[0]);
    // Across a mount the link holds the absolute path: a relative one could read otherwise from
    // the file's real place when the mount is a bind of another folder.
    EXPECT_EQ(std::filesystem::read_symlink(tree.path("scan/here")), tree.path("scan/other/kept"));
    tree.write("scan/other/copy", "shared bytes");  // tmpfs shares no blocks: said, not failed
    report = RunPlan(test::PlanOf(other, PlanAction::Clone, {"kept"}));
    ASSERT_EQ(report.skipped, 1u);
    EXPECT_EQ(report.files[0].problem, FileProblem::NoClone);

    // On btrfs the kernel shares the blocks: both stay ordinary files with their own names.
    const std::string image = tree.path("btrfs.img"), where = tree.mkdir("btrfs");
    tree.truncate("btrfs.img", 128 << 20);
    if (std::system(("mkfs.btrfs -q " + image + " >/dev/null 2>&1").c_str()) != 0 ||
        std::system(("mount -o loop " + image + " " + where + " >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "no btrfs file system can be made here (mkfs.btrfs, or a loop device, missing)";
    const std::string big(1 << 20, 'b');
    tree.writeEach({"btrfs/a", "btrfs/b"}, big);
    tree.write("btrfs/c", big.substr(1) + "c");
    ::sync();
    report = RunPlan(test::PlanOf(where, PlanAction::Clone, {"b"}));
    std::system(("umount " + where).c_str());
    ASSERT_EQ(report.done, 1u) << ProblemText(report.files[0]);
}

}  // namespace
}  // namespace geminor
