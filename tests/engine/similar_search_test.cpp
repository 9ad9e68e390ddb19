// The similar-pictures search with a decoder that reads "PIC width height hash" files, so that
// the distances between pictures are exactly what each test says.
#include "engine/similar_search.h"

#include <atomic>
#include <cstdio>
#include "tests/support/gtest_common.h"
#include <random>

#include "engine/checksum_cache.h"
#include "engine/picture_groups.h"
#include "engine/scan_run.h"

namespace geminor {
namespace {

using ::testing::IsEmpty;

class TextPictures final : public PictureDecoder
{
public:
    bool isPicture(std::span<const std::byte> head) const override
    {
        return head.size() >= 4 && std::string(reinterpret_cast<const char *>(head.data()), 4) == "PIC ";
    }
    Result<PictureLook> look(int fd) const override
    {
        ++looks;
        char text[128] = {};
        const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
        PictureLook look;
        unsigned long long hash = 0;
        if (got <= 0 || std::sscanf(text, "PIC %u %u %llx", &look.width, &look.height, &hash) != 3)
            return Fail(ErrorCode::PictureUndecodable);
        look.hash = hash;
        return look;
    }
    mutable std::atomic<int> looks{0};
};

std::string picture(unsigned width, unsigned height, std::uint64_t hash)
{
    char text[64];
    std::snprintf(text, sizeof text, "PIC %u %u %llx\n", width, height,
                  static_cast<unsigned long long>(hash));
    return text;
}

ScanOutcome scan(const std::string &root, const PictureDecoder *decoder, ChecksumCache *cache = nullptr,
                 Similarity level = Similarity::High)
{
    SearchRequest request;
    request.Method = SearchMethod::SimilarPictures;
    request.similarity = level;
    request.ProtectWindowsFolders = false;
    request.Locations.push_back({root, "Yes", "*.*", false});
    return test::Scan(request, cache, decoder);
}

/// "name#group distance WxH" for each entry.
std::vector<std::string> rowsOf(const ScanOutcome &outcome, const std::string &root)
{
    std::vector<std::string> rows;
    for (const ResultEntry &e : outcome.entries)
        rows.push_back(e.path().substr(root.size()) + '#' + std::to_string(e.group) + ' ' +
                       std::to_string(e.distance) + ' ' + std::to_string(e.width) + 'x' +
                       std::to_string(e.height));
    return rows;
}

TEST(SimilarPictures, LargestLeadsEachTakesOnlyWhatIsNearItselfAndTheRestIsCounted)
{
    const std::uint64_t ten = (1u << 10) - 1;  // A to B: 10 bits, B to C: 10 more, A to C: 20
    TempTree tree;
    tree.write("a", picture(300, 300, 0));
    tree.write("b", picture(200, 200, ten));
    tree.write("c", picture(100, 100, ten << 10 | ten));
    tree.write("copy/small", picture(10, 10, 0xFFFF'0000'0000'0000));  // exact copies of another look
    tree.write("copy/large", picture(40, 10, 0xFFFF'0000'0000'0000));
    tree.write("copy/more", picture(40, 10, 0xFFFF'0000'0000'0000) + ' ');  // same pixels, one byte more
    tree.write("notes.txt", "not a picture");
    tree.write("broken", "PIC cut");
    tree.write("empty", "");
    TextPictures decoder;
    ScanOutcome outcome = scan(tree.root(), &decoder);
    EXPECT_THAT(rowsOf(outcome, tree.root()),
                ElementsAre("a#1 0 300x300", "b#1 10 200x200", "copy/more#2 0 40x10", "copy/large#2 0 40x10",
                            "copy/small#2 0 10x10"));
    EXPECT_EQ(outcome.DuplicateCount, 3);
    EXPECT_EQ(outcome.notPictures, 1);
    EXPECT_EQ(outcome.unreadableFiles, 1);  // the picture that does not decode
    EXPECT_EQ(outcome.TotalFiles, 8);

    // From C's side, B is its nearest: the largest still leads.
    EXPECT_THAT(rowsOf(scan(tree.root(), &decoder, nullptr, Similarity::VeryHigh), tree.root()),
                ElementsAre("copy/more#1 0 40x10", "copy/large#1 0 40x10", "copy/small#1 0 10x10"));

    outcome = scan(tree.root(), nullptr);
    EXPECT_TRUE(outcome.noPictureDecoder);
    EXPECT_THAT(outcome.entries, IsEmpty());
}

/// The groups as the rule says them, one picture at a time over all the others.
std::vector<std::vector<PictureMember>> slowGroups(const std::vector<std::uint64_t> &hashes, int threshold)
{
    std::vector<std::vector<PictureMember>> groups;
    std::vector<bool> taken(hashes.size());
    for (std::uint32_t first = 0; first < hashes.size(); ++first) {
        if (taken[first])
            continue;
        std::vector<PictureMember> group{{first, 0}};
        taken[first] = true;
        for (std::uint32_t i = first + 1; i < hashes.size(); ++i)
            if (const int d = HashDistance(hashes[first], hashes[i]); !taken[i] && d <= threshold) {
                taken[i] = true;
                group.push_back({i, static_cast<std::uint8_t>(d)});
            }
        if (group.size() > 1)
            groups.push_back(group);
    }
    return groups;
}

TEST(SimilarPictures, GroupsAreThoseOfTheRuleAtEveryLevel)
{
    std::mt19937_64 random(5);
    std::vector<std::uint64_t> hashes;
    for (int family = 0; family < 300; ++family) {  // pictures and their edits, at all distances
        const std::uint64_t original = random();
        for (int edit = 0; edit < 4; ++edit) {
            std::uint64_t hash = original;
            for (int bit = 0, flips = static_cast<int>(random() % 24); bit < flips; ++bit)
                hash ^= std::uint64_t{1} << (random() % 64);
            hashes.push_back(hash);
            if (edit == 0)
                hashes.push_back(hash);  // an exact copy
        }
    }
    std::shuffle(hashes.begin(), hashes.end(), random);
    for (Similarity level : {Similarity::VeryHigh, Similarity::High, Similarity::Medium, Similarity::Low}) {
        const auto groups = GroupPictures(hashes, SimilarityThreshold(level));
        const auto expected = slowGroups(hashes, SimilarityThreshold(level));
        ASSERT_EQ(groups.size(), expected.size());
        for (std::size_t g = 0; g < groups.size(); ++g) {
            ASSERT_EQ(groups[g].size(), expected[g].size()) << g;
            for (std::size_t m = 0; m < groups[g].size(); ++m) {
                EXPECT_EQ(groups[g][m].index, expected[g][m].index);
                EXPECT_EQ(groups[g][m].distance, expected[g][m].distance);
            }
        }
    }
}

TEST(SimilarPictures, ASecondScanWithTheCacheDecodesOnlyWhatChanged)
{
    TempTree tree;
    tree.write("t/a", picture(20, 20, 0xF0));
    tree.write("t/b", picture(10, 10, 0xF1));
    tree.write("t/c", picture(10, 10, 0xF3));
    TextPictures decoder;
    auto scanCached = [&](SearchMethod method = SearchMethod::SimilarPictures) {
        auto cache = ChecksumCache::Open(tree.path("cache"), std::chrono::seconds(0));
        EXPECT_TRUE(cache);
        decoder.looks = 0;
        if (method != SearchMethod::SimilarPictures) {
            SearchRequest request;
            request.Method = method;
            request.Locations.push_back({tree.path("t"), "Yes", "*.*", false});
            SilentHost host;
            CancelRequested cancel{false};
            return RunScan(request, host, cancel, cache ? cache->get() : nullptr);
        }
        return scan(tree.path("t"), &decoder, cache ? cache->get() : nullptr);
    };
    const std::vector<std::string> first = rowsOf(scanCached(), tree.path("t/"));
    EXPECT_EQ(decoder.looks, 3);
    if (ChecksumCache::RecordsIn(tree.path("cache")) != 3u)
        GTEST_SKIP() << "the temporary folder is on a file system where the cache is not used";
    EXPECT_EQ(rowsOf(scanCached(), tree.path("t/")), first);
    EXPECT_EQ(decoder.looks, 0);

    scanCached(SearchMethod::Crc32);  // the other digests of a file keep its look
    tree.write("t/c", picture(10, 10, 0xFFFF'FFFF'FFFF));
    EXPECT_THAT(rowsOf(scanCached(), tree.path("t/")), ElementsAre("a#1 0 20x20", "b#1 1 10x10"));
    EXPECT_EQ(decoder.looks, 1);
}

}  // namespace
}  // namespace geminor
