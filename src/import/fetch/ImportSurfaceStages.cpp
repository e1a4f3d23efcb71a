// The surface-model stages of the fetch: buildings over the LoD1 footprints, bridges and roads
// shaped from the normalised surface model. Both share one surface model per fetch, made of
// every surface-model and terrain sheet of the frame that reads and loaded by whichever stage
// asks first. The sheets are read one at a time into one grid per model over the frame.

#include "import/fetch/ImportSurfaceStages.h"

#include <cmath>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>

#include "geodata/NmptClient.h"
#include "geodata/NmtClient.h"
#include "geodata/OsmClient.h"
#include "geometry/Corridor.h"
#include "geometry/RoofNdsm.h"
#include "geometry/Surface.h"
#include "import/fetch/FetchRun.h"
#include "import/fetch/ModelSheets.h"

namespace {

// The sheets are kept over the frame and this much around it, metres: enough for the
// footprints and bridges that reach out of the frame.
constexpr double kSheetMargin = 200.0;

// The largest kept area (frame and margin), square metres, whose grids are read: at the
// models' own cells, 0.5 m for the surface and 1 m for the terrain, four bytes a cell, its grids
// take some 800 MB.
constexpr double kMaxKeptArea = 40e6;
constexpr double kSurfaceCell = 0.5;
constexpr double kTerrainCell = 1.0;

constexpr const char* kBuildingsPrefix = "Budynki (nMPT): ";
constexpr const char* kWaysPrefix = "Mosty/drogi: ";
constexpr const char* kOverpass = "Overpass (OSM)";

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

// How the sheets of the frame read.
struct SheetsRead {
    bool usable = false;                // a sheet of each model read, and no cancel came
    std::vector<std::string> unusable;  // the sheets that did not download or read, by name
    fetchstages::ModelUnread unread;    // of the model without a sheet that read
};

Bbox keptAround(const Bbox& frame) {
    return {frame.minx - kSheetMargin, frame.miny - kSheetMargin, frame.maxx + kSheetMargin,
            frame.maxy + kSheetMargin};
}

// The sheets of one model into its grid over keep, after the sheets read before; whether one of
// them read.
bool readModel(sheetindex::IndexClient& index, std::string_view model, std::string_view files,
               const std::vector<sheetindex::Tile>& tiles, const Bbox& keep, double cell,
               modelsheets::Turns& turns, FloatGrid& grid, SheetsRead& read) {
    modelsheets::Read sheets = modelsheets::read(
        index, model, tiles, modelsheets::gridFor(keep, cell, kMaxKeptArea), turns);
    read.unusable.insert(read.unusable.end(), sheets.unusable.begin(), sheets.unusable.end());
    if (sheets.usable == 0 && !sheets.cancelled)
        read.unread = {std::string(files), sheets.reach};
    grid = std::move(sheets.grid);
    return sheets.usable > 0 && !sheets.cancelled;
}

// The surface and terrain models of the listed sheets, kept over the frame and its margin. The
// terrain sheets are read only once a surface sheet has; the model is emptied unless usable.
SheetsRead readSheets(WfsClient& client, const std::vector<sheetindex::Tile>& surface,
                      const std::vector<sheetindex::Tile>& terrain, const Bbox& frame,
                      modelsheets::Turns& turns, NdsmModel& model) {
    const Bbox keep = keptAround(frame);
    SheetsRead read;
    NmptClient surfaceIndex(client);
    NmtClient terrainIndex(client);
    read.usable = readModel(surfaceIndex, "nMPT", "NMPT", surface, keep, kSurfaceCell, turns,
                            model.surface, read) &&
                  readModel(terrainIndex, "NMT", "NMT", terrain, keep, kTerrainCell, turns,
                            model.terrain, read);
    if (!read.usable)
        model = NdsmModel();
    return read;
}

// Why a stage has no model: the frame is too large for its grids, no sheet of a model came or
// read, or an index lists none for the frame. (A cancel is told before.)
std::string withoutModel(const std::string& stage, const Bbox& frame, bool tooLarge, bool covered,
                         const fetchstages::ModelUnread& unread) {
    const std::string prefix = stage + ": ";
    if (tooLarge) {
        return fetchstages::tooLargeForModel(prefix, "nMPT/NMT",
                                             modelsheets::areaOf(keptAround(frame)),
                                             " z marginesem", kMaxKeptArea);
    }
    if (!covered)
        return prefix + "brak pokrycia nMPT lub NMT dla tego kadru.";
    if (!unread.reach.reached)
        return fetchstages::sheetFilesUnreachable(prefix, unread.files, unread.reach);
    return prefix + "nie udalo sie sparsowac kafli nMPT/NMT.";
}

}  // namespace

namespace surfacestages {

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
        tiles.tooLarge = modelsheets::areaOf(keptAround(run.bbox)) > kMaxKeptArea;
        if (tiles.tooLarge)
            return nullptr;
        tiles.surface = NmptClient(client_).listFor(run.bbox);
        tiles.terrain = NmtClient(client_).listFor(run.bbox);
        tiles.covered = !tiles.surface.sheets.empty() && !tiles.terrain.sheets.empty();
        if (tiles.covered) {
            const std::vector<sheetindex::Tile>& surface = tiles.surface.sheets;
            const std::vector<sheetindex::Tile>& terrain = tiles.terrain.sheets;
            modelsheets::Turns turns(surface.size() + terrain.size(),
                                     cancellableProgress("nMPT/NMT: pobieranie kafli"),
                                     isCancelled());
            const SheetsRead read =
                readSheets(client_, surface, terrain, run.bbox, turns, tiles.model);
            tiles.parsed = read.usable;
            tiles.unread = read.unread;
            if (read.usable && !read.unusable.empty())
                run.appendWarning(fetchstages::sheetsLeftOut("nMPT/NMT: ", read.unusable));
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
    if (run.cutShort(kBuildingsPrefix) || !acceptNdsmListings(run, kBuildingsPrefix))
        return;
    if (model == nullptr) {
        run.appendWarning(withoutModel("Budynki (nMPT)", run.bbox, run.ndsm.tooLarge,
                                       run.ndsm.covered, run.ndsm.unread));
        return;
    }
    const std::vector<Building3D>& buildings = run.data.lod1;
    std::optional<std::vector<RoofModel>> roofs = fetchstages::itemsUnlessCutShort(
        buildings.size(), cancel_, cancellableProgress("Budynki (nMPT): dopasowanie"),
        [&](std::size_t i) {
            return buildRoofNdsm(surfacestages::planRingOf(buildings[i].footprint), *model,
                                 kRoofParams);
        });
    if (!roofs) {
        run.appendWarning(fetchstages::cutShortSentence(kBuildingsPrefix));
        return;
    }
    run.data.roofsNdsm = std::move(*roofs);
    run.data.roofsNdsmStatus =
        "Budynki nMPT: " + std::to_string(run.data.roofsNdsm.size()) + " obrysow.";
}

void ImportController::fetchBridgesAndRoads(FetchRun& run) {
    const bool bridgesWanted = run.requested("mosty");
    std::string error;
    ServiceReach reach;
    const OsmWays found = OsmClient::fetchWays(run.bbox, client_, bridgesWanted,
                                               run.requested("drogi"), error, reach);
    if (run.cutShort(kWaysPrefix))
        return;
    if (!reach.reached) {
        run.appendWarning(fetchstages::unreachable(kWaysPrefix, kOverpass,
                                                   "nie sprawdzono mostow ani drog", reach));
        return;
    }
    if (found.remark)
        run.appendWarning(fetchstages::answerCutShort(kWaysPrefix, kOverpass, *found.remark));
    if (found.damaged > 0)
        run.appendWarning(fetchstages::damagedRecords(kWaysPrefix, "obiekty OSM", found.damaged));
    const std::vector<OsmWay>& ways = found.ways;
    if (ways.empty()) {
        if (!error.empty())
            run.appendWarning(error);
        return;
    }
    const NdsmModel* const model = loadNdsmTiles(run);
    if (run.cutShort(kWaysPrefix) || !acceptNdsmListings(run, kWaysPrefix))
        return;
    if (model == nullptr) {
        run.appendWarning(withoutModel("Mosty/drogi", run.bbox, run.ndsm.tooLarge, run.ndsm.covered,
                                       run.ndsm.unread));
        return;
    }
    const auto isBridge = [bridgesWanted](const OsmWay& way) {
        return way.bridge && bridgesWanted;
    };
    std::optional<std::vector<RoofModel>> surfaces = fetchstages::itemsUnlessCutShort(
        ways.size(), cancel_, cancellableProgress("Mosty/drogi: korytarze"), [&](std::size_t i) {
            const OsmWay& way = ways[i];
            const std::vector<double> half(way.points.size(), 0.5 * way.width);
            const PlanRing corridor =
                buildCorridor(surfacestages::planRingOf(way.points), half, half, kOwnOffsets);
            return buildSurface(corridor, *model,
                                isBridge(way) ? bridgeParams() : roadParams(run.bbox));
        });
    if (!surfaces) {
        run.appendWarning(fetchstages::cutShortSentence(kWaysPrefix));
        return;
    }
    for (std::size_t i = 0; i < ways.size(); ++i)
        (isBridge(ways[i]) ? run.data.bridges : run.data.roads)
            .push_back(std::move((*surfaces)[i]));
    run.data.bridgesStatus =
        "Mosty (OSM): " + std::to_string(run.data.bridges.size()) + " w kadrze.";
    run.data.roadsStatus = "Drogi (OSM): " + std::to_string(run.data.roads.size()) + " w kadrze.";
}
