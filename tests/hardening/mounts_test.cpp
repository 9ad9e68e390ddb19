// Cases that need mounts: bind mounts, pseudo file systems, a full disk, a trash on another
// file system, shuffled listings from disorderfs. The whole test runs in a private mount
// namespace of its own, so nothing it mounts is seen outside; where the machine refuses
// one, the test says so and skips.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/atomic_file.h"
#include "engine/scan_run.h"
#include "persist/session_file.h"
#include "results/file_operations.h"
#include "tests/support/scan_helpers.h"
#include "tests/support/temp_tree.h"

namespace geminor {
namespace {

using test::readFile;
using test::TempTree;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

/// Entered before main(), while the process has one thread.
const std::string g_mountsRefused = [] {
    if (::unshare(CLONE_NEWNS) != 0)
        return std::string("no private mount namespace: ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("mounts cannot be made private: ") + std::strerror(errno);
    return std::string();
}();

#define REQUIRE_MOUNTS()                                                                                     \
    do {                                                                                                     \
        if (!g_mountsRefused.empty())                                                                        \
            GTEST_SKIP() << g_mountsRefused;                                                                 \
    } while (false)

/// Mounts on `where` for the life of the object.
class Mount
{
public:
    Mount(const std::string &source, const std::string &where, const char *type, unsigned long flags,
          const char *options = nullptr)
        : m_where(where)
    {
        m_ok = ::mount(source.c_str(), where.c_str(), type, flags, options) == 0;
        m_error = errno;
    }
    ~Mount()
    {
        if (m_ok)
            ::umount2(m_where.c_str(), MNT_DETACH);
    }
    bool ok() const { return m_ok; }
    std::string error() const { return std::strerror(m_error); }

private:
    std::string m_where;
    bool m_ok = false;
    int m_error = 0;
};

std::set<std::string> namesIn(const std::string &folder)
{
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename());
    return names;
}

TEST(Mounts, BindMountsAndPseudoFileSystemsInsideALocation)
{
    REQUIRE_MOUNTS();
    TempTree tree;
    tree.write("scan/real/file", "one copy");
    tree.write("scan/pair-a", "pair");
    tree.write("scan/pair-b", "pair");
    tree.mkdir("scan/alias");
    tree.mkdir("scan/proc");
    tree.mkdir("scan/sys");
    Mount bind(tree.path("scan/real"), tree.path("scan/alias"), nullptr, MS_BIND);
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
    REQUIRE_MOUNTS();
    TempTree tree;
    const std::string disk = tree.mkdir("disk") + "/";
    Mount tmpfs("tmpfs", disk, "tmpfs", 0, "size=64k");
    ASSERT_TRUE(tmpfs.ok()) << tmpfs.error();
    const std::string big(256 * 1024, 'b');

    // An export over an earlier one.
    ASSERT_FALSE(WriteFileAtomically(disk + "result.csv", "earlier export\r\n"));
    const auto exportError = WriteFileAtomically(disk + "result.csv", big);
    ASSERT_TRUE(exportError);
    EXPECT_THAT(*exportError, HasSubstr("No space left"));
    EXPECT_EQ(readFile(disk + "result.csv"), "earlier export\r\n");

    // A session save over an earlier session.
    SearchRequest request;
    ASSERT_FALSE(SaveSessionFile(disk + "s.gmr", request));
    const std::string earlier = readFile(disk + "s.gmr");
    for (int i = 0; i < 3000; ++i)
        request.Locations.push_back({"/a/rather/long/folder/name/number/" + std::to_string(i), "Yes", "*.*", false});
    const auto sessionError = SaveSessionFile(disk + "s.gmr", request);
    ASSERT_TRUE(sessionError);
    EXPECT_THAT(*sessionError, HasSubstr("No space left"));
    EXPECT_EQ(readFile(disk + "s.gmr"), earlier);

    // A copy and a move: no partial target, the source whole.
    const std::string source = tree.write("big.bin", big);
    OpResult copied = CopyInto(source, disk);
    EXPECT_FALSE(copied.done);
    EXPECT_THAT(copied.error, HasSubstr("No space left"));
    OpResult moved = MoveInto(source, disk);
    EXPECT_FALSE(moved.done);
    EXPECT_EQ(readFile(source), big);
    EXPECT_THAT(namesIn(disk), ElementsAre("result.csv", "s.gmr"));  // no temporary or partial files
}

TEST(Mounts, MoveAndCopyIntoTheOwnFolderThroughABindMountedAlias)
{
    REQUIRE_MOUNTS();
    TempTree tree;
    const std::string file = tree.write("b/f.txt", "keep me");
    tree.mkdir("alias");
    Mount bind(tree.path("b"), tree.path("alias"), nullptr, MS_BIND);
    ASSERT_TRUE(bind.ok()) << bind.error();
    const OpResult moved = MoveInto(file, tree.path("alias/"));
    EXPECT_FALSE(moved.done);
    EXPECT_EQ(readFile(file), "keep me");
    const OpResult copied = CopyInto(file, tree.path("alias/"));
    ASSERT_TRUE(copied.done) << copied.error;
    EXPECT_EQ(copied.target, tree.path("alias/f (2).txt"));
    EXPECT_EQ(readFile(file), "keep me");
    EXPECT_EQ(readFile(tree.path("b/f (2).txt")), "keep me");
}

TEST(Mounts, TrashOnAnotherFileSystem)
{
    REQUIRE_MOUNTS();
    TempTree tree;
    const std::string home = tree.mkdir("home");
    const std::string other = tree.mkdir("other") + "/";
    Mount tmpfs("tmpfs", other, "tmpfs", 0, "size=1m");
    ASSERT_TRUE(tmpfs.ok()) << tmpfs.error();
    ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    const std::string file = tree.write("other/sub/odd name %.txt", "trash me");
    const std::string trash = other + ".Trash-" + std::to_string(::getuid()) + "/";
    const OpResult trashed = MoveToTrash(file);
    ASSERT_TRUE(trashed.done) << trashed.error;
    EXPECT_EQ(trashed.target, trash + "files/odd name %.txt");
    EXPECT_EQ(readFile(trashed.target), "trash me");
    EXPECT_THAT(readFile(trash + "info/odd name %.txt.trashinfo"),
                HasSubstr("Path=" + other + "sub/odd%20name%20%25.txt\n"));
    EXPECT_NE(::access(file.c_str(), F_OK), 0);

    // A mount where no trash can be made: the failure is reported and the file stays.
    const std::string blocked = tree.mkdir("blocked") + "/";
    Mount second("tmpfs", blocked, "tmpfs", 0, "size=1m");
    ASSERT_TRUE(second.ok()) << second.error();
    const std::string kept = tree.write("blocked/kept.txt", "stay");
    tree.write("blocked/.Trash-" + std::to_string(::getuid()), "");  // a file, not a folder
    const OpResult refused = MoveToTrash(kept);
    EXPECT_FALSE(refused.done);
    EXPECT_FALSE(refused.error.empty());
    EXPECT_EQ(readFile(kept), "stay");
    ::unsetenv("XDG_DATA_HOME");
}

std::string cliOutput(const std::vector<std::string> &args)
{
    std::string out, err;
    EXPECT_EQ(test::RunCli(args, out, err), 0) << err;
    return out;
}

std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST(Mounts, ListingOrderFromDisorderfsChangesNoOutput)
{
    REQUIRE_MOUNTS();
    if (std::system("command -v disorderfs >/dev/null 2>&1") != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0)
        GTEST_SKIP() << "disorderfs or /dev/fuse is not available";
    TempTree tree;
    for (int i = 0; i < 60; ++i) {
        tree.write("src/d" + std::to_string(i % 5) + "/f" + std::to_string(i), "c" + std::to_string(i % 9));
        tree.write("src/n" + std::to_string(i % 4) + "/same", std::to_string(i % 2));
    }
    ASSERT_EQ(::link(tree.path("src/d0/f0").c_str(), tree.path("src/d4/z-link").c_str()), 0);
    tree.mkdir("mnt");
    const std::string mount = "disorderfs --quiet --shuffle-dirents=yes --reverse-dirents=yes '" +
                              tree.path("src") + "' '" + tree.path("mnt") + "' >/dev/null 2>&1";
    if (std::system(mount.c_str()) != 0)
        GTEST_SKIP() << "disorderfs could not mount";
    for (const char *method : {"byte", "crc32", "name"}) {
        const std::string plainCsv = tree.path("plain.csv"), shuffledCsv = tree.path("shuffled.csv");
        const std::string plain = cliOutput({"-q", "--no-protect", "-m", method, "--csv", plainCsv, tree.path("src")});
        const std::string shuffled =
            cliOutput({"-q", "--no-protect", "-m", method, "--csv", shuffledCsv, tree.path("mnt")});
        EXPECT_FALSE(plain.empty());
        EXPECT_EQ(replaced(shuffled, tree.path("mnt"), tree.path("src")), plain) << method;
        EXPECT_EQ(replaced(readFile(shuffledCsv), tree.path("mnt"), tree.path("src")), readFile(plainCsv)) << method;
    }
    ::umount2(tree.path("mnt").c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace geminor
