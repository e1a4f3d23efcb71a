// The "place" request: the refusals, the project's georeference against the fetched area, the
// height anchor, the fetched lists moved into the placement frame, the one undoable step that
// places them, and the reply.

#include <cmath>
#include <iomanip>
#include <optional>

#include "ACAPinc.h"
#include "ExceptionText.h"
#include "PageFields.h"
#include "geodata/ProjConv.h"
#include "import/placement/PlacementCommand.h"

namespace {

using json = ImportController::json;

constexpr const char* kFetchFirst = "Najpierw kliknij \"1. Pobierz elementy\".";
constexpr const char* kRolledBack = "Import nieudany (transakcja wycofana)";
constexpr const char* kSurveyPointOutOfReach =
    "Survey Point projektu lezy poza zasiegiem ukladow PL-1992/PL-2000 - dane obejmuja tylko "
    "Polske. Kliknij \"Ustaw lokalizacje projektu wg mapy\" i sprobuj ponownie.";
constexpr const char* kZDiagnostics = "tovelmark_z_diag.txt";
constexpr double kApproximateReachKm = 2.0;
constexpr double kSurveyPointReachKm = 50.0;
constexpr double kLod2Lift = 0.15;  // metres, so that LoD2 roofs do not sink into the terrain
constexpr double kNoPoint = 1e18;
constexpr double kSomePoint = 1e17;

using pagefield::errorReply;

// The value truncated toward zero, as a decimal integer, whatever its size.
std::string wholeNumber(double value) {
    std::ostringstream out = placement::numberStream();
    out << std::fixed << std::setprecision(0) << std::trunc(value) + 0.0;
    return out.str();
}

void appendSentence(std::string& text, const std::string& sentence) {
    if (sentence.empty())
        return;
    if (!text.empty())
        text += ' ';
    text += sentence;
}

// The project's georeference as the placement reads it.
struct Georeference {
    GeoTransform frame;
    std::string message;
    int epsg = 2180;
    int status = kGeoreferenceNone;
};

Georeference readGeoreference() {
    Georeference g;
    g.status = loadSurveyPointFromProject(g.frame, g.message, g.epsg);
    return g;
}

std::optional<double> surveyPointHeight() {
    API_GeoLocation geo{};
    if (ACAPI_GeoLocation_GetGeoLocation(&geo) != NoError)
        return std::nullopt;
    return geo.surveyPoint.orthogonalHeight;
}

// The lowest finite height of all points of the tiles; kNoPoint when there is none.
double lowestPoint(std::initializer_list<const std::vector<TerrainTile>*> lists) {
    double lowest = kNoPoint;
    for (const auto* tiles : lists) {
        for (const TerrainTile& tile : *tiles) {
            for (const TerrainPoint& p : tile.pts) {
                if (std::isfinite(p.z) && p.z < lowest)
                    lowest = p.z;
            }
        }
    }
    return lowest;
}

// How the height anchor of one placement came about, for its diagnostics line.
struct AnchorNote {
    double anchor = 0.0;
    double lowest = 0.0;       // the lowest terrain point, when it became the anchor
    bool written = false;      // the lowest point went into the project's geo-location
    double heightAfter = 0.0;  // the survey point's height read after that, else as first read
};

// The survey point's height set to the anchor in the project's geo-location.
void storeAnchorInProject(double anchor, AnchorNote& note) {
    API_GeoLocation geo{};
    if (ACAPI_GeoLocation_GetGeoLocation(&geo) != NoError)
        return;
    geo.surveyPoint.orthogonalHeight = anchor;
    note.written = ACAPI_GeoLocation_SetGeoLocation(&geo) == NoError;
    if (const std::optional<double> height = surveyPointHeight())
        note.heightAfter = *height;
}

void writeZDiagnostics(const AnchorNote& note, const Settings& settings,
                       const ImportController::FetchedData& fetched) {
    std::ostringstream out = placement::numberStream();
    out << "ohZ_georef_start=" << note.anchor << " minZ_liczony=" << note.lowest
        << " zAnchor(settings)=" << (settings.hasZAnchor ? settings.zAnchor : 0.0)
        << " hasZAnchor=" << (settings.hasZAnchor ? 1 : 0)
        << " SetGeoLocation_ok=" << (note.written ? 1 : 0) << " ohAfterSet=" << note.heightAfter
        << " terrainZOffset=" << fetched.terrainZOffset << " terenNMT=" << fetched.terrain.size()
        << " terenChmura=" << fetched.cloudTerrain.size() << '\n';
    placement::writeDiagnostics(kZDiagnostics, out.str(), false);
}

// ---- The fetched lists in the placement frame ------------------------------------------------

std::vector<GisPoint> mapped(const std::vector<GisPoint>& points, const ProjConv::Sim2000& sim) {
    std::vector<GisPoint> out;
    out.reserve(points.size());
    for (const GisPoint& p : points)
        out.push_back(sim.toPl2000(p));
    return out;
}

std::vector<TerrainTile> mapped(std::vector<TerrainTile> tiles, const ProjConv::Sim2000& sim) {
    for (TerrainTile& tile : tiles) {
        for (TerrainPoint& p : tile.pts) {
            const GisPoint q = sim.toPl2000({p.x, p.y});
            p.x = q.x;
            p.y = q.y;
        }
    }
    return tiles;
}

std::vector<Building3D> mapped(std::vector<Building3D> buildings, const ProjConv::Sim2000& sim) {
    for (Building3D& b : buildings)
        b.footprint = mapped(b.footprint, sim);
    return buildings;
}

std::vector<Warstwica> mapped(std::vector<Warstwica> lines, const ProjConv::Sim2000& sim) {
    for (Warstwica& line : lines)
        line.pts = mapped(line.pts, sim);
    return lines;
}

std::vector<BuildingLod2> mappedAndLifted(std::vector<BuildingLod2> buildings,
                                          const ProjConv::Sim2000& sim) {
    for (BuildingLod2& building : buildings) {
        for (Lod2Face& face : building.faces) {
            face.xy = mapped(face.xy, sim);
            for (double& z : face.z)
                z += kLod2Lift;
        }
    }
    return buildings;
}

std::set<std::string> lod2Ids(const std::vector<BuildingLod2>& buildings) {
    std::set<std::string> ids;
    for (const BuildingLod2& building : buildings) {
        if (!building.id.empty() && placement::hasRing(building))
            ids.insert(placement::upperCased(building.id));
    }
    return ids;
}

// ---- The reply -------------------------------------------------------------------------------

void reportLocalExtent(const ImportResult& result) {
    const Bbox& e = result.localExtent;
    placement::report("TERRAWEFT: wektory w lokalnych wsp. X[" + wholeNumber(e.minx) + ".." +
                      wholeNumber(e.maxx) + "] Y[" + wholeNumber(e.miny) + ".." +
                      wholeNumber(e.maxy) + "] m od zera projektu.");
}

json placedReply(const ImportResult& result, std::string warning,
                 const std::string& placementWarning,
                 const ImportController::FetchedData& fetched) {
    if (result.skipped > 0) {
        appendSentence(warning, "Pominieto " + std::to_string(result.skipped) +
                                    " wadliwych geometrii lub bryl.");
    }
    if (result.hasLocalExtent)
        reportLocalExtent(result);
    for (const std::string* status :
         {&fetched.terrainStatus, &fetched.cloudTerrainStatus, &fetched.lod1Status,
          &fetched.contoursStatus, &fetched.cloudContoursStatus, &fetched.waterStatus,
          &placementWarning})
        appendSentence(warning, *status);
    json reply = {{"type", "placeDone"}, {"counts", json::object()}};
    for (const auto& [key, count] : result.counts)
        reply["counts"][key] = count;
    if (!warning.empty()) {
        reply["warning"] = warning;
        placement::report("TERRAWEFT: " + warning);
    }
    return reply;
}

}  // namespace

ImportController::json ImportController::onPlace(const json& /*message*/) {
    if (!hasData_)
        return errorReply(kFetchFirst);
    if (busy_)
        return errorReply(kBusyMessage);
    Georeference geo = readGeoreference();
    if (geo.status == kGeoreferenceNone)
        return errorReply(geo.message);
    if (!geo.frame.surveyPointWithinReach(geo.epsg))
        return errorReply(kSurveyPointOutOfReach);
    const int zone = ProjConv::isPl2000(geo.epsg) ? geo.epsg : zoneEpsg_;
    if (!ProjConv::isPl2000(geo.epsg)) {
        const GisPoint inZone =
            ProjConv::pl1992ToPl2000(geo.frame.surveyEasting, geo.frame.surveyNorthing, zone);
        geo.frame.setSurveyPoint(inZone.x, inZone.y, geo.frame.angle);
    }
    const GisPoint centre =
        ProjConv::pl1992ToPl2000((fetchedBbox_.minx + fetchedBbox_.maxx) * 0.5,
                                 (fetchedBbox_.miny + fetchedBbox_.maxy) * 0.5, zone);
    const double km =
        std::hypot(centre.x - geo.frame.surveyEasting, centre.y - geo.frame.surveyNorthing) /
        1000.0;
    if (geo.status == kGeoreferenceApproximate && km > kApproximateReachKm) {
        return errorReply("Georeferencja projektu jest przyblizona i lezy " + wholeNumber(km) +
                          " km od pobranego obszaru. Kliknij \"Ustaw lokalizacje projektu wg "
                          "mapy\" i sprobuj ponownie.");
    }
    std::string warning;
    if (geo.status == kGeoreferenceSurveyPoint) {
        if (km > kSurveyPointReachKm) {
            warning = "Uwaga: pobrany obszar lezy " + wholeNumber(km) +
                      " km od Survey Pointu projektu - elementy beda daleko od zera projektu.";
        }
        appendSentence(warning, geo.message);
    }
    anchorHeights();
    PlacementInputs inputs = placementInputs(geo.frame, zone);
    // An exception must not cross the host: it rolls the whole step back like any failure.
    const GSErrCode err = ACAPI_CallUndoableCommand("Import GIS", [this, &inputs]() -> GSErrCode {
        try {
            return placeFetched(inputs);
        } catch (...) {
            inputs.result.message =
                std::string(kRolledBack) + ": " + currentExceptionText("nieznany blad");
            return kPlacementRollback;
        }
    });
    if (err != NoError || !inputs.result.message.empty())
        return errorReply(inputs.result.message.empty() ? kRolledBack : inputs.result.message);
    return placedReply(inputs.result, std::move(warning), inputs.warning, fetched_);
}

void ImportController::anchorHeights() {
    const std::optional<double> read = surveyPointHeight();
    AnchorNote note;
    note.anchor = read.value_or(0.0);
    note.heightAfter = note.anchor;
    if (note.anchor == 0.0 && settings_.hasZAnchor)
        note.anchor = settings_.zAnchor;
    if (note.anchor == 0.0 && (!fetched_.terrain.empty() || !fetched_.cloudTerrain.empty())) {
        const double lowest = lowestPoint({&fetched_.terrain, &fetched_.cloudTerrain});
        if (lowest < kSomePoint) {
            settings_.zAnchor = lowest;
            settings_.hasZAnchor = true;
            settings_.save();
            storeAnchorInProject(lowest, note);
            fetched_.terrainStatus = "Rzedna projektu = najnizszy punkt terenu (" +
                                     wholeNumber(lowest) +
                                     " m npm) = 0 projektu; zapisana w ustawieniach. Kolejne "
                                     "importy spojne Z.";
            note.anchor = lowest;
            note.lowest = lowest;
        }
    }
    fetched_.terrainZOffset = note.anchor;
    fetched_.cloudTerrainZOffset = note.anchor;
    writeZDiagnostics(note, settings_, fetched_);
}

ImportController::PlacementInputs ImportController::placementInputs(const GeoTransform& frame,
                                                                    int zoneEpsg) const {
    PlacementInputs in;
    in.frame = frame;
    in.zoneEpsg = zoneEpsg;
    in.sim = ProjConv::makeSim2000(fetchedBbox_, zoneEpsg);
    in.features = reprojFeatures(fetched_.features, in.sim);
    in.terrain = mapped(fetched_.terrain, in.sim);
    in.cloudTerrain = mapped(fetched_.cloudTerrain, in.sim);
    in.water = mapped(fetched_.water, in.sim);
    in.lod1 = mapped(fetched_.lod1, in.sim);
    in.lod2 = mappedAndLifted(fetched_.lod2, in.sim);
    in.lod2Ids = lod2Ids(in.lod2);
    in.contours = mapped(fetched_.contours, in.sim);
    in.cloudContours = mapped(fetched_.cloudContours, in.sim);
    return in;
}

double ImportController::buildingZOffset() const {
    if (!fetched_.terrain.empty())
        return fetched_.terrainZOffset;
    if (!fetched_.cloudTerrain.empty())
        return fetched_.cloudTerrainZOffset;
    const double height = surveyPointHeight().value_or(0.0);
    if (height != 0.0)
        return height;
    return settings_.hasZAnchor ? settings_.zAnchor : 0.0;
}

std::vector<GisFeature> ImportController::reprojFeatures(const std::vector<GisFeature>& features,
                                                         const ProjConv::Sim2000& frame) {
    std::vector<GisFeature> out = features;
    for (GisFeature& feature : out) {
        for (GisPolygon& polygon : feature.polygons) {
            polygon.outer = mapped(polygon.outer, frame);
            for (auto& hole : polygon.holes)
                hole = mapped(hole, frame);
        }
        for (auto& line : feature.lines)
            line = mapped(line, frame);
        if (feature.hasPoint)
            feature.point = frame.toPl2000(feature.point);
    }
    return out;
}

void ImportController::adoptFetchForTest(const FetchRequest& request, FetchedData data) {
    zoneEpsg_ = request.zoneEpsg;
    poziomiceWygladz_ = request.poziomiceWygladz;
    terenChmuraKrok_ = request.terenChmuraKrok;
    onFetchDone(request.bbox, request.keys, std::move(data), std::string());
}

void ImportController::reloadSettingsForTest() {
    settings_ = Settings::load();
}
