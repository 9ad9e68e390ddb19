// Sorting a scan's worth of file records.
#include <benchmark/benchmark.h>
#include <random>

#include "engine/file_record.h"
#include "engine/sorting_lib.h"

namespace {

std::vector<geminor::FileRecord> records(std::size_t n)
{
    std::mt19937_64 random(1);
    std::vector<geminor::FileRecord> out;
    out.reserve(n + 1);
    out.emplace_back();
    for (std::size_t i = 0; i < n; ++i)
        out.push_back({random() % 100000, "file-" + std::to_string(random() % 1000000) + ".dat",
                       "/home/user/data/folder-" + std::to_string(i / 200) + "/"});
    return out;
}

void BM_MergeSortList(benchmark::State &state)
{
    const auto input = records(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto sorted = geminor::MergeSortList(input, geminor::SizeFirstLess);
        benchmark::DoNotOptimize(sorted.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MergeSortList)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
