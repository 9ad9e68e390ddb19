#include "engine/chive.h"

#include "tests/support/gtest_common.h"
#include <algorithm>
#include <functional>
#include <random>
#include <regex>

namespace geminor {
namespace {

constexpr std::int32_t kDuplicateKey = -2147216496;

HiveSlots slotsOf(Variant item)
{
    return {std::move(item), 1, 2, 3, 4, 5};
}

TEST(CHive, KeylessEntriesKeepTheirOrderAndGetBracedGuidKeys)
{
    CHive hive;
    hive.Add(slotsOf("first"));
    hive.Add(slotsOf("second"));
    hive.Add(slotsOf("third"));
    ASSERT_EQ(hive.Count(), 3);
    EXPECT_EQ(hive.Item(1).text(), "first");
    EXPECT_EQ(hive.Item(std::int16_t{2}).text(), "second");
    EXPECT_EQ(hive.Item(std::uint8_t{3}).text(), "third");
    EXPECT_EQ(hive.Item5(2).number(), 5);
    const std::string key = hive.Key(1).text();
    EXPECT_TRUE(std::regex_match(
        key, std::regex(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\})")))
        << key;
    EXPECT_NE(hive.Key(1).text(), hive.Key(2).text());
    EXPECT_EQ(hive.Item(Variant(key)).text(), "first");
}

TEST(CHive, EveryMisuseIsReportedWithItsSourceAndChangesNothing)
{
    struct Case
    {
        const char *what;
        std::vector<std::string> sources;
        std::int32_t number;  // of the last report
        std::function<void(CHive &)> misuse;
    };
    const std::int32_t kPosition = CHive::kErrorBase + 2, kNumberKey = CHive::kErrorBase + 4;
    const std::vector<Case> cases{
        {"same key, other case", {"Add"}, kDuplicateKey, [](CHive &h) { h.Add(slotsOf(2), Variant("A")); }},
        {"whole-number key", {"Add"}, kNumberKey, [](CHive &h) { h.Add(slotsOf(2), Variant(5)); }},
        {"byte key", {"Add"}, kNumberKey, [](CHive &h) { h.Add(slotsOf(2), Variant(std::uint8_t{5})); }},
        {"empty key", {"Add"}, CHive::kErrorBase + 4096, [](CHive &h) { h.Add(slotsOf(2), Variant("")); }},
        {"position 0", {"GetIndex", "Item"}, kPosition, [](CHive &h) { (void)h.Item(0); }},
        {"position past the end", {"GetIndex", "Item"}, kPosition, [](CHive &h) { (void)h.Item(2); }},
        {"remove past the end", {"GetIndex", "Remove"}, 0, [](CHive &h) { EXPECT_EQ(h.Remove(7), 0); }},
        {"read a key past the end", {"Key[Read]"}, 0, [](CHive &h) { EXPECT_TRUE(h.Key(9).isEmpty()); }},
        {"write a key past the end", {"Key[Assign]"}, 0, [](CHive &h) { h.Key(9, Variant("x")); }},
        {"a key taken by another",
         {"Key[Assign]"},
         kDuplicateKey,
         [](CHive &h) {
             h.Add(slotsOf("b"), Variant("b"));
             h.Key(2, Variant("A"));
             EXPECT_EQ(h.Remove(2), 2);
         }},
        {"before no key",
         {"FindNode", "Add"},
         0,
         [](CHive &h) { h.Add(slotsOf(2), std::nullopt, Variant("n")); }},
        {"a missing key", {"FindNode"}, kPosition, [](CHive &h) { EXPECT_FALSE(h.Exist(Variant("zzz"))); }},
        {"a walk past the last key",
         {"GetNextNode"},
         kPosition,
         [](CHive &h) {
             Variant key;
             h.FindFirst(key);
             EXPECT_TRUE(h.FindNext(key).isEmpty());
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CHive hive;
        hive.Add(slotsOf("a"), Variant("a"));
        c.misuse(hive);
        std::vector<std::string> got;
        for (std::int32_t i = 0; i < hive.Errors()->Count(); ++i)
            got.push_back(hive.Errors()->Source(i));
        EXPECT_EQ(got, c.sources);
        if (c.number != 0) {
            EXPECT_EQ(hive.Errors()->ErrNumber(), c.number);
        }
        EXPECT_EQ(hive.Count(), 1);
        EXPECT_EQ(hive.Item(Variant("a")).text(), "a");
    }
    CHive hive;  // the texts of two of them
    hive.Add(slotsOf("a"), Variant("a"));
    hive.Add(slotsOf("b"), Variant(5));
    hive.Add(slotsOf("c"), Variant("A"));
    EXPECT_EQ(hive.Errors()->Description(0),
              "Key cannot be Integer or Long or Byte or any kind of Fixed Digit.");
    EXPECT_EQ(hive.Errors()->Description(1), "Duplicate Key.");
}

TEST(CHive, KeysFollowTheCompareModeAndDoublesAreKeys)
{
    CHive sensitive;
    sensitive.CompareMode(0);
    sensitive.Add(slotsOf(1), Variant("abc"));
    sensitive.Add(slotsOf(2), Variant("ABC"));
    EXPECT_EQ(sensitive.Count(), 2);
    CHive duplicates;
    duplicates.AllowDuplicate(true);
    duplicates.Add(slotsOf(1), Variant("k"));
    duplicates.Add(slotsOf(2), Variant("K"));
    Variant key;
    EXPECT_EQ(duplicates.FindFirst(key).number(), 1);  // among equal keys the older comes first
    EXPECT_EQ(duplicates.FindNext(key).number(), 2);
    CHive numbers;
    numbers.Add(slotsOf("double"), Variant(5.0));
    EXPECT_EQ(numbers.Item(Variant(5.0)).text(), "double");
    EXPECT_EQ(numbers.Item(1).text(), "double");  // 1 is a position, not a key
}

TEST(CHive, RaisingOrCollectingNamesTheSourceDifferently)
{
    ClearPendingError();
    CHive hive;
    hive.Add(slotsOf("a"), Variant("a"));
    EXPECT_FALSE(hive.Exist(Variant("zzz")));
    EXPECT_EQ(PendingError(), nullptr);

    hive.RaiseError(true);
    try {
        hive.Exist(Variant("zzz"));
        FAIL() << "no error raised";
    } catch (const HiveError &error) {
        EXPECT_EQ(error.Source(), "CHive.FindNode");
        EXPECT_EQ(error.Description(), "Key not Found in the Hive.");
    }
    EXPECT_EQ(hive.Errors()->Count(), 1);  // nothing more collected
    ASSERT_NE(PendingError(), nullptr);
    CErrorCollection errors;
    errors.Add(0, "mine");  // no number of its own: the pending error's
    EXPECT_EQ(errors.ErrNumber(), CHive::kErrorBase + 2);
    EXPECT_TRUE(errors.IsError());
    EXPECT_EQ(errors.Count(), 2);
    EXPECT_EQ(errors.Source(1), "CHive.FindNode");
    EXPECT_FALSE(errors.IsError());  // recorded once, then no longer pending
    EXPECT_EQ(PendingError(), nullptr);
    errors.Add(0, "none");
    EXPECT_FALSE(errors.IsError());
    EXPECT_EQ(errors.Count(), 2);
    errors.Add(33, "s3", "d3", "h3", "f3");  // by index: the latest when none is given
    CErrorCollection::IndexVar index;
    EXPECT_EQ(errors.ErrNumber(index), 33);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(errors.HelpFile(2), "f3");
    errors.Remove(7);  // outside the records: nothing
    errors.Remove(0);
    EXPECT_EQ(errors.Source(0), "CHive.FindNode");
    errors.Remove();
    EXPECT_EQ(errors.Count(), 1);
}

TEST(CHive, BeforeAndAfterPlaceEntriesAndKeysRelink)
{
    CHive hive;
    hive.Add(slotsOf("a"), Variant("a"));
    hive.Add(slotsOf("c"), Variant("c"));
    hive.Add(slotsOf("b"), Variant("b"), Variant("c"));     // before c
    hive.Add(slotsOf("d"), Variant("d"), std::nullopt, 3);  // after position 3
    hive.Add(slotsOf("z"), Variant("z"), 1, 4);             // Before wins
    std::string order;
    for (std::int32_t p = 1; p <= hive.Count(); ++p)
        order += hive.Item(p).text();
    EXPECT_EQ(order, "zabcd");

    hive.Key(1, Variant("m"));  // z becomes m: same position and slots, new place in key order
    EXPECT_EQ(hive.Item(1).text(), "z");
    EXPECT_EQ(hive.Item(Variant("m")).text(), "z");
    EXPECT_FALSE(hive.Exist(Variant("z")));
    Variant key;
    std::string keys;
    for (hive.FindFirst(key); !key.isEmpty(); hive.FindNext(key))
        keys += key.text();
    EXPECT_EQ(keys, "abcdm");
    EXPECT_TRUE(hive.CheckInvariants());

    hive.Item(Variant("b"), Variant("B!"));
    EXPECT_EQ(hive.Item(3).text(), "B!");
}

TEST(CHive, RandomOperationsKeepTreeAndPositionsConsistent)
{
    std::mt19937 random(7);
    CHive hive;
    hive.Init(4, 1.5f);
    std::vector<std::string> model;  // keys by position
    int nextKey = 0;
    for (int step = 0; step < 6000; ++step) {
        const int op = static_cast<int>(random() % 10);
        if (op < 5 || model.empty()) {
            const std::string key = "k" + std::to_string(random() % 100000) + "_" + std::to_string(nextKey++);
            if (!model.empty() && op == 1) {
                const auto at = static_cast<std::int32_t>(random() % model.size()) + 1;
                hive.Add(slotsOf(key), Variant(key), at);
                model.insert(model.begin() + (at - 1), key);
            } else {
                hive.Add(slotsOf(key), Variant(key));
                model.push_back(key);
            }
        } else if (op < 8) {
            const auto at = static_cast<std::int32_t>(random() % model.size()) + 1;
            ASSERT_EQ(hive.Remove(at), at);
            model.erase(model.begin() + (at - 1));
        } else if (op == 8) {
            const auto at = random() % model.size();
            ASSERT_EQ(hive.Remove(Variant(model[at])), static_cast<std::int32_t>(at) + 1);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        } else {
            const auto at = static_cast<std::int32_t>(random() % model.size()) + 1;
            const std::string key = "r" + std::to_string(nextKey++);
            const std::string item = hive.Item(at).text();
            hive.Key(at, Variant(key));
            ASSERT_EQ(hive.Item(at).text(), item);
            model[static_cast<std::size_t>(at - 1)] = key;
        }
        if (step % 500 == 0 || step > 5900) {
            ASSERT_TRUE(hive.CheckInvariants()) << step;
        }
    }
    ASSERT_EQ(hive.Count(), static_cast<std::int32_t>(model.size()));
    for (std::size_t i = 0; i < model.size(); ++i)
        ASSERT_EQ(hive.Key(static_cast<std::int32_t>(i) + 1).text(), model[i]);
    EXPECT_EQ(hive.Errors()->Count(), 0);
    std::vector<std::string> walked;  // the key-ordered walk sees every key once, in order
    Variant key;
    for (hive.FindFirst(key); !key.isEmpty(); hive.FindNext(key))
        walked.push_back(key.text());
    std::sort(model.begin(), model.end());  // lower-case keys: ordinal order is key order
    EXPECT_EQ(walked, model);
    auto errors = hive.Errors();
    EXPECT_EQ(hive.Clear(), 0);  // afresh: no entries, a new error collection, usable again
    EXPECT_EQ(hive.Count(), 0);
    EXPECT_NE(hive.Errors(), errors);
    hive.Add(slotsOf("again"));
    EXPECT_EQ(hive.Item(1).text(), "again");
}

}  // namespace
}  // namespace geminor
