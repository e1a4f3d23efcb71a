// The terrain stages of the fetch: terrain tiles from the national terrain model, and terrain,
// water and contours from the LiDAR point clouds of the frame, all three from one ground grid.

#include "import/fetch/ImportTerrainStages.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <span>

#include "geodata/NumberText.h"
#include "geodata/ProjConv.h"
#include "geometry/CloudTerrain.h"
#include "import/fetch/FetchRun.h"

namespace {

// The terrain model's sheet files, when their service does not answer.
constexpr std::string_view kTerrainFilesService = "plikow NMT (geoportal)";

// "%g" with a decimal point, whatever the process locale.
std::string shortText(double value) {
    char text[32];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
    return error == std::errc() ? std::string(text, end) : std::string();
}

}  // namespace

namespace terrainstages {

std::optional<std::vector<AscGrid>> downloadGrids(NmtClient& nmt,
                                                  const std::vector<NmtClient::Tile>& sheets,
                                                  const std::function<void(int, int)>& progress,
                                                  const std::function<bool()>& stop,
                                                  ServiceReach& reach) {
    std::vector<AscGrid> grids;
    ReachTally downloads;
    const int count = static_cast<int>(sheets.size());
    for (int i = 0; i < count; ++i) {
        if (stop())
            return std::nullopt;
        progress(i, count);
        ServiceReach sheet;
        const std::string text = nmt.download(sheets[static_cast<std::size_t>(i)], sheet);
        downloads.note(sheet);
        AscGrid grid;
        if (!text.empty() && grid.parse(text))
            grids.push_back(std::move(grid));
    }
    // The stop may have broken off the last download.
    if (stop())
        return std::nullopt;
    reach = downloads.result();
    return grids;
}

double cloudStep(const Bbox& frame, double requested, std::string& message) {
    message.clear();
    const double width = frame.maxx - frame.minx;
    const double height = frame.maxy - frame.miny;
    const bool tooFine = !(requested > 0.0) || width / requested > kCloudNodesPerAxis ||
                         height / requested > kCloudNodesPerAxis;
    if (!tooFine)
        return requested;
    const double coarser = std::max(width, height) / kCloudNodesPerAxis;
    message = "Teren z chmury: kadr duzy dla kroku " + shortText(requested) +
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

HeightSampler ImportController::nmtHeightSampler(const std::vector<AscGrid>& grids) {
    return [&grids](double x, double y, double& z) {
        return std::any_of(grids.begin(), grids.end(),
                           [&](const AscGrid& grid) { return grid.sampleZ(x, y, z); });
    };
}

HeightSampler ImportController::cloudGroundSampler(const CloudTerrain& grid) {
    return [&grid](double x, double y, double& z) { return grid.sample(x, y, z); };
}

HeightSampler ImportController::cloudWaterSampler(const CloudTerrain& grid) {
    return [&grid](double x, double y, double& z) { return grid.sampleWoda(x, y, z); };
}

std::vector<AscGrid> ImportController::terrainGrids(FetchRun& run,
                                                    const terrainstages::NmtTexts& texts) {
    NmtClient nmt(client_);
    const sheetindex::Listing<NmtClient::Tile> listing = nmt.listFor(run.bbox);
    if (run.cutShort(texts.prefix) ||
        !fetchstages::acceptListing(texts.prefix, "NMT", listing, run.warnings()))
        return {};
    if (listing.sheets.empty()) {
        run.appendWarning(texts.noSheet);
        return {};
    }
    ServiceReach reach;
    std::optional<std::vector<AscGrid>> downloaded = terrainstages::downloadGrids(
        nmt, listing.sheets, cancellableProgress(texts.progress), isCancelled(), reach);
    if (!downloaded) {
        run.appendWarning(fetchstages::cutShortSentence(texts.prefix));
        return {};
    }
    std::vector<AscGrid> grids = std::move(*downloaded);
    if (grids.empty()) {
        run.appendWarning(!reach.reached
                              ? fetchstages::unreachable(texts.prefix, kTerrainFilesService,
                                                         "nie pobrano zadnego arkusza NMT", reach)
                              : texts.noGrid);
    }
    return grids;
}

void ImportController::fetchTerrain(FetchRun& run) {
    const std::vector<AscGrid> grids = terrainGrids(
        run, {"Teren: ", "Pobieranie NMT", "Teren: brak kafli NMT dla tego obszaru w skorowidzu.",
              "Teren: nie udalo sie pobrac/sparsowac zadnego pliku NMT."});
    if (grids.empty())
        return;
    std::string message;
    run.data.terrain =
        TerrainBuilder::build(run.bbox, run.terrainStep, nmtHeightSampler(grids), message);
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
                         shortText(step) + " m, komorek " + std::to_string(grid.validCells);
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
