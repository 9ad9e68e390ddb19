// geminor-cli --apply: a JSON result from outside, acted on as it is written and never beyond it.
#include "tests/support/gtest_common.h"
#include <fstream>

#include "results/result_json.h"
#include "tests/support/cli_helpers.h"

namespace geminor {
namespace {

using ::testing::AllOf;
namespace fs = std::filesystem;

struct Listed
{
    std::string path;
    bool marked = false;
    bool reference = false;
};

class GeminorCliApply : public test::CliTest
{
protected:
    /// A report by `method` of `groups` of files named in the tree, with the identity each has on
    /// the disk now.
    std::string report(SearchMethod method, const std::vector<std::vector<Listed>> &groups) const
    {
        std::vector<ResultRow> rows;
        for (std::size_t g = 0; g < groups.size(); ++g)
            for (const Listed &file : groups[g]) {
                struct stat st = {};
                ::lstat(tree.path(file.path).c_str(), &st);
                const fs::path path = tree.path(file.path);
                ResultRow row;
                row.name = path.filename();
                row.folder = FolderName(path.parent_path().string() + '/');
                row.seen = IdentityOf(st);
                row.marked = file.marked;
                row.reference = file.reference;
                row.group = static_cast<std::int32_t>(g + 1);
                rows.push_back(row);
            }
        return ResultJson(rows, method, {});
    }
    /// geminor-cli --apply on r.json holding `text`, with `args`; the exit status.
    int apply(const std::string &text, std::vector<std::string> args)
    {
        tree.write("r.json", text);
        args.insert(args.begin(), {"--apply", tree.path("r.json")});
        return run(args);
    }
    /// Which of `names` are still in the tree, in order.
    std::string left(std::initializer_list<const char *> names) const
    {
        std::string there;
        for (const char *name : names)
            if (fs::exists(tree.path(name)))
                there += (there.empty() ? "" : " ") + std::string(name);
        return there;
    }
};

TEST_F(GeminorCliApply, ActsOnTheReportsMarksNeverOnItsReferenceFilesAndQuotesOddNames)
{
    for (const char *name : {"a1", "a2", "b1", "b2", "c1", "c2", "d1", "d2", "e1", "e2"})
        tree.write(name, std::string("bytes of ") + name[0]);
    // a1 is a reference file (marked too: still never touched); the user marked b1 and kept b2;
    // nothing is marked in c, so --keep chooses there.
    const std::string abc = report(SearchMethod::ByteToByte,
                                   {{{"a1", true, true}, {"a2"}}, {{"b1", true}, {"b2"}}, {{"c1"}, {"c2"}}});
    EXPECT_EQ(apply(abc, {"--keep", "newest", "--keep", "longest-path", "--delete"}), 0) << err;
    EXPECT_EQ(left({"a1", "a2", "b1", "b2"}), "a1 b2");  // a group with a reference file keeps that one
    EXPECT_EQ(fs::exists(tree.path("c1")) + fs::exists(tree.path("c2")), 1);
    EXPECT_THAT(err, AllOf(HasSubstr("Deleted : 3\n"), HasSubstr("1 group kept the report's own marks")));
    // Without --keep only what the report marks goes.
    EXPECT_EQ(
        apply(report(SearchMethod::ByteToByte, {{{"d1"}, {"d2", true}}, {{"e1"}, {"e2"}}}), {"--trash"}), 0)
        << err;
    EXPECT_EQ(left({"d1", "d2", "e1", "e2"}), "d1 e1 e2");
    // A reference file in one group is one in every group that lists it again.
    tree.writeEach({"f1", "f2", "f3"}, "f");
    EXPECT_EQ(apply(report(SearchMethod::ByteToByte, {{{"f1", false, true}, {"f2"}}, {{"f1", true}, {"f3"}}}),
                    {"--delete"}),
              0)
        << err;
    EXPECT_EQ(left({"f1", "f2", "f3"}), "f1 f2 f3");
    // Names on standard error are quoted when they hold controls or bad bytes.
    tree.writeEach({"keep", "new\nline", "bad\xff", "plain name"}, "x");
    const std::string text = report(
        SearchMethod::ByteToByte, {{{"keep"}, {"new\nline", true}, {"bad\xff", true}, {"plain name", true}}});
    tree.writeEach({"new\nline", "bad\xff", "plain name"}, "y");  // changed since the report
    EXPECT_EQ(apply(text, {"--delete"}), 3) << err;
    EXPECT_THAT(err, HasSubstr("skipped $'" + tree.path("new\\nline") + "': changed since the scan\n"));
    EXPECT_THAT(err, HasSubstr("skipped $'" + tree.path("bad\\xff") + "': changed since the scan\n"));
    EXPECT_THAT(err, HasSubstr("skipped " + tree.path("plain name") + ": changed since the scan\n"));
}

TEST_F(GeminorCliApply, NoReportCanMakeItRemoveAFileWithoutAKeptCopy)
{
    tree.write("unique", "nothing else holds these bytes");
    tree.write("alone", "and nothing holds these");
    tree.writeEach({"empty1", "empty2"}, "");
    tree.writeEach({"copy1", "copy2"}, "two");
    // A zero-size listing that holds a file that is not empty is no zero-size listing.
    EXPECT_EQ(apply(report(SearchMethod::ZeroSize, {{{"empty1"}, {"unique", true}}}),
                    {"--keep", "first", "--delete"}),
              1)
        << err;
    EXPECT_THAT(err, HasSubstr("not empty"));
    // Whatever the method says, a file goes only when a kept copy holds its bytes.
    for (SearchMethod method : {SearchMethod::ByteToByte, SearchMethod::Crc32, SearchMethod::SameName}) {
        SCOPED_TRACE(static_cast<int>(method));
        EXPECT_EQ(apply(report(method, {{{"empty1"}, {"unique", true}}, {{"alone", true}}}), {"--delete"}), 3)
            << err;
        EXPECT_THAT(err, HasSubstr("Deleted : 0\nSkipped : 2\n"));
        EXPECT_EQ(left({"unique", "alone"}), "unique alone");
    }
    // Every member marked: none goes, and the report is said to be the reason.
    EXPECT_EQ(apply(report(SearchMethod::ByteToByte, {{{"copy1", true}, {"copy2", true}}}),
                    {"--keep", "first", "--delete"}),
              3)
        << err;
    EXPECT_THAT(err,
                HasSubstr("skipped " + tree.path("copy1") + ": the report marks every file of its group"));
    EXPECT_EQ(left({"copy1", "copy2"}), "copy1 copy2");
    // The same file listed twice, once kept: it is kept.
    EXPECT_EQ(
        apply(report(SearchMethod::ByteToByte, {{{"copy1", true}, {"copy1"}, {"copy2"}}}), {"--delete"}), 0)
        << err;
    EXPECT_EQ(left({"copy1", "copy2"}), "copy1 copy2");
    // A real zero-size listing still works.
    EXPECT_EQ(apply(report(SearchMethod::ZeroSize, {{{"empty1"}, {"empty2", true}}}), {"--delete"}), 0)
        << err;
    EXPECT_EQ(left({"empty1", "empty2"}), "empty1");
}

TEST_F(GeminorCliApply, AReportIsCheckedWholeBeforeAnythingIsDone)
{
    tree.writeEach({"k", "m"}, "same");
    tree.writeEach({"\xf0\x9f\x98\x80 smile", "smile copy"}, "smile");
    const std::string good = report(SearchMethod::ByteToByte, {{{"k"}, {"m", true}}});
    const std::string head = good.substr(0, good.rfind("]}"));  // open: one more group may follow
    const std::string id = R"(,"size":4,"mtime_ns":1,"ctime_ns":1,"device":1,"inode":1,"marked":true)";
    const auto group = [&](const std::string &file) { return head + R"(,{"files":[{)" + file + "}]}]}"; };
    const std::string bad[] = {
        group(R"("path":"/a\u0000b")" + id),
        group(R"("path":[47,0,98])" + id),
        group(R"("path":"/\ud800")" + id),
        group("\"path\":\"/a\nb\"" + id),
        group(R"("path":"/x","size":-1,"mtime_ns":1,"ctime_ns":1,"device":1,"inode":1)"),
        group(R"("path":"/x","size":1,"mtime_ns":1,"ctime_ns":1,"device":1,"inode":18446744073709551616)"),
        group(R"("path":"/x","size":1,"mtime_ns":1,"ctime_ns":1,"device":1)"),
        group(R"("path":"/x","path":"/y")" + id),
        group(R"("path":"/x","size":1,"mtime_ns":1,"ctime_ns":1,"device":1,"inode":1,"marked":"yes")"),
        group(R"("path":"")" + id),
        head + R"(,{"files":{}}]})",
        head + "]}x",
        good.substr(0, good.rfind('}')),
        R"({"groups": 3})",
    };
    for (const std::string &text : bad) {
        SCOPED_TRACE(text.substr(head.size() < text.size() ? head.size() : 0));
        EXPECT_EQ(apply(text, {"--delete"}), 1) << err;
        EXPECT_THAT(err, HasSubstr(tree.path("r.json") + ": "));
        EXPECT_TRUE(fs::exists(tree.path("m")));
    }
    // Any layout of the same JSON: spaces, key order, the method last, escapes of every kind.
    std::string layout =
        report(SearchMethod::ByteToByte, {{{"smile copy"}, {"\xf0\x9f\x98\x80 smile", true}}});
    layout.replace(layout.find("\xf0\x9f\x98\x80"), 4, "\\ud83d\\uDE00");
    layout.replace(layout.find("\"method\":\"byte\","), 16, "");
    layout.replace(layout.rfind('}'), 1, " ,\n\t\"method\" : \"b\\u0079te\" }");
    for (std::size_t at = 0; (at = layout.find('/', at)) != std::string::npos; at += 2)
        layout.replace(at, 1, "\\/");
    EXPECT_EQ(apply(layout, {"--delete"}), 0) << layout << err;
    EXPECT_EQ(left({"\xf0\x9f\x98\x80 smile", "smile copy"}), "smile copy");
}

TEST_F(GeminorCliApply, CtrlCDuringAScanEndsWithStatus130)
{
    for (int i = 0; i < 20000; ++i)
        tree.write("d/" + std::to_string(i % 200) + "/f" + std::to_string(i), std::to_string(i % 97));
    // Once it holds a folder of the tree open it is walking it, and Ctrl-C is in its hands.
    const std::string interrupt =
        "sh -c '\"$0\" \"$@\" & p=$!; while kill -0 $p 2>/dev/null && ! ls -l /proc/$p/fd "
        "2>/dev/null | grep -q " +
        tree.path("d") + "; do :; done; kill -INT $p; wait $p' ";
    EXPECT_EQ(run({"-q", "--no-cache", tree.path("d")}, interrupt), 130) << err;
    EXPECT_THAT(err, HasSubstr("The search was cancelled"));
}

TEST_F(GeminorCliApply, AReportLargerThanTheMemoryAllowedIsReadInPieces)
{
    SKIP_IF_SANITIZED();
    const std::string json = tree.path("big.json");
    {
        std::ofstream file(json);
        file << R"({"method":"byte","groups":[)";
        for (int g = 0; g < 160000; ++g)
            file << (g ? "," : "") << R"({"files":[{"path":"/nonexistent/geminor/)" << g
                 << R"(/a","size":5,"mtime_ns":1,"ctime_ns":1,"device":1,"inode":)" << 2 * g
                 << R"(,"marked":false,"reference":false},{"path":"/nonexistent/geminor/)" << g
                 << R"(/b","size":5,"mtime_ns":1,"ctime_ns":1,"device":1,"inode":)" << 2 * g + 1
                 << R"(,"marked":true,"reference":false}]})";
        file << "]}";
    }
    ASSERT_GT(fs::file_size(json), 40u << 20);
    EXPECT_EQ(run({"--apply", json, "--keep", "first", "--delete", "--dry-run"}, test::MemoryLimit(160)), 3)
        << err.substr(0, 500);
    EXPECT_THAT(err, HasSubstr("Would skip : 160000\n"));
}

}  // namespace
}  // namespace geminor
