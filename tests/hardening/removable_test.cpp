// File systems of removable disks and FUSE: exFAT (no hard or symbolic links, no modes, no
// RENAME_NOREPLACE or RENAME_EXCHANGE), through the kernel's driver and through exfat-fuse, and
// a bindfs mirror (links, but neither rename flag). Every action goes through a scanned plan;
// nothing may be lost or left aside. The test runs in a private mount namespace of its own.
#include <algorithm>
#include "tests/support/gtest_common.h"
#include <cstring>
#include <functional>
#include <sys/mount.h>

#include "engine/file_system.h"
#include "engine/unique_fd.h"
#include "texts/plan_texts.h"
#include "results/action_plan.h"
#include "results/file_copy.h"
#include "results/journal.h"
#include "results/undo.h"
#include "tests/support/mount_helpers.h"

namespace geminor {
namespace {

using ::testing::Each;
using ::testing::Not;

/// Entered before main(), while the process has one thread.
const std::string g_mountsRefused = test::EnterPrivateMountNamespace();

/// A fresh exFAT image on a loop device, mounted on `where` by `driver` ("exfat": the kernel's;
/// "exfat-fuse") until the end of the object; `refused` says why not.
struct ExfatMount
{
    ExfatMount(const TempTree &tree, const std::string &driver) : where(tree.path(driver))
    {
        std::filesystem::create_directory(where);
        const std::string image = tree.path(driver + ".img");
        if (std::system(
                ("truncate -s 32M '" + image + "' && mkfs.exfat '" + image + "' >/dev/null 2>&1").c_str())) {
            refused = "mkfs.exfat (exfatprogs) is not installed";
            return;
        }
        if (std::system(("losetup -f --show '" + image + "' >'" + image + ".loop' 2>/dev/null").c_str())) {
            refused = "no loop device for the exFAT image (losetup)";
            return;
        }
        loop = readFile(image + ".loop");
        loop.pop_back();  // the newline
        const std::string mount = driver == "exfat" ? "mount -t exfat " : "mount.exfat-fuse ";
        if (std::system((mount + loop + " '" + where + "' >/dev/null 2>&1").c_str()))
            refused = driver == "exfat" ? "the kernel has no exFAT driver (mount -t exfat failed)"
                                        : "exfat-fuse is not installed or cannot mount";
    }
    ~ExfatMount()
    {
        if (refused.empty())
            std::system(("umount '" + where + "' 2>/dev/null || umount -l '" + where + "'").c_str());
        if (!loop.empty())
            std::system(("losetup -d " + loop).c_str());
    }
    std::string where, loop, refused;
};

/// The decoded Path= line of a .trashinfo file.
std::string trashedPath(const std::string &infoFile)
{
    const std::string text = readFile(infoFile);
    std::string path;
    for (std::size_t i = text.find("\nPath=") + 6; i < text.size() && text[i] != '\n'; ++i)
        if (text[i] != '%') {
            path += text[i];
        } else {
            path += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
    return path;
}

/// Runs `plan` with a journal in `journal`, then `between`, then undo; the plan's and the
/// undo's reports.
std::pair<PlanReport, UndoReport> runAndUndo(ActionPlan plan, const std::string &journal,
                                             const std::function<void(const PlanReport &)> &between = {})
{
    plan.journalFolder = journal;
    const PlanReport report = RunPlan(plan);
    if (between)
        between(report);
    const auto records = ReadJournals(journal);
    const JournalRecord *record = JournalToUndo(records);
    if (!record)
        return {report, {}};
    const UndoReport undo = UndoOperation(*record);
    MarkUndone(journal, record->id);
    return {report, undo};
}

// 255 bytes, so ".trashinfo" no longer fits; a cut at an even byte would split a character.
const std::string kLongName = [] {
    std::string name = "L";
    for (int i = 0; i < 125; ++i)
        name += "\u00e9";
    return name + ".txt";
}();

/// Trashes a file with the longest name a file system allows from `root` (on a trash below
/// `trashRoot`), and undoes it: the trash holds a shorter name, the info the whole one.
void trashLongNameAndUndo(TempTree &tree, const std::string &root, const std::string &trash,
                          const std::string &infoPathExpected)
{
    tree.write(root.substr(tree.root().size()) + "keep/" + kLongName, "long");
    tree.write(root.substr(tree.root().size()) + "dup/" + kLongName, "long");
    ASSERT_EQ(kLongName.size(), 255u);
    const auto check = [&](const PlanReport &report) {
        ASSERT_EQ(report.done, 1u) << ProblemText(report.files[0]);
        const std::string inTrash = report.files[0].target;
        EXPECT_THAT(inTrash, ::testing::StartsWith(trash + "files/"));
        EXPECT_THAT(inTrash, ::testing::EndsWith(".txt"));
        const std::string name = NameOf(inTrash);
        EXPECT_LE(name.size() + std::strlen(".trashinfo"), 255u);
        EXPECT_EQ(std::count(name.begin(), name.end(), '\xc3'), std::count(name.begin(), name.end(), '\xa9'));
        EXPECT_EQ(readFile(inTrash), "long");
        EXPECT_EQ(trashedPath(trash + "info/" + NameOf(inTrash) + ".trashinfo"), infoPathExpected);
    };
    const UndoReport undo =
        runAndUndo(test::PlanOf(root, PlanAction::Trash, {"dup/" + kLongName}), tree.path("journal"), check)
            .second;
    EXPECT_EQ(undo.restored, 1u);
    EXPECT_EQ(readFile(root + "dup/" + kLongName), "long");
    EXPECT_TRUE(std::filesystem::is_empty(trash + "info"));
}

/// What exFAT through FUSE answers: no rename flags, no hard links. Counts the refusals.
class NoFlagsNoLinks final : public FileSystem
{
public:
    int renameat2(int oldDir, const char *oldName, int newDir, const char *newName, unsigned flags) override
    {
        if (flags != 0)
            return ++refused, errno = EINVAL, -1;
        return FileSystem::renameat2(oldDir, oldName, newDir, newName, 0);
    }
    int linkat(int, const char *, int, const char *, int) override { return ++refused, errno = EPERM, -1; }
    int refused = 0;
};

TEST(Removable, WithoutRenameFlagsOrLinksNothingIsReplacedAndRefusalsArePaidOnce)
{
    SKIP_IF(g_mountsRefused);
    TempTree tree;
    const std::string disk =
        tree.mkdir("disk") + "/";  // a file system of its own: what is learnt stays there
    const test::Mount tmpfs("none", disk, "tmpfs", 0, "size=1m");
    SKIP_IF(tmpfs.error());
    NoFlagsNoLinks seam;
    ScopedFileSystem use(seam);
    const UniqueFd folder(OpenFolder(disk));
    for (const char *name : {"a", "b", "taken"})
        tree.write(std::string("disk/") + name, name);

    EXPECT_EQ(RenameNoReplace(folder.get(), "a", folder.get(), "a2"), 0);
    EXPECT_EQ(seam.refused, 2);  // the flag, then the link: once for this file system
    EXPECT_NE(RenameNoReplace(folder.get(), "b", folder.get(), "taken"), 0);
    EXPECT_EQ(errno, EEXIST);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(RenameNoReplace(folder.get(), i % 2 ? "b2" : "b", folder.get(), i % 2 ? "b" : "b2"), 0);
    EXPECT_EQ(seam.refused, 2);
    EXPECT_EQ(readFile(disk + "a2"), "a");
    EXPECT_EQ(readFile(disk + "b"), "b");
    EXPECT_EQ(readFile(disk + "taken"), "taken");

    // SwapIn without an exchange: the copy takes the name only after what stood there checked.
    for (const bool stillChecked : {false, true}) {
        tree.write("disk/.copy", "copy");
        const Swap swap =
            SwapIn(folder.get(), ".copy", "b", false, [&](const struct stat &) { return stillChecked; });
        EXPECT_EQ(swap, stillChecked ? Swap::Done : Swap::PutBack);
        EXPECT_EQ(readFile(disk + "b"), stillChecked ? "copy" : "b");
        EXPECT_THAT(test::NamesBelow(disk), ::testing::UnorderedElementsAre("a2", "b", "taken"));
    }
}

TEST(Removable, ALongNameIsTrashedUnderAShorterOneAndComesBackWhole)
{
    TempTree tree;
    ::setenv("XDG_DATA_HOME", tree.path("data").c_str(), 1);
    trashLongNameAndUndo(tree, tree.path("files/"), tree.path("data/Trash/"),
                         tree.path("files/dup/" + kLongName));
    ::unsetenv("XDG_DATA_HOME");
}

/// Deletes, moves (onto a taken name on the disk, and off it), trashes (and undoes) and links
/// files on the disk `m`, which holds the files of `real` (the same folder but for a mirror) and
/// has `links` or not: every byte stays, nothing stays aside.
void everyAction(TempTree &tree, const std::string &m, const std::string &real, bool links)
{
    ::setenv("XDG_DATA_HOME", tree.path("data").c_str(), 1);
    const std::string rel = m.substr(tree.root().size());
    const std::vector<std::string> names = {"delete", "within", "out", "trash", "link"};
    for (const std::string &name : names)
        for (const char *side : {"keep/", "dup/"})
            tree.write(rel + side + name, "bytes of " + name);
    tree.write(rel + "into/within", "another file of that name");
    tree.mkdir("out");

    PlanReport report = RunPlan(test::PlanOf(m, PlanAction::Delete, {"dup/delete"}));
    EXPECT_EQ(report.done, 1u) << ProblemText(report.files[0]);
    EXPECT_FALSE(std::filesystem::exists(m + "dup/delete"));
    // Within the disk, onto a name that is taken: the file gets the next free one.
    ActionPlan plan = test::PlanOf(m, PlanAction::Move, {"dup/within"});
    plan.targetFolder = m + "into";
    report = RunPlan(plan);
    EXPECT_EQ(report.done, 1u) << ProblemText(report.files[0]);
    EXPECT_EQ(readFile(m + "into/within (2)"), "bytes of within");
    EXPECT_EQ(readFile(m + "into/within"), "another file of that name");
    plan = test::PlanOf(m, PlanAction::Move, {"dup/out"});
    plan.targetFolder = tree.path("out");
    report = RunPlan(plan);
    EXPECT_EQ(report.done, 1u) << ProblemText(report.files[0]);
    EXPECT_EQ(readFile(tree.path("out/out")), "bytes of out");

    // Into "$topdir/.Trash-$uid", which shows mode 0777 on exFAT, and back out by undo.
    const std::string trash = m + ".Trash-" + std::to_string(::getuid()) + "/";
    const auto [trashed, undone] =
        runAndUndo(test::PlanOf(m, PlanAction::Trash, {"dup/trash"}), tree.path("journal"));
    EXPECT_EQ(trashed.done, 1u) << ProblemText(trashed.files[0]);
    EXPECT_EQ(trashed.files[0].target, trash + "files/trash");
    EXPECT_EQ(undone.restored, 1u);
    EXPECT_EQ(readFile(m + "dup/trash"), "bytes of trash");
    trashLongNameAndUndo(tree, m, trash, "dup/" + kLongName);

    // Without links the file stays as it was; with them, undo swaps a copy in for the link, as
    // neither file system can exchange two names in one step.
    for (PlanAction action : {PlanAction::SymbolicLink, PlanAction::HardLink}) {
        SCOPED_TRACE(ActionWord(action));
        const auto [linked, undo] = runAndUndo(test::PlanOf(m, action, {"dup/link"}), tree.path("journal"));
        ASSERT_EQ(linked.done, links ? 1u : 0u) << ProblemText(linked.files[0]);
        EXPECT_EQ(undo.restored, linked.done)
            << (undo.steps.empty() ? "" : UndoReasonText(undo.steps[0].error));
        struct stat st = {};
        ASSERT_EQ(::lstat((real + "dup/link").c_str(), &st), 0);  // (a mirror's link count may lag)
        EXPECT_TRUE(S_ISREG(st.st_mode) && st.st_nlink == 1) << std::oct << st.st_mode << " " << st.st_nlink;
        EXPECT_EQ(readFile(m + "dup/link"), "bytes of link");
    }
    for (const std::string &name : names)
        EXPECT_EQ(readFile(m + "keep/" + name), "bytes of " + name);
    EXPECT_THAT(test::NamesBelow(m), Each(Not(HasSubstr(".geminor-"))));
    ::unsetenv("XDG_DATA_HOME");
}

void everyActionOnExfat(const std::string &driver)
{
    SKIP_IF(g_mountsRefused);
    TempTree tree;
    const ExfatMount exfat(tree, driver);
    SKIP_IF(exfat.refused);
    everyAction(tree, exfat.where + "/", exfat.where + "/", false);
}

TEST(Removable, EveryActionOnKernelExfatKeepsEveryByte)
{
    everyActionOnExfat("exfat");
}
TEST(Removable, EveryActionOnExfatFuseKeepsEveryByte)
{
    everyActionOnExfat("exfat-fuse");
}

TEST(Removable, ABindfsMirrorTakesEveryActionAndItsUndo)
{
    SKIP_IF(g_mountsRefused);
    SKIP_IF(test::BindfsMissing());
    TempTree tree;
    tree.mkdir("src");
    tree.mkdir("mirror");
    const test::BindfsMirror mirror(tree.path("src"), tree.path("mirror"));
    ASSERT_TRUE(mirror.ok()) << mirror.error();
    everyAction(tree, tree.path("mirror/"), tree.path("src/"), true);
}

}  // namespace
}  // namespace geminor
