// The bilateral pass of the contour grid (sigmas 1.5 m and 0.2 m) on 2000 x 2000 nodes at 1 m.

#include <benchmark/benchmark.h>

#include "contour_terrain.h"

namespace {

void SmoothFieldBilateral(benchmark::State& state) {
    const SiatkaWysokosci original =
        benchterrain::contourGrid(benchterrain::parsedGrid(benchterrain::ascText(2000)));
    for (auto _ : state) {
        state.PauseTiming();
        SiatkaWysokosci g = original;
        state.ResumeTiming();
        ContourBuilder::smoothFieldBilateral(g, 1.5, 0.2);
        benchmark::DoNotOptimize(g.z.data());
    }
    state.SetItemsProcessed(state.iterations() * 2000 * 2000);
}
BENCHMARK(SmoothFieldBilateral)->Unit(benchmark::kMillisecond);

}  // namespace
