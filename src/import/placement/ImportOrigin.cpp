// The project's origin from the map: "setOrigin" writes a georeference whose survey point is the
// map's centre in its PL-2000 zone at project zero, and a worker of its own then looks up the
// terrain height there, which the main thread writes into the georeference.

#include <cmath>
#include <iomanip>
#include <thread>

#include "ACAPinc.h"
#include "MapCentre.h"
#include "PageFields.h"
#include "Platform.h"
#include "geodata/AscGrid.h"
#include "geodata/NmtClient.h"
#include "import/placement/PlacementCommand.h"

namespace {

using json = ImportController::json;

constexpr const char* kGeoDiagnostics = "tovelmark_geo_diag.txt";
constexpr short kPolishTimeZone = 60;       // minutes east of UTC
constexpr double kSheetSearchHalf = 1.0;    // metres around the point
constexpr double kSameSurveyPoint = 0.001;  // metres the stored survey point may differ by

// The write levels, as the diagnostics name them.
constexpr int kFullRecord = 0;
constexpr int kWithoutCrsDescriptions = 1;
constexpr int kMinimumRecord = 2;
constexpr int kNoLevel = -1;

using pagefield::errorReply;

// The map's centre as the project's origin: where it lies and how it is written.
struct Origin {
    double lat = 0.0;
    double lon = 0.0;
    int zoneEpsg = 0;
    GisPoint pl1992;
    GisPoint pl2000;  // the survey point
};

Origin originAt(double lat, double lon) {
    Origin o{lat, lon, ProjConv::zoneForLon(lon), ProjConv::latLonToPl1992(lat, lon), {}};
    o.pl2000 = ProjConv::pl1992ToPl2000(o.pl1992.x, o.pl1992.y, o.zoneEpsg);
    return o;
}

void setOriginFields(API_GeoLocation& geo, const Origin& o) {
    API_ProjectLocation& place = geo.placeInfo;
    place.longitude = o.lon;
    place.latitude = o.lat;
    place.altitude = 0.0;
    place.timeZoneInMinutes = kPolishTimeZone;
    API_SurveyPoint& sp = geo.surveyPoint;
    sp.position = {0.0, 0.0, 0.0};
    sp.eastings = o.pl2000.x;
    sp.northings = o.pl2000.y;
    sp.orthogonalHeight = 0.0;
    sp.xAxisAbscissa = 1.0;
    sp.xAxisOrdinate = 0.0;
    sp.scale = 1.0;
    API_GeoReferenceData& crs = sp.geoReferenceData;
    crs.name = GS::UniString("EPSG:" + std::to_string(o.zoneEpsg));
    crs.geodeticDatum = "ETRF2000 (PL-ETRF2000)";
    crs.verticalDatum = "PL-EVRF2007-NH";
    crs.mapProjection = "PL-2000";
    crs.mapZone = GS::UniString(std::to_string(o.zoneEpsg - 2171));
}

// The record as a write level sends it: level 1 without the CRS texts after its name, level 2
// without any of them.
API_GeoLocation atLevel(API_GeoLocation geo, int level) {
    API_GeoReferenceData& crs = geo.surveyPoint.geoReferenceData;
    if (level >= kWithoutCrsDescriptions) {
        crs.description = crs.geodeticDatum = crs.verticalDatum = crs.mapProjection = crs.mapZone =
            GS::UniString();
    }
    if (level >= kMinimumRecord)
        crs.name = GS::UniString();
    return geo;
}

struct WriteOutcome {
    GSErrCode error = NoError;
    int level = kNoLevel;
};

// Writes the record at the first level the host takes.
WriteOutcome writeInLevels(const API_GeoLocation& geo) {
    WriteOutcome outcome;
    for (int level = kFullRecord; level <= kMinimumRecord; ++level) {
        const API_GeoLocation record = atLevel(geo, level);
        outcome.error = ACAPI_GeoLocation_SetGeoLocation(&record);
        if (outcome.error == NoError) {
            outcome.level = level;
            return outcome;
        }
    }
    return outcome;
}

void writeGeoDiagnostics(const WriteOutcome& outcome, const Origin& o) {
    std::ostringstream out = placement::numberStream();
    out << "SetGeoLocation: koncowy_err=" << outcome.error
        << " poziom_ktory_przeszedl=" << outcome.level
        << " (0=pelny,1=bez-opisow-CRS,2=minimum,-1=wszystkie-padly)\n"
        << "  lat=" << o.lat << " lon=" << o.lon << " zone=" << o.zoneEpsg << " E=" << o.pl2000.x
        << " N=" << o.pl2000.y << " H=" << 0 << '\n'
        << "  APIERR czeste: -2130311=BADID -2130313=BADPARS -2130315=BADINDEX "
           "-2110145=NOTSUPPORTED\n";
    placement::writeDiagnostics(kGeoDiagnostics, out.str(), false);
}

void reportOrigin(const Origin& o) {
    std::ostringstream out = placement::numberStream();
    out << std::fixed << std::setprecision(6)
        << "TERRAWEFT: ustawiono georeferencje projektu: E=" << o.pl2000.x << " N=" << o.pl2000.y
        << " (PL-2000, EPSG:" << o.zoneEpsg << ")"
        << " H=" << 0.0 << " m n.p.m. (PL-EVRF2007-NH)";
    placement::report(out.str());
}

}  // namespace

ImportController::json ImportController::onSetOrigin(const json& message) {
    std::string error;
    const std::optional<MapCentre> centre = mapCentreOf(message, error);
    if (!centre)
        return errorReply(error);
    const Origin origin = originAt(centre->lat, centre->lon);
    API_GeoLocation geo{};
    if (ACAPI_GeoLocation_GetGeoLocation(&geo) != NoError)
        return errorReply("Nie mozna odczytac georeferencji projektu");
    setOriginFields(geo, origin);
    const WriteOutcome outcome = writeInLevels(geo);
    writeGeoDiagnostics(outcome, origin);
    if (outcome.error != NoError) {
        return errorReply("Nie udalo sie zapisac georeferencji projektu (kod " +
                          std::to_string(outcome.error) +
                          "). Szczegoly: " + Platform::diagPath(kGeoDiagnostics) +
                          ". Ustaw lokalizacje recznie: Opcje > Preferencje projektu > "
                          "Georeferencja.");
    }
    reportOrigin(origin);
    try {
        std::thread(originHeightWorker, origin.pl1992.x, origin.pl1992.y, origin.pl2000).detach();
    } catch (const std::system_error&) {
        // The origin stands; only its height stays 0.
    }
    return {{"type", "originSet"},
            {"e", origin.pl2000.x},
            {"n", origin.pl2000.y},
            {"h", 0.0},
            {"epsg", origin.zoneEpsg}};
}

// Any failure (no sheet, no download, an unreadable grid, no height there) ends it silently.
void ImportController::originHeightWorker(double x, double y, GisPoint surveyPoint) {
    try {
        WfsClient client;
        NmtClient terrainModel(client);
        const auto sheets = terrainModel.tilesFor({x - kSheetSearchHalf, y - kSheetSearchHalf,
                                                   x + kSheetSearchHalf, y + kSheetSearchHalf});
        if (sheets.empty())
            return;
        const std::string text = terrainModel.download(sheets.front());
        AscGrid grid;
        double z = 0.0;
        if (text.empty() || !grid.parse(text) || !grid.sampleZ(x, y, z))
            return;
        runOnMainThread([z, surveyPoint] { applyOriginHeight(z, surveyPoint); });
    } catch (...) {
        // Nothing reaches the page or the project from a failed lookup.
    }
}

// A later "setOrigin" may have moved the survey point meanwhile: its own height is not this one.
// The host may keep the point rounded, so a point within a millimetre is still this one.
void ImportController::applyOriginHeight(double z, GisPoint surveyPoint) {
    API_GeoLocation geo{};
    if (ACAPI_GeoLocation_GetGeoLocation(&geo) != NoError)
        return;
    const double moved = std::hypot(geo.surveyPoint.eastings - surveyPoint.x,
                                    geo.surveyPoint.northings - surveyPoint.y);
    if (!(moved <= kSameSurveyPoint))
        return;
    geo.surveyPoint.orthogonalHeight = z;
    geo.placeInfo.altitude = z;
    ACAPI_GeoLocation_SetGeoLocation(&geo);
}
