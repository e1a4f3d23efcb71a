#pragma once
// The built-in scenario of the fake services: a small area of central Warsaw with its parcels
// and buildings, a general plan whose zone covers the area, the terrain model around it, two
// addresses, LiDAR sheets and the orthophoto; and two places elsewhere whose county or commune
// publishes map images. It serves the end-to-end tests, the browser test (through
// tw-fake-services) and demonstrations.
// Namespace `fakes`.

#include <array>
#include <string>
#include <vector>

#include "fakes/Hosts.h"
#include "fakes/Lidar.h"
#include "fakes/Records.h"
#include "fakes/TerrainModel.h"

namespace fakes {

// A municipality elsewhere whose county or commune publishes map images (WMS): a frame in it
// and the kinds served there (Mpzp, Gesut, Bdot500).
struct RasterPlace {
    std::string teryt;
    Bbox area;
    std::array<double, 4> frameWgs84;
    std::vector<DataType> kinds;
};

struct Scenario {
    GisPoint centre;                    // WGS84: x longitude, y latitude; the frame's middle
    double centreHeight = 0.0;          // of the terrain model there, metres
    std::string teryt;                  // the municipality's 7-digit code
    Bbox municipalityArea;              // PL-1992
    std::array<double, 4> frameWgs84;   // the framed area: west, south, east, north
    std::vector<Feature> parcels;       // of the county land registry
    std::vector<Feature> buildings;     // of the county land registry
    std::vector<Feature> newBuildings;  // of the national new-buildings service
    std::vector<PlanAct> plans;
    std::vector<GridSheet> terrain;  // of the national terrain model
    std::vector<Place> places;
    SampleSheets lidar;                       // around the frame's centre (LidarSheets serves them)
    std::vector<LidarSheet> classifiedLidar;  // ground, a pond and roofs over the frame
    std::vector<RasterPlace> rasterPlaces;
};

// 36 parcels of 38 m in a grid of 40 m, a building on each, 3 new buildings, one general plan
// (a zone over the whole frame and one far away), one terrain sheet of 2 x 2 km in cells of 10 m
// (a plane at 100 m in the middle, rising 1 m per 100 m east and 0.5 m per 100 m north), two
// addresses of Warsaw (TERYT 1465011), the two sample LiDAR sheets (sampleSheetsAt) at the
// frame's centre, a classified LiDAR sheet of a point a metre over the frame (ground on the
// terrain's plane, a pond of water points, the roofs) and the orthophoto. Elsewhere: Dynow
// (1816011: zoning-plan drawing and utility map) and Poznan (3064011: utility and 1:500 maps).
Scenario demoScenario();

struct ScenarioOptions {
    bool countyBuildings = true;  // false: the county service lists no buildings layer
};

// Mounts every service of the scenario on the hosts.
void serveScenario(Hosts& hosts, const Scenario& scenario, const ScenarioOptions& options = {});

}  // namespace fakes
