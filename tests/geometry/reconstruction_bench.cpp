// Cost of reconstructing one building from its points, and of its plane search; the import runs
// this once per footprint. Buildings share only the read-only primitive registry, so the
// threaded runs show what reconstructing buildings in parallel would give.

#include <benchmark/benchmark.h>

#include "builders/SyntheticRoofs.h"
#include "geometry/LodReconstruction.h"
#include "geometry/lod2fit/PrimitiveRegistry.h"

namespace lod2fit {
namespace {

const bool kRegistered = (registerAllPrimitives(), true);

BuildingInput gableBuilding(int points) {
    const synthetic::Building b;
    BuildingInput in;
    in.cloud = b.cloud(synthetic::gable(b.width, 30, 35), points);
    in.footprint = b.footprint();
    in.groundZ = synthetic::kGroundZ;
    in.base.groundZ = synthetic::kGroundZ;
    return in;
}

void BM_ReconstructBuilding(benchmark::State& state) {
    benchmark::DoNotOptimize(kRegistered);
    const BuildingInput in = gableBuilding(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(reconstructBuilding(in));
    }
    state.counters["buildings/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["points"] = static_cast<double>(in.cloud.size());
}
BENCHMARK(BM_ReconstructBuilding)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReconstructBuilding)
    ->Arg(2000)
    ->Arg(20000)
    ->Threads(4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_SegmentBuilding(benchmark::State& state) {
    const BuildingInput in = gableBuilding(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(segmentBuilding(in.cloud, SegParams{}));
    }
}
BENCHMARK(BM_SegmentBuilding)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lod2fit
