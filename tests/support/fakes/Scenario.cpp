#include "support/fakes/Scenario.h"

#include <algorithm>
#include <cmath>

#include "fakes/Services.h"
#include "fakes/Wms.h"
#include "geodata/ProjConv.h"

namespace fakes {
namespace {

constexpr double kCentreLat = 52.2297;  // where the map page opens by default
constexpr double kCentreLon = 21.0122;
constexpr double kHalfLat = 0.0018;  // about 200 m
constexpr double kHalfLon = 0.0030;  // about 205 m
constexpr int kPlotsPerSide = 6;
constexpr double kPlot = 40.0;
constexpr double kMunicipalityHalf = 12000.0;
constexpr double kTerrainHalf = 1000.0;
constexpr double kTerrainCell = 10.0;
constexpr double kCentreHeight = 100.0;

constexpr double kLidarHalf = 240.0;  // metres around the centre, past the frame's corners
constexpr double kPointSpacing = 1.0;
constexpr double kPondHalf = 20.0;
constexpr double kRoofHeight = 9.0;
constexpr std::uint8_t kGround = 2, kBuilding = 6, kWater = 9;

GisPoint plotCentre(const GisPoint& centre, int i, int j) {
    const double first = -kPlot * (kPlotsPerSide - 1) / 2.0;
    return {centre.x + first + i * kPlot, centre.y + first + j * kPlot};
}

Feature building(const std::string& id, const GisPoint& c, Properties props) {
    return rectangle(id, {c.x - 8.0, c.y - 6.0, c.x + 8.0, c.y + 6.0}, std::move(props));
}

bool within(const Bbox& box, double x, double y) {
    return x >= box.minx && x <= box.maxx && y >= box.miny && y <= box.maxy;
}

// A point a metre: ground, a pond of water points south-west of the centre, and roof points
// over the county's buildings.
LidarSheet classifiedSheet(const GisPoint& c, const std::vector<Feature>& buildings) {
    const GisPoint pondCentre{c.x - 120.0, c.y - 120.0};
    const Bbox pond{pondCentre.x - kPondHalf, pondCentre.y - kPondHalf, pondCentre.x + kPondHalf,
                    pondCentre.y + kPondHalf};
    const HeightField ground = plane(kCentreHeight, 0.01, 0.005, c);
    const double pondLevel = ground(pondCentre.x, pondCentre.y) - 1.0;
    std::vector<Bbox> roofs;
    for (const Feature& b : buildings)
        roofs.push_back(envelope(b));
    std::vector<ClPoint> points;
    for (double y = c.y - kLidarHalf; y <= c.y + kLidarHalf; y += kPointSpacing) {
        for (double x = c.x - kLidarHalf; x <= c.x + kLidarHalf; x += kPointSpacing) {
            ClPoint p{x, y, ground(x, y), 0, 0, 0, kGround};
            if (within(pond, x, y)) {
                // Four water points a square metre: a water cell needs at least two.
                for (const double d : {0.0, 0.5}) {
                    points.push_back({x + d, y, pondLevel, 0, 0, 0, kWater});
                    points.push_back({x + d, y + 0.5, pondLevel, 0, 0, 0, kWater});
                }
                continue;
            }
            if (std::any_of(roofs.begin(), roofs.end(),
                            [x, y](const Bbox& r) { return within(r, x, y); })) {
                p.z += kRoofHeight;
                p.cls = kBuilding;
            }
            points.push_back(p);
        }
    }
    return {"N-34-139-A-c-1-1", classifiedLas(points)};
}

// A frame of about 2 x half metres around a point, and a municipality of 10 km around it.
RasterPlace rasterPlace(const std::string& teryt, double lat, double lon,
                        std::vector<DataType> kinds) {
    constexpr double kHalf = 150.0;
    const double dLat = kHalf / 111200.0;
    const double dLon = dLat / std::cos(lat * M_PI / 180.0);
    const GisPoint c = ProjConv::latLonToPl1992(lat, lon);
    return {teryt,
            {c.x - 5000.0, c.y - 5000.0, c.x + 5000.0, c.y + 5000.0},
            {lon - dLon, lat - dLat, lon + dLon, lat + dLat},
            std::move(kinds)};
}

}  // namespace

Scenario demoScenario() {
    Scenario s;
    s.centre = {kCentreLon, kCentreLat};
    s.centreHeight = kCentreHeight;
    s.teryt = "1465011";
    s.frameWgs84 = {kCentreLon - kHalfLon, kCentreLat - kHalfLat, kCentreLon + kHalfLon,
                    kCentreLat + kHalfLat};
    const GisPoint centre = ProjConv::latLonToPl1992(kCentreLat, kCentreLon);
    s.municipalityArea = {centre.x - kMunicipalityHalf, centre.y - kMunicipalityHalf,
                          centre.x + kMunicipalityHalf, centre.y + kMunicipalityHalf};
    for (int i = 0; i < kPlotsPerSide; ++i) {
        for (int j = 0; j < kPlotsPerSide; ++j) {
            const std::string number = std::to_string(i * kPlotsPerSide + j + 1);
            const GisPoint c = plotCentre(centre, i, j);
            s.parcels.push_back(
                square("dzialki." + number, c, kPlot / 2 - 1.0,
                       {{"ID_DZIALKI", "146501_1.0001." + number}, {"NUMER_DZIALKI", number}}));
            s.buildings.push_back(building(
                "budynki." + number, c,
                {{"ID_BUDYNKU", "146501_1.0001.BUD" + number}, {"FUNKCJA", "budynek mieszkalny"}}));
            if (i == j && i % 2 == 0)
                s.newBuildings.push_back(building("bud_2025." + number, c, {{"x_kod", "BUBD01"}}));
        }
    }
    const Bbox aroundFrame{centre.x - 2000, centre.y - 2000, centre.x + 2000, centre.y + 2000};
    s.plans.push_back(
        {"POG-1465011-1",
         s.teryt,
         "MUNICIPAL_GENERAL_PLAN",
         "obowiazujacy",
         "2025-06-30",
         "Plan ogolny m.st. Warszawy",
         {rectangle("strefa.1", aroundFrame, {{"symbol", "SW"}, {"oznaczenie", "1SW"}}),
          square("strefa.2", {centre.x + 6000, centre.y}, 300,
                 {{"symbol", "SZ"}, {"oznaczenie", "2SZ"}})}});
    const int cells = static_cast<int>(2 * kTerrainHalf / kTerrainCell);
    s.terrain.push_back({"N-34-139-A-c-1",
                         {centre.x - kTerrainHalf, centre.y - kTerrainHalf},
                         kTerrainCell,
                         cells,
                         cells,
                         plane(kCentreHeight, 0.01, 0.005, centre)});
    s.places = {{"", "Marszalkowska", "104", "Warszawa", "Warszawa", kCentreLat, kCentreLon},
                {"Plac Defilad", "Plac Defilad", "1", "Warszawa", "Warszawa", 52.2318, 21.006}};
    s.lidar = sampleSheetsAt(kCentreLat, kCentreLon, TW_SHARED_TESTDATA "/laz");
    s.classifiedLidar = {classifiedSheet(centre, s.buildings)};
    s.rasterPlaces = {
        rasterPlace("1816011", 49.8167, 22.2333, {DataType::Mpzp, DataType::Gesut}),
        rasterPlace("3064011", 52.4064, 16.9252, {DataType::Gesut, DataType::Bdot500})};
    return s;
}

void serveScenario(Hosts& hosts, const Scenario& scenario, const ScenarioOptions& options) {
    std::vector<Feature> municipalities{municipality(scenario.teryt, scenario.municipalityArea)};
    for (const RasterPlace& place : scenario.rasterPlaces)
        municipalities.push_back(municipality(place.teryt, place.area));
    serveBoundaries(hosts, std::move(municipalities));
    serveOrthophoto(hosts, jpegImage(), "image/jpeg");
    for (const RasterPlace& place : scenario.rasterPlaces) {
        const int zone = ProjConv::zoneForLon((place.frameWgs84[0] + place.frameWgs84[2]) / 2.0);
        serveLocalMaps(hosts, place.teryt, zone, place.kinds);
    }
    serveNewBuildings(hosts, scenario.newBuildings);
    std::optional<std::vector<Feature>> buildings;
    if (options.countyBuildings)
        buildings = scenario.buildings;
    serveCountyCadastre(hosts, scenario.teryt, scenario.parcels, std::move(buildings));
    PlanningRegister(scenario.plans).mount(hosts.registry);
    serveTerrainModel(hosts, scenario.terrain);
    hosts.nominatim.onRequest(Nominatim::kPath, Nominatim(scenario.places));
    hosts.photon.onRequest(Photon::kPath, Photon(scenario.places));
}

}  // namespace fakes
