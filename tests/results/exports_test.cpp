#include "results/exports.h"

#include "tests/support/gtest_common.h"
#include <future>
#include <thread>

#include "engine/atomic_file.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/mount_helpers.h"

namespace geminor {
namespace {

using ::testing::AllOf;
using ::testing::Not;

ResultRow row(std::string name, RowColour colour = RowColour::Black)
{
    return {std::move(name), 10, "N/A", "/d/", false, false, colour, 1, {}, -1, false, {}};
}

std::size_t count(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(CsvExport, WritesTheRowsAsShownWithQuotingOnlyWhereNeeded)
{
    EXPECT_EQ(CsvText({row("a.txt")}), "File Name,Size(Bytes),Last Modified,Version,Path\r\na.txt,10," +
                                           CsvField(ModifiedText(row("a.txt"))) + ",N/A,/d/\r\n\r\n");
    EXPECT_EQ(CsvText({}), "File Name,Size(Bytes),Last Modified,Version,Path\r\n\r\n");
    EXPECT_EQ(CsvField("a,b.txt"), "\"a,b.txt\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(CsvField("=SUM(A1)"), "=SUM(A1)");
    EXPECT_EQ(CsvField(std::string("bad\xff")), std::string("bad\xff"));  // bytes as they are
    ResultRow marked = row("m,n");
    marked.marked = true;
    EXPECT_EQ(CsvText({marked, row("u")}),
              "File Name,Size(Bytes),Last Modified,Version,Path,Marked\r\n\"m,n\",10," +
                  CsvField(ModifiedText(marked)) + ",N/A,/d/,Yes\r\nu,10," +
                  CsvField(ModifiedText(row("u"))) + ",N/A,/d/,No\r\n\r\n");
}

TEST(HtmlExport, OnePageBelowAThousandRowsAndPagesOfAThousandLinkedBothWays)
{
    std::vector<ResultRow> rows;
    for (int i = 0; i < 999; ++i)
        rows.push_back(row("f" + std::to_string(i), i % 2 ? RowColour::DarkBlue : RowColour::Black));
    auto pages = HtmlPages(rows, "/r/Report.htm", {" 5000", " 999", "12/5/26"});
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].path, "/r/Report.htm");
    const std::string text = pages[0].text;
    EXPECT_EQ(count(text, "<tr>\r\n"), 999u);
    EXPECT_EQ(count(text, "bgcolor=\"#99CCFF\""), 500u * 5);
    EXPECT_EQ(count(text, "bgcolor=\"#FFCC99\""), 499u * 5);
    for (const char *part : {"<font face=Arial size=2><a></font></b></p></a></td><table border=0",
                             "Total Scanned<br> 5000</font>", "Total Duplicates<br> 999</font>",
                             "Generate on<br>12/5/26</font>", "<a href=\"https://geminor.org\""})
        EXPECT_THAT(text, HasSubstr(part));
    EXPECT_TRUE(text.starts_with(
        "<html><head><meta charset=\"utf-8\"><title>Geminor</title></head>\r\n<body topmargin=0>"));
    EXPECT_TRUE(text.ends_with("</tr>\r\n</table><br><br></body></html>\r\n"));

    // Pages of a thousand link both ways.
    const ReportHead head{" 1", " 2", "d"};
    rows.assign(1000, row("x"));
    pages = HtmlPages(rows, "/r/Report.htm", head);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].path, "/r/Report 1.htm");
    EXPECT_EQ(pages[1].path, "/r/Report 2.htm");
    EXPECT_EQ(count(pages[0].text, "<tr>\r\n"), 1000u);
    EXPECT_EQ(count(pages[1].text, "<tr>\r\n"), 0u);
    EXPECT_THAT(pages[0].text,
                HasSubstr("<td><p align=right><b><font face=Arial size=2><a href=\"Report 2.htm\" "
                          "style=\"text-decoration: none\">Next&gt;&gt;</font></b></p></a></td>"));
    EXPECT_THAT(pages[1].text,
                HasSubstr("<a href=\"Report 1.htm\" style=\"text-decoration: none\">&lt;&lt;Previous"
                          "</a>&nbsp;</font></b></p></a></td><table"));

    rows.assign(2500, row("y", RowColour::Default));
    pages = HtmlPages(rows, "/r/out.html", head);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[2].path, "/r/out. 3.htm");
    EXPECT_EQ(count(pages[2].text, "<tr>\r\n"), 500u);
    EXPECT_THAT(pages[1].text, AllOf(HasSubstr("href=\"out. 1.htm\""), HasSubstr("href=\"out. 3.htm\"")));

    // Typed as a relative path, the pages still link to each other by file name (a link holding
    // the folder would resolve to out/out/), and what a URL reads as its own is encoded.
    pages = HtmlPages(rows, "out/r.htm", head);
    EXPECT_EQ(pages[1].path, "out/r 2.htm");
    EXPECT_THAT(pages[1].text, AllOf(HasSubstr("href=\"r 1.htm\""), Not(HasSubstr("out/"))));
    pages = HtmlPages(rows, "/r/a:b #1? 100%&.htm", head);
    EXPECT_EQ(pages[1].path, "/r/a:b #1? 100%& 2.htm");
    EXPECT_THAT(pages[1].text, HasSubstr("href=\"a%3Ab %231%3F 100%25&amp; 3.htm\""));
    EXPECT_EQ(count(pages[1].text, "#FFCC99"), 5000u);  // rows without a group colour
}

TEST(HtmlExport, EscapesNamesAndLinksAndReportsWriteFailures)
{
    ResultRow odd = row("a<b>&\"c\".txt");
    odd.folder = "/x&y/";
    const auto pages = HtmlPages({odd}, "/r/R&D.htm", {" 1", " 0", "d"});
    EXPECT_EQ(pages[0].path, "/r/R&D.htm");
    EXPECT_THAT(pages[0].text, AllOf(HasSubstr("a&lt;b&gt;&amp;&quot;c&quot;.txt</font></td>"),
                                     HasSubstr("/x&amp;y/</td>")));
    // Names are written as their bytes, under a head that says they are UTF-8.
    const std::string emoji =
        HtmlPages({row("\xC3\xA9moji \xF0\x9F\x93\xB7.txt")}, "/r/e.htm", {" 1", " 0", "d"})[0].text;
    EXPECT_THAT(emoji, AllOf(HasSubstr("<meta charset=\"utf-8\">"),
                             HasSubstr(">\xC3\xA9moji \xF0\x9F\x93\xB7.txt</font></td>")));

    test::TempTree tree;
    std::vector<ResultRow> rows(1500, row("z"));
    std::vector<std::size_t> progress;
    const auto written = HtmlPages(rows, tree.path("rep.htm"), ReportHeadOf(1, 0, "d"),
                                   [&](std::size_t i, std::size_t n) { progress.push_back(i * 10000 + n); });
    EXPECT_THAT(progress, ::testing::ElementsAre(10001500));  // "Exporting 1000/1500 Please wait..."
    EXPECT_THAT(written[0].text, HasSubstr("Total Scanned<br> 1</font>"));
    EXPECT_TRUE(WritePages(written));
    EXPECT_EQ(test::readFile(tree.path("rep 2.htm")), written[1].text);
    const Status error = WritePages(HtmlPages(rows, tree.path("missing/rep.htm"), {" 1", " 0", "d"}));
    ASSERT_FALSE(error);
    EXPECT_THAT(error.error().path, HasSubstr("missing/rep 1.htm"));

    // A failure part-way leaves the earlier set of pages, never a mix of new and old.
    std::vector<ResultRow> others(1500, row("y"));
    const auto next = HtmlPages(others, tree.path("rep.htm"), {" 2", " 0", "d"});
    {
        test::FaultyFileSystem seam;
        seam.failRenames(EIO, 2, 2);
        ScopedFileSystem use(seam);
        ASSERT_FALSE(WritePages(next));
    }
    EXPECT_EQ(test::readFile(tree.path("rep 1.htm")), written[0].text);
    EXPECT_EQ(test::readFile(tree.path("rep 2.htm")), written[1].text);
    for (const auto &entry : std::filesystem::directory_iterator(tree.root()))
        EXPECT_THAT(entry.path().filename().string(), Not(::testing::StartsWith(".geminor")));
}

TEST(ExportTargets, LinksAreFollowedDevicesAndFifosWrittenInPlaceModesKept)
{
    test::TempTree tree;
    // A link to a regular file: the file is replaced, the link stays a link.
    const std::string real = tree.write("real.csv", "old");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    tree.symlink(real, "link.csv");
    ASSERT_TRUE(WriteFileAtomically(tree.path("link.csv"), "new"));
    struct stat st = {};
    ASSERT_EQ(::lstat(tree.path("link.csv").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(test::readFile(real), "new");
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);  // the replaced file keeps its mode

    // A FIFO is written into, not replaced.
    const std::string fifo = tree.path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = test::readFile(fifo); });
    EXPECT_TRUE(WriteFileAtomically(fifo, "through the pipe"));
    reader.join();
    EXPECT_EQ(received, "through the pipe");
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    // With no one reading it, the FIFO is given up on, not waited for forever.
    auto lonely = std::async(std::launch::async, [&] { return WriteFileAtomically(fifo, "x"); });
    if (lonely.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        ADD_FAILURE() << "hangs on a FIFO no one reads";
        const int unblock = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        lonely.wait();
        ::close(unblock);
    }
    const Status unread = lonely.get();
    ASSERT_FALSE(unread);
    EXPECT_EQ(unread.error().code, ErrorCode::NoReader);
    EXPECT_EQ(unread.error().errnum, ENXIO);

    // A character device (/dev/null) stays what it is; a folder is refused.
    EXPECT_TRUE(WriteFileAtomically("/dev/null", "gone"));
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    tree.mkdir("folder.csv");
    EXPECT_FALSE(WriteFileAtomically(tree.path("folder.csv"), "x"));
    EXPECT_TRUE(std::filesystem::is_directory(tree.path("folder.csv")));
}

// In /tmp anyone may plant "report.csv -> ~victim/.bashrc": such a link is refused to every
// writer, root included, as the kernel's protected_symlinks would refuse it.
TEST(ExportTargets, OthersLinksInStickyFoldersAreRefusedOwnLinksFollowed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a link and a folder to other users needs root";
    auto refused = [](const Status &written) { return !written && written.error().errnum == EACCES; };
    test::TempTree tree;
    const std::string victim = tree.write("home/.bashrc", "mine\n");
    tree.writeEach({"scan/a", "scan/b"}, "same");
    const std::string shared = tree.mkdir("shared");
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    ASSERT_EQ(::chown(shared.c_str(), 65533, 65533), 0);  // owned by neither the user nor the planter
    const std::string planted = tree.path("shared/report.csv");
    tree.symlink(victim, "shared/report.csv");
    ASSERT_EQ(::lchown(planted.c_str(), 65534, 65534), 0);
    tree.symlink(planted, "mine.csv");  // the user's own link leading to the planted one

    for (const std::string &path : {planted, tree.path("mine.csv")}) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(refused(WriteFileAtomically(path, "x")));
        EXPECT_TRUE(refused(WritePages({{tree.path("shared/ok.htm"), "x"}, {path, "x"}})));
        EXPECT_EQ(::access(tree.path("shared/ok.htm").c_str(), F_OK), -1);  // all or none
        for (const char *option : {"--csv", "--json", "--save-session"}) {
            std::string out, err;
            EXPECT_NE(test::RunCli({"-q", option, path, tree.path("scan")}, out, err), 0) << option;
            EXPECT_THAT(err, HasSubstr("Permission denied")) << option;
        }
    }
    EXPECT_EQ(test::readFile(victim), "mine\n");
    struct stat st = {};
    ASSERT_EQ(::lstat(planted.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // The user's own link there, and the folder owner's, lead where they say.
    tree.symlink(victim, "shared/own.csv");
    EXPECT_TRUE(WriteFileAtomically(tree.path("shared/own.csv"), "own\n"));
    EXPECT_EQ(test::readFile(victim), "own\n");
    tree.symlink(victim, "shared/owner.csv");
    ASSERT_EQ(::lchown(tree.path("shared/owner.csv").c_str(), 65533, 65533), 0);
    EXPECT_TRUE(WriteFileAtomically(tree.path("shared/owner.csv"), "owner's\n"));
    EXPECT_EQ(test::readFile(victim), "owner's\n");

    // A planted link to a folder is refused on the way, as the last part would be.
    const std::string elsewhere = tree.write("elsewhere/out.csv", "kept\n");
    tree.symlink(tree.path("elsewhere"), "shared/folder");
    ASSERT_EQ(::lchown(tree.path("shared/folder").c_str(), 65534, 65534), 0);
    tree.symlink(tree.path("shared/folder/out.csv"), "through.csv");
    for (const std::string &path :
         {tree.path("shared/folder/out.csv"), tree.path("shared/folder/new.csv"), tree.path("through.csv")})
        EXPECT_TRUE(refused(WriteFileAtomically(path, "x"))) << path;
    EXPECT_EQ(test::readFile(elsewhere), "kept\n");
    EXPECT_EQ(::access(tree.path("elsewhere/new.csv").c_str(), F_OK), -1);

    // The planter's FIFO there is not written into (a reader waits, so a write would not hang),
    // nor is the planter's file written into or replaced; the user's and the owner's files are.
    const std::string fifo = tree.path("shared/fifo.csv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    ASSERT_EQ(::chown(fifo.c_str(), 65534, 65534), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const std::string theirs = tree.write("shared/theirs.csv", "theirs\n");
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    for (const std::string &path : {fifo, theirs})
        EXPECT_TRUE(refused(WriteFileAtomically(path, "x"))) << path;
    char byte = 0;
    EXPECT_EQ(::read(reader, &byte, 1), 0);
    ::close(reader);
    EXPECT_EQ(test::readFile(theirs), "theirs\n");
    ASSERT_EQ(::stat(theirs.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    const std::string owners = tree.write("shared/owners.csv", "owner's\n");
    ASSERT_EQ(::chown(owners.c_str(), 65533, 65533), 0);
    for (const std::string &path : {tree.path("shared/mine.csv"), owners})
        EXPECT_TRUE(WriteFileAtomically(path, "ok\n")) << path;
    EXPECT_EQ(test::readFile(owners), "ok\n");
}

/// Entered before main(), while the process has one thread.
const std::string g_mountsRefused = test::EnterPrivateMountNamespace();

TEST(ExportTargets, AFullDiskBehindALinkKeepsTheEarlierExport)
{
    SKIP_IF(g_mountsRefused);
    test::TempTree tree;
    const std::string disk = tree.mkdir("disk");
    const test::Mount tmpfs("tmpfs", disk, "tmpfs", 0, "size=64k");
    SKIP_IF(tmpfs.ok() ? "" : "no small tmpfs to fill: " + tmpfs.error());
    const std::string real = disk + "/result.csv";
    ASSERT_TRUE(WriteFileAtomically(real, "earlier export\r\n"));
    tree.symlink(real, "link.csv");  // written in place, so the room is taken before the text goes
    const auto error = WriteFileAtomically(tree.path("link.csv"), std::string(256 * 1024, 'b'));
    ASSERT_FALSE(error);
    EXPECT_EQ(error.error().errnum, ENOSPC);
    EXPECT_EQ(test::readFile(real), "earlier export\r\n");
}

TEST(ResultRows, AGroupOfOneIsNotShownAndColoursStillAlternate)
{
    std::vector<ResultEntry> entries;
    std::int32_t group = 0;
    for (const char *g : {"a", "b", "c"}) {
        ++group;
        for (int k = 0; k < (*g == 'b' ? 1 : 2); ++k) {  // b: a search cancelled part-way
            const FileIdentity seen{7, static_cast<std::uint64_t>(10 * group + k), 1, 5'000'000'000, 6};
            entries.push_back({seen, std::string(g) + std::to_string(k), "/gone/", "N/A", group});
        }
    }
    const auto rows = LoadResults(entries, RowColour::DarkBlue);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].name, "a0");
    EXPECT_EQ(rows[0].colour, RowColour::DarkBlue);  // the colour the first group found takes
    EXPECT_EQ(rows[2].name, "c0");
    EXPECT_EQ(rows[2].colour, RowColour::Black);  // not dark blue again: b is not shown
    EXPECT_EQ(rows[2].group, 2);
    // The rows hold what the walk saw; nothing looked at the files again (they are not there).
    EXPECT_EQ(rows[3].seen, entries[4].seen);
    EXPECT_EQ(rows[3].size, 1u);
}

}  // namespace
}  // namespace geminor
