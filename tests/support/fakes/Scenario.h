#pragma once
// The built-in scenario of the fake services: a small area of central Warsaw with its parcels
// and buildings, a general plan whose zone covers the area, and two addresses. It serves the
// end-to-end tests, the browser test (through tw-fake-services) and demonstrations.
// Namespace `fakes`.

#include <array>
#include <string>
#include <vector>

#include "support/fakes/Hosts.h"
#include "support/fakes/Records.h"

namespace fakes {

struct Scenario {
    std::string teryt;                  // the municipality's 7-digit code
    Bbox municipalityArea;              // PL-1992
    std::array<double, 4> frameWgs84;   // the framed area: west, south, east, north
    std::vector<Feature> parcels;       // of the county land registry
    std::vector<Feature> buildings;     // of the county land registry
    std::vector<Feature> newBuildings;  // of the national new-buildings service
    std::vector<PlanAct> plans;
    std::vector<Place> places;
};

// 36 parcels of 38 m in a grid of 40 m, a building on each, 3 new buildings, one general plan
// (a zone over the whole frame and one far away) and two addresses of Warsaw (TERYT 1465011).
Scenario demoScenario();

struct ScenarioOptions {
    bool countyBuildings = true;  // false: the county service lists no buildings layer
};

// Mounts every service of the scenario on the hosts.
void serveScenario(Hosts& hosts, const Scenario& scenario, const ScenarioOptions& options = {});

}  // namespace fakes
