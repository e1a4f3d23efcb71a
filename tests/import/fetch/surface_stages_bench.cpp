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
#include <malloc.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AddOnResources.h"
#include "HostTestApi.h"
#include "MapPalette.h"
#include "fakes/BuildingPackages.h"
#include "fakes/Hosts.h"
#include "fakes/Overpass.h"
#include "fakes/TerrainModel.h"
#include "geodata/ProjConv.h"
#include "geodata/WfsClient.h"
#include "import/ImportController.h"
#include "loopback/TempDir.h"
#include "support/PalettePage.h"
#include "support/PeakMemory.h"

namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr int kSheets = 6;  // sheets along each axis: enough for the 5 km frame
constexpr double kSheetSize = 1000.0;
constexpr double kSurfaceCell = 0.5;
constexpr double kTerrainCell = 1.0;
constexpr double kBlockSpacing = 100.0;
constexpr double kStreetSpacing = 500.0;
constexpr double kStreetWidth = 6.0;  // of a residential street without a width of its own
constexpr GisPoint kOrigin{637000.0, 486000.0};  // south-west corner of the sheets, PL-1992
constexpr const char* kTeryt = "1465011";
constexpr const char* kSheetProgress = "nMPT/NMT: pobieranie kafli";

double terrain(double x, double y) {
    return 100.0 + 0.004 * (x - kOrigin.x) + 0.003 * (y - kOrigin.y);
}

// Blocks of 16 x 12 m, 9 m high, one in every 100 m square, clear of the streets.
bool inBlock(double x, double y) {
    const double dx = std::fmod(x - kOrigin.x, kBlockSpacing);
    const double dy = std::fmod(y - kOrigin.y, kBlockSpacing);
    return dx > 30.0 && dx < 46.0 && dy > 30.0 && dy < 42.0;
}

double surface(double x, double y) {
    return terrain(x, y) + (inBlock(x, y) ? 9.0 : 0.0);
}

std::string godloOf(int column, int row) {
    return "B-" + std::to_string(column) + "-" + std::to_string(row);
}

// A sheet's text written straight into the download cache under its address, as a download
// would have left it: the fetch reads it from there.
template <class Height>
void cacheSheet(const std::string& url, GisPoint corner, double cell, Height height) {
    const int cells = static_cast<int>(kSheetSize / cell);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        std::fopen(WfsClient::cachePathFor(url).c_str(), "wb"), &std::fclose);
    if (!file)
        return;
    std::fprintf(file.get(),
                 "ncols %d\nnrows %d\nxllcorner %.1f\nyllcorner %.1f\ncellsize %g\n"
                 "nodata_value -9999\n",
                 cells, cells, corner.x, corner.y, cell);
    std::string line;
    char number[32];
    for (int r = cells - 1; r >= 0; --r) {
        line.clear();
        for (int c = 0; c < cells; ++c) {
            const double z = height(corner.x + (c + 0.5) * cell, corner.y + (r + 0.5) * cell);
            const auto end =
                std::to_chars(number, number + sizeof number, z, std::chars_format::fixed, 2).ptr;
            line.append(number, end).push_back(c + 1 < cells ? ' ' : '\n');
        }
        std::fwrite(line.data(), 1, line.size(), file.get());
    }
}

Bbox sheetArea(int column, int row) {
    const double x = kOrigin.x + column * kSheetSize;
    const double y = kOrigin.y + row * kSheetSize;
    return {x, y, x + kSheetSize, y + kSheetSize};
}

// The blocks of one sheet's area, as the LoD1 package's sheet of that area.
fakes::Lod1Sheet blocksOf(int column, int row) {
    const Bbox area = sheetArea(column, row);
    fakes::Lod1Sheet sheet{godloOf(column, row) + ".gml", area, {}};
    for (double y = area.miny; y < area.maxy; y += kBlockSpacing) {
        for (double x = area.minx; x < area.maxx; x += kBlockSpacing) {
            const double x0 = x + 30.0, y0 = y + 30.0;
            sheet.buildings.push_back(
                {"b" + std::to_string(sheet.buildings.size()) + godloOf(column, row),
                 {{x0, y0}, {x0 + 16, y0}, {x0 + 16, y0 + 12}, {x0, y0 + 12}},
                 terrain(x0, y0),
                 9.0});
        }
    }
    return sheet;
}

// The map page against the loopback services, with every sheet in the cache.
class World {
public:
    World() {
        host::reset();
        host::installResources(addOnResources());
        ACAPI_MenuItem_RegisterMenu(32500, 0, MenuCode_UserDef, 0);
        services::setEndpoints(hosts_.endpoints());
        MapPalette::CreateInstance();
        const Bbox municipality{kOrigin.x - 20000, kOrigin.y - 20000, kOrigin.x + 26000,
                                kOrigin.y + 26000};
        fakes::serveBoundaries(hosts_, {fakes::municipality(kTeryt, municipality)});
        std::vector<fakes::IndexedSheet> surfaceIndex;
        std::vector<fakes::IndexedSheet> terrainIndex;
        std::vector<fakes::Lod1Sheet> blocks;
        for (int row = 0; row < kSheets; ++row) {
            for (int column = 0; column < kSheets; ++column) {
                const std::string godlo = godloOf(column, row);
                const Bbox area = sheetArea(column, row);
                const GisPoint corner{area.minx, area.miny};
                const std::string surfaceUrl = hosts_.openData.url(fakes::surfaceSheetPath(godlo));
                const std::string terrainUrl = hosts_.openData.url(fakes::terrainSheetPath(godlo));
                cacheSheet(surfaceUrl, corner, kSurfaceCell, surface);
                cacheSheet(terrainUrl, corner, kTerrainCell, terrain);
                surfaceIndex.push_back({godlo, area, surfaceUrl});
                terrainIndex.push_back({godlo, area, terrainUrl});
                blocks.push_back(blocksOf(column, row));
            }
        }
        hosts_.geoportal.onRequest(fakes::kSurfaceIndexPath,
                                   fakes::SheetIndexWfs(fakes::kSurfaceIndexType, surfaceIndex));
        hosts_.geoportal.onRequest(fakes::kTerrainIndexPath,
                                   fakes::SheetIndexWfs(fakes::kTerrainIndexType, terrainIndex));
        fakes::serveLod1Package(hosts_, "1465", 2024, blocks);
    }
    ~World() {
        MapPalette::DestroyInstance();
        services::resetEndpoints();
    }

    // The streets of the frame, every 500 m each way from the sheets' corner, reaching 50 m
    // beyond it; their length in km.
    double serveStreets(const Bbox& frame) {
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
        hosts_.overpass.onRequest(fakes::Overpass::kPath, fakes::Overpass(std::move(ways)));
        return metres / 1000.0;
    }

    // A "fetch" of the keys, up to its "fetchDone"; the messages the page received, each with
    // the time it was seen.
    struct Seen {
        json message;
        Clock::time_point at;
    };
    std::vector<Seen> fetch(const std::array<double, 4>& wgs84,
                            const std::vector<std::string>& keys) {
        std::vector<Seen> seen;
        const auto take = [&seen](std::vector<json> messages) {
            for (json& m : messages)
                seen.push_back({std::move(m), Clock::now()});
        };
        take(page_.post(json{{"type", "fetch"}, {"bboxWgs84", wgs84}, {"layers", keys}}));
        host::pumpUntil(
            [&] {
                take(page_.received());
                return !seen.empty() && seen.back().message.value("type", "") == "fetchDone";
            },
            std::chrono::minutes(10));
        return seen;
    }

private:
    loopback::TempDir dir_;
    loopback::ScopedEnv data_{"XDG_DATA_HOME", dir_.path().c_str()};
    loopback::ScopedEnv home_{"HOME", dir_.path().c_str()};
    loopback::ScopedEnv tmp_{"TMPDIR", dir_.path().c_str()};
    fakes::Hosts hosts_;
    pagekit::PalettePage page_{MapPalette::Guid()};
};

World& world() {
    static World w;
    return w;
}

// A frame of about side km from the middle of the first sheet, in WGS84 as the page sends it;
// frame is the PL-1992 extent of its corners, as the fetch takes it. The box is narrowed a little,
// as the turn between the two systems widens it again, so that 5 km stays within the road
// service's largest frame.
std::array<double, 4> frameWgs84(double km, Bbox& frame) {
    const double half = kSheetSize / 2.0;
    const double side = km * 1000.0 * 0.97;
    double south = 0, west = 0, north = 0, east = 0;
    ProjConv::pl1992ToLatLon(kOrigin.x + half, kOrigin.y + half, south, west);
    ProjConv::pl1992ToLatLon(kOrigin.x + half + side, kOrigin.y + half + side, north, east);
    frame = {HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const auto& [lat, lon] : {std::pair{south, west}, std::pair{south, east},
                                   std::pair{north, west}, std::pair{north, east}}) {
        const GisPoint p = ProjConv::latLonToPl1992(lat, lon);
        frame = {std::min(frame.minx, p.x), std::min(frame.miny, p.y), std::max(frame.maxx, p.x),
                 std::max(frame.maxy, p.y)};
    }
    return {west, south, east, north};
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

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

void BM_SurfaceBuildingsAndRoads(benchmark::State& state) {
    World& w = world();
    Bbox frame;
    const std::array<double, 4> wgs84 = frameWgs84(static_cast<double>(state.range(0)), frame);
    const double roadKm = w.serveStreets(frame);
    double start = 0.0;
    double peak = 0.0;
    double stages = 0.0;
    json counts;
    for (auto _ : state) {
        state.PauseTiming();
        w.fetch(wgs84, {});  // a fetch of nothing drops the record of the one before
        malloc_trim(0);
        peakmemory::reset();
        start = peakmemory::peakMiB();
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
