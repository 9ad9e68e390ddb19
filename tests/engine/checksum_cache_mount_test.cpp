// The checksum cache on file systems mounted for the test in a private mount namespace: a full or
// read-only one for the cache costs only the cache; records of files on a file system that keeps
// no change time are never trusted, nor those of another file system on the same device.
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/support/scan_helpers.h"
#include "tests/support/temp_tree.h"

namespace geminor {
namespace {

using test::TempTree;

constexpr int kCannotMount = 77;

/// geminor-cli with `args` as the last command of `script`, run by sh in a private mount
/// namespace (the command is "$0" "$@"), with the cache taking files at once.
int cliInNamespace(const std::string &script, const std::vector<std::string> &args, std::string &out,
                   std::string &err)
{
    return test::RunCli(args, out, err,
                        "GEMINOR_TEST_CACHE_SETTLE_SECONDS=0 unshare -m sh -c '" + script + "' ");
}

bool canMountTmpfs(const std::string &where)
{
    const std::string probe = "unshare -m mount -t tmpfs tmpfs '" + where + "' 2>/dev/null";
    return std::system(probe.c_str()) == 0;
}

TEST(ChecksumCacheMount, AFullOrReadOnlyCacheFolderCostsOnlyTheCache)
{
    TempTree tree;
    tree.write("t/a", std::string(3000, 'a'));
    tree.write("t/b", std::string(3000, 'a'));
    tree.write("t/c", std::string(3000, 'c'));
    tree.write("m/.keep", "");
    if (!canMountTmpfs(tree.path("m")))
        GTEST_SKIP() << "cannot mount a tmpfs in a private mount namespace (needs root and unshare)";
    const std::string mount = "mount -t tmpfs -o size=512k tmpfs \"" + tree.path("m") + "\" || exit 77; ";
    const std::string fill = "cat /dev/zero > \"" + tree.path("m/fill") + "\" 2>/dev/null; ";
    const std::string once = "\"$0\" \"$@\" >/dev/null 2>&1; ";
    std::string expected, out, err;
    ASSERT_EQ(test::RunCli({"-q", "--no-cache", tree.path("t")}, expected, err), 0);
    ASSERT_THAT(expected, ::testing::HasSubstr("/a"));
    const struct
    {
        const char *what;
        std::string script;
    } cases[] = {
        {"a new cache on a full disk", mount + fill},
        {"a cache made, then the disk filled", mount + once + fill},
        {"a cache made, then the file system read-only",
         mount + once + "mount -o remount,ro \"" + tree.path("m") + "\"; "},
    };
    for (const std::string method : {"byte", "crc32"})
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", " + method);
            const int status = cliInNamespace(
                c.script + "exec \"$0\" \"$@\"",
                {"-q", "-m", method, "--cache-dir", tree.path("m/cache"), tree.path("t")}, out, err);
            ASSERT_NE(status, kCannotMount) << err;
            EXPECT_EQ(status, 0) << err;  // (a SIGBUS was 135)
            EXPECT_EQ(out, expected);
            EXPECT_THAT(err, ::testing::HasSubstr("checksum cache not"));
        }
}

TEST(ChecksumCacheMount, FilesOnExfatAreNeverTakenFromTheCache)
{
    // exFAT keeps no change time: an edit and `touch -d` give a file back its whole recorded state.
    TempTree tree;
    std::filesystem::create_directory(tree.path("m"));  // (empty: FUSE mounts nowhere else)
    const std::string image = tree.path("exfat.img"), m = tree.path("m");
    const std::string make = "truncate -s 8M '" + image + "' && mkfs.exfat '" + image + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "mkfs.exfat (exfatprogs) is not installed";
    // Through a loop device: the kernel's exFAT, else exfat-fuse (which wants a block device).
    const std::string script = "L=$(losetup -f --show \"" + image +
                               "\") || exit 77; "
                               "{ mount -t exfat $L \"" +
                               m + "\" 2>/dev/null || mount.exfat-fuse $L \"" + m +
                               "\" >/dev/null 2>&1; } || "
                               "{ losetup -d $L; exit 77; }; "
                               "printf 1111 > \"" +
                               m + "/a\"; printf 2222 > \"" + m + "/b\"; touch -d 2020-01-01 \"" + m +
                               "/a\" \"" + m +
                               "/b\"; "
                               "\"$0\" \"$@\" >/dev/null 2>&1; "
                               "printf 1111 > \"" +
                               m + "/b\"; touch -d 2020-01-01 \"" + m +
                               "/b\"; "
                               "\"$0\" \"$@\"; status=$?; umount \"" +
                               m + "\"; losetup -d $L; exit $status";
    for (const std::string method : {"byte", "crc32"}) {
        SCOPED_TRACE(method);
        std::string out, err;
        const int status =
            cliInNamespace(script, {"-q", "-m", method, "--cache-dir", tree.path("cache"), m}, out, err);
        if (status == kCannotMount)
            GTEST_SKIP()
                << "cannot mount an exFAT image in a private mount namespace (needs root, losetup, and exFAT "
                   "in the kernel or exfat-fuse)";
        EXPECT_EQ(status, 0) << err;
        EXPECT_THAT(out, ::testing::HasSubstr("/a")) << "the stale record of b was used";
        EXPECT_THAT(out, ::testing::HasSubstr("/b"));
    }
}

TEST(ChecksumCacheMount, AnotherFileSystemOnTheSameDeviceNeverTakesARecord)
{
    // Two ext4 images whose y has the same inode, size and times, but other bytes, mounted in
    // turn on the same loop device: only the file system's identity tells them apart.
    TempTree tree;
    std::filesystem::create_directory(tree.path("m"));
    tree.write("src/x", "1111");
    tree.write("src/y", "2222");
    std::string make = "mkfs.ext4 -q -F -U 11111111-1111-1111-1111-111111111111 -d '" + tree.path("src") +
                       "' '" + tree.path("a.img") + "' 4M && printf 1111 > '" + tree.path("src/y") +
                       "' && mkfs.ext4 -q -F -U 22222222-2222-2222-2222-222222222222 -d '" +
                       tree.path("src") + "' '" + tree.path("b.img") + "' 4M";
    for (const char *image : {"a.img", "b.img"})
        for (const char *field :
             {"mtime 20200101000000", "ctime 20200101000000", "mtime_extra 0", "ctime_extra 0"})
            for (const char *file : {"/x", "/y"})
                make += std::string(" && debugfs -w -R 'sif ") + file + " " + field + "' '" +
                        tree.path(image) + "' 2>/dev/null";
    if (std::system((make + " >/dev/null").c_str()) != 0)
        GTEST_SKIP() << "no ext4 image can be made here (mkfs.ext4 or debugfs missing)";
    const std::string m = "\"" + tree.path("m") + "\"";
    auto on = [&](const char *image) {
        return "losetup $L \"" + tree.path(image) + "\" && mount -o ro $L " + m +
               " || { losetup -d $L; exit 77; }; ";
    };
    const std::string script = "L=$(losetup -f) || exit 77; " + on("a.img") +
                               "\"$0\" \"$@\" >/dev/null 2>&1; umount " + m + "; losetup -d $L; " +
                               on("b.img") + "\"$0\" \"$@\"; status=$?; umount " + m +
                               "; losetup -d $L; exit $status";
    for (const std::string method : {"byte", "crc32"}) {
        SCOPED_TRACE(method);
        std::string out, err;
        const int status = cliInNamespace(
            script, {"-q", "-m", method, "--cache-dir", tree.path("cache"), tree.path("m")}, out, err);
        if (status == kCannotMount)
            GTEST_SKIP() << "cannot mount an ext4 image on a loop device in a private mount namespace";
        EXPECT_EQ(status, 0) << err;
        EXPECT_THAT(out, ::testing::HasSubstr("/x")) << "the record of the other file system's y was used";
        EXPECT_THAT(out, ::testing::HasSubstr("/y"));
    }
}

}  // namespace
}  // namespace geminor
