// geminor-cli --apply: a JSON result from outside, acted on as it is written and never beyond it.
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/scan_helpers.h"
#include "tests/support/temp_tree.h"

namespace geminor {
namespace {

using test::readFile;
using test::RunCli;
using test::TempTree;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

struct Listed
{
    std::string path;
    bool marked = false;
    bool reference = false;
};

/// A path as ResultJson writes it: its bytes when it is not UTF-8 (here: holds \xff).
std::string jsonPath(const std::string &path)
{
    std::string out;
    if (path.find('\xff') != std::string::npos) {
        for (const char c : path)
            out += (out.empty() ? "[" : ",") + std::to_string(static_cast<unsigned char>(c));
        return out + "]";
    }
    for (const char c : path)
        out += c == '\n'               ? std::string("\\n")
               : c == '"' || c == '\\' ? std::string("\\") + c
                                       : std::string(1, c);
    return '"' + out + '"';
}

/// A file as the report lists it, with the identity it has on the disk now.
std::string record(const Listed &file)
{
    struct stat st = {};
    ::lstat(file.path.c_str(), &st);
    auto ns = [](const timespec &t) {
        return std::to_string(std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec);
    };
    return "{\"path\":" + jsonPath(file.path) + ",\"size\":" + std::to_string(st.st_size) +
           ",\"mtime_ns\":" + ns(st.st_mtim) + ",\"ctime_ns\":" + ns(st.st_ctim) +
           ",\"device\":" + std::to_string(st.st_dev) + ",\"inode\":" + std::to_string(st.st_ino) +
           ",\"marked\":" + (file.marked ? "true" : "false") +
           ",\"reference\":" + (file.reference ? "true" : "false") + "}";
}

std::string report(const std::string &method, const std::vector<std::vector<Listed>> &groups)
{
    std::string out = "{\"method\":\"" + method + "\",\"groups\":[";
    for (const auto &group : groups) {
        out += (out.back() == '[' ? "" : ",") + std::string("{\"files\":[");
        for (const Listed &file : group)
            out += (out.back() == '[' ? "" : ",") + record(file);
        out += "]}";
    }
    return out + "]}";
}

TEST(GeminorCliApply, ActsOnTheReportsMarksAndNeverOnItsReferenceFiles)
{
    TempTree tree;
    for (const char *name : {"a1", "a2", "b1", "b2", "c1", "c2"})
        tree.write(name, std::string("bytes of ") + name[0]);
    const std::string json = tree.path("r.json");
    // a1 is a reference file (marked too: still never touched); the user marked b1 and kept b2;
    // nothing is marked in c, so --keep chooses there.
    tree.write("r.json", report("byte", {{{tree.path("a1"), true, true}, {tree.path("a2")}},
                                         {{tree.path("b1"), true}, {tree.path("b2")}},
                                         {{tree.path("c1")}, {tree.path("c2")}}}));
    std::string out, err;
    EXPECT_EQ(RunCli({"--apply", json, "--keep", "newest", "--keep", "longest-path", "--delete"}, out, err),
              0)
        << err;
    EXPECT_TRUE(fs::exists(tree.path("a1")));
    EXPECT_FALSE(fs::exists(tree.path("a2")));  // a group with a reference file keeps that one
    EXPECT_FALSE(fs::exists(tree.path("b1")));
    EXPECT_TRUE(fs::exists(tree.path("b2")));
    EXPECT_EQ(fs::exists(tree.path("c1")) + fs::exists(tree.path("c2")), 1);
    EXPECT_THAT(err, HasSubstr("Deleted : 3\n"));
    EXPECT_THAT(err, HasSubstr("1 group kept the report's own marks"));

    // Without --keep only what the report marks goes.
    for (const char *name : {"d1", "d2", "e1", "e2"})
        tree.write(name, std::string("bytes of ") + name[0]);
    tree.write("r.json", report("byte", {{{tree.path("d1")}, {tree.path("d2"), true}},
                                         {{tree.path("e1")}, {tree.path("e2")}}}));
    EXPECT_EQ(RunCli({"--apply", json, "--trash"}, out, err), 0) << err;
    EXPECT_FALSE(fs::exists(tree.path("d2")));
    for (const char *name : {"d1", "e1", "e2"})
        EXPECT_TRUE(fs::exists(tree.path(name))) << name;
}

TEST(GeminorCliApply, NoReportCanMakeItRemoveAFileWithoutAKeptCopy)
{
    TempTree tree;
    tree.write("unique", "nothing else holds these bytes");
    tree.write("empty1", "");
    tree.write("empty2", "");
    tree.write("alone", "and nothing holds these");
    const std::string json = tree.path("r.json");
    std::string out, err;
    // A zero-size listing that holds a file that is not empty is no zero-size listing.
    tree.write("r.json", report("zero", {{{tree.path("empty1")}, {tree.path("unique"), true}}}));
    EXPECT_EQ(RunCli({"--apply", json, "--keep", "first", "--delete"}, out, err), 1) << err;
    EXPECT_THAT(err, HasSubstr("not empty"));
    EXPECT_TRUE(fs::exists(tree.path("unique")));
    // Whatever the method says, a file goes only when a kept copy holds its bytes.
    for (const char *method : {"byte", "crc32", "name"}) {
        tree.write("r.json", report(method, {{{tree.path("empty1")}, {tree.path("unique"), true}},
                                             {{tree.path("alone"), true}}}));
        EXPECT_EQ(RunCli({"--apply", json, "--delete"}, out, err), 3) << method << err;
        EXPECT_THAT(err, HasSubstr("Deleted : 0\nSkipped : 2\n")) << method;
        EXPECT_TRUE(fs::exists(tree.path("unique")) && fs::exists(tree.path("alone"))) << method;
    }
    // Every member marked: none goes, and the report is said to be the reason.
    tree.write("copy1", "two");
    tree.write("copy2", "two");
    tree.write("r.json", report("byte", {{{tree.path("copy1"), true}, {tree.path("copy2"), true}}}));
    EXPECT_EQ(RunCli({"--apply", json, "--keep", "first", "--delete"}, out, err), 3) << err;
    EXPECT_THAT(err,
                HasSubstr("skipped " + tree.path("copy1") + ": the report marks every file of its group"));
    EXPECT_TRUE(fs::exists(tree.path("copy1")) && fs::exists(tree.path("copy2")));
    // The same file listed twice, once kept: it is kept.
    tree.write("r.json",
               report("byte", {{{tree.path("copy1"), true}, {tree.path("copy1")}, {tree.path("copy2")}}}));
    EXPECT_EQ(RunCli({"--apply", json, "--delete"}, out, err), 0) << err;
    EXPECT_TRUE(fs::exists(tree.path("copy1")) && fs::exists(tree.path("copy2")));
    // A real zero-size listing still works.
    tree.write("r.json", report("zero", {{{tree.path("empty1")}, {tree.path("empty2"), true}}}));
    EXPECT_EQ(RunCli({"--apply", json, "--delete"}, out, err), 0) << err;
    EXPECT_TRUE(fs::exists(tree.path("empty1")));
    EXPECT_FALSE(fs::exists(tree.path("empty2")));
}

TEST(GeminorCliApply, AReportIsCheckedWholeBeforeAnythingIsDone)
{
    TempTree tree;
    tree.write("k", "same");
    tree.write("m", "same");
    tree.write("\xf0\x9f\x98\x80 smile", "smile");
    tree.write("smile copy", "smile");
    const std::string json = tree.path("r.json");
    const std::string good = report("byte", {{{tree.path("k")}, {tree.path("m"), true}}});
    const std::string head = good.substr(0, good.size() - 2);  // open: one more group may follow
    const std::string id =
        ",\"size\":4,\"mtime_ns\":1,\"ctime_ns\":1,\"device\":1,\"inode\":1,\"marked\":true}";
    const std::string bad[] = {
        head + ",{\"files\":[{\"path\":\"/a\\u0000b\"" + id + "]}]}",
        head + ",{\"files\":[{\"path\":[47,0,98]" + id + "]}]}",
        head + ",{\"files\":[{\"path\":\"/\\ud800\"" + id + "]}]}",
        head + ",{\"files\":[{\"path\":\"/a\nb\"" + id + "]}]}",
        head + ",{\"files\":[{\"path\":\"/"
               "x\",\"size\":-1,\"mtime_ns\":1,\"ctime_ns\":1,\"device\":1,\"inode\":1}]}]}",
        head +
            ",{\"files\":[{\"path\":\"/"
            "x\",\"size\":1,\"mtime_ns\":1,\"ctime_ns\":1,\"device\":1,\"inode\":18446744073709551616}]}]}",
        head + ",{\"files\":[{\"path\":\"/x\",\"size\":1,\"mtime_ns\":1,\"ctime_ns\":1,\"device\":1}]}]}",
        head + ",{\"files\":[{\"path\":\"/x\",\"path\":\"/y\"" + id + "]}]}",
        head +
            ",{\"files\":[{\"path\":\"/"
            "x\",\"size\":1,\"mtime_ns\":1,\"ctime_ns\":1,\"device\":1,\"inode\":1,\"marked\":\"yes\"}]}]}",
        head + ",{\"files\":[{\"path\":\"\"" + id + "]}]}",
        head + ",{\"files\":{}}]}",
        head + "]}x",
        good.substr(0, good.size() - 1),
        "{\"groups\": 3}",
    };
    std::string out, err;
    for (const std::string &text : bad) {
        SCOPED_TRACE(text.substr(head.size() < text.size() ? head.size() : 0));
        tree.write("r.json", text);
        EXPECT_EQ(RunCli({"--apply", json, "--delete"}, out, err), 1) << err;
        EXPECT_THAT(err, HasSubstr(tree.path("r.json") + ": "));
        EXPECT_TRUE(fs::exists(tree.path("m")));
    }
    // Any layout of the same JSON: spaces, key order, the method last, escapes of every kind.
    std::string layout =
        report("byte", {{{tree.path("smile copy")}, {tree.path("\xf0\x9f\x98\x80 smile"), true}}});
    layout.replace(layout.find("\xf0\x9f\x98\x80"), 4, "\\ud83d\\uDE00");
    layout.replace(layout.find("\"method\":\"byte\","), 16, "");
    layout.replace(layout.size() - 1, 1, " ,\n\t\"method\" : \"b\\u0079te\" }");
    for (std::size_t at = 0; (at = layout.find('/', at)) != std::string::npos; at += 2)
        layout.replace(at, 1, "\\/");
    tree.write("r.json", layout);
    EXPECT_EQ(RunCli({"--apply", json, "--delete"}, out, err), 0) << layout << err;
    EXPECT_FALSE(fs::exists(tree.path("\xf0\x9f\x98\x80 smile")));
    EXPECT_TRUE(fs::exists(tree.path("smile copy")));
}

TEST(GeminorCliApply, NamesOnStandardErrorAreQuotedWhenTheyHoldControlsOrBadBytes)
{
    TempTree tree;
    tree.write("keep", "x");
    tree.write("new\nline", "x");
    tree.write("bad\xff", "x");
    tree.write("plain name", "x");
    const std::string json = tree.path("r.json");
    tree.write("r.json", report("byte", {{{tree.path("keep")},
                                          {tree.path("new\nline"), true},
                                          {tree.path("bad\xff"), true},
                                          {tree.path("plain name"), true}}}));
    for (const char *name : {"new\nline", "bad\xff", "plain name"})
        tree.write(name, "y");  // changed since the report
    std::string out, err;
    EXPECT_EQ(RunCli({"--apply", json, "--delete"}, out, err), 3) << err;
    EXPECT_THAT(err, HasSubstr("skipped $'" + tree.path("new\\nline") + "': changed since the scan\n"));
    EXPECT_THAT(err, HasSubstr("skipped $'" + tree.path("bad\\xff") + "': changed since the scan\n"));
    EXPECT_THAT(err, HasSubstr("skipped " + tree.path("plain name") + ": changed since the scan\n"));
}

TEST(GeminorCliApply, CtrlCDuringAScanEndsWithStatus130)
{
    TempTree tree;
    for (int i = 0; i < 20000; ++i)
        tree.write("d/" + std::to_string(i % 200) + "/f" + std::to_string(i), std::to_string(i % 97));
    // Once it holds a folder of the tree open it is walking it, and Ctrl-C is in its hands.
    const std::string interrupt =
        "sh -c '\"$0\" \"$@\" & p=$!; while kill -0 $p 2>/dev/null && ! ls -l /proc/$p/fd "
        "2>/dev/null | grep -q " +
        tree.path("d") + "; do :; done; kill -INT $p; wait $p' ";
    std::string out, err;
    EXPECT_EQ(RunCli({"-q", "--no-cache", tree.path("d")}, out, err, interrupt), 130) << err;
    EXPECT_THAT(err, HasSubstr("The search was cancelled"));
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GEMINOR_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define GEMINOR_SANITIZED 1
#endif
#endif

TEST(GeminorCliApply, AReportLargerThanTheMemoryAllowedIsReadInPieces)
{
#ifdef GEMINOR_SANITIZED
    GTEST_SKIP() << "sanitizers reserve terabytes of address space";
#endif
    TempTree tree;
    const std::string json = tree.path("big.json");
    {
        std::ofstream out(json);
        out << "{\"method\":\"byte\",\"groups\":[";
        for (int g = 0; g < 160000; ++g)
            out << (g ? "," : "") << "{\"files\":[{\"path\":\"/nonexistent/geminor/" << g
                << "/a\",\"size\":5,\"mtime_ns\":1,\"ctime_ns\":1,\"device\":1,\"inode\":" << 2 * g
                << ",\"marked\":false,\"reference\":false},{\"path\":\"/nonexistent/geminor/" << g
                << "/b\",\"size\":5,\"mtime_ns\":1,\"ctime_ns\":1,\"device\":1,\"inode\":" << 2 * g + 1
                << ",\"marked\":true,\"reference\":false}]}";
        out << "]}";
    }
    ASSERT_GT(fs::file_size(json), 40u << 20);
    std::string out, err;
    EXPECT_EQ(RunCli({"--apply", json, "--keep", "first", "--delete", "--dry-run"}, out, err,
                     "prlimit --as=" + std::to_string(160 << 20) + " "),
              3)
        << err.substr(0, 500);
    EXPECT_THAT(err, HasSubstr("Would skip : 160000\n"));
}

}  // namespace
}  // namespace geminor
