// The body of the undoable "Import GIS" step: map images, vector features, terrain meshes,
// buildings and roofs (PlacementBuildings.cpp) and contours, in this order. Only a refused
// picture, a message of the feature import and a refused terrain-model mesh end the step; every
// other element that fails is counted as left out and the step goes on.

#include "import/placement/PlacementCommand.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <locale>

#include "ACAPinc.h"
#include "LayerMapper.h"
#include "Platform.h"
#include "geometry/ContourBuilder.h"
#include "geometry/ContourLabeler.h"

namespace {

constexpr short kContourPen = 1;
constexpr short kIndexContourPen = 2;
constexpr short kContourLabelPen = 2;
constexpr double kContourLabelSize = 2.0;
constexpr int kSmoothingRounds = 2;
constexpr double kSmoothingTolerance = 0.05;  // metres

}  // namespace

namespace placement {

void report(const std::string& line) {
    ACAPI_WriteReport(GS::UniString(line), false);
}

bool writeDiagnostics(const std::string& name, const std::string& text, bool append) {
    std::ofstream file(Platform::diagPath(name), append ? std::ios::app : std::ios::trunc);
    if (!file)
        return false;
    file << text;
    return true;
}

std::ostringstream numberStream() {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    return out;
}

std::string upperCased(const std::string& text) {
    std::string upper = text;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

bool hasRing(const BuildingLod2& building) {
    return std::any_of(building.faces.begin(), building.faces.end(),
                       [](const Lod2Face& face) { return face.xy.size() >= 3; });
}

}  // namespace placement

API_AttributeIndex ImportController::layerForType(DataType type) const {
    return LayerMapper::ensureLayer(settings_.layerFor(type));
}

int ImportController::placeFetched(PlacementInputs& inputs) const {
    // Fill and material lookups are asked of this project once and forgotten with the step.
    const AcImporter::AttributeCache attributes;
    return PlacementCommand(*this, inputs).run();
}

ImportController::PlacementCommand::PlacementCommand(const ImportController& controller,
                                                     PlacementInputs& inputs)
    : controller_(controller), fetched_(controller.fetched_), in_(inputs) {}

GSErrCode ImportController::PlacementCommand::run() {
    if (!placeRasters() || !placeFeatures() ||
        !placeMeshes(in_.terrain, fetched_.terrain, DataType::Teren, fetched_.terrainZOffset,
                     "teren (Siatka)", true))
        return kPlacementRollback;
    placeMeshes(in_.cloudTerrain, fetched_.cloudTerrain, DataType::TerenChmura,
                fetched_.cloudTerrainZOffset, "teren z chmury (Siatka)", false);
    placeMeshes(in_.water, fetched_.water, DataType::WodaChmura, fetched_.cloudTerrainZOffset,
                "woda z chmury (Siatka)", false);
    placeLod1();
    placeLod2();
    placeRoofs();
    placeContours();
    placeCloudContours();
    return NoError;
}

// ---- Map images, features, terrain meshes ---------------------------------------------------

bool ImportController::PlacementCommand::placeRasters() {
    for (const RasterItem& raster : fetched_.rasters) {
        bool created = false;
        const GSErrCode err = AcImporter::createPicture(
            raster.image, raster.bbox, raster.epsg, in_.frame, in_.zoneEpsg,
            controller_.layerForType(raster.type), &created);
        const std::string key = Settings::keyOf(raster.type);
        if (err != NoError) {
            in_.result.message =
                "Blad wstawiania rastra (kod " + std::to_string(err) + ") dla: " + key;
            return false;
        }
        if (created)
            ++rasters_[key + " (rastr)"];
        else
            ++rastersSkipped_;
    }
    return true;
}

bool ImportController::PlacementCommand::placeFeatures() {
    in_.result = AcImporter::importFeatures(in_.features, in_.frame, controller_.settings_);
    for (const auto& [key, placed] : rasters_)
        in_.result.counts[key] += placed;
    in_.result.skipped += rastersSkipped_;
    return in_.result.message.empty();
}

bool ImportController::PlacementCommand::placeMeshes(const std::vector<TerrainTile>& tiles,
                                                     const std::vector<TerrainTile>& fetched,
                                                     DataType kind, double zOffset, const char* key,
                                                     bool refusalEnds) {
    if (tiles.empty())
        return true;
    const API_AttributeIndex layer = controller_.layerForType(kind);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        bool created = false;
        const GSErrCode err = AcImporter::createMesh(tiles[i], in_.frame, zOffset, layer,
                                                     cornersOf(fetched[i].bounds), &created);
        if (err != NoError && refusalEnds) {
            in_.result.message = "Blad tworzenia Siatki terenu (kod " + std::to_string(err) + ")";
            return false;
        }
        if (err == NoError && created)
            ++in_.result.counts[key];
        else
            ++in_.result.skipped;
    }
    return true;
}

// ---- Contours -------------------------------------------------------------------------------

void ImportController::PlacementCommand::placeContours() {
    if (in_.contours.empty())
        return;
    std::vector<Warstwica> lines = in_.contours;
    if (fetchedKey("poziomice2d") && controller_.poziomiceWygladz_)
        ContourBuilder::smoothChaikin(lines, kSmoothingRounds, kSmoothingTolerance);
    placeContourLinesAndLabels(lines);
    if (fetchedKey("poziomice3d") &&
        !placeContourMesh(in_.contours, controller_.buildingZOffset(), DataType::Poziomice3d))
        in_.warning = "Poziomice: nie udalo sie utworzyc Siatki 3D z warstwic.";
}

// Lines only when they were asked for; their height labels always, on the lines' layer.
void ImportController::PlacementCommand::placeContourLinesAndLabels(
    const std::vector<Warstwica>& lines) {
    const bool linesWanted = fetchedKey("poziomice2d");
    const API_AttributeIndex layer = controller_.layerForType(DataType::Poziomice2d);
    int placedLines = 0;
    int placedLabels = 0;
    const auto tally = [this](GSErrCode err, bool created, int& placed) {
        if (err == NoError && created)
            ++placed;
        else
            ++in_.result.skipped;
    };
    for (const Warstwica& line : lines) {
        if (linesWanted) {
            std::vector<GisPoint> points;
            for (const GisPoint& p : line.pts)
                points.push_back(local(p));
            bool created = false;
            const GSErrCode err =
                points.size() < 2
                    ? NoError
                    : AcImporter::createPolyLine(
                          points, layer, line.major ? kIndexContourPen : kContourPen, &created);
            tally(err, created, placedLines);
        }
        for (const PodpisRzednej& label : ContourLabeler::rozmiesc(line)) {
            bool created = false;
            const GSErrCode err = AcImporter::createText(
                local(label.pos), label.text, layer, kContourLabelPen, kContourLabelSize,
                ContourLabeler::katLokalny(label.angle, in_.frame.angle), &created);
            tally(err, created, placedLabels);
        }
    }
    if (placedLines > 0)
        in_.result.counts["poziomice2d"] = placedLines;
    if (placedLabels > 0)
        in_.result.counts["podpisy rzednych"] = placedLabels;
}

// Point-cloud contours become a 3D mesh only, at the same height anchor as every other kind.
void ImportController::PlacementCommand::placeCloudContours() {
    if (in_.cloudContours.empty())
        return;
    if (!placeContourMesh(in_.cloudContours, controller_.buildingZOffset(),
                          DataType::PoziomiceChmura3d))
        in_.warning = "Poziomice z chmury: nie udalo sie utworzyc Siatki 3D.";
}

bool ImportController::PlacementCommand::placeContourMesh(const std::vector<Warstwica>& lines,
                                                          double zOffset, DataType kind) {
    bool created = false;
    const GSErrCode err = AcImporter::createMeshFromContours(
        lines, in_.frame, zOffset, controller_.layerForType(kind),
        cornersOf(controller_.fetchedBbox_), &created);
    if (err == NoError && created) {
        in_.result.counts[Settings::keyOf(kind)] = 1;
        return true;
    }
    ++in_.result.skipped;
    return false;
}

// ---- Helpers --------------------------------------------------------------------------------

GisPoint ImportController::PlacementCommand::local(const GisPoint& placementPoint) const {
    return in_.frame.toLocal(placementPoint);
}

AcImporter::MeshCorners ImportController::PlacementCommand::cornersOf(const Bbox& box) const {
    return {in_.sim.toPl2000({box.minx, box.miny}), in_.sim.toPl2000({box.maxx, box.miny}),
            in_.sim.toPl2000({box.maxx, box.maxy}), in_.sim.toPl2000({box.minx, box.maxy})};
}

bool ImportController::PlacementCommand::fetchedKey(const std::string& key) const {
    const auto& keys = controller_.fetchedKeys_;
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}
