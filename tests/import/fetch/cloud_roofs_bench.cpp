// Reconstruction of the LoD2 solids of 500 footprints from the points of a frame, as the import's
// reconstruction stage runs it: one footprint per core at a time while the roof-primitive registry
// is only read, against the same footprints one by one on the calling thread.

#include <benchmark/benchmark.h>

#include "geometry/lod2fit/PrimitiveRegistry.h"
#include "import/fetch/ImportCloudRoofStages.h"
#include "support/fakes/KnownRoofs.h"

namespace {

constexpr int kBuildings = 500;

// 500 buildings of 16 x 10 m with about 1000 roof points each, gables, hips, sheds and flat
// roofs in turn, and the ground around them.
struct Frame {
    std::vector<fakes::KnownRoof> roofs = fakes::knownRoofs({640000, 480000}, kBuildings);
    std::vector<Building3D> blocks = fakes::blocksOf(roofs);
    std::vector<ClPoint> points = fakes::lidarPointsOf(roofs);
    cloudroofs::PointBuckets buckets{points};
};

const Frame& frame() {
    static const Frame f = [] {
        lod2fit::registerAllPrimitives();
        return Frame();
    }();
    return f;
}

void report(benchmark::State& state) {
    state.counters["buildings/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBuildings, benchmark::Counter::kIsRate);
    state.counters["points"] = static_cast<double>(frame().points.size());
}

void BM_ReconstructFrameOnAllCores(benchmark::State& state) {
    const Frame& f = frame();
    for (auto _ : state)
        benchmark::DoNotOptimize(cloudroofs::reconstructAll(
            f.blocks, f.buckets, [](int, int) {}, [] { return false; }));
    report(state);
}
BENCHMARK(BM_ReconstructFrameOnAllCores)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReconstructFrameOneByOne(benchmark::State& state) {
    const Frame& f = frame();
    for (auto _ : state) {
        for (const Building3D& block : f.blocks)
            benchmark::DoNotOptimize(cloudroofs::reconstructFootprint(block.footprint, f.buckets));
    }
    report(state);
}
BENCHMARK(BM_ReconstructFrameOneByOne)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
