// Cost of one flat roof from points and of the ground model under a frame; the import builds one
// roof per footprint over the points gathered around it.

#include <benchmark/benchmark.h>

#include "builders/SyntheticRoofs.h"
#include "geometry/RoofPlacement.h"

namespace {

// Roof points of a gabled building and a 3 m band of ground points around it.
struct Scene {
    PlanRing ring;
    std::vector<ClPoint> points;
};

Scene scene(int roofPoints) {
    const synthetic::Building b;
    Scene s;
    for (const lod2fit::Vec2& c : b.footprint().pts) {
        s.ring.push_back({c.x, c.y});
    }
    s.points = synthetic::lidarPoints(b, synthetic::gable(b.width, 30, 35), roofPoints);
    return s;
}

void BM_BuildRoof(benchmark::State& state) {
    const Scene s = scene(static_cast<int>(state.range(0)));
    const GroundModel ground(s.points, 2.0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(buildRoof(s.ring, s.points, ground, BuildParams{}));
    }
    state.counters["roofs/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BuildRoof)->Arg(2000)->Arg(20000)->Unit(benchmark::kMicrosecond);

void BM_GroundModel(benchmark::State& state) {
    const Scene s = scene(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(GroundModel(s.points, 2.0));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(s.points.size()));
}
BENCHMARK(BM_GroundModel)->Arg(20000)->Unit(benchmark::kMicrosecond);

}  // namespace
