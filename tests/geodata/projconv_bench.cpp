// Conversions per second of the series beside PROJ's proj_trans on the same points of Poland.

#include <benchmark/benchmark.h>

#include <vector>

#include "ProjReference.h"
#include "geodata/ProjConv.h"

namespace {

struct LatLon {
    double lat;
    double lon;
};

// A 64 x 64 grid over Poland, latitude 49-55, longitude 14-24.2.
const std::vector<LatLon>& geographicPoints() {
    static const std::vector<LatLon> points = [] {
        std::vector<LatLon> out;
        for (int i = 0; i < 64; ++i) {
            for (int j = 0; j < 64; ++j)
                out.push_back({49.0 + 6.0 * i / 63, 14.0 + 10.2 * j / 63});
        }
        return out;
    }();
    return points;
}

const std::vector<GisPoint>& pl1992Points() {
    static const std::vector<GisPoint> points = [] {
        std::vector<GisPoint> out;
        for (const LatLon& p : geographicPoints())
            out.push_back(ProjConv::latLonToPl1992(p.lat, p.lon));
        return out;
    }();
    return points;
}

void setThroughput(benchmark::State& state, std::size_t perIteration) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * perIteration));
}

void BM_SeriesForward(benchmark::State& state) {
    const auto& points = geographicPoints();
    for (auto _ : state) {
        for (const LatLon& p : points)
            benchmark::DoNotOptimize(ProjConv::latLonToPl1992(p.lat, p.lon));
    }
    setThroughput(state, points.size());
}
BENCHMARK(BM_SeriesForward);

void BM_ProjForward(benchmark::State& state) {
    const projref::Projection exact(2180);
    const auto& points = geographicPoints();
    for (auto _ : state) {
        for (const LatLon& p : points)
            benchmark::DoNotOptimize(exact.forward(p.lat, p.lon));
    }
    setThroughput(state, points.size());
}
BENCHMARK(BM_ProjForward);

void BM_SeriesInverse(benchmark::State& state) {
    const auto& points = pl1992Points();
    for (auto _ : state) {
        for (const GisPoint& p : points) {
            double lat = 0.0;
            double lon = 0.0;
            ProjConv::pl1992ToLatLon(p.x, p.y, lat, lon);
            benchmark::DoNotOptimize(lat);
            benchmark::DoNotOptimize(lon);
        }
    }
    setThroughput(state, points.size());
}
BENCHMARK(BM_SeriesInverse);

void BM_ProjInverse(benchmark::State& state) {
    const projref::Projection exact(2180);
    const auto& points = pl1992Points();
    for (auto _ : state) {
        for (const GisPoint& p : points)
            benchmark::DoNotOptimize(exact.inverse(p.x, p.y));
    }
    setThroughput(state, points.size());
}
BENCHMARK(BM_ProjInverse);

// PL-1992 to a PL-2000 zone: one inverse and one forward each.
void BM_SeriesPl1992ToPl2000(benchmark::State& state) {
    const auto& points = pl1992Points();
    for (auto _ : state) {
        for (const GisPoint& p : points)
            benchmark::DoNotOptimize(ProjConv::pl1992ToPl2000(p.x, p.y, 2178));
    }
    setThroughput(state, points.size());
}
BENCHMARK(BM_SeriesPl1992ToPl2000);

void BM_ProjPl1992ToPl2000(benchmark::State& state) {
    const projref::Projection exact1992(2180);
    const projref::Projection exactZone(2178);
    const auto& points = pl1992Points();
    for (auto _ : state) {
        for (const GisPoint& p : points) {
            const GisPoint latLon = exact1992.inverse(p.x, p.y);
            benchmark::DoNotOptimize(exactZone.forward(latLon.x, latLon.y));
        }
    }
    setThroughput(state, points.size());
}
BENCHMARK(BM_ProjPl1992ToPl2000);

}  // namespace
