#pragma once
// Buildings whose roofs are known, for the fake building packages and LiDAR sheets: each one a
// synthetic building (builders/SyntheticRoofs.h) with its roof shape and the roof type the
// reconstruction names it by. Namespace `fakes`.

#include <string>
#include <vector>

#include "builders/SyntheticRoofs.h"
#include "geodata/GisTypes.h"

namespace fakes {

struct KnownRoof {
    synthetic::Building building;
    synthetic::RoofShape roof;
    std::string type;
};

// count buildings of 16 x 10 m, turned 30 degrees, on a grid of 40 m from corner (PL-1992):
// rows of 25 west to east, from the south; their roofs a gable, a hip, a shed and a flat roof
// in turn.
std::vector<KnownRoof> knownRoofs(GisPoint corner, int count = 4);

// The LoD1 blocks of the buildings: ids "dach.<index>", footprints closed, standing on the
// ground of the scene up to 9 m.
std::vector<Building3D> blocksOf(const std::vector<KnownRoof>& roofs);

// The LiDAR points of the buildings: about roofPoints on each roof and the ground around it.
std::vector<ClPoint> lidarPointsOf(const std::vector<KnownRoof>& roofs, int roofPoints = 1000);

}  // namespace fakes
