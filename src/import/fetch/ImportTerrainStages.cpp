// The terrain stages of the fetch: terrain tiles from the national terrain model, and terrain,
// water and contours from the LiDAR point clouds of the frame, all three from one ground grid.

#include "import/fetch/ImportTerrainStages.h"

#include <algorithm>
#include <cmath>

#include "geodata/NmtClient.h"
#include "geodata/NumberText.h"
#include "geometry/CloudTerrain.h"
#include "import/fetch/FetchRun.h"
#include "import/fetch/ModelSheets.h"

namespace {

// The largest area, square metres, whose terrain-model grid a stage reads: at the model's 1 m
// cells, four bytes a cell, some 400 MB.
constexpr double kMaxNmtArea = 100e6;
constexpr double kNmtCell = 1.0;

// The sentence of a stage that reads only the sheets under the part of the frame it samples: how
// much of the frame that part is, told by area. The frame's own listing is not asked for: paging
// the index of a large frame only to count what was left would cost more than the stage itself.
std::string partOfFrameRead(const Bbox& frame, const Bbox& sampled, std::string_view prefix) {
    const auto km2 = [](const Bbox& box) {
        return numbertext::fixed(modelsheets::areaOf(box) / 1e6, 2);
    };
    return std::string(prefix) + "arkusze NMT pobrano tylko pod probkowana czescia kadru (" +
           km2(sampled) + " z " + km2(frame) + " km2).";
}

// The grid of the sheets read, after the sentence naming those that did not come or read;
// nothing, after the stage's sentence, when a cancel cut the reading short or no sheet read.
std::optional<FloatGrid> usableGrid(modelsheets::Read read, const terrainstages::NmtTexts& texts,
                                    const std::function<void(const std::string&)>& warn) {
    if (read.cancelled) {
        warn(fetchstages::cutShortSentence(texts.prefix));
        return std::nullopt;
    }
    if (read.usable == 0) {
        warn(!read.reach.reached
                 ? fetchstages::sheetFilesUnreachable(texts.prefix, "NMT", read.reach)
                 : texts.noGrid);
        return std::nullopt;
    }
    if (!read.unusable.empty())
        warn(fetchstages::sheetsLeftOut(texts.prefix, read.unusable));
    return std::move(read.grid);
}

}  // namespace

namespace terrainstages {

double cloudStep(const Bbox& frame, double requested, std::string& message) {
    message.clear();
    const double width = frame.maxx - frame.minx;
    const double height = frame.maxy - frame.miny;
    const bool tooFine = !(requested > 0.0) || width / requested > kCloudNodesPerAxis ||
                         height / requested > kCloudNodesPerAxis;
    if (!tooFine)
        return requested;
    const double coarser = std::max(width, height) / kCloudNodesPerAxis;
    message = "Teren z chmury: kadr duzy dla kroku " + numbertext::general(requested) +
              " m - krata zgrubiona do " + numbertext::fixed(coarser, 2) +
              " m (limit 800 wezlow/os). Zmniejsz kadr dla drobniejszej kraty.";
    return coarser;
}

sheetpoints::SheetRead readSheet(const std::string& path, int epsg, const Bbox& frame,
                                 const std::atomic<bool>& stop, CloudPoints& points) {
    return sheetpoints::readFramePoints(
        path, epsg, frame, stop, [](const ClPoint& p) { return p.cls == 2 || p.cls == 9; },
        [&points](const ClPoint& p) { (p.cls == 2 ? points.ground : points.water).push_back(p); });
}

}  // namespace terrainstages

HeightSampler ImportController::nmtHeightSampler(const FloatGrid& grid) {
    return [&grid](double x, double y, double& z) { return grid.sampleZ(x, y, z); };
}

HeightSampler ImportController::cloudGroundSampler(const CloudTerrain& grid) {
    return [&grid](double x, double y, double& z) { return grid.sample(x, y, z); };
}

HeightSampler ImportController::cloudWaterSampler(const CloudTerrain& grid) {
    return [&grid](double x, double y, double& z) { return grid.sampleWoda(x, y, z); };
}

std::optional<FloatGrid> ImportController::terrainGrid(FetchRun& run,
                                                       const terrainstages::NmtTexts& texts,
                                                       const std::optional<Bbox>& part) {
    const Bbox& sampled = part ? *part : run.bbox;
    if (modelsheets::areaOf(sampled) > kMaxNmtArea) {
        run.appendWarning(fetchstages::tooLargeForModel(
            texts.prefix, "NMT", modelsheets::areaOf(sampled), "", kMaxNmtArea));
        return std::nullopt;
    }
    NmtClient nmt(client_);
    const sheetindex::Listing<NmtClient::Tile> listing = nmt.listFor(sampled);
    if (run.cutShort(texts.prefix) ||
        !fetchstages::acceptListing(texts.prefix, "NMT", listing, run.warnings()))
        return std::nullopt;
    if (part)
        run.appendWarning(partOfFrameRead(run.bbox, *part, texts.prefix));
    if (listing.sheets.empty()) {
        run.appendWarning(texts.noSheet);
        return std::nullopt;
    }
    modelsheets::Turns turns(listing.sheets.size(), cancellableProgress(texts.progress),
                             isCancelled());
    return usableGrid(
        modelsheets::read(nmt, "NMT", listing.sheets,
                          modelsheets::gridFor(sampled, kNmtCell, kMaxNmtArea), turns),
        texts, run.warnings());
}

void ImportController::fetchTerrain(FetchRun& run) {
    const std::optional<FloatGrid> grid = terrainGrid(
        run,
        {"Teren: ", "Pobieranie NMT", "Teren: brak kafli NMT dla tego obszaru w skorowidzu.",
         "Teren: nie udalo sie pobrac/sparsowac zadnego pliku NMT."},
        TerrainBuilder::sampledPart(run.bbox, run.terrainStep));
    if (!grid)
        return;
    std::string message;
    run.data.terrain =
        TerrainBuilder::build(run.bbox, run.terrainStep, nmtHeightSampler(*grid), message);
    if (!message.empty())
        run.appendWarning(message);
    if (run.data.terrain.empty())
        run.appendWarning("Teren: brak waznych punktow NMT w kadrze.");
}

void ImportController::fetchCloudTerrain(FetchRun& run) {
    std::string stepMessage;
    const double step = terrainstages::cloudStep(run.bbox, terenChmuraKrok_, stepMessage);
    if (!stepMessage.empty())
        run.appendWarning(stepMessage);
    static constexpr const char* kPrefix = "Teren z chmury: ";
    LidarResolver lidar(client_);
    const sheetindex::Listing<LidarResolver::LidarTile> listing = lidar.listFor(run.bbox);
    if (run.cutShort(kPrefix) ||
        !fetchstages::acceptListing(kPrefix, "LiDAR", listing, run.warnings()))
        return;
    const std::vector<LidarResolver::LidarTile>& sheets = listing.sheets;
    if (sheets.empty()) {
        run.appendWarning("Teren z chmury: brak kafli LiDAR dla tego obszaru w skorowidzu.");
        return;
    }
    terrainstages::CloudPoints points;
    const sheetpoints::SheetsRead read = sheetpoints::readSheets(
        lidar, sheets, cancel_, cancellableProgress("Teren z chmury: LiDAR"),
        [&](const std::string& path, const LidarResolver::LidarTile& sheet) {
            return terrainstages::readSheet(path, sheet.epsg, run.bbox, cancel_, points);
        });
    if (!sheetpoints::acceptSheets(kPrefix, read, run.warnings()))
        return;
    if (points.ground.empty()) {
        run.appendWarning("Teren z chmury: brak punktow gruntu (klasa 2) w kadrze.");
        return;
    }
    const bool waterRequested = run.requested("wodachmura");
    const CloudTerrain grid(points.ground, run.bbox, step, points.water, waterRequested);
    const std::size_t groundPoints = points.ground.size();
    points = {};  // the grid holds what the rest needs
    if (run.requested("terenchmura"))
        cloudTerrainTiles(run, grid, step, read.read, groundPoints);
    if (run.requested("poziomicechmura"))
        fetchCloudContours(run, grid, step);
    if (waterRequested && grid.levelCells != 0)
        cloudWater(run, grid, step);
}

void ImportController::cloudTerrainTiles(FetchRun& run, const CloudTerrain& grid, double step,
                                         std::size_t sheets, std::size_t groundPoints) {
    std::string message;
    run.data.cloudTerrain =
        TerrainBuilder::build(run.bbox, step, cloudGroundSampler(grid), message);
    if (!message.empty())
        run.appendWarning(message);
    std::string status = "Teren z chmury: " + std::to_string(sheets) + " kafli, " +
                         std::to_string(groundPoints) + " pkt gruntu (klasa 2), krok " +
                         numbertext::general(step) + " m, komorek " +
                         std::to_string(grid.validCells);
    if (grid.waterCells != 0)
        status += ", woda(kl.9) komorek " + std::to_string(grid.waterCells);
    run.data.cloudTerrainStatus = std::move(status);
    if (run.data.cloudTerrain.empty())
        run.appendWarning("Teren z chmury: brak waznych komorek w kadrze.");
}

void ImportController::cloudWater(FetchRun& run, const CloudTerrain& grid, double step) {
    std::string message;
    run.data.water = TerrainBuilder::build(run.bbox, step, cloudWaterSampler(grid), message);
    if (!message.empty())
        run.appendWarning(message);
    run.data.waterStatus = "Woda z chmury: " + std::to_string(grid.levelCells) +
                           " komorek, poziom lustra " + numbertext::fixed(grid.waterLevel, 2) +
                           " m n.p.m.";
    if (run.data.water.empty())
        run.appendWarning("Woda z chmury: brak komorek wody w kadrze.");
}
