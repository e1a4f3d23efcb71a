// buildSurface of a road 5 km long laid diagonally across its box, 10 m wide, at 0.5 m cells:
// the box holds about 5 * 10^7 cells of which the corridor covers 2 * 10^5. Reported beside the
// time: the triangles and the bytes the model holds per square metre of road. Beside it the
// plain cell-by-cell test of every corner against the ring, for comparison.

#include <benchmark/benchmark.h>

#include <cmath>

#include "geometry/Corridor.h"
#include "geometry/Surface.h"
#include "support/NdsmGrids.h"
#include "surface_reference.h"

namespace {

constexpr double kX0 = 500000.0;
constexpr double kY0 = 300000.0;
const double kLeg = 5000.0 / std::sqrt(2.0);
constexpr double kRoadArea = 5000.0 * 10.0;

struct Road {
    NdsmModel model;
    PlanRing ring;
    SurfaceParams params;
};

const Road& road() {
    static const Road r = [] {
        Road out;
        // 5 m cells over the whole box: terrain rolling gently, the surface 0.3 m above it.
        const auto terrain = [](double x, double y) {
            return 120.0 + 5.0 * std::sin((x - kX0) / 400.0) + 3.0 * std::cos((y - kY0) / 300.0);
        };
        const int cells = static_cast<int>(kLeg / 5.0) + 10;
        out.model = ndsmfix::modelOf(
            kX0 - 25, kY0 - 25, 5.0, cells, cells,
            [&](double x, double y) { return terrain(x, y) + 0.3; }, terrain);
        out.ring =
            buildCorridor({{kX0, kY0}, {kX0 + kLeg, kY0 + kLeg}}, {5, 5}, {5, 5}, kOwnOffsets);
        out.params = {0.5,  1.0,  0.0,
                      true, true, Bbox{kX0 - 100, kY0 - 100, kX0 + kLeg + 100, kY0 + kLeg + 100}};
        return out;
    }();
    return r;
}

void BM_RoadSurface5kmDiagonal(benchmark::State& state) {
    const Road& r = road();
    std::size_t triangles = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const RoofModel m = buildSurface(r.ring, r.model, r.params);
        triangles = m.mesh.triangles.size();
        bytes = m.mesh.vertices.capacity() * sizeof(Pt3) +
                m.mesh.triangles.capacity() * sizeof(m.mesh.triangles[0]);
        benchmark::DoNotOptimize(m.mesh.triangles.data());
    }
    state.counters["triangles"] = static_cast<double>(triangles);
    state.counters["bytes/m2"] = static_cast<double>(bytes) / kRoadArea;
}
BENCHMARK(BM_RoadSurface5kmDiagonal)->Unit(benchmark::kMillisecond);

void BM_RoadSurface5kmDiagonalPlain(benchmark::State& state) {
    const Road& r = road();
    for (auto _ : state) {
        const RoofModel m = surfaceref::buildSurfacePlain(r.ring, r.model, r.params);
        benchmark::DoNotOptimize(m.faces.data());
    }
}
BENCHMARK(BM_RoadSurface5kmDiagonalPlain)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
