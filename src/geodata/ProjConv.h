#pragma once
// Conversions between WGS84 latitude and longitude, PL-1992 (EPSG:2180) and the four PL-2000
// zones (EPSG:2176 to 2179). Both projected systems are transverse Mercator projections of the
// GRS 80 ellipsoid, evaluated with Snyder's series (USGS Professional Paper 1395); geographic
// coordinates are taken as lying on GRS 80, no datum shift is applied.
//
// Measured inside Poland against an exact transverse Mercator: the forward series within 1 mm
// (PL-1992, and each PL-2000 zone on its own strip); the PL-2000 inverse within 2e-9 degrees.
// The PL-1992 inverse loses accuracy five degrees from its central meridian, at Poland's western
// and eastern edges: up to 3e-7 degrees (2 cm), which carries into pl1992ToPl2000 there.
//
// Every function takes and returns EPSG codes, never zone numbers, and latitude comes before
// longitude. The PL-2000 functions throw std::invalid_argument("Nieobslugiwany EPSG PL-2000")
// for a code outside 2176 to 2179, before computing anything. All functions are pure.

#include <string_view>

#include "geodata/GisTypes.h"

namespace ProjConv {

// Local affine approximation of the PL-1992 to PL-2000 mapping around an area's centre.
struct Sim2000 {
    double cx = 0.0;  // the centre in PL-1992
    double cy = 0.0;
    double east0 = 0.0;  // the centre in the PL-2000 zone
    double north0 = 0.0;
    double eastPerX = 0.0;  // PL-2000 change for one metre east in PL-1992
    double northPerX = 0.0;
    double eastPerY = 0.0;  // PL-2000 change for one metre north in PL-1992
    double northPerY = 0.0;

    // Maps a PL-1992 point into the zone through the frame.
    GisPoint toPl2000(const GisPoint& p) const;
};

GisPoint latLonToPl1992(double lat, double lon);
void pl1992ToLatLon(double easting, double northing, double& lat, double& lon);

GisPoint latLonToPl2000(double lat, double lon, int epsg);
void pl2000ToLatLon(double easting, double northing, int epsg, double& lat, double& lon);
GisPoint pl2000toPl1992(double easting, double northing, int epsg);
GisPoint pl1992ToPl2000(double easting, double northing, int epsg);

// Whether the code is one of the PL-2000 zones, 2176 to 2179.
constexpr bool isPl2000(int epsg) {
    return epsg >= 2176 && epsg <= 2179;
}

// The PL-1992 extent of the four corners of a WGS84 box given in degrees; west and east (or
// south and north) may come exchanged.
Bbox pl1992ExtentOfWgs84(double west, double south, double east, double north);

// The extent in a PL-2000 zone of the four corners of a PL-1992 box. The image of a side bulges
// past its corners by up to a metre or so over a few kilometres.
Bbox pl2000ExtentOf(const Bbox& pl1992, int epsg);

// The PL-2000 zone whose strip holds the longitude; a border goes to the eastern zone and a
// longitude that is not a number to 2179.
int zoneForLon(double lon);

// The first of "2176" to "2179" found anywhere in the name, else 2180 when "2180" occurs,
// else 0.
int epsgFromName(std::string_view name);

// Forward differences of one metre at the box's centre.
Sim2000 makeSim2000(const Bbox& box, int epsg);

}  // namespace ProjConv
