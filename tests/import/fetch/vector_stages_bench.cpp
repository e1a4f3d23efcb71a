// The work the vector stages add to every download: dropping features repeated across cells
// (10,000 parcels of 12 vertices and 6 attributes, a tenth of them twice) and testing plan zones
// of 5,000 vertices against a frame they cover without a vertex inside.

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "import/fetch/ImportVectorStages.h"

namespace {

std::vector<GisFeature> parcels(int count) {
    std::vector<GisFeature> out;
    for (int i = 0; i < count; ++i) {
        GisFeature f;
        const double x = 450000 + (i % 100) * 20.0;
        const double y = 350000 + (i / 100) * 20.0;
        GisPolygon p;
        for (int k = 0; k < 12; ++k)
            p.outer.push_back({x + 8 * std::cos(k * 0.5236), y + 8 * std::sin(k * 0.5236)});
        f.polygons.push_back(std::move(p));
        const std::string id = std::to_string(i);
        f.props = {{"ID_DZIALKI", "146501_1.0001." + id},
                   {"NUMER_DZIALKI", id},
                   {"NAZWA_OBREBU", "Obreb 0001"},
                   {"NAZWA_GMINY", "Warszawa"},
                   {"_typ", "dzialki"},
                   {"gml_id", "dzialki." + id}};
        f.hasPoint = true;
        f.point = {x, y};
        out.push_back(std::move(f));
    }
    return out;
}

void BM_DropRepeatedFeatures(benchmark::State& state) {
    std::vector<GisFeature> input = parcels(10000);
    input.insert(input.end(), input.begin(), input.begin() + 1000);
    for (auto _ : state) {
        std::vector<GisFeature> features = input;
        vectorstages::dropRepeatedFeatures(features);
        benchmark::DoNotOptimize(features.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(input.size()));
}
BENCHMARK(BM_DropRepeatedFeatures)->Unit(benchmark::kMillisecond);

void BM_ZoneMeetsFrame(benchmark::State& state) {
    // A ring of 5,000 vertices 2 km around the frame, its label point far outside.
    GisFeature zone;
    GisPolygon ring;
    for (int k = 0; k < 5000; ++k) {
        const double a = k * 2 * M_PI / 5000;
        ring.outer.push_back({500000 + 2000 * std::cos(a), 300000 + 2000 * std::sin(a)});
    }
    zone.polygons.push_back(std::move(ring));
    zone.hasPoint = true;
    zone.point = {0, 0};
    const Bbox frame{499800, 299800, 500200, 300200};
    for (auto _ : state)
        benchmark::DoNotOptimize(vectorstages::zoneMeetsFrame(zone, frame));
}
BENCHMARK(BM_ZoneMeetsFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
