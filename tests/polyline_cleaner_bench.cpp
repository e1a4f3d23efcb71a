#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "PolylineCleaner.h"

namespace {

// A contour-like ring: a wobbly circle of m segments in national grid metres, closed by
// repeating its first vertex.
PolylineCleaner::PolylineGeometry contourRing(int m) {
    PolylineCleaner::PolylineGeometry ring;
    ring.closed = true;
    std::mt19937 random(42);
    std::uniform_real_distribution<double> wobble(-0.4, 0.4);
    const double pi = std::acos(-1.0);
    for (int i = 0; i < m; ++i) {
        const double t = 2.0 * pi * i / m;
        const double r = 0.05 * m + wobble(random);
        ring.points.push_back({500000.0 + r * std::cos(t), 250000.0 + r * std::sin(t)});
    }
    ring.points.push_back(ring.points.front());
    return ring;
}

// The worst case: a ring that repeats four vertices, so that every rotation ties with many
// others over long stretches and the full ranking of rotations runs.
PolylineCleaner::PolylineGeometry periodicRing(int m) {
    PolylineCleaner::PolylineGeometry ring;
    ring.closed = true;
    for (int i = 0; i < m; ++i)
        ring.points.push_back({double(i % 4), double(i % 2)});
    ring.points.push_back(ring.points.front());
    return ring;
}

template <PolylineCleaner::PolylineGeometry (*Ring)(int)>
void BM_CanonicalKey(benchmark::State& state) {
    const auto ring = Ring(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(PolylineCleaner::ComputeCanonicalKey(ring));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK_TEMPLATE(BM_CanonicalKey, contourRing)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK_TEMPLATE(BM_CanonicalKey, periodicRing)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
