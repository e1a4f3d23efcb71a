// Point reading through LazReader (records to ClPoint) on the shared samples, compressed and
// stored: points per second, file opening included.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "geodata/LazReader.h"

namespace {

void readPoints(benchmark::State& state, const char* name) {
    const auto path = std::filesystem::path(TW_SHARED_TESTDATA) / "laz" / name;
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("shared LAS/LAZ samples not found");
        return;
    }
    std::uint64_t points = 0;
    for (auto _ : state) {
        LazReader reader(path.string());
        ClPoint p;
        while (reader.next(p)) {
            ++points;
        }
        benchmark::DoNotOptimize(p);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(points));
}

void BM_LazReaderCompressed(benchmark::State& s) {
    readPoints(s, "autzen_trim.laz");
}
void BM_LazReaderStored(benchmark::State& s) {
    readPoints(s, "autzen_trim.las");
}

BENCHMARK(BM_LazReaderCompressed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LazReaderStored)->Unit(benchmark::kMillisecond);

}  // namespace
