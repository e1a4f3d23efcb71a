#include "geodata/ProjConv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>

#include "ProjReference.h"

namespace {

constexpr double kHalfMillimetre = 0.0005;
constexpr int kZones[] = {2176, 2177, 2178, 2179};

// Calls visit(lat, lon) on a 0.05-degree grid over Poland (latitude 49-55, longitude 14-24.2).
void forEachGridPoint(const std::function<void(double, double)>& visit) {
    for (int i = 0; i <= 120; ++i) {
        for (int j = 0; j <= 204; ++j) {
            visit(49.0 + 0.05 * i, 14.0 + 0.05 * j);
        }
    }
}

double distance(const GisPoint& a, const GisPoint& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

double angularError(double lat, double lon, double expectedLat, double expectedLon) {
    return std::max(std::fabs(lat - expectedLat), std::fabs(lon - expectedLon));
}

void expectUnsupportedCode(const std::function<void()>& call) {
    try {
        call();
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Nieobslugiwany EPSG PL-2000");
    }
}

}  // namespace

TEST(ProjConvKnownValues, ReproduceSurveyedMillimetres) {
    const GisPoint onMeridian = ProjConv::latLonToPl1992(52.0, 19.0);
    EXPECT_NEAR(onMeridian.x, 500000.000, kHalfMillimetre);
    EXPECT_NEAR(onMeridian.y, 459309.210, kHalfMillimetre);

    const GisPoint eastOfIt = ProjConv::latLonToPl1992(52.0, 20.0);
    EXPECT_NEAR(eastOfIt.x, 568629.102, kHalfMillimetre);
    EXPECT_NEAR(eastOfIt.y, 459781.172, kHalfMillimetre);

    const GisPoint pl1992 = ProjConv::latLonToPl1992(52.0, 21.0);
    const GisPoint zone7 = ProjConv::pl1992ToPl2000(pl1992.x, pl1992.y, 2178);
    EXPECT_NEAR(zone7.x, 7500000.000, kHalfMillimetre);
    EXPECT_NEAR(zone7.y, 5762899.773, kHalfMillimetre);
}

TEST(ProjConvKnownValues, CompoundConversionsInvertEachOther) {
    const GisPoint pl1992{640000.0, 250000.0};
    const GisPoint zone = ProjConv::pl1992ToPl2000(pl1992.x, pl1992.y, 2178);
    const GisPoint back = ProjConv::pl2000toPl1992(zone.x, zone.y, 2178);
    EXPECT_LT(distance(back, pl1992), 0.01);

    double lat = 0.0;
    double lon = 0.0;
    ProjConv::pl2000ToLatLon(zone.x, zone.y, 2178, lat, lon);
    double lat1992 = 0.0;
    double lon1992 = 0.0;
    ProjConv::pl1992ToLatLon(pl1992.x, pl1992.y, lat1992, lon1992);
    EXPECT_LT(angularError(lat, lon, lat1992, lon1992), 1e-7);
}

TEST(ProjConvCodes, RejectsEveryCodeOutsidePl2000BeforeComputing) {
    for (const int code : {2175, 2180, 0}) {
        SCOPED_TRACE(code);
        double lat = -1.0;
        double lon = -1.0;
        expectUnsupportedCode(
            [&] { ProjConv::pl2000ToLatLon(7500000.0, 5762899.0, code, lat, lon); });
        EXPECT_EQ(lat, -1.0);
        EXPECT_EQ(lon, -1.0);
        expectUnsupportedCode([&] { ProjConv::latLonToPl2000(52.0, 21.0, code); });
        expectUnsupportedCode([&] { ProjConv::pl2000toPl1992(7500000.0, 5762899.0, code); });
        expectUnsupportedCode([&] { ProjConv::pl1992ToPl2000(640000.0, 460000.0, code); });
        expectUnsupportedCode([&] { ProjConv::makeSim2000(Bbox{0, 0, 10, 10}, code); });
    }
}

TEST(ProjConvCodes, ZoneForLonSendsBordersEast) {
    EXPECT_EQ(ProjConv::zoneForLon(16.4999), 2176);
    EXPECT_EQ(ProjConv::zoneForLon(16.5), 2177);
    EXPECT_EQ(ProjConv::zoneForLon(19.5), 2178);
    EXPECT_EQ(ProjConv::zoneForLon(22.4999), 2178);
    EXPECT_EQ(ProjConv::zoneForLon(22.5), 2179);
    EXPECT_EQ(ProjConv::zoneForLon(24.5), 2179);
    EXPECT_EQ(ProjConv::zoneForLon(std::numeric_limits<double>::quiet_NaN()), 2179);
}

TEST(ProjConvCodes, EpsgFromNameTakesFirstZoneThenPl1992) {
    EXPECT_EQ(ProjConv::epsgFromName("EPSG:2177"), 2177);
    EXPECT_EQ(ProjConv::epsgFromName("ETRF2000-PL / CS92 (2180), CS2000/21 (2179)"), 2179);
    EXPECT_EQ(ProjConv::epsgFromName("2179 2176"), 2176);
    EXPECT_EQ(ProjConv::epsgFromName("EPSG:2180"), 2180);
    EXPECT_EQ(ProjConv::epsgFromName("PL-2000 strefa 7"), 0);
    EXPECT_EQ(ProjConv::epsgFromName(""), 0);
    EXPECT_EQ(ProjConv::epsgFromName("Numer 121781"), 2178);  // any occurrence counts
}

TEST(ProjConvSim2000, IsExactAtTheCentreAndCloseNearIt) {
    const Bbox box{630000.0, 480000.0, 632000.0, 481000.0};
    const ProjConv::Sim2000 frame = ProjConv::makeSim2000(box, 2178);
    EXPECT_EQ(frame.cx, 631000.0);
    EXPECT_EQ(frame.cy, 480500.0);

    const GisPoint centre = frame.toPl2000({frame.cx, frame.cy});
    EXPECT_EQ(centre.x, frame.east0);
    EXPECT_EQ(centre.y, frame.north0);
    const GisPoint exactCentre = ProjConv::pl1992ToPl2000(frame.cx, frame.cy, 2178);
    EXPECT_EQ(frame.east0, exactCentre.x);
    EXPECT_EQ(frame.north0, exactCentre.y);

    // One kilometre from the centre the first-order frame stays within a few millimetres.
    const GisPoint corner{box.maxx, box.maxy};
    const GisPoint exactCorner = ProjConv::pl1992ToPl2000(corner.x, corner.y, 2178);
    EXPECT_LT(distance(frame.toPl2000(corner), exactCorner), 0.005);
}

// Reference: PROJ's exact transverse Mercator with the same parameters.
TEST(ProjConvAgainstProj, Pl1992ForwardWithinTwoMillimetres) {
    const projref::Projection exact(2180);
    double worst = 0.0;
    forEachGridPoint([&](double lat, double lon) {
        worst =
            std::max(worst, distance(ProjConv::latLonToPl1992(lat, lon), exact.forward(lat, lon)));
    });
    EXPECT_LT(worst, 0.002);
}

TEST(ProjConvAgainstProj, Pl2000ForwardAndInverseInsideEachZone) {
    for (const int code : kZones) {
        SCOPED_TRACE(code);
        const projref::Projection exact(code);
        double worstForward = 0.0;
        double worstInverse = 0.0;
        forEachGridPoint([&](double lat, double lon) {
            if (ProjConv::zoneForLon(lon) != code)
                return;
            const GisPoint reference = exact.forward(lat, lon);
            worstForward = std::max(worstForward,
                                    distance(ProjConv::latLonToPl2000(lat, lon, code), reference));
            double backLat = 0.0;
            double backLon = 0.0;
            ProjConv::pl2000ToLatLon(reference.x, reference.y, code, backLat, backLon);
            worstInverse = std::max(worstInverse, angularError(backLat, backLon, lat, lon));
        });
        EXPECT_LT(worstForward, 0.002);
        EXPECT_LT(worstInverse, 2e-8);
    }
}

// The series' error grows with the distance from the central meridian; PL-1992 reaches five
// degrees from it at Poland's edges, and its inverse error carries into the zone coordinates.
TEST(ProjConvAgainstProj, Pl1992ToPl2000WithinTwoCentimetres) {
    const projref::Projection exact1992(2180);
    for (const int code : kZones) {
        SCOPED_TRACE(code);
        const projref::Projection exactZone(code);
        double worst = 0.0;
        forEachGridPoint([&](double lat, double lon) {
            if (ProjConv::zoneForLon(lon) != code)
                return;
            const GisPoint pl1992 = exact1992.forward(lat, lon);
            const GisPoint zone = ProjConv::pl1992ToPl2000(pl1992.x, pl1992.y, code);
            worst = std::max(worst, distance(zone, exactZone.forward(lat, lon)));
        });
        EXPECT_LT(worst, 0.02);
    }
}

// A forward projection followed by the inverse: a few 1e-9 degrees within 1.5 degrees of the
// central meridian, about 3e-7 degrees (2 cm) at PL-1992's edges.
TEST(ProjConvRoundTrip, HoldsWhatTheSeriesCan) {
    double worstNearMeridian = 0.0;
    double worstPl1992 = 0.0;
    forEachGridPoint([&](double lat, double lon) {
        const GisPoint p = ProjConv::latLonToPl1992(lat, lon);
        double backLat = 0.0;
        double backLon = 0.0;
        ProjConv::pl1992ToLatLon(p.x, p.y, backLat, backLon);
        const double error = angularError(backLat, backLon, lat, lon);
        worstPl1992 = std::max(worstPl1992, error);
        if (std::fabs(lon - 19.0) <= 1.5)
            worstNearMeridian = std::max(worstNearMeridian, error);

        const int code = ProjConv::zoneForLon(lon);
        const GisPoint zone = ProjConv::latLonToPl2000(lat, lon, code);
        ProjConv::pl2000ToLatLon(zone.x, zone.y, code, backLat, backLon);
        worstNearMeridian = std::max(worstNearMeridian, angularError(backLat, backLon, lat, lon));
    });
    EXPECT_LT(worstNearMeridian, 1e-8);
    EXPECT_LT(worstPl1992, 3e-7);
}
