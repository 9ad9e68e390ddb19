// Grouping 100,000 picture hashes at each similarity level: unrelated pictures (uniform hashes,
// the search's hardest case) and families of edited copies. The counters say how many pictures
// ended in a group, which for unrelated ones is the level's rate of chance groupings.
#include <benchmark/benchmark.h>
#include <random>

#include "engine/picture_groups.h"

namespace {

std::vector<std::uint64_t> hashes(bool families)
{
    std::mt19937_64 random(1);
    std::vector<std::uint64_t> out;
    while (out.size() < 100000) {
        const std::uint64_t original = random();
        out.push_back(original);
        for (int edit = 0; families && edit < 3; ++edit) {  // up to 11 bits from the original
            std::uint64_t hash = original;
            for (int bit = 0, flips = static_cast<int>(random() % 12); bit < flips; ++bit)
                hash ^= std::uint64_t{1} << (random() % 64);
            out.push_back(hash);
        }
    }
    out.resize(100000);
    return out;
}

void BM_GroupPictures(benchmark::State &state)
{
    const auto input = hashes(state.range(1) != 0);
    const auto level = static_cast<geminor::Similarity>(state.range(0));
    std::size_t grouped = 0;
    for (auto _ : state) {
        const auto groups = geminor::GroupPictures(input, geminor::SimilarityThreshold(level));
        grouped = 0;
        for (const auto &group : groups)
            grouped += group.size();
    }
    state.counters["threshold"] = geminor::SimilarityThreshold(level);
    state.counters["grouped"] = static_cast<double>(grouped);
}
BENCHMARK(BM_GroupPictures)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->ArgNames({"level", "families"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
