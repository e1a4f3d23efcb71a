// CloudTerrain on ten million synthetic ground points over an 800 m frame at 1 m cells (the
// largest grid the import builds), with a lake of water points; reports the process's peak
// resident memory before (the input points) and after the runs.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/CloudTerrain.h"

namespace {

struct Cloud {
    std::vector<ClPoint> ground;
    std::vector<ClPoint> water;
};

const Cloud& cloud() {
    static const Cloud c = [] {
        Cloud out;
        std::mt19937_64 rng(42);
        std::uniform_real_distribution<double> xy(0.0, 800.0);
        std::normal_distribution<double> noise(0.0, 0.05);
        out.ground.reserve(10'000'000);
        while (out.ground.size() < 10'000'000) {
            ClPoint p;
            p.x = xy(rng);
            p.y = xy(rng);
            const double lake = std::hypot(p.x - 400.0, p.y - 400.0) < 80.0 ? 1.0 : 0.0;
            p.z = 100.0 + 0.02 * p.x + 3.0 * std::sin(p.y / 50.0) + noise(rng);
            p.cls = lake > 0.0 ? 9 : 2;
            (lake > 0.0 ? out.water : out.ground).push_back(p);
        }
        return out;
    }();
    return c;
}

double peakRssMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void BM_CloudTerrain10M(benchmark::State& state) {
    const Cloud& c = cloud();
    const double before = peakRssMb();
    for (auto _ : state) {
        const CloudTerrain t(c.ground, Bbox{0.0, 0.0, 800.0, 800.0}, 1.0, c.water, true);
        benchmark::DoNotOptimize(t.validCells);
    }
    state.SetItemsProcessed(state.iterations() *
                            static_cast<std::int64_t>(c.ground.size() + c.water.size()));
    state.counters["peak_rss_MB"] = peakRssMb();
    state.counters["rss_before_MB"] = before;  // mostly the input points
}

BENCHMARK(BM_CloudTerrain10M)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
