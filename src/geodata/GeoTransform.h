#pragma once
// The link between map coordinates (PL-1992, or a PL-2000 zone) and the project's own local
// coordinates, taken from the project's geo-location in the host.

#include <string>

#include "geodata/GisTypes.h"

struct GeoTransform {
    double surveyEasting = 0.0;  // the survey point in the project's map coordinate system
    double surveyNorthing = 0.0;
    double angle = 0.0;    // radians, the project's axes against the map grid
    double anchorX = 0.0;  // the survey point in project coordinates
    double anchorY = 0.0;
    bool hasSurveyPoint = false;

    void setSurveyPoint(double easting, double northing, double angleRad);
    void setLocalAnchor(double x, double y);

    // Map point to project point: shift to the survey point, rotate by minus the angle, shift
    // to the anchor. A fresh record maps every point to itself; no test of hasSurveyPoint.
    GisPoint toLocal(const GisPoint& p) const;

    // The exact inverse of toLocal: the result is in the survey point's map system, whichever
    // that is.
    GisPoint toEPSG2180(const GisPoint& q) const;

    // The survey point in WGS84 degrees, read as a point of the PL-2000 zone epsg (2176 to
    // 2179) or, for any other code, of PL-1992.
    void surveyPointToLatLon(int epsg, double& lat, double& lon) const;

    // Whether the survey point, read as surveyPointToLatLon reads it, lies within the reach of
    // the Polish systems (geobounds::withinReach): whatever is placed against a point beyond it
    // lands as far from the data as that point lies.
    bool surveyPointWithinReach(int epsg) const;
};

// What loadSurveyPointFromProject found.
inline constexpr int kGeoreferenceNone = 0;
inline constexpr int kGeoreferenceApproximate = 1;  // from the project location only
inline constexpr int kGeoreferenceSurveyPoint = 2;

// Reads the project's geo-location into transform and works out the EPSG code of its
// coordinate system (2180 unless the system's name gives a PL-2000 code). message gets the
// text for the user: why there is no usable georeference, that it is approximate, or that the
// coordinate system is not recognised; it is empty otherwise. Without a usable georeference
// the transform is left untouched. Main thread only: it calls the host.
int loadSurveyPointFromProject(GeoTransform& transform, std::string& message, int& epsg);

// The project's survey point in WGS84 degrees, where the project is georeferenced at all and
// the point is a position on the globe (the palettes open their maps on it; a survey point far
// beyond the reach of its system converts to no position). Main thread only: it calls the host.
bool projectSurveyPointLatLon(double& lat, double& lon);

// The PL-2000 zone that the name of the project's coordinate system gives, else (no zone named,
// or the geo-location unreadable) the zone of the longitude. Main thread only: it calls the host.
int projectZoneOr(double longitude);
