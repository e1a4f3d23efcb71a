#include "fakes/Town.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <random>

#include "fakes/BuildingPackages.h"
#include "geodata/ProjConv.h"

namespace fakes {
namespace {

constexpr double kCentreLat = 49.8150;
constexpr double kCentreLon = 22.2340;
constexpr const char* kTeryt = "1816011";
// Land-registry numbers begin with the commune's code and the district's number.
constexpr const char* kRegistryPrefix = "181601_1.0001.";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The layout, in metres east and north of the middle.
constexpr double kHalfWidth = 160.0;   // every house and parcel lies within
constexpr double kHalfHeight = 130.0;  // these distances of the middle
constexpr double kStreetEnd = 155.0;   // east-west streets run to +-this
constexpr double kRiverY = -65.0;      // the river's mean line,
constexpr double kRiverSwing = 8.0;    // its swing north and south
constexpr double kRiverWave = 55.0;    // and its wavelength over 2 pi
constexpr double kChannelHalf = 7.0;
constexpr double kBridgeSouth = -84.0;
constexpr double kBridgeNorth = -42.0;
constexpr double kDeckOverWater = 5.0;
constexpr double kMainStreetWidth = 8.0;
constexpr double kSideStreetWidth = 6.0;
constexpr std::array<double, 3> kSideStreets{-88.0, 0.0, 70.0};

// A row of parcels between two northings, its houses set back from the street on one side.
struct Row {
    double south;
    double north;
    bool streetNorth;
};
constexpr std::array<Row, 5> kRows{
    {{-122, -94, true}, {-33, -5, true}, {5, 33, false}, {37, 65, true}, {75, 103, false}}};
constexpr double kFirstPlot = 6.0;  // east and west of the main street's axis
constexpr int kPlotsPerSide = 8;
constexpr double kPlotWidth = 17.75;
constexpr double kSetback = 4.0;

constexpr double kRoofPointsPerM2 = 6.0;
constexpr double kLidarMargin = 50.0;  // the sheet reaches this far past the area
constexpr std::uint8_t kGroundClass = 2, kBuildingClass = 6, kWaterClass = 9, kDeckClass = 17;

// Numbers drawn from the seed, the same on every machine (the engine is fully specified; the
// standard distributions are not).
class Draws {
public:
    explicit Draws(std::uint32_t seed) : engine_(seed) {}
    double uniform(double from, double to) {
        return from + (to - from) * (static_cast<double>(engine_()) / 4294967296.0);
    }
    bool chance(double p) { return uniform(0.0, 1.0) < p; }

private:
    std::mt19937 engine_;
};

// The river's line and the hills, from their phases.
struct Landscape {
    GisPoint middle;
    double riverPhase = 0.0;
    std::array<double, 3> hillPhases{};
    double waterLevel = 221.0;

    double riverY(double dx) const {
        return middle.y + kRiverY + kRiverSwing * std::sin(dx / kRiverWave + riverPhase);
    }
    double fromRiver(double x, double y) const { return std::abs(y - riverY(x - middle.x)); }

    // The water's surface on the river; outside it banks rising away from it, and hills that
    // grow with the distance from it.
    double height(double x, double y) const {
        const double bank = fromRiver(x, y) - kChannelHalf;
        if (bank < 0.0)
            return waterLevel;
        const double dx = x - middle.x;
        const double dy = y - middle.y;
        const double hills =
            3.0 * std::sin(dx / 60.0 + hillPhases[0]) * std::cos(dy / 75.0 + hillPhases[1]) +
            1.5 * std::sin((dx + dy) / 45.0 + hillPhases[2]);
        const double grown = 1.0 - std::exp(-(bank / 30.0) * (bank / 30.0));
        return waterLevel + 1.5 + 0.06 * bank + grown * hills;
    }
};

double distanceToSegment(const GisPoint& p, const GisPoint& a, const GisPoint& b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    const double t =
        length2 > 0.0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0) : 0.0;
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

bool onWay(const Feature& way, const GisPoint& p) {
    const double half = std::stod(way.props.at("width")) / 2.0;
    const std::vector<GisPoint>& line = way.lines.front();
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        if (distanceToSegment(p, line[i], line[i + 1]) <= half)
            return true;
    }
    return false;
}

Feature way(const GisPoint& m, std::vector<GisPoint> offsets, Properties tags) {
    for (GisPoint& p : offsets)
        p = {m.x + p.x, m.y + p.y};
    return polyline("", std::move(offsets), std::move(tags));
}

std::vector<Feature> streets(const GisPoint& m) {
    const std::string main = std::to_string(static_cast<int>(kMainStreetWidth));
    const std::string side = std::to_string(static_cast<int>(kSideStreetWidth));
    const Properties mainStreet{{"highway", "secondary"}, {"name", "Rynek"}, {"width", main}};
    Properties bridge = mainStreet;
    bridge["bridge"] = "yes";
    bridge["layer"] = "1";
    std::vector<Feature> ways{way(m, {{0, -kHalfHeight}, {0, kBridgeSouth}}, mainStreet),
                              way(m, {{0, kBridgeSouth}, {0, kBridgeNorth}}, bridge),
                              way(m, {{0, kBridgeNorth}, {0, kHalfHeight}}, mainStreet)};
    const std::array<const char*, 3> names{"Nadbrzezna", "Szkolna", "Ogrodowa"};
    for (std::size_t i = 0; i < kSideStreets.size(); ++i) {
        const double y = kSideStreets[i];
        ways.push_back(way(m, {{-kStreetEnd, y}, {kStreetEnd, y}},
                           {{"highway", "residential"}, {"name", names[i]}, {"width", side}}));
    }
    return ways;
}

// A house on a plot whose west edge is at x0 (metres from the middle).
House house(const Landscape& land, Draws& draws, const Row& row, double x0, int number) {
    House h;
    h.id = "BUD." + std::string(kTeryt) + "." + std::to_string(number);
    h.plan.angleDeg = 0.0;
    h.plan.length = draws.uniform(10.0, 14.0);
    h.plan.width = draws.uniform(7.5, 9.5);
    const double west = x0 + (kPlotWidth - h.plan.length) / 2.0 + draws.uniform(-1.0, 1.0);
    const double south =
        row.streetNorth ? row.north - kSetback - h.plan.width : row.south + kSetback;
    h.plan.corner = {land.middle.x + west, land.middle.y + south};
    h.base = std::numeric_limits<double>::infinity();
    for (const GisPoint& c : h.footprint())
        h.base = std::min(h.base, land.height(c.x, c.y));
    const double kind = draws.uniform(0.0, 1.0);
    h.roof = kind < 0.5 ? RoofKind::Gabled : kind < 0.8 ? RoofKind::Hipped : RoofKind::Flat;
    if (h.roof == RoofKind::Flat) {
        h.eave = h.ridge = h.base + draws.uniform(4.0, 9.0);
    } else {
        h.eave = h.base + draws.uniform(3.0, 6.0);
        const double slope =
            h.roof == RoofKind::Gabled ? draws.uniform(30.0, 42.0) : draws.uniform(25.0, 35.0);
        h.ridge = h.eave + h.plan.width / 2.0 * synthetic::tanDeg(slope);
    }
    h.lod2 = draws.chance(0.75);
    return h;
}

Feature parcel(const GisPoint& m, const Row& row, double x0, int number) {
    const std::string n = std::to_string(number);
    return rectangle("dzialki." + n,
                     {m.x + x0, m.y + row.south, m.x + x0 + kPlotWidth, m.y + row.north},
                     {{"ID_DZIALKI", kRegistryPrefix + n}, {"NUMER_DZIALKI", n}});
}

Feature registryBuilding(const House& h, int number) {
    const std::string n = std::to_string(number);
    return {"budynki." + n,
            {GisPolygon{h.footprint(), {}}},
            {},
            {{"ID_BUDYNKU", kRegistryPrefix + n + "_BUD"}, {"FUNKCJA", "budynek mieszkalny"}}};
}

// The parcels, row by row from the south, each row west to east; a house on most.
void buildRows(Town& town, const Landscape& land, Draws& draws) {
    int number = 0;
    for (const Row& row : kRows) {
        for (int i = -kPlotsPerSide; i < kPlotsPerSide; ++i) {
            const double x0 = (i < 0 ? -kFirstPlot : kFirstPlot) + i * kPlotWidth;
            town.parcels.push_back(parcel(town.middle, row, x0, ++number));
            if (!draws.chance(0.85))
                continue;
            town.houses.push_back(house(land, draws, row, x0, number));
            town.buildings.push_back(registryBuilding(town.houses.back(), number));
        }
    }
}

GisPoint wgs84Of(const GisPoint& p) {
    double lat = 0.0;
    double lon = 0.0;
    ProjConv::pl1992ToLatLon(p.x, p.y, lat, lon);
    return {lon, lat};
}

Feature zone(const GisPoint& m, const std::string& id, const Bbox& box, const std::string& symbol) {
    return rectangle("strefa." + id,
                     {m.x + box.minx, m.y + box.miny, m.x + box.maxx, m.y + box.maxy},
                     {{"symbol", symbol}, {"oznaczenie", id + symbol}});
}

PlanAct generalPlan(const GisPoint& m) {
    const double w = kHalfWidth + 40.0;
    const double h = kHalfHeight + 40.0;
    return {"POG-" + std::string(kTeryt) + "-1",
            kTeryt,
            "MUNICIPAL_GENERAL_PLAN",
            "obowiazujacy",
            "2025-06-30",
            "Plan ogolny gminy miejskiej Dynow",
            {zone(m, "1", {-w, -40.0, w, h}, "SJ"), zone(m, "2", {-w, -86.0, w, -40.0}, "SN"),
             zone(m, "3", {-w, -h, w, -86.0}, "SJ")}};
}

// An address on each street: the house nearest its west end.
std::vector<Place> addresses(const Town& town) {
    std::vector<Place> places;
    for (const Feature& street : town.ways) {
        if (street.props.count("bridge") > 0 || street.props.at("highway") != "residential")
            continue;
        const GisPoint start = street.lines.front().front();
        const auto nearest = std::min_element(
            town.houses.begin(), town.houses.end(), [&start](const House& a, const House& b) {
                return std::hypot(a.plan.corner.x - start.x, a.plan.corner.y - start.y) <
                       std::hypot(b.plan.corner.x - start.x, b.plan.corner.y - start.y);
            });
        const lod2fit::Vec2 door = nearest->plan.toMap(nearest->plan.length / 2, 0.0);
        const GisPoint at = wgs84Of({door.x, door.y});
        places.push_back({"", street.props.at("name"), "1", "Dynow", "rzeszowski", at.y, at.x});
    }
    places.push_back({"Rynek", "Rynek", "1", "Dynow", "rzeszowski", kCentreLat, kCentreLon});
    return places;
}

std::array<std::uint8_t, 3> roofColour(RoofKind kind) {
    switch (kind) {
        case RoofKind::Gabled:
            return {168, 64, 44};
        case RoofKind::Hipped:
            return {112, 88, 80};
        default:
            return {170, 170, 166};
    }
}

ClPoint point(double x, double y, double z, const std::array<std::uint8_t, 3>& colour,
              std::uint8_t cls) {
    return {x, y, z, colour[0], colour[1], colour[2], cls};
}

// Points every `step` metres over the box, from its south-west corner.
template <typename Visit>
void everyStep(const Bbox& box, double step, const Visit& visit) {
    for (double y = box.miny; y <= box.maxy; y += step) {
        for (double x = box.minx; x <= box.maxx; x += step)
            visit(x, y);
    }
}

}  // namespace

double House::roofAt(double x, double y) const {
    const lod2fit::Vec2 local = plan.toLocal({x, y});
    const double rise = ridge - eave;
    const double half = plan.width / 2.0;
    const double fromEave = std::min(local.y, plan.width - local.y);
    switch (roof) {
        case RoofKind::Gabled:
            return eave + rise * fromEave / half;
        case RoofKind::Hipped:
            return eave + rise * std::min({local.x, plan.length - local.x, fromEave}) / half;
        default:
            return eave;
    }
}

bool House::covers(double x, double y) const {
    const lod2fit::Vec2 local = plan.toLocal({x, y});
    return local.x >= 0.0 && local.x <= plan.length && local.y >= 0.0 && local.y <= plan.width;
}

std::vector<GisPoint> House::footprint() const {
    std::vector<GisPoint> ring;
    for (const lod2fit::Vec2& c : plan.footprint().pts)
        ring.push_back({c.x, c.y});
    ring.push_back(ring.front());
    return ring;
}

bool Town::inRiver(double x, double y) const {
    return ground(x, y) <= waterLevel;
}

double Town::deckAt(double x, double y) const {
    const bool on = std::abs(x - middle.x) <= kMainStreetWidth / 2.0 &&
                    y >= middle.y + kBridgeSouth && y <= middle.y + kBridgeNorth;
    return on ? waterLevel + kDeckOverWater : kNaN;
}

double Town::surfaceAt(double x, double y) const {
    for (const House& h : houses) {
        if (h.covers(x, y))
            return h.roofAt(x, y);
    }
    const double deck = deckAt(x, y);
    return std::isnan(deck) ? ground(x, y) : deck;
}

Town demoTown(std::uint32_t seed) {
    Draws draws(seed);
    Town town;
    town.centre = {kCentreLon, kCentreLat};
    town.middle = ProjConv::latLonToPl1992(kCentreLat, kCentreLon);
    town.teryt = kTeryt;
    const GisPoint& m = town.middle;
    town.area = {m.x - kHalfWidth, m.y - kHalfHeight, m.x + kHalfWidth, m.y + kHalfHeight};
    Landscape land{m, draws.uniform(0.0, 6.28), {}};
    for (double& phase : land.hillPhases)
        phase = draws.uniform(0.0, 6.28);
    town.waterLevel = land.waterLevel;
    town.ground = [land](double x, double y) { return land.height(x, y); };
    buildRows(town, land, draws);
    for (std::size_t i = 0; i < town.buildings.size(); i += 12) {
        Feature fresh = town.buildings[i];
        fresh.id = "bud_2025." + std::to_string(i + 1);
        fresh.props = {{"x_kod", "BUBD01"}};
        town.newBuildings.push_back(std::move(fresh));
    }
    town.ways = streets(m);
    town.plans = {generalPlan(m)};
    town.places = addresses(town);
    return town;
}

BuildingLod2 lod2Solid(const House& house) {
    if (house.roof == RoofKind::Flat)
        return lod2Block({house.id, house.footprint(), house.base, house.eave - house.base});
    const synthetic::Building& b = house.plan;
    const double l = b.length;
    const double w = b.width;
    const auto face = [&b](std::initializer_list<std::array<double, 3>> corners) {
        Lod2Face f;
        for (const auto& [u, v, z] : corners) {
            const lod2fit::Vec2 p = b.toMap(u, v);
            f.xy.push_back({p.x, p.y});
            f.z.push_back(z);
        }
        return f;
    };
    const double g = house.base;
    const double e = house.eave;
    const double r = house.ridge;
    BuildingLod2 solid{house.id, {}, 0};
    solid.faces = {face({{0, 0, g}, {0, w, g}, {l, w, g}, {l, 0, g}}),
                   face({{0, 0, g}, {l, 0, g}, {l, 0, e}, {0, 0, e}}),
                   face({{l, w, g}, {0, w, g}, {0, w, e}, {l, w, e}})};
    if (house.roof == RoofKind::Gabled) {
        solid.faces.push_back(face({{l, 0, g}, {l, w, g}, {l, w, e}, {l, w / 2, r}, {l, 0, e}}));
        solid.faces.push_back(face({{0, w, g}, {0, 0, g}, {0, 0, e}, {0, w / 2, r}, {0, w, e}}));
        solid.faces.push_back(face({{0, 0, e}, {l, 0, e}, {l, w / 2, r}, {0, w / 2, r}}));
        solid.faces.push_back(face({{l, w, e}, {0, w, e}, {0, w / 2, r}, {l, w / 2, r}}));
        return solid;
    }
    const double h = w / 2;  // the hips reach in as far as the eaves are apart, halved
    solid.faces.push_back(face({{l, 0, g}, {l, w, g}, {l, w, e}, {l, 0, e}}));
    solid.faces.push_back(face({{0, w, g}, {0, 0, g}, {0, 0, e}, {0, w, e}}));
    solid.faces.push_back(face({{0, 0, e}, {l, 0, e}, {l - h, h, r}, {h, h, r}}));
    solid.faces.push_back(face({{l, w, e}, {0, w, e}, {h, h, r}, {l - h, h, r}}));
    solid.faces.push_back(face({{l, 0, e}, {l, w, e}, {l - h, h, r}}));
    solid.faces.push_back(face({{0, w, e}, {0, 0, e}, {h, h, r}}));
    return solid;
}

Building3D lod1Block(const House& house) {
    return {house.id, house.footprint(), house.base, (house.eave + house.ridge) / 2 - house.base};
}

std::vector<ClPoint> lidarPoints(const Town& town) {
    constexpr std::array<std::uint8_t, 3> kGrass{104, 138, 68}, kAsphalt{118, 118, 112},
        kWater{60, 92, 150}, kDeck{140, 140, 134};
    std::vector<ClPoint> points;
    const Bbox a{town.area.minx - kLidarMargin, town.area.miny - kLidarMargin,
                 town.area.maxx + kLidarMargin, town.area.maxy + kLidarMargin};
    const auto onStreet = [&town](double x, double y) {
        return std::any_of(town.ways.begin(), town.ways.end(), [x, y](const Feature& w) {
            return onWay(w, {x, y});
        });
    };
    everyStep(a, 1.0, [&](double x, double y) {
        const bool roofed = std::any_of(town.houses.begin(), town.houses.end(),
                                        [x, y](const House& h) { return h.covers(x, y); });
        if (roofed || town.inRiver(x, y))
            return;
        points.push_back(
            point(x, y, town.ground(x, y), onStreet(x, y) ? kAsphalt : kGrass, kGroundClass));
    });
    everyStep(a, 0.5, [&](double x, double y) {
        if (town.inRiver(x, y))
            points.push_back(point(x, y, town.waterLevel, kWater, kWaterClass));
        const double deck = town.deckAt(x, y);
        if (!std::isnan(deck))
            points.push_back(point(x, y, deck, kDeck, kDeckClass));
    });
    for (const House& h : town.houses) {
        const int count = static_cast<int>(h.plan.length * h.plan.width * kRoofPointsPerM2);
        const auto roof = [&h](double u, double v) {
            const lod2fit::Vec2 p = h.plan.toMap(u, v);
            return h.roofAt(p.x, p.y);
        };
        for (const lod2fit::Vec3& v : h.plan.cloud(roof, count))
            points.push_back(point(v.x, v.y, v.z, roofColour(h.roof), kBuildingClass));
    }
    return points;
}

}  // namespace fakes
