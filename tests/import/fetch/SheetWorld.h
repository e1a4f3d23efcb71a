#pragma once
// The map page of the benchmarks against loopback services that list square sheets of the terrain
// model (1 m cells) and of the surface model (0.5 m cells), 1 km each, laid from one corner on a
// plane with a block every 100 m (the blocks also as the county's LoD1 package over the first
// six sheets each way). A sheet's text is written straight into the download cache under its
// address once a benchmark asks for the sheets of a frame, as a download would have left it:
// the fetch reads it from there. Namespace `sheetworld`.

#include <malloc.h>

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "AddOnResources.h"
#include "HostTestApi.h"
#include "MapPalette.h"
#include "fakes/BuildingPackages.h"
#include "fakes/Hosts.h"
#include "fakes/TerrainModel.h"
#include "geodata/ProjConv.h"
#include "geodata/WfsClient.h"
#include "loopback/TempDir.h"
#include "support/PalettePage.h"
#include "support/PeakMemory.h"

namespace sheetworld {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

inline constexpr int kSheets = 11;      // sheets along each axis: enough for a 10 km frame
inline constexpr int kBlockSheets = 6;  // of them, those with the LoD1 package's blocks
inline constexpr double kSheetSize = 1000.0;
inline constexpr double kSurfaceCell = 0.5;
inline constexpr double kTerrainCell = 1.0;
inline constexpr double kBlockSpacing = 100.0;
inline constexpr GisPoint kOrigin{637000.0, 486000.0};  // south-west corner of the sheets, PL-1992
inline constexpr const char* kTeryt = "1465011";

inline double terrain(double x, double y) {
    return 100.0 + 0.004 * (x - kOrigin.x) + 0.003 * (y - kOrigin.y);
}

// Blocks of 16 x 12 m, 9 m high, one in every 100 m square, clear of streets every 500 m.
inline bool inBlock(double x, double y) {
    const double dx = std::fmod(x - kOrigin.x, kBlockSpacing);
    const double dy = std::fmod(y - kOrigin.y, kBlockSpacing);
    return dx > 30.0 && dx < 46.0 && dy > 30.0 && dy < 42.0;
}

inline double surface(double x, double y) {
    return terrain(x, y) + (inBlock(x, y) ? 9.0 : 0.0);
}

inline std::string godloOf(int column, int row) {
    return "B-" + std::to_string(column) + "-" + std::to_string(row);
}

inline Bbox sheetArea(int column, int row) {
    const double x = kOrigin.x + column * kSheetSize;
    const double y = kOrigin.y + row * kSheetSize;
    return {x, y, x + kSheetSize, y + kSheetSize};
}

// A sheet's text written into the download cache under its address.
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

// The blocks of one sheet's area, as the LoD1 package's sheet of that area.
inline fakes::Lod1Sheet blocksOf(int column, int row) {
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

// Which models' sheets a benchmark reads.
enum class Models { TerrainOnly, Both };

// The map page against the loopback services.
class World {
public:
    World() {
        host::reset();
        host::installResources(addOnResources());
        ACAPI_MenuItem_RegisterMenu(32500, 0, MenuCode_UserDef, 0);
        services::setEndpoints(hosts_.endpoints());
        MapPalette::CreateInstance();
        const Bbox municipality{kOrigin.x - 20000, kOrigin.y - 20000, kOrigin.x + 31000,
                                kOrigin.y + 31000};
        fakes::serveBoundaries(hosts_, {fakes::municipality(kTeryt, municipality)});
        std::vector<fakes::IndexedSheet> surfaceIndex;
        std::vector<fakes::IndexedSheet> terrainIndex;
        std::vector<fakes::Lod1Sheet> blocks;
        for (int row = 0; row < kSheets; ++row) {
            for (int column = 0; column < kSheets; ++column) {
                const std::string godlo = godloOf(column, row);
                const Bbox area = sheetArea(column, row);
                surfaceIndex.push_back(
                    {godlo, area, hosts_.openData.url(fakes::surfaceSheetPath(godlo))});
                terrainIndex.push_back(
                    {godlo, area, hosts_.openData.url(fakes::terrainSheetPath(godlo))});
                if (row < kBlockSheets && column < kBlockSheets)
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

    fakes::Hosts& hosts() { return hosts_; }

    // Every sheet of the models that meets the frame in the download cache.
    void cacheSheets(const Bbox& frame, Models models) {
        for (int row = 0; row < kSheets; ++row) {
            for (int column = 0; column < kSheets; ++column) {
                const Bbox area = sheetArea(column, row);
                if (area.maxx < frame.minx || area.minx > frame.maxx || area.maxy < frame.miny ||
                    area.miny > frame.maxy)
                    continue;
                const std::string godlo = godloOf(column, row);
                const GisPoint corner{area.minx, area.miny};
                if (cachedTerrain_.insert(godlo).second)
                    cacheSheet(hosts_.openData.url(fakes::terrainSheetPath(godlo)), corner,
                               kTerrainCell, terrain);
                if (models == Models::Both && cachedSurface_.insert(godlo).second)
                    cacheSheet(hosts_.openData.url(fakes::surfaceSheetPath(godlo)), corner,
                               kSurfaceCell, surface);
            }
        }
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

    // Drops the record of the fetch before (a fetch of nothing in the frame) and starts a new
    // peak of the process's resident memory; that memory now, in MiB.
    double dropLastFetch(const std::array<double, 4>& wgs84) {
        fetch(wgs84, {});
        malloc_trim(0);
        peakmemory::reset();
        return peakmemory::peakMiB();
    }

private:
    loopback::TempDir dir_;
    loopback::ScopedEnv data_{"XDG_DATA_HOME", dir_.path().c_str()};
    loopback::ScopedEnv home_{"HOME", dir_.path().c_str()};
    loopback::ScopedEnv tmp_{"TMPDIR", dir_.path().c_str()};
    fakes::Hosts hosts_;
    pagekit::PalettePage page_{MapPalette::Guid()};
    std::set<std::string> cachedTerrain_;
    std::set<std::string> cachedSurface_;
};

// The one world of a benchmark program.
inline World& world() {
    static World w;
    return w;
}

// A frame of about side km from the middle of the first sheet, in WGS84 as the page sends it;
// frame is the PL-1992 extent of its corners, as the fetch takes it. The box is narrowed a little,
// as the turn between the two systems widens it again, so that 5 km stays within the road
// service's largest frame.
inline std::array<double, 4> frameWgs84(double km, Bbox& frame) {
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

inline double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace sheetworld
