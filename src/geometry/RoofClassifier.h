#pragma once
// Roof types from segmented roof planes: the model-driven choice the reconstruction makes, and a
// rule-based choice from plane features.

#include <string>
#include <vector>

#include "geometry/RoofModel.h"
#include "geometry/lod2fit/Footprint.h"
#include "geometry/lod2fit/Vec3.h"

namespace lod2fit {

struct RoofClass {
    std::string roofType;  // a primitive name
    double confidence = 0.0;
};

// Merges the planes into facets of like slope and direction, keeps those holding more than 8 %
// of the points, and names the roof by its sloped facets and how many of them face each other:
// "Flat", "Shed", "Gabled", "AsymGabled" or "Hipped".
RoofClass classifyModelDriven(const std::vector<Plane>& planes, const std::vector<Vec3>& points,
                              const Footprint& footprint);

// Plane features for classifyRoof.
struct PlaneFeat {
    int planeCount = 0;
    std::vector<double> slopes;    // degrees
    double maxSlope = 0.0;         // 0 without planes
    double minSlope = 90.0;        // 90 without planes
    bool opposingPair = false;     // two steep planes face roughly opposite ways
    bool balancedNormals = false;  // the steep planes face all around
    double mainAzimuth = 0.0;      // direction of the longest footprint edge, degrees in [0, 180)
};

PlaneFeat extractFeatures(const std::vector<Plane>& planes, const Footprint& footprint);

// First matching rule: nearly level, one plane, balanced steep planes, an opposing pair.
RoofClass classifyRoof(const PlaneFeat& features);

}  // namespace lod2fit
