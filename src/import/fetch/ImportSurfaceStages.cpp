// The surface-model stages of the fetch: buildings over the LoD1 footprints, bridges and roads
// shaped from the normalised surface model. Both share one surface model per fetch, made of
// every surface-model and terrain sheet of the frame and loaded by whichever stage asks first.

#include "import/fetch/ImportSurfaceStages.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

#include "geodata/NmptClient.h"
#include "geodata/NmtClient.h"
#include "geodata/OsmClient.h"
#include "geometry/Corridor.h"
#include "geometry/RoofNdsm.h"
#include "geometry/Surface.h"
#include "import/fetch/FetchRun.h"

namespace {

// The sheets are kept over the frame and this much around it, metres: enough for the
// footprints and bridges that reach out of the frame.
constexpr double kSheetMargin = 200.0;

constexpr RoofNdsmParams kRoofParams{
    .step = 0.5, .minHeight = 1.0, .minQuality = 0.35, .minWall = 1.0};

SurfaceParams bridgeParams() {
    return {.step = 0.5, .minHeight = 1.0, .minQuality = 0.35};
}

// Roads lie on the terrain and are kept inside the frame.
SurfaceParams roadParams(const Bbox& frame) {
    return {.step = 0.5,
            .minHeight = 1.0,
            .minQuality = 0.0,
            .sampleTerrain = true,
            .clip = true,
            .clipBox = frame};
}

// Cell indices of the grid's span [from, to) along one axis, from the grid's edge at origin.
struct Span {
    std::int64_t first = 0;
    std::int64_t end = 0;
};
Span cellsOver(double from, double to, double origin, double cell) {
    return {static_cast<std::int64_t>(std::floor((from - origin) / cell)),
            static_cast<std::int64_t>(std::ceil((to - origin) / cell))};
}

// The sheets' common extent cut to keep; false when they share nothing with it.
bool extentOf(const std::vector<AscGrid>& sheets, const Bbox& keep, Bbox& extent) {
    extent = {sheets[0].xll, sheets[0].yll, sheets[0].xll, sheets[0].yll};
    for (const AscGrid& s : sheets) {
        extent.minx = std::min(extent.minx, s.xll);
        extent.miny = std::min(extent.miny, s.yll);
        extent.maxx = std::max(extent.maxx, s.xll + s.ncols * s.cellsize);
        extent.maxy = std::max(extent.maxy, s.yll + s.nrows * s.cellsize);
    }
    extent = {std::max(extent.minx, keep.minx), std::max(extent.miny, keep.miny),
              std::min(extent.maxx, keep.maxx), std::min(extent.maxy, keep.maxy)};
    return extent.minx < extent.maxx && extent.miny < extent.maxy;
}

// Fills the cells of the grid still without data whose centre the sheet covers.
void fillFrom(AscGrid& grid, const AscGrid& sheet) {
    const double cell = grid.cellsize;
    const Span cols =
        cellsOver(sheet.xll, sheet.xll + sheet.ncols * sheet.cellsize, grid.xll, cell);
    const Span rows =
        cellsOver(sheet.yll, sheet.yll + sheet.nrows * sheet.cellsize, grid.yll, cell);
    for (std::int64_t r = std::max<std::int64_t>(rows.first, 0);
         r < std::min<std::int64_t>(rows.end, grid.nrows); ++r) {
        const double y = grid.yll + (static_cast<double>(r) + 0.5) * cell;
        const std::size_t row =
            static_cast<std::size_t>(grid.nrows - 1 - r) * static_cast<std::size_t>(grid.ncols);
        for (std::int64_t c = std::max<std::int64_t>(cols.first, 0);
             c < std::min<std::int64_t>(cols.end, grid.ncols); ++c) {
            double& z = grid.z[row + static_cast<std::size_t>(c)];
            if (z == grid.nodata)
                sheet.sampleZ(grid.xll + (static_cast<double>(c) + 0.5) * cell, y, z);
        }
    }
}

// The grid of every sheet, downloaded through the cache one after another; nothing when one of
// them does not download or parse.
std::optional<std::vector<AscGrid>> sheetsOf(sheetindex::IndexClient&& index,
                                             const std::vector<sheetindex::Tile>& tiles,
                                             const std::function<void()>& next) {
    std::vector<AscGrid> sheets(tiles.size());
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        next();
        if (!sheets[i].parse(index.download(tiles[i])))
            return std::nullopt;
    }
    return sheets;
}

// The surface and terrain models of every listed sheet, kept over the frame and its margin;
// false when a sheet did not download or parse.
bool readSheets(WfsClient& client, const std::vector<sheetindex::Tile>& surface,
                const std::vector<sheetindex::Tile>& terrain, const Bbox& frame, NdsmModel& model,
                const std::function<void(int, int)>& progress) {
    const int total = static_cast<int>(surface.size() + terrain.size());
    int done = 0;
    const auto next = [&] { progress(done++, total); };
    std::optional<std::vector<AscGrid>> surfaceSheets = sheetsOf(NmptClient(client), surface, next);
    if (!surfaceSheets)
        return false;
    std::optional<std::vector<AscGrid>> terrainSheets = sheetsOf(NmtClient(client), terrain, next);
    if (!terrainSheets)
        return false;
    const Bbox keep{frame.minx - kSheetMargin, frame.miny - kSheetMargin, frame.maxx + kSheetMargin,
                    frame.maxy + kSheetMargin};
    model.surface = surfacestages::mosaic(std::move(*surfaceSheets), keep);
    model.terrain = surfacestages::mosaic(std::move(*terrainSheets), keep);
    return true;
}

}  // namespace

namespace surfacestages {

AscGrid mosaic(std::vector<AscGrid> sheets, const Bbox& keep) {
    AscGrid grid;
    Bbox extent;
    if (sheets.empty() || !extentOf(sheets, keep, extent))
        return grid;
    const AscGrid& first = sheets.front();
    const double cell = first.cellsize;
    const Span cols = cellsOver(extent.minx, extent.maxx, first.xll, cell);
    const Span rows = cellsOver(extent.miny, extent.maxy, first.yll, cell);
    grid.cellsize = cell;
    grid.nodata = first.nodata;
    grid.xll = first.xll + static_cast<double>(cols.first) * cell;
    grid.yll = first.yll + static_cast<double>(rows.first) * cell;
    grid.ncols = static_cast<std::int32_t>(cols.end - cols.first);
    grid.nrows = static_cast<std::int32_t>(rows.end - rows.first);
    grid.z.assign(static_cast<std::size_t>(grid.ncols) * static_cast<std::size_t>(grid.nrows),
                  grid.nodata);
    for (AscGrid& sheet : sheets) {
        fillFrom(grid, sheet);
        sheet = AscGrid();  // its memory back before the next one is read
    }
    return grid;
}

PlanRing planRingOf(const std::vector<GisPoint>& points) {
    PlanRing ring;
    ring.reserve(points.size());
    for (const GisPoint& p : points)
        ring.emplace_back(p.x, p.y);
    return ring;
}

}  // namespace surfacestages

const NdsmModel* ImportController::loadNdsmTiles(FetchRun& run) {
    FetchRun::NdsmTiles& tiles = run.ndsm;
    if (!tiles.tried) {
        tiles.tried = true;
        tiles.surface = NmptClient(client_).listFor(run.bbox);
        tiles.terrain = NmtClient(client_).listFor(run.bbox);
        tiles.covered = !tiles.surface.sheets.empty() && !tiles.terrain.sheets.empty();
        if (tiles.covered) {
            tiles.parsed = readSheets(client_, tiles.surface.sheets, tiles.terrain.sheets, run.bbox,
                                      tiles.model, stageProgress("nMPT/NMT: pobieranie kafli"));
        }
    }
    return tiles.covered && tiles.parsed ? &tiles.model : nullptr;
}

bool ImportController::acceptNdsmListings(FetchRun& run, std::string_view prefix) {
    const auto warn = run.warnings();
    return fetchstages::acceptListing(prefix, "NMPT", run.ndsm.surface, warn) &&
           fetchstages::acceptListing(prefix, "NMT", run.ndsm.terrain, warn);
}

void ImportController::fetchNdsmBuildings(FetchRun& run) {
    if (run.data.lod1.empty())
        return;
    const NdsmModel* const model = loadNdsmTiles(run);
    if (!acceptNdsmListings(run, "Budynki (nMPT): "))
        return;
    if (model == nullptr) {
        run.appendWarning(run.ndsm.covered
                              ? "Budynki (nMPT): nie udalo sie sparsowac kafli nMPT/NMT."
                              : "Budynki (nMPT): brak pokrycia nMPT lub NMT dla tego kadru.");
        return;
    }
    const auto progress = stageProgress("Budynki (nMPT): dopasowanie");
    const int count = static_cast<int>(run.data.lod1.size());
    run.data.roofsNdsm.reserve(run.data.lod1.size());
    for (int i = 0; i < count; ++i) {
        progress(i, count);
        const Building3D& building = run.data.lod1[static_cast<std::size_t>(i)];
        run.data.roofsNdsm.push_back(
            buildRoofNdsm(surfacestages::planRingOf(building.footprint), *model, kRoofParams));
    }
    run.data.roofsNdsmStatus =
        "Budynki nMPT: " + std::to_string(run.data.roofsNdsm.size()) + " obrysow.";
}

void ImportController::fetchBridgesAndRoads(FetchRun& run) {
    const bool bridgesWanted = run.requested("mosty");
    std::string error;
    ServiceReach reach;
    const std::vector<OsmWay> ways = OsmClient::fetchWays(run.bbox, client_, bridgesWanted,
                                                          run.requested("drogi"), error, reach);
    if (!reach.reached) {
        run.appendWarning(fetchstages::unreachable("Mosty/drogi: ", "Overpass (OSM)",
                                                   "nie sprawdzono mostow ani drog", reach));
        return;
    }
    if (ways.empty()) {
        if (!error.empty())
            run.appendWarning(error);
        return;
    }
    const NdsmModel* const model = loadNdsmTiles(run);
    if (!acceptNdsmListings(run, "Mosty/drogi: "))
        return;
    if (model == nullptr) {
        run.appendWarning(run.ndsm.covered
                              ? "Mosty/drogi: nie udalo sie sparsowac kafli nMPT/NMT."
                              : "Mosty/drogi: brak pokrycia nMPT lub NMT dla tego kadru.");
        return;
    }
    const auto progress = stageProgress("Mosty/drogi: korytarze");
    const int count = static_cast<int>(ways.size());
    for (int i = 0; i < count; ++i) {
        progress(i, count);
        const OsmWay& way = ways[static_cast<std::size_t>(i)];
        const std::vector<double> half(way.points.size(), 0.5 * way.width);
        const PlanRing corridor =
            buildCorridor(surfacestages::planRingOf(way.points), half, half, kOwnOffsets);
        if (way.bridge && bridgesWanted)
            run.data.bridges.push_back(buildSurface(corridor, *model, bridgeParams()));
        else
            run.data.roads.push_back(buildSurface(corridor, *model, roadParams(run.bbox)));
    }
    run.data.bridgesStatus =
        "Mosty (OSM): " + std::to_string(run.data.bridges.size()) + " w kadrze.";
    run.data.roadsStatus = "Drogi (OSM): " + std::to_string(run.data.roads.size()) + " w kadrze.";
}
