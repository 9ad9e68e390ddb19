#include "results/file_operations.h"

#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "results/exports.h"
#include "results/rename_file.h"
#include "results/result_row.h"
#include "tests/support/scan_helpers.h"
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

TEST(FileOperations, HostileNamesAreFoundExportedCopiedRenamedAndDeletedByTheirBytes)
{
    const std::vector<std::string> names{"new\nline",  "carriage\rreturn", "tab\there", std::string("bad\xff\xfe"),
                                         "-rf",         "$HOME",            "*",         "%s%n",
                                         "quote\"'s", " lead space",      "back\\slash"};
    TempTree tree;
    for (const std::string &name : names) {
        tree.write("src/" + name, "same bytes");
        tree.write("other/" + name, "same bytes");
    }
    const ScanOutcome outcome = test::ScanFolder(tree.root(), SearchMethod::ByteToByte);
    ASSERT_EQ(outcome.entries.size(), 2 * names.size());  // every file found, all in one group
    const std::vector<ResultRow> rows = LoadResults(outcome.entries);
    ASSERT_EQ(rows.size(), 2 * names.size());
    const std::string csv = CsvText(rows);
    for (const std::string &name : names)
        EXPECT_THAT(csv, ::testing::HasSubstr(CsvField(name) + ",")) << name;

    tree.mkdir("dest");
    for (const std::string &name : names) {
        const std::string path = tree.path("src/" + name);
        const OpResult copied = CopyInto(path, tree.path("dest/"));
        ASSERT_TRUE(copied.done) << name << ": " << copied.error;
        EXPECT_EQ(copied.target, tree.path("dest/" + name));
        EXPECT_FALSE(RenameFile(path, tree.path("src/" + name + ".renamed")).has_value()) << name;
        EXPECT_EQ(readFile(tree.path("src/" + name + ".renamed")), "same bytes");
        EXPECT_TRUE(DeleteForGood(tree.path("dest/" + name)).done) << name;
        EXPECT_FALSE(exists(tree.path("dest/" + name)));
        EXPECT_EQ(readFile(tree.path("other/" + name)), "same bytes");  // the other copy untouched
    }
}

TEST(FileOperations, RenamesThatWouldReplaceOrAreNoNamesAreRefused)
{
    TempTree tree;
    const std::string file = tree.write("a.txt", "mine");
    tree.write("b.txt", "theirs");
    EXPECT_TRUE(RenameFile(file, tree.path("b.txt")).has_value());
    EXPECT_EQ(readFile(tree.path("b.txt")), "theirs");
    for (const std::string &name : {std::string(), std::string("."), std::string(".."), std::string(256, 'n'),
                                    std::string("a/b")})
        EXPECT_TRUE(InvalidNameReason(name).has_value()) << name;
    EXPECT_FALSE(InvalidNameReason(std::string(255, 'n')).has_value());
    EXPECT_EQ(readFile(file), "mine");
}

}  // namespace
}  // namespace geminor
