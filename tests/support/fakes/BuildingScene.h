#pragma once
// Every source of the building, roof, bridge and road kinds for one frame, built around buildings
// whose roofs are known: the county's LoD1 and LoD2 packages, the surface and terrain models, the
// Overpass ways and a LiDAR sheet. Namespace `fakes`.

#include <memory>
#include <string>
#include <vector>

#include "fakes/Hosts.h"
#include "fakes/Lidar.h"
#include "fakes/Records.h"
#include "geodata/GisTypes.h"
#include "support/fakes/KnownRoofs.h"

namespace fakes {

struct BuildingScene {
    std::string county;            // of the packages, four digits
    Bbox area;                     // PL-1992, around every sheet and building
    std::vector<KnownRoof> roofs;  // their blocks are the LoD1 package
    std::size_t lod2Count = 0;     // the first ones are also in the LoD2 package, ids upper-cased
    std::vector<Feature> ways;     // a bridge on a primary road and a residential road
};

// Four buildings of known roofs (support/fakes/KnownRoofs.h) south-west of centre, the first two
// of them also as LoD2 solids, a bridge deck 6 m over the ground west of them and a road east.
BuildingScene buildingScene(const std::string& county, GisPoint centre);

// Mounts the packages (LoD1 of 2024), both models, the ways and the LiDAR sheet's index on the
// hosts; the LiDAR sheet's own server is returned, to be kept while the scene is served.
std::unique_ptr<LidarSheets> serveBuildingScene(Hosts& hosts, const BuildingScene& scene);

}  // namespace fakes
