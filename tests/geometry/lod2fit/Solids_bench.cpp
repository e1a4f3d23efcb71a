// Cost of building and orienting one building solid; the import runs this once per building.

#include <benchmark/benchmark.h>

#include <cmath>

#include "geometry/lod2fit/Dome.h"
#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/GabledDormer.h"
#include "geometry/lod2fit/Hipped.h"
#include "geometry/lod2fit/MeshOrientation.h"

namespace lod2fit {
namespace {

const Footprint kBlock{
    {{512340.25, 301220.5}, {512352.75, 301220.5}, {512352.75, 301228.0}, {512340.25, 301228.0}}};

// A star-shaped outline of n corners: a non-convex block with many walls.
Footprint star(int n) {
    Footprint fp;
    for (int i = 0; i < n; ++i) {
        const double a = i * 2 * 3.141592653589793 / n;
        const double r = i % 2 == 0 ? 20.0 : 12.0;
        fp.pts.push_back({512340 + r * std::cos(a), 301220 + r * std::sin(a)});
    }
    return fp;
}

void orientEach(benchmark::State& state, const SolidMesh& built) {
    for (auto _ : state) {
        SolidMesh mesh = built;
        benchmark::DoNotOptimize(normalizeOutwardNormals(mesh));
    }
    state.counters["faces"] = static_cast<double>(built.faces.size());
}

void BM_EmitAndOrientHipped(benchmark::State& state) {
    for (auto _ : state) {
        SolidMesh mesh = Hipped{}.emit(RoofParams{}, kBlock);
        benchmark::DoNotOptimize(normalizeOutwardNormals(mesh));
    }
}
BENCHMARK(BM_EmitAndOrientHipped);

void BM_OrientDome(benchmark::State& state) {
    RoofParams params;
    params.arcSegments = static_cast<int>(state.range(0));
    orientEach(state, Dome{}.emit(params, kBlock));
}
BENCHMARK(BM_OrientDome)->Arg(16)->Arg(64);

void BM_OrientStarBlock(benchmark::State& state) {
    orientEach(state, Flat{}.emit(RoofParams{}, star(static_cast<int>(state.range(0)))));
}
BENCHMARK(BM_OrientStarBlock)->Arg(16)->Arg(256);

void BM_OrientTenDormers(benchmark::State& state) {
    RoofParams params;
    params.dormerCount = 10;
    orientEach(state, GabledDormer{}.emit(params, kBlock));
}
BENCHMARK(BM_OrientTenDormers);

}  // namespace
}  // namespace lod2fit
