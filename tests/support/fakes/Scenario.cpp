#include "support/fakes/Scenario.h"

#include "geodata/ProjConv.h"
#include "support/fakes/Services.h"

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

GisPoint plotCentre(const GisPoint& centre, int i, int j) {
    const double first = -kPlot * (kPlotsPerSide - 1) / 2.0;
    return {centre.x + first + i * kPlot, centre.y + first + j * kPlot};
}

Feature building(const std::string& id, const GisPoint& c, Properties props) {
    return rectangle(id, {c.x - 8.0, c.y - 6.0, c.x + 8.0, c.y + 6.0}, std::move(props));
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
    return s;
}

void serveScenario(Hosts& hosts, const Scenario& scenario, const ScenarioOptions& options) {
    serveBoundaries(hosts, {municipality(scenario.teryt, scenario.municipalityArea)});
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
