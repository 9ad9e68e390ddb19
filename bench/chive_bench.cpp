// The record store with a million entries: nothing here may be quadratic.
#include <benchmark/benchmark.h>

#include "engine/chive.h"

namespace {

using geminor::CHive;
using geminor::Variant;

constexpr std::int32_t kEntries = 1'000'000;

void fill(CHive &hive, std::int32_t n)
{
    for (std::int32_t i = 0; i < n; ++i)
        hive.Add({Variant("000000004096"), Variant("name.txt"), Variant("/some/folder/"), 1, 1, 1});
}

void BM_KeylessAdd(benchmark::State &state)
{
    for (auto _ : state) {
        CHive hive;
        fill(hive, kEntries);
        benchmark::DoNotOptimize(hive.Count());
    }
}
BENCHMARK(BM_KeylessAdd)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PositionalRead(benchmark::State &state)
{
    CHive hive;
    fill(hive, kEntries);
    for (auto _ : state) {
        std::size_t total = 0;
        for (std::int32_t p = 1; p <= kEntries; ++p)
            total += hive.Item1(p).text().size();
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_PositionalRead)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_RemoveEverySecond(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        CHive hive;
        fill(hive, kEntries);
        state.ResumeTiming();
        for (std::int32_t p = 1; p <= hive.Count(); ++p)
            hive.Remove(p);  // the next entry moves into p, so every second one goes
        benchmark::DoNotOptimize(hive.Count());
    }
}
BENCHMARK(BM_RemoveEverySecond)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_KeyedAddAndLookup(benchmark::State &state)
{
    for (auto _ : state) {
        CHive hive;
        for (std::int32_t i = 0; i < kEntries; ++i)
            hive.Add({i, 0, 0, 0, 0, 0}, Variant("Key-" + std::to_string(std::int64_t{i} * 7919 % kEntries)));
        std::int64_t found = 0;
        for (std::int32_t i = 0; i < kEntries; ++i)
            found += hive.Exist(Variant("KEY-" + std::to_string(i))) ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_KeyedAddAndLookup)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
