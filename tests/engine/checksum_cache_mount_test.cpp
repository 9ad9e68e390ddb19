// The checksum cache on file systems mounted for the test in a private mount namespace: a full or
// read-only one for the cache costs only the cache; records of files on a file system that keeps
// no change time are never trusted, nor those of another file system on the same device.
#include "tests/support/gtest_common.h"

namespace geminor {
namespace {

constexpr int kCannotMount = 77;

/// geminor-cli with `args` run by `script` ("$0" "$@") by sh in a private mount namespace, with
/// the tree's root in $T and the cache taking files at once.
int cliInNamespace(const TempTree &tree, const std::string &script, const std::vector<std::string> &args,
                   std::string &out, std::string &err)
{
    return test::RunCli(args, out, err,
                        "GEMINOR_TEST_CACHE_SETTLE_SECONDS=0 T='" + tree.root() + "' unshare -m sh -c '" +
                            script + "' ");
}

TEST(ChecksumCacheMount, AFullOrReadOnlyCacheFolderCostsOnlyTheCache)
{
    TempTree tree;
    tree.writeEach({"t/a", "t/b"}, std::string(3000, 'a'));
    tree.write("t/c", std::string(3000, 'c'));
    tree.write("m/.keep", "");
    if (std::system(("unshare -m mount -t tmpfs tmpfs '" + tree.path("m") + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a tmpfs in a private mount namespace (needs root and unshare)";
    const std::string mount = "mount -t tmpfs -o size=512k tmpfs \"${T}m\" || exit 77; ",
                      fill = "cat /dev/zero > \"${T}m/fill\" 2>/dev/null; ",
                      once = "\"$0\" \"$@\" >/dev/null 2>&1; ";
    std::string expected, out, err;
    ASSERT_EQ(test::RunCli({"-q", "--no-cache", tree.path("t")}, expected, err), 0);
    ASSERT_THAT(expected, HasSubstr("/a"));
    for (const std::string method : {"byte", "crc32"})
        for (const std::string &script :
             {mount + fill,  // a new cache on a full disk
              mount + once + fill, mount + once + "mount -o remount,ro \"${T}m\"; "}) {
            SCOPED_TRACE(script + ", " + method);
            const int status = cliInNamespace(
                tree, script + "exec \"$0\" \"$@\"",
                {"-q", "-m", method, "--cache-dir", tree.path("m/cache"), tree.path("t")}, out, err);
            ASSERT_NE(status, kCannotMount) << err;
            EXPECT_EQ(status, 0) << err;  // (a SIGBUS was 135)
            EXPECT_EQ(out, expected);
            EXPECT_THAT(err, HasSubstr("checksum cache not"));
        }
}

/// Runs `script` (which mounts a file system on "${T}m", runs "$0" "$@" on it once quietly,
/// changes it, runs it again and unmounts) for both methods: both files must be found equal.
void expectBothFound(const TempTree &tree, const std::string &script, const char *skip)
{
    for (const std::string method : {"byte", "crc32"}) {
        SCOPED_TRACE(method);
        std::string out, err;
        const int status = cliInNamespace(
            tree, script, {"-q", "-m", method, "--cache-dir", tree.path("cache"), tree.path("m")}, out, err);
        if (status == kCannotMount)
            GTEST_SKIP() << skip;
        EXPECT_EQ(status, 0) << err;
        EXPECT_THAT(out, HasSubstr("/a")) << "a stale record was used";
        EXPECT_THAT(out, HasSubstr("/b"));
    }
}

TEST(ChecksumCacheMount, FilesOnExfatAreNeverTakenFromTheCache)
{
    // exFAT keeps no change time: an edit and `touch -d` give a file back its whole recorded state.
    TempTree tree;
    std::filesystem::create_directory(tree.path("m"));  // (empty: FUSE mounts nowhere else)
    const std::string make = "truncate -s 8M '" + tree.path("x.img") + "' && mkfs.exfat '" +
                             tree.path("x.img") + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "mkfs.exfat (exfatprogs) is not installed";
    // Through a loop device: the kernel's exFAT, else exfat-fuse (which wants a block device).
    expectBothFound(
        tree,
        "L=$(losetup -f --show \"${T}x.img\") || exit 77; "
        "{ mount -t exfat $L \"${T}m\" 2>/dev/null || mount.exfat-fuse $L \"${T}m\" >/dev/null 2>&1; } "
        "|| { losetup -d $L; exit 77; }; cd \"${T}m\"; printf 1111 > a; printf 2222 > b; "
        "touch -d 2020-01-01 a b; \"$0\" \"$@\" >/dev/null 2>&1; printf 1111 > b; "
        "touch -d 2020-01-01 b; cd /; \"$0\" \"$@\"; status=$?; umount \"${T}m\"; losetup -d $L; "
        "exit $status",
        "cannot mount an exFAT image in a private mount namespace (needs root, losetup, and exFAT in "
        "the kernel or exfat-fuse)");
}

TEST(ChecksumCacheMount, AnotherFileSystemOnTheSameDeviceNeverTakesARecord)
{
    // Two ext4 images whose b has the same inode, size and times, but other bytes, mounted in
    // turn on the same loop device: only the file system's identity tells them apart.
    TempTree tree;
    std::filesystem::create_directory(tree.path("m"));
    tree.write("src/a", "1111");
    tree.write("src/b", "2222");
    std::string make;
    for (const char *image : {"1", "2"}) {
        make += std::string(make.empty() ? "" : " && printf 1111 > '" + tree.path("src/b") + "'") +
                " && mkfs.ext4 -q -F -U 11111111-1111-1111-1111-11111111111" + image + " -d '" +
                tree.path("src") + "' '" + tree.path(image) + ".img' 4M";
        for (const char *field :
             {"mtime 20200101000000", "ctime 20200101000000", "mtime_extra 0", "ctime_extra 0"})
            for (const char *file : {"/a", "/b"})
                make += std::string(" && debugfs -w -R 'sif ") + file + " " + field + "' '" +
                        tree.path(image) + ".img' 2>/dev/null";
    }
    if (std::system(("true" + make + " >/dev/null").c_str()) != 0)
        GTEST_SKIP() << "no ext4 image can be made here (mkfs.ext4 or debugfs missing)";
    const std::string on = "mount -o ro $L \"${T}m\" || { losetup -d $L; exit 77; }; ";
    expectBothFound(
        tree,
        "L=$(losetup -f) || exit 77; losetup $L \"${T}1.img\" && " + on +
            "\"$0\" \"$@\" >/dev/null 2>&1; umount \"${T}m\"; losetup -d $L; losetup $L \"${T}2.img\" && " +
            on + "\"$0\" \"$@\"; status=$?; umount \"${T}m\"; losetup -d $L; exit $status",
        "cannot mount an ext4 image on a loop device in a private mount namespace");
}

}  // namespace
}  // namespace geminor
