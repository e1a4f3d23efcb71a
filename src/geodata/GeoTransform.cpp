#include "geodata/GeoTransform.h"

#include <cmath>

#include "ACAPinc.h"
#include "geodata/GeoBounds.h"
#include "geodata/ProjConv.h"

void GeoTransform::setSurveyPoint(double easting, double northing, double angleRad) {
    surveyEasting = easting;
    surveyNorthing = northing;
    angle = angleRad;
    hasSurveyPoint = true;
}

void GeoTransform::setLocalAnchor(double x, double y) {
    anchorX = x;
    anchorY = y;
}

GisPoint GeoTransform::toLocal(const GisPoint& p) const {
    const double dx = p.x - surveyEasting;
    const double dy = p.y - surveyNorthing;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return {anchorX + c * dx + s * dy, anchorY - s * dx + c * dy};
}

GisPoint GeoTransform::toEPSG2180(const GisPoint& q) const {
    const double dx = q.x - anchorX;
    const double dy = q.y - anchorY;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return {surveyEasting + c * dx - s * dy, surveyNorthing + s * dx + c * dy};
}

namespace {

const char* const kReadFailed = "Nie mozna odczytac georeferencji projektu (GeoLocation).";
const char* const kNoGeoreference =
    "Projekt nie ma georeferencji. Kliknij \"Ustaw lokalizacje projektu wg mapy\" w palecie "
    "GIS Import (albo ustaw Survey Point: Opcje > Preferencje projektu > Georeferencja).";
const char* const kApproximate =
    "Georeferencja przyblizona (z lokalizacji projektu, nie Survey Pointu).";

std::string unsupportedCrsWarning(const std::string& name) {
    return "Uwaga: nieobslugiwany CRS projektu \"" + name +
           "\". Import zaklada uklad PL-2000/PL-1992 - sprawdz georeferencje.";
}

// Grid north as the angle of the projected system's x axis; 0 when the host gives no direction.
double gridAngle(const API_SurveyPoint& sp) {
    if (sp.xAxisAbscissa == 0.0 && sp.xAxisOrdinate == 0.0)
        return 0.0;
    return std::atan2(sp.xAxisOrdinate, sp.xAxisAbscissa);
}

// A survey point at 0, 0 is one never set; one that is no number is no point at all.
bool hasSurveyPoint(const API_SurveyPoint& sp) {
    return std::isfinite(sp.eastings) && std::isfinite(sp.northings) &&
           !(sp.eastings == 0.0 && sp.northings == 0.0);
}

// The same for the project's location, which must also be a position on the globe.
bool hasLocation(const API_ProjectLocation& place) {
    return geobounds::isLatLon(place.latitude, place.longitude) &&
           !(place.latitude == 0.0 && place.longitude == 0.0);
}

// Only the project location is set: its latitude and longitude stand in for a survey point.
int approximateFromLocation(const API_GeoLocation& geo, GeoTransform& transform,
                            std::string& message) {
    const GisPoint p = ProjConv::latLonToPl1992(geo.placeInfo.latitude, geo.placeInfo.longitude);
    transform.setSurveyPoint(p.x, p.y, geo.placeInfo.north);
    transform.setLocalAnchor(geo.surveyPoint.position.x, geo.surveyPoint.position.y);
    message = kApproximate;
    return kGeoreferenceApproximate;
}

int fromSurveyPoint(const API_GeoLocation& geo, GeoTransform& transform, std::string& message,
                    int& epsg) {
    const API_SurveyPoint& sp = geo.surveyPoint;
    transform.setSurveyPoint(sp.eastings, sp.northings, gridAngle(sp));
    transform.setLocalAnchor(sp.position.x, sp.position.y);

    const std::string name = sp.geoReferenceData.name.ToCStr(CC_UTF8).Get();
    epsg = ProjConv::epsgFromName(name);
    if (epsg == 0) {
        epsg = 2180;
        if (!name.empty())
            message = unsupportedCrsWarning(name);
    }
    return kGeoreferenceSurveyPoint;
}

}  // namespace

int loadSurveyPointFromProject(GeoTransform& transform, std::string& message, int& epsg) {
    message.clear();
    epsg = 2180;

    API_GeoLocation geo{};
    if (ACAPI_GeoLocation_GetGeoLocation(&geo) != NoError) {
        message = kReadFailed;
        return kGeoreferenceNone;
    }
    if (hasSurveyPoint(geo.surveyPoint))
        return fromSurveyPoint(geo, transform, message, epsg);
    if (!hasLocation(geo.placeInfo)) {
        message = kNoGeoreference;
        return kGeoreferenceNone;
    }
    return approximateFromLocation(geo, transform, message);
}

void GeoTransform::surveyPointToLatLon(int epsg, double& lat, double& lon) const {
    if (ProjConv::isPl2000(epsg))
        ProjConv::pl2000ToLatLon(surveyEasting, surveyNorthing, epsg, lat, lon);
    else
        ProjConv::pl1992ToLatLon(surveyEasting, surveyNorthing, lat, lon);
}

bool GeoTransform::surveyPointWithinReach(int epsg) const {
    double lat = 0.0;
    double lon = 0.0;
    surveyPointToLatLon(epsg, lat, lon);
    return geobounds::withinReach(lat, lon);
}

bool projectSurveyPointLatLon(double& lat, double& lon) {
    GeoTransform survey;
    std::string message;
    int epsg = 2180;
    if (loadSurveyPointFromProject(survey, message, epsg) == kGeoreferenceNone)
        return false;
    survey.surveyPointToLatLon(epsg, lat, lon);
    return geobounds::isLatLon(lat, lon);
}

int projectZoneOr(double longitude) {
    API_GeoLocation geo{};
    if (ACAPI_GeoLocation_GetGeoLocation(&geo) == NoError) {
        const int named = ProjConv::epsgFromName(geo.surveyPoint.geoReferenceData.name.ToUtf8());
        if (ProjConv::isPl2000(named))
            return named;
    }
    return ProjConv::zoneForLon(longitude);
}
