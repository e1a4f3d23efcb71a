// Buildings from the surface model and roads over square frames of 1, 2 and 5 km, fetched through
// the map page as a user asks for them: 1 km sheets (surface model in 0.5 m cells, terrain model
// in 1 m cells) listed by loopback sheet indexes and read from the download cache, a block every
// 100 m in both directions and a street every 500 m (about 4, 17 and 100 km of road). The frame's
// south-west corner lies in the middle of a sheet, so the frames meet 4, 9 and 36 sheets of each
// model. Reported: the time of the whole fetch, of its surface-model stages alone, and the
// process's resident memory when the fetch starts and its peak during the fetch (the record of
// the fetch before is dropped and the peak reset first), and the bytes the road models hold per
// square metre of road (allocations at their capacity, without the allocator's own overhead).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes/Overpass.h"
#include "import/ImportController.h"
#include "import/fetch/SheetWorld.h"

namespace {

using namespace sheetworld;

constexpr double kStreetSpacing = 500.0;
constexpr double kStreetWidth = 6.0;  // of a residential street without a width of its own
constexpr const char* kSheetProgress = "nMPT/NMT: pobieranie kafli";

// The streets of the frame, every 500 m each way from the sheets' corner, reaching 50 m beyond
// it; their length in km.
double serveStreets(World& w, const Bbox& frame) {
    std::vector<fakes::Feature> ways;
    double metres = 0.0;
    const auto street = [&](GisPoint a, GisPoint b) {
        ways.push_back(fakes::polyline("", {a, b}, {{"highway", "residential"}}));
        metres += std::hypot(b.x - a.x, b.y - a.y);
    };
    for (double x = kOrigin.x + 5.0; x < frame.maxx; x += kStreetSpacing) {
        if (x > frame.minx)
            street({x, frame.miny - 50}, {x, frame.maxy + 50});
    }
    for (double y = kOrigin.y + 5.0; y < frame.maxy; y += kStreetSpacing) {
        if (y > frame.miny)
            street({frame.minx - 50, y}, {frame.maxx + 50, y});
    }
    w.hosts().overpass.onRequest(fakes::Overpass::kPath, fakes::Overpass(std::move(ways)));
    return metres / 1000.0;
}

// What the road models hold: their faces and meshes, allocations counted at their capacity.
double roadBytes(const std::vector<RoofModel>& roads) {
    std::size_t bytes = 0;
    for (const RoofModel& road : roads) {
        bytes += road.faces.capacity() * sizeof(RoofFace) +
                 road.mesh.vertices.capacity() * sizeof(Pt3) +
                 road.mesh.triangles.capacity() * sizeof(road.mesh.triangles[0]);
        for (const RoofFace& face : road.faces)
            bytes += face.pts.capacity() * sizeof(Pt3);
    }
    return static_cast<double>(bytes);
}

void BM_SurfaceBuildingsAndRoads(benchmark::State& state) {
    World& w = world();
    Bbox frame;
    const std::array<double, 4> wgs84 = frameWgs84(static_cast<double>(state.range(0)), frame);
    w.cacheSheets(frame, Models::Both);
    const double roadKm = serveStreets(w, frame);
    double start = 0.0;
    double peak = 0.0;
    double stages = 0.0;
    json counts;
    for (auto _ : state) {
        state.PauseTiming();
        start = w.dropLastFetch(wgs84);
        state.ResumeTiming();
        const std::vector<World::Seen> seen = w.fetch(wgs84, {"budynkindsm", "drogi"});
        peak = peakmemory::peakMiB();
        const auto firstSheet = std::find_if(seen.begin(), seen.end(), [](const World::Seen& s) {
            return s.message.value("label", "") == kSheetProgress;
        });
        stages = firstSheet == seen.end() ? 0.0 : secondsBetween(firstSheet->at, seen.back().at);
        counts = seen.back().message.value("counts", json::object());
    }
    if (counts.value("drogi", 0) == 0 || counts.value("budynkindsm", 0) == 0)
        state.SkipWithError(("the fetch brought no roads or buildings: " + counts.dump()).c_str());
    state.counters["start MiB"] = start;
    state.counters["peak MiB"] = peak;
    state.counters["road bytes/m2"] = roadBytes(ImportController::Instance().lastFetch().roads) /
                                      (roadKm * 1000.0 * kStreetWidth);
    state.counters["stages s"] = stages;
    state.counters["road km"] = roadKm;
    state.counters["frame km2"] = (frame.maxx - frame.minx) * (frame.maxy - frame.miny) / 1e6;
    state.counters["roads"] = counts.value("drogi", 0);
    state.counters["buildings"] = counts.value("budynkindsm", 0);
}
BENCHMARK(BM_SurfaceBuildingsAndRoads)
    ->Arg(1)
    ->Arg(2)
    ->Arg(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
