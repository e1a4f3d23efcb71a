#pragma once
// LoD2 reconstruction of one building from the LiDAR points over its footprint: the roof points
// are segmented into planes, the planes name a roof primitive, the primitive's parameters are
// fitted and it builds a closed solid, whose distance from the points says whether to trust it.
//
// Reads the primitive registry (lod2fit::registerAllPrimitives must have run); otherwise works
// on its argument only, so buildings may be reconstructed on several threads at once while
// nothing rewrites the registry.

#include <string>
#include <vector>

#include "geometry/RoofModel.h"
#include "geometry/RoofSegmentation.h"
#include "geometry/lod2fit/Footprint.h"
#include "geometry/lod2fit/RoofParams.h"
#include "geometry/lod2fit/SolidMesh.h"

namespace lod2fit {

struct BuildingInput {
    std::vector<Vec3> cloud;  // the building's points, PL-1992 metres
    Footprint footprint;      // PL-1992 metres; a repeated closing point is dropped
    double groundZ = 0.0;     // ground height at the building, m
    RoofParams base;          // every parameter the fit does not set comes from here
};

struct ReconResult {
    std::string roofType;       // a primitive name
    RoofParams params;          // fitted, in the building's local frame (longest wall along +x)
    SolidMesh mesh;             // PL-1992 metres
    int flag = 1;               // 0 when the fit is trusted
    double meanResidual = 0.0;  // mean distance of the sampled roof points to the solid, m
    double confidence = 0.0;    // of the roof-type choice, 0..1
};

ReconResult reconstructBuilding(const BuildingInput& input);

// segmentRoofPlanes over the points.
std::vector<Plane> segmentBuilding(const std::vector<Vec3>& points, const SegParams& params);

}  // namespace lod2fit
