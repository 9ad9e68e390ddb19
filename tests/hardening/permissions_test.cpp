// Cases that need permissions to be enforced. Root reads everything, so CTest runs this test
// as "nobody" (setpriv) when it is started by root; a root run without that skips and says so.
#include <cstdio>
#include "tests/support/gtest_common.h"

#include "engine/atomic_file.h"
#include "engine/scan_run.h"
#include "texts/scan_texts.h"
#include "persist/settings_format.h"
#include "persist/settings_store.h"
#include <memory>
#include "texts/plan_texts.h"
#include "results/rename_file.h"

namespace geminor {
namespace {

#define REQUIRE_PERMISSIONS()                                                                                \
    do {                                                                                                     \
        if (::geteuid() == 0)                                                                                \
            GTEST_SKIP() << "running as root, which permissions do not stop; CTest runs this as nobody";     \
    } while (false)

TEST(Permissions, UnreadableFoldersAndFilesAreReportedAndTheRestIsFound)
{
    REQUIRE_PERMISSIONS();
    TempTree tree;
    tree.writeEach({"open/a", "open/b", "closed/c"}, "same");
    tree.writeEach({"locked/x1", "locked/x2"}, "other");  // two unreadable files of one size
    tree.write("listed/y", "same");  // listed, but its folder cannot be entered: said, not dropped
    ASSERT_EQ(::chmod(tree.path("listed").c_str(), 0444), 0);
    for (const char *closed : {"closed", "locked/x1", "locked/x2"})
        ASSERT_EQ(::chmod(tree.path(closed).c_str(), 0), 0);
    for (SearchMethod method : {SearchMethod::ByteToByte, SearchMethod::Crc32}) {
        const ScanOutcome s = test::ScanFolder(tree.root(), method);
        EXPECT_THAT(test::RowsOf(s, tree.root(), false), ElementsAre("open/a", "open/b"));
        EXPECT_EQ(s.unreadableFiles, 3);
        EXPECT_EQ(s.unlistedFolders, 1);
        EXPECT_THAT(ProblemTexts(s), ElementsAre("3 files could not be read", "1 folder could not be read"));
    }
    std::string out, err;
    EXPECT_EQ(test::RunCli({"-q", "--no-protect", tree.root()}, out, err), 0);
    EXPECT_THAT(err, HasSubstr("\n3 files could not be read\n1 folder could not be read\n"));
}

TEST(Permissions, FilesInAReadOnlyFolderStayWhenMovedDeletedOrRenamed)
{
    REQUIRE_PERMISSIONS();
    TempTree tree;
    const std::string file = tree.write("ro/f.txt", "keep");
    const std::string other = tree.write("rw/f.txt", "keep");
    tree.mkdir("dest");
    ::setenv("XDG_DATA_HOME", tree.path("data").c_str(), 1);
    ActionPlan plan = test::PlanOf(tree.root(), PlanAction::Move, {"ro/f.txt"});
    ASSERT_EQ(::chmod(tree.path("ro").c_str(), 0555), 0);
    for (PlanAction action : {PlanAction::Move, PlanAction::Delete, PlanAction::Trash}) {
        plan.action = action;
        plan.targetFolder = tree.path("dest");
        const PlanReport report = RunPlan(plan);
        ASSERT_EQ(report.failed, 1u);  // never reported as done when it was not
        EXPECT_THAT(ProblemText(report.files[0]), HasSubstr("Permission denied"));
        EXPECT_EQ(readFile(file), "keep");
    }
    plan = test::PlanOf(tree.root(), PlanAction::Move, {"rw/f.txt"});  // and into a read-only folder
    plan.targetFolder = tree.path("ro");
    EXPECT_EQ(RunPlan(plan).failed, 1u);
    EXPECT_EQ(readFile(other), "keep");
    EXPECT_FALSE(RenameFile(file, tree.path("ro/g.txt")));
    EXPECT_EQ(readFile(file), "keep");
    EXPECT_EQ(::access(tree.path("dest/f.txt").c_str(), F_OK), -1);  // no copy left behind

    // Writing into a folder without write permission fails with the reason, and nothing is left;
    // a file the user may not write is refused, not replaced.
    Status written = WriteFileAtomically(tree.path("ro/export.csv"), "x");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().errnum, EACCES);
    EXPECT_TRUE(WriteFileAtomically(tree.path("ro/f.txt"), "rewritten"));  // a writable file in it
    EXPECT_EQ(readFile(tree.path("ro/f.txt")), "rewritten");
    const std::string readOnly = tree.write("r.csv", "earlier");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    written = WriteFileAtomically(readOnly, "new");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().errnum, EACCES);
    EXPECT_EQ(readFile(readOnly), "earlier");
    ::unsetenv("XDG_DATA_HOME");
}

TEST(Permissions, UnreadableOrUnwritableSettingsGiveTheDefaultsAndNoCrash)
{
    REQUIRE_PERMISSIONS();
    TempTree tree;
    const std::string text = "[Options]\nDisplay=9\nRecycleBin=11\n";
    auto settingsAt = [](const std::string &path) {
        return std::make_unique<QSettings>(QString::fromStdString(path), TextSettingsFormat());
    };
    const std::string unreadable = tree.write("unreadable/Geminor.conf", text);
    ASSERT_EQ(::chmod(unreadable.c_str(), 0), 0);
    auto backend = settingsAt(unreadable);
    EXPECT_EQ(SettingsStore(*backend).Display(), 10);
    EXPECT_EQ(SettingsStore(*backend).RecycleBin(), 12);

    const std::string locked = tree.write("locked/Geminor.conf", text);
    ASSERT_EQ(::chmod(tree.path("locked").c_str(), 0555), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    backend = settingsAt(locked);
    SettingsStore store(*backend);
    EXPECT_EQ(store.Display(), 9);
    store.SetDisplay(SettingsStore::kViewerOn);  // cannot be stored: the earlier file stays
    EXPECT_EQ(readFile(locked), text);
}

}  // namespace
}  // namespace geminor
