// Splicing the answers of a tiled download: 16 cells (a 2 km square) of 1000 features each, a
// tenth of them repeated from the neighbouring cell.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "geodata/GmlSplice.h"
#include "tiled_fixtures.h"

namespace {

std::string cellAnswer(int cell) {
    std::vector<std::string> ids = tiled::numbered("c" + std::to_string(cell) + "_", 0, 900);
    if (cell > 0) {
        const auto repeated = tiled::numbered("c" + std::to_string(cell - 1) + "_", 0, 100);
        ids.insert(ids.end(), repeated.begin(), repeated.end());
    }
    return tiled::collection20(ids);
}

void BM_SpliceSixteenCells(benchmark::State& state) {
    std::vector<std::string> cells;
    size_t total = 0;
    for (int c = 0; c < 16; ++c) {
        cells.push_back(cellAnswer(c));
        total += cells.back().size();
    }
    for (auto _ : state) {
        GmlSplice splice(false);
        for (const auto& cell : cells)
            splice.add(cell);
        benchmark::DoNotOptimize(splice.take());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
}

BENCHMARK(BM_SpliceSixteenCells)->Unit(benchmark::kMillisecond);

}  // namespace
