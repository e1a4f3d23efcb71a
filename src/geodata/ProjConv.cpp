#include "geodata/ProjConv.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace ProjConv {
namespace {

// GRS 80.
constexpr double kA = 6378137.0;
constexpr double kE2 = 0.006694380022900787;         // first eccentricity squared
constexpr double kEp2 = 0.006739496775478957;        // second: e2 / (1 - e2)
constexpr double kMeridianUnit = 6367449.145908449;  // a (1 - e2/4 - 3e4/64 - 5e6/256)
constexpr double kAOneMinusE2 = 6335439.327083875;   // a (1 - e2)

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180.0;

// One transverse Mercator system: central meridian in degrees, scale on it, false origin.
struct TmParams {
    double lon0;
    double k0;
    double falseEasting;
    double falseNorthing;
};

constexpr TmParams kPl1992{19.0, 0.9993, 500000.0, -5300000.0};

constexpr int kFirstPl2000 = 2176;
constexpr int kLastPl2000 = 2179;

TmParams pl2000Params(int epsg) {
    if (epsg < kFirstPl2000 || epsg > kLastPl2000) {
        throw std::invalid_argument("Nieobslugiwany EPSG PL-2000");
    }
    const int zone = epsg - 2171;
    return {15.0 + 3.0 * (epsg - kFirstPl2000), 0.999923, zone * 1000000.0 + 500000.0, 0.0};
}

// Meridian arc from the equator to latitude phi (radians), truncated after e^6.
double meridianArc(double phi) {
    return kA * (0.9983242984445848 * phi - 0.0025146070728448195 * std::sin(2.0 * phi) +
                 2.6390466202308984e-6 * std::sin(4.0 * phi) -
                 3.418046136775213e-9 * std::sin(6.0 * phi));
}

// Latitude whose meridian arc is mu times the meridian unit (rectifying latitude inverted).
double footpointLatitude(double mu) {
    return mu + 0.0025188265967581876 * std::sin(2.0 * mu) +
           3.7009490719640127e-6 * std::sin(4.0 * mu) + 7.447813877211132e-9 * std::sin(6.0 * mu) +
           1.7035993573185923e-11 * std::sin(8.0 * mu);
}

GisPoint forward(double lat, double lon, const TmParams& p) {
    const double phi = lat * kDeg;
    const double sinPhi = std::sin(phi);
    const double cosPhi = std::cos(phi);
    const double tanPhi = std::tan(phi);

    const double n = kA / std::sqrt(1.0 - kE2 * sinPhi * sinPhi);
    const double t = tanPhi * tanPhi;
    const double c = kEp2 * cosPhi * cosPhi;
    const double a = (lon * kDeg - p.lon0 * kDeg) * cosPhi;
    const double a2 = a * a;
    const double a3 = a2 * a;
    const double a4 = a2 * a2;
    const double a5 = a4 * a;
    const double a6 = a4 * a2;

    const double m = meridianArc(phi);
    const double easting =
        p.falseEasting + p.k0 * n *
                             (a + (1.0 - t + c) * a3 / 6.0 +
                              (5.0 - 18.0 * t + t * t + 72.0 * c - 58.0 * kEp2) * a5 / 120.0);
    const double northing =
        p.falseNorthing +
        p.k0 * (m + n * tanPhi *
                        (a2 / 2.0 + (5.0 - t + 9.0 * c + 4.0 * c * c) * a4 / 24.0 +
                         (61.0 - 58.0 * t + t * t + 600.0 * c - 330.0 * kEp2) * a6 / 720.0));
    return {easting, northing};
}

void inverse(double easting, double northing, const TmParams& p, double& lat, double& lon) {
    const double mu = ((northing - p.falseNorthing) / p.k0) / kMeridianUnit;
    const double phi1 = footpointLatitude(mu);
    const double sinPhi1 = std::sin(phi1);
    const double cosPhi1 = std::cos(phi1);
    const double tanPhi1 = std::tan(phi1);

    const double w = 1.0 - kE2 * sinPhi1 * sinPhi1;
    const double n1 = kA / std::sqrt(w);
    const double r1 = kAOneMinusE2 / (w * std::sqrt(w));
    const double t1 = tanPhi1 * tanPhi1;
    const double c1 = kEp2 * cosPhi1 * cosPhi1;
    const double d = (easting - p.falseEasting) / (p.k0 * n1);
    const double d2 = d * d;
    const double d3 = d2 * d;
    const double d4 = d2 * d2;
    const double d5 = d4 * d;
    const double d6 = d4 * d2;

    const double phi =
        phi1 -
        (n1 * tanPhi1 / r1) *
            (d2 / 2.0 - (5.0 + 3.0 * t1 + 10.0 * c1 - 4.0 * c1 * c1 - 9.0 * kEp2) * d4 / 24.0 +
             (61.0 + 90.0 * t1 + 298.0 * c1 + 45.0 * t1 * t1 - 252.0 * kEp2 - 3.0 * c1 * c1) * d6 /
                 720.0);
    const double lambda =
        p.lon0 * kDeg +
        (d - (1.0 + 2.0 * t1 + c1) * d3 / 6.0 +
         (5.0 - 2.0 * c1 + 28.0 * t1 - 3.0 * c1 * c1 + 8.0 * kEp2 + 24.0 * t1 * t1) * d5 / 120.0) /
            cosPhi1;
    lat = phi / kDeg;
    lon = lambda / kDeg;
}

// Inverse in one system, forward in the other.
GisPoint reproject(double easting, double northing, const TmParams& from, const TmParams& to) {
    double lat = 0.0;
    double lon = 0.0;
    inverse(easting, northing, from, lat, lon);
    return forward(lat, lon, to);
}

}  // namespace

GisPoint Sim2000::toPl2000(const GisPoint& p) const {
    const double dx = p.x - cx;
    const double dy = p.y - cy;
    return {east0 + eastPerX * dx + eastPerY * dy, north0 + northPerX * dx + northPerY * dy};
}

GisPoint latLonToPl1992(double lat, double lon) {
    return forward(lat, lon, kPl1992);
}

void pl1992ToLatLon(double easting, double northing, double& lat, double& lon) {
    inverse(easting, northing, kPl1992, lat, lon);
}

GisPoint latLonToPl2000(double lat, double lon, int epsg) {
    return forward(lat, lon, pl2000Params(epsg));
}

void pl2000ToLatLon(double easting, double northing, int epsg, double& lat, double& lon) {
    inverse(easting, northing, pl2000Params(epsg), lat, lon);
}

GisPoint pl2000toPl1992(double easting, double northing, int epsg) {
    return reproject(easting, northing, pl2000Params(epsg), kPl1992);
}

GisPoint pl1992ToPl2000(double easting, double northing, int epsg) {
    return reproject(easting, northing, kPl1992, pl2000Params(epsg));
}

int zoneForLon(double lon) {
    if (lon < 16.5)
        return 2176;
    if (lon < 19.5)
        return 2177;
    if (lon < 22.5)
        return 2178;
    return 2179;  // NaN compares false everywhere and lands here too
}

int epsgFromName(std::string_view name) {
    for (const int code : {2176, 2177, 2178, 2179, 2180}) {
        if (name.find(std::to_string(code)) != std::string_view::npos)
            return code;
    }
    return 0;
}

namespace {

Bbox extentOf(const GisPoint (&corners)[4]) {
    Bbox box{corners[0].x, corners[0].y, corners[0].x, corners[0].y};
    for (const GisPoint& c : corners) {
        box.minx = std::min(box.minx, c.x);
        box.miny = std::min(box.miny, c.y);
        box.maxx = std::max(box.maxx, c.x);
        box.maxy = std::max(box.maxy, c.y);
    }
    return box;
}

}  // namespace

Bbox pl1992ExtentOfWgs84(double west, double south, double east, double north) {
    return extentOf({latLonToPl1992(south, west), latLonToPl1992(north, east),
                     latLonToPl1992(north, west), latLonToPl1992(south, east)});
}

Bbox pl2000ExtentOf(const Bbox& pl1992, int epsg) {
    return extentOf({pl1992ToPl2000(pl1992.minx, pl1992.miny, epsg),
                     pl1992ToPl2000(pl1992.maxx, pl1992.miny, epsg),
                     pl1992ToPl2000(pl1992.minx, pl1992.maxy, epsg),
                     pl1992ToPl2000(pl1992.maxx, pl1992.maxy, epsg)});
}

Sim2000 makeSim2000(const Bbox& box, int epsg) {
    const double cx = (box.minx + box.maxx) / 2.0;
    const double cy = (box.miny + box.maxy) / 2.0;
    const GisPoint p0 = pl1992ToPl2000(cx, cy, epsg);
    const GisPoint pX = pl1992ToPl2000(cx + 1.0, cy, epsg);
    const GisPoint pY = pl1992ToPl2000(cx, cy + 1.0, epsg);
    return {cx, cy, p0.x, p0.y, pX.x - p0.x, pX.y - p0.y, pY.x - p0.x, pY.y - p0.y};
}

}  // namespace ProjConv
