// The demo area of serve mode: the town generated from a seed (its records agree with each
// other: houses on their parcels, closed solids, the surface and the LiDAR points over the same
// roofs) and its services at the addresses the add-on's tables and catalogues make.

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "DemoServices.h"
#include "HostTestApi.h"
#include "fakes/Town.h"
#include "geodata/B3dCatalog.h"
#include "geodata/EgibResolver.h"
#include "geodata/GeoTransform.h"
#include "geodata/LocalServices.h"
#include "geodata/ProjConv.h"

namespace {

using fakes::House;
using fakes::Town;

const Town& town() {
    static const Town t = fakes::demoTown(twhost::kDemoSeed);
    return t;
}

bool inside(const Bbox& box, const GisPoint& p) {
    return p.x >= box.minx && p.x <= box.maxx && p.y >= box.miny && p.y <= box.maxy;
}

TEST(DemoTown, TheSameSeedMakesTheSameTownAndAnotherSeedAnother) {
    const Town again = fakes::demoTown(twhost::kDemoSeed);
    const Town other = fakes::demoTown(twhost::kDemoSeed + 1);
    const auto roofs = [](const Town& t) {
        std::vector<std::pair<int, double>> r;
        for (const House& h : t.houses)
            r.emplace_back(static_cast<int>(h.roof), h.ridge);
        return r;
    };
    EXPECT_EQ(roofs(again), roofs(town()));
    EXPECT_NE(roofs(other), roofs(town()));
    const std::vector<ClPoint> points = fakes::lidarPoints(again);
    const std::vector<ClPoint> first = fakes::lidarPoints(town());
    ASSERT_EQ(points.size(), first.size());
    EXPECT_TRUE(std::equal(points.begin(), points.end(), first.begin(),
                           [](const ClPoint& a, const ClPoint& b) {
                               return a.x == b.x && a.y == b.y && a.z == b.z && a.cls == b.cls;
                           }));
    // Every kind of roof, in both packages and in the LoD1 one only.
    std::map<fakes::RoofKind, int> kinds;
    for (const House& h : town().houses)
        ++kinds[h.roof];
    EXPECT_EQ(kinds.size(), 3u);
    const auto lod2 = std::count_if(town().houses.begin(), town().houses.end(),
                                    [](const House& h) { return h.lod2; });
    EXPECT_GT(lod2, 0);
    EXPECT_LT(lod2, static_cast<long>(town().houses.size()));
}

// Each house lies on its own parcel, off the streets and the river, standing on the ground at its
// lowest corner.
TEST(DemoTown, HousesStandOnTheirParcelsClearOfStreetsAndTheRiver) {
    const Town& t = town();
    ASSERT_EQ(t.buildings.size(), t.houses.size());
    std::map<std::string, Bbox> parcels;
    for (const fakes::Feature& p : t.parcels) {
        const Bbox e = fakes::envelope(p);
        EXPECT_TRUE(inside(t.area, {e.minx, e.miny}) && inside(t.area, {e.maxx, e.maxy})) << p.id;
        parcels[p.props.at("NUMER_DZIALKI")] = e;
    }
    for (std::size_t i = 0; i < t.houses.size(); ++i) {
        const House& h = t.houses[i];
        const std::string number = t.buildings[i].id.substr(t.buildings[i].id.find('.') + 1);
        double lowest = INFINITY;
        for (const GisPoint& c : h.footprint()) {
            EXPECT_TRUE(inside(parcels.at(number), c)) << h.id;
            EXPECT_FALSE(t.inRiver(c.x, c.y)) << h.id;
            lowest = std::min(lowest, t.ground(c.x, c.y));
            for (const fakes::Feature& street : t.ways) {
                const Bbox e = fakes::envelope(street);
                const double half = std::stod(street.props.at("width")) / 2;
                EXPECT_FALSE(
                    inside({e.minx - half, e.miny - half, e.maxx + half, e.maxy + half}, c))
                    << h.id << " on " << street.props.at("name");
            }
        }
        EXPECT_DOUBLE_EQ(h.base, lowest) << h.id;
        EXPECT_GT(h.eave, h.base + 2.5) << h.id;
        EXPECT_GE(h.ridge, h.eave) << h.id;
    }
}

// Every edge of a LoD2 solid borders two faces, once in each direction, and every face looks away
// from the solid's middle: the solid is closed and turned outwards.
TEST(DemoTown, LoD2SolidsAreClosedAndTurnedOutwards) {
    for (const House& h : town().houses) {
        const BuildingLod2 solid = fakes::lod2Solid(h);
        std::map<std::pair<std::string, std::string>, int> edges;
        const auto key = [](const Lod2Face& f, std::size_t i) {
            char text[80];
            std::snprintf(text, sizeof text, "%.6f %.6f %.6f", f.xy[i].x, f.xy[i].y, f.z[i]);
            return std::string(text);
        };
        double cx = 0, cy = 0, cz = 0, n = 0;
        for (const Lod2Face& f : solid.faces) {
            for (std::size_t i = 0; i < f.xy.size(); ++i) {
                cx += f.xy[i].x, cy += f.xy[i].y, cz += f.z[i], ++n;
                const std::size_t next = (i + 1) % f.xy.size();
                if (key(f, i) != key(f, next))
                    ++edges[{key(f, i), key(f, next)}];
            }
        }
        for (const auto& [edge, uses] : edges) {
            EXPECT_EQ(uses, 1) << h.id;
            EXPECT_EQ(edges.count({edge.second, edge.first}), 1u) << h.id;
        }
        for (const Lod2Face& f : solid.faces) {
            double nx = 0, ny = 0, nz = 0, fx = 0, fy = 0, fz = 0;  // Newell normal, middle
            for (std::size_t i = 0; i < f.xy.size(); ++i) {
                const std::size_t j = (i + 1) % f.xy.size();
                nx += (f.xy[i].y - f.xy[j].y) * (f.z[i] + f.z[j]);
                ny += (f.z[i] - f.z[j]) * (f.xy[i].x + f.xy[j].x);
                nz += (f.xy[i].x - f.xy[j].x) * (f.xy[i].y + f.xy[j].y);
                fx += f.xy[i].x / f.xy.size(), fy += f.xy[i].y / f.xy.size();
                fz += f.z[i] / f.xy.size();
            }
            EXPECT_GT(nx * (fx - cx / n) + ny * (fy - cy / n) + nz * (fz - cz / n), 0.0) << h.id;
        }
    }
}

// The surface model and the LiDAR points see the same roofs, the bridge deck over the river and
// the ground elsewhere.
TEST(DemoTown, TheSurfaceAndThePointsShowTheSameRoofsDeckAndGround) {
    const Town& t = town();
    for (const House& h : t.houses) {
        const lod2fit::Vec2 ridge = h.plan.toMap(h.plan.length / 2, h.plan.width / 2);
        EXPECT_NEAR(t.surfaceAt(ridge.x, ridge.y), h.ridge, 1e-9) << h.id;
        const lod2fit::Vec2 eave = h.plan.toMap(h.plan.length / 2, 0.0);
        EXPECT_NEAR(t.surfaceAt(eave.x, eave.y), h.eave, 1e-9) << h.id;
    }
    const double x = t.middle.x;
    double y = t.area.miny;
    while (!t.inRiver(x, y))
        ++y;
    y += 7.0;  // about the middle of the channel, which swings less than that in 20 m
    EXPECT_GT(t.surfaceAt(x, y), t.waterLevel + 4.0) << "the deck over the river";
    EXPECT_DOUBLE_EQ(t.surfaceAt(x + 20.0, y), t.waterLevel);

    std::map<std::uint8_t, int> classes;
    for (const ClPoint& p : fakes::lidarPoints(t)) {
        ++classes[p.cls];
        const auto roof = std::find_if(t.houses.begin(), t.houses.end(),
                                       [&p](const House& h) { return h.covers(p.x, p.y); });
        if (p.cls == 6) {
            ASSERT_NE(roof, t.houses.end());
            EXPECT_NEAR(p.z, roof->roofAt(p.x, p.y), 0.05);
        } else if (p.cls == 2) {
            EXPECT_EQ(roof, t.houses.end());
            EXPECT_DOUBLE_EQ(p.z, t.ground(p.x, p.y));
        } else if (p.cls == 9) {
            EXPECT_TRUE(t.inRiver(p.x, p.y));
            EXPECT_DOUBLE_EQ(p.z, t.waterLevel);
        }
    }
    for (const std::uint8_t cls : {2, 6, 9, 17})
        EXPECT_GT(classes[cls], 0) << int{cls};
}

std::string answerTo(const std::string& url) {
    const std::size_t path = url.find('/', url.find("://") + 3);
    httplib::Client client(url.substr(0, path));
    const auto res = client.Get(url.substr(path));
    return res && res->status == 200 ? res->body : std::string();
}

// The town's municipality has the county and commune services the add-on's tables name (all but
// the 1:500 map), and the county's building packages are where the catalogue looks.
TEST(DemoServices, TheTownsCountyAndCommuneServicesAnswerWhereTheAddOnAsks) {
    const twhost::DemoServices demo;
    services::setEndpoints(demo.endpoints());
    const std::string teryt = demo.town().teryt;
    const std::string capabilities = "?service=WFS&request=GetCapabilities";
    const std::string cadastre = answerTo(EgibResolver::urlForTeryt(teryt) + capabilities);
    EXPECT_NE(cadastre.find("ms:dzialki"), std::string::npos);
    EXPECT_NE(cadastre.find("ms:budynki"), std::string::npos);
    const std::string maps = "?service=WMS&request=GetCapabilities";
    EXPECT_NE(answerTo(LocalServices::mpzpFor(teryt).wms + maps).find("rysunek_planu"),
              std::string::npos);
    EXPECT_NE(answerTo(LocalServices::gesutFor(teryt).wms + maps).find("przewody"),
              std::string::npos);
    EXPECT_EQ(LocalServices::bdot500For(teryt).wms, "");
    EXPECT_EQ(
        answerTo(B3dCatalog::urlForResolvedTeryt(teryt, B3dCatalog::years().front())).substr(0, 2),
        "PK");
    EXPECT_EQ(answerTo(B3dCatalog::urlForLod2ResolvedTeryt(teryt)).substr(0, 2), "PK");
    services::resetEndpoints();
}

// The survey point is the town's middle on the ground, in the PL-2000 zone of the town.
TEST(DemoServices, TheProjectIsGeoreferencedAtTheTownsMiddle) {
    const twhost::DemoServices demo;
    host::reset();
    host::setGeoLocation(demo.geoLocation());
    GeoTransform frame;
    std::string message;
    int epsg = 0;
    EXPECT_EQ(loadSurveyPointFromProject(frame, message, epsg), kGeoreferenceSurveyPoint);
    EXPECT_EQ(message, "");
    EXPECT_EQ(epsg, ProjConv::zoneForLon(demo.town().centre.x));
    double lat = 0.0;
    double lon = 0.0;
    ProjConv::pl2000ToLatLon(frame.surveyEasting, frame.surveyNorthing, epsg, lat, lon);
    EXPECT_NEAR(lat, demo.town().centre.y, 1e-8);
    EXPECT_NEAR(lon, demo.town().centre.x, 1e-8);
    const Town& t = demo.town();
    EXPECT_DOUBLE_EQ(host::geoLocation().surveyPoint.orthogonalHeight,
                     t.ground(t.middle.x, t.middle.y));
    host::reset();
}

}  // namespace
