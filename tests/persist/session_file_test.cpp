#include "persist/session_file.h"

#include "tests/support/gtest_common.h"

namespace geminor {
namespace {

SearchRequest sample()
{
    SearchRequest request;
    request.Method = SearchMethod::Crc32;
    request.ProtectWindowsFolders = true;
    request.IncludeHidden = false;
    request.Locations = {{"/home/me/Music", "Yes", ".mp3;.wma", false},
                         {"/home/me/Music/Old", "Yes", "*.*", true},
                         {"/data/with,commas, here", "No", "*.*", false},
                         {std::string("/data/bad\xff\xfe"), "Yes", ".jpg", false},
                         {"/keep/all", "Yes", "*.*", false, true},
                         {std::string("/odd/cr\rlf\n,comma %0D \xff\xfe"), "No", "*.*", true}};
    return request;
}

TEST(SessionFile, WritesTheLineFormatWithCrLf)
{
    SearchRequest request;
    EXPECT_EQ(SessionText(request), "Option1\r\n1\r\n0\r\n");
    request.Method = SearchMethod::SimilarPictures;  // not one of the format's: kept as byte to byte
    EXPECT_EQ(SessionText(request), "Option1\r\n1\r\n0\r\n");
    request.Method = SearchMethod::Crc32;
    request.Locations = {{"C:/Music", "Yes", ".mp3;.wma", false},
                         {"C:/Music/Old", "Yes", "*.*", true},
                         {"/ref", "No", "*.*", false, true}};
    EXPECT_EQ(
        SessionText(request),  // a reference location alone has a marker of its own
        "Option2\r\n1\r\n0\r\nC:/Music,Yes,.mp3;.wma,15\r\nC:/Music/Old,Yes,*.*,16\r\n/ref,No,*.*,17\r\n");

    // A line end in a folder's name is escaped, and the marker says so; the line stays one line.
    request.Locations = {{"/a\rb\nc%25", "Yes", "*.*", true}};
    EXPECT_EQ(SessionText(request), "Option2\r\n1\r\n0\r\n/a%0Db%0Ac%2525,Yes,*.*,16%\r\n");
    // A folder with a bare LF written before the escape still reads as it was.
    EXPECT_EQ(ParseSession("Option1\r\n1\r\n0\r\n/a\nb,Yes,*.*,15\r\n").request.Locations.at(0).Folder,
              "/a\nb");
}

TEST(SessionFile, RoundTripsMethodOptionsAndRows)
{
    TempTree tree;
    for (SearchMethod method :
         {SearchMethod::ByteToByte, SearchMethod::Crc32, SearchMethod::SameName, SearchMethod::ZeroSize}) {
        SearchRequest request = sample();
        request.Method = method;
        request.IncludeHidden = method == SearchMethod::SameName;
        request.ProtectWindowsFolders = method != SearchMethod::ZeroSize;
        ASSERT_TRUE(SaveSessionFile(tree.path("s.gmr"), request));
        const SessionRead read = LoadSessionFile(tree.path("s.gmr"));
        EXPECT_TRUE(read.loaded);
        EXPECT_FALSE(read.error);
        EXPECT_EQ(read.request, request);
    }
}

TEST(SessionFile, ReadsCrLfLoneCrAndLfFiles)
{
    // Written on Linux (LF line ends, with or without the last one) or with lone CRs: read as the
    // CR LF file would.
    SearchRequest expected;
    expected.Method = SearchMethod::SameName;
    expected.ProtectWindowsFolders = false;
    expected.IncludeHidden = true;
    expected.Locations = {{"/a\rb", "No", "*.*", false}, {"/x,y", "Yes", ".jpg", true}};
    for (const char *text : {"Option3\n0\n1\n/a\rb,No,*.*,15\n/x,y,Yes,.jpg,16\n",
                             "Option3\n0\n1\n/a\rb,No,*.*,15\r\n/x,y,Yes,.jpg,16",
                             "Option3\r\n0\r\n1\r\n/a%0Db,No,*.*,15%\r\n/x,y,Yes,.jpg,16",
                             "Option3\r0\r1\r/a%0Db,No,*.*,15%\r/x,y,Yes,.jpg,16\r"}) {
        const SessionRead read = ParseSession(text);
        EXPECT_FALSE(read.error) << text;
        EXPECT_EQ(read.request, expected) << text;
    }
    EXPECT_EQ(ParseSession("Option2").request.Method, SearchMethod::Crc32);
    EXPECT_FALSE(ParseSession("Option2\n1\n0").error);
    SessionRead read = ParseSession("option2\r\n1\r\n0\r\n");  // not a method word: byte to byte stays
    EXPECT_EQ(read.request.Method, SearchMethod::ByteToByte);
    EXPECT_FALSE(read.error);
    read = ParseSession("Option1\r\n0\r\n0\r\n/x,Yes,*.*,16junk\r\n/y,Yes,*.*,\r\n");  // leading digits
    ASSERT_EQ(read.request.Locations.size(), 2u);
    EXPECT_TRUE(read.request.Locations[0].Exclude);
    EXPECT_FALSE(read.request.Locations[1].Exclude);
    EXPECT_EQ(ParseSession(std::string("\0\xff\x01garbage", 10)).request, SearchRequest{});
}

TEST(SessionFile, ABadLineStopsTheReadingWithItsNumberAndKeepsTheRowsBefore)
{
    using enum SessionErrorNumber;
    const struct
    {
        const char *text;
        SessionErrorNumber number;
        std::size_t rows;
    } cases[] = {
        // Cut short in the last row: ",16" read as ",1" would scan a folder meant to be left
        // out, and so would an escaped folder whose "%" was lost.
        {"Option1\r\n1\r\n0\r\n/a,Yes,*.*,15\r\n/a/private,No,*.*,1", InputPastEndOfFile, 1},
        {"Option1\n1\n0\n/a,Yes,*.*,15\n/a/private,No,*.*,", InputPastEndOfFile, 1},
        {"Option1\n1\n0\n/a,Yes,*.*,15\n/a/pri%0Avate,No,*.*,16", InputPastEndOfFile, 1},
        {"Option", InputPastEndOfFile, 0},
        {"Option1\r\n1\r\n0\r\n/a,Yes,*.*,15\r\n/b,Yes,*.*\r\n/c,Yes,*.*,15\r\n", SubscriptOutOfRange, 1},
        {"Option1\r\n1\r\n0\r\n/a,Yes,*.*,15\r\n\r\n/c,Yes,*.*,15\r\n", SubscriptOutOfRange, 1},
        {"Option2\r\nyes\r\n0\r\n/a,Yes,*.*,15\r\n", TypeMismatch, 0},
        {"Option2\r\n1\r\n7\r\n", InvalidPropertyValue, 0},
        {"Option1\r\n0\r\n0\r\n/x%0D,Yes,*.*,15%\r\n/y%41,Yes,*.*,15%\r\n", InvalidPropertyValue, 1},
    };
    for (const auto &c : cases) {
        const SessionRead read = ParseSession(c.text);
        EXPECT_TRUE(read.loaded);
        ASSERT_TRUE(read.error) << c.text;
        EXPECT_EQ(read.error->number, c.number) << c.text;
        EXPECT_EQ(read.request.Locations.size(), c.rows) << c.text;
    }
    EXPECT_EQ(ParseSession(cases[4].text).error->error.detail, "5");  // the line
    EXPECT_EQ(ParseSession(cases[6].text).request.Method, SearchMethod::Crc32);
}

TEST(SessionFile, HugeTruncatedSpecialAndMissingFilesLoadNothingUnaskedAndFailedWritesAreReported)
{
    TempTree tree;
    tree.write("huge.gmr", "Option2\r\n1\r\n1\r\n/x/,Yes,*.*,15\r\n");
    ASSERT_EQ(::truncate(tree.path("huge.gmr").c_str(), 65 << 20), 0);
    SessionRead read = LoadSessionFile(tree.path("huge.gmr"));
    ASSERT_TRUE(read.error);
    EXPECT_EQ(read.error->number, SessionErrorNumber::OutOfMemory);
    EXPECT_TRUE(read.request.Locations.empty());

    ASSERT_EQ(::mkfifo(tree.path("fifo.gmr").c_str(), 0600), 0);
    read = LoadSessionFile(tree.path("fifo.gmr"));  // returns at once: nothing writes to it
    EXPECT_FALSE(read.loaded);
    ASSERT_TRUE(read.error);
    EXPECT_EQ(read.error->number, SessionErrorNumber::DeviceIoError);

    const std::string whole = SessionText(sample());
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        read = ParseSession(whole.substr(0, cut));
        EXPECT_LE(read.request.Locations.size(), sample().Locations.size());
        for (std::size_t i = 0; i < read.request.Locations.size(); ++i)  // never a row made up or cut
            EXPECT_EQ(read.request.Locations[i], sample().Locations[i]) << cut;
    }

    const SessionRead missing = LoadSessionFile(tree.path("none.gmr"));
    EXPECT_FALSE(missing.loaded);
    EXPECT_FALSE(missing.error);  // just not there
    const SessionRead noFolder = LoadSessionFile(tree.path("gone/none.gmr"));
    EXPECT_FALSE(noFolder.loaded);
    ASSERT_TRUE(noFolder.error);  // a folder that is not there is a failure of the reading
    EXPECT_EQ(noFolder.error->number, SessionErrorNumber::PathNotFound);
    EXPECT_TRUE(LoadSessionFile(tree.root()).error);

    EXPECT_FALSE(SaveSessionFile(tree.path("no/such/folder/s.gmr"), sample()));
    const std::string good = tree.write("keep.gmr", "Option4\r\n0\r\n0\r\n");
    ::chmod(good.c_str(), 0640);
    ASSERT_TRUE(SaveSessionFile(good, sample()));
    EXPECT_EQ(LoadSessionFile(good).request, sample());
    struct stat st = {};
    ASSERT_EQ(::stat(good.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the old file's permissions, not the temporary's
}

}  // namespace
}  // namespace geminor
