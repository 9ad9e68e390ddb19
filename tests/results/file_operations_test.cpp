#include "results/file_operations.h"

#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/temp_tree.h"

namespace geminor {
namespace {

using test::readFile;
using test::TempTree;

bool exists(const std::string &path)
{
    struct stat st = {};
    return ::lstat(path.c_str(), &st) == 0;
}

TEST(FileOperations, CopiesNeverReplaceAndPickANewName)
{
    TempTree tree;
    tree.write("one/a.txt", "first");
    tree.write("two/a.txt", "second");
    tree.write("noext", "x");
    const std::string into = tree.mkdir("into/");
    OpResult r = CopyInto(tree.path("one/a.txt"), into);
    ASSERT_TRUE(r.done) << r.error;
    EXPECT_EQ(r.target, into + "a.txt");
    r = CopyInto(tree.path("two/a.txt"), into);
    ASSERT_TRUE(r.done);
    EXPECT_EQ(r.target, into + "a (2).txt");
    EXPECT_EQ(readFile(into + "a.txt"), "first");
    EXPECT_EQ(readFile(into + "a (2).txt"), "second");
    EXPECT_EQ(FreeNameIn(tree.root(), "noext"), "noext (2)");
    EXPECT_EQ(FreeNameIn(tree.root(), "fresh.txt"), "fresh.txt");

    r = CopyInto(tree.path("one/a.txt"), tree.path("missing/"));
    EXPECT_FALSE(r.done);
    EXPECT_FALSE(r.error.empty());
    r = CopyInto(tree.path("one/gone.txt"), into);
    EXPECT_FALSE(r.done);
}

TEST(FileOperations, MovesKeepTheSourceUntilTheCopyIsComplete)
{
    TempTree tree;
    tree.write("a/f.bin", "payload");
    tree.write("b/f.bin", "other");
    OpResult r = MoveInto(tree.path("a/f.bin"), tree.path("b/"));
    ASSERT_TRUE(r.done) << r.error;
    EXPECT_EQ(r.target, tree.path("b/f (2).bin"));
    EXPECT_FALSE(exists(tree.path("a/f.bin")));
    EXPECT_EQ(readFile(tree.path("b/f.bin")), "other");

    // Into the file's own folder, also through a symbolic link to it: refused, nothing renamed.
    ASSERT_EQ(::symlink(tree.path("b").c_str(), tree.path("alias").c_str()), 0);
    for (const std::string &into : {tree.path("b/"), tree.path("alias/"), tree.path("b/../b/")}) {
        r = MoveInto(tree.path("b/f.bin"), into);
        EXPECT_FALSE(r.done) << into;
        EXPECT_EQ(readFile(tree.path("b/f.bin")), "other");
    }

    r = MoveInto(tree.path("b/f (2).bin"), tree.path("nowhere/"));
    EXPECT_FALSE(r.done);
    EXPECT_EQ(readFile(tree.path("b/f (2).bin")), "payload");  // nothing lost

    if (::access("/dev/shm", W_OK) == 0) {  // another file system, when there is one
        char pattern[] = "/dev/shm/geminor-test-XXXXXX";
        if (::mkdtemp(pattern)) {
            const std::string shm = std::string(pattern) + '/';
            r = MoveInto(tree.path("b/f (2).bin"), shm);
            ASSERT_TRUE(r.done) << r.error;
            EXPECT_EQ(readFile(r.target), "payload");
            EXPECT_FALSE(exists(tree.path("b/f (2).bin")));
            ::unlink(r.target.c_str());
            ::rmdir(pattern);
        }
    }
}

TEST(FileOperations, AMoveIntoAReadOnlyFolderLosesNothing)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    TempTree tree;
    const std::string first = tree.write("src/1.txt", "one");
    const std::string locked = tree.mkdir("locked/");
    ASSERT_EQ(::chmod(locked.c_str(), 0500), 0);
    const OpResult r = MoveInto(first, locked);
    ::chmod(locked.c_str(), 0700);
    EXPECT_FALSE(r.done);
    EXPECT_EQ(readFile(first), "one");
    EXPECT_FALSE(exists(locked + "1.txt"));
}

TEST(FileOperations, DeleteAndTrash)
{
    TempTree tree;
    const std::string doomed = tree.write("doomed", "x");
    EXPECT_TRUE(DeleteForGood(doomed).done);
    EXPECT_FALSE(exists(doomed));
    EXPECT_FALSE(DeleteForGood(doomed).done);

    const std::string data = tree.mkdir("data");
    const char *old = std::getenv("XDG_DATA_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    const std::string odd = tree.write(std::string("to trash \xff%.txt"), "keep me");
    const OpResult r = MoveToTrash(odd);
    old ? ::setenv("XDG_DATA_HOME", saved.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
    ASSERT_TRUE(r.done) << r.error;
    EXPECT_FALSE(exists(odd));
    EXPECT_EQ(r.target, data + "/Trash/files/to trash \xff%.txt");
    EXPECT_EQ(readFile(r.target), "keep me");
    const std::string info = readFile(data + "/Trash/info/to trash \xff%.txt.trashinfo");
    EXPECT_THAT(info, testing::StartsWith("[Trash Info]\nPath=" + tree.root().substr(0, 0)));
    EXPECT_THAT(info, testing::HasSubstr("to%20trash%20%FF%25.txt\nDeletionDate="));
    EXPECT_FALSE(MoveToTrash(odd).done);  // gone: a failure, never a success
}

}  // namespace
}  // namespace geminor
