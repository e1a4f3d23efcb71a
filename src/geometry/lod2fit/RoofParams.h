#pragma once
// The parameters of a roof primitive. Lengths and heights in metres; heights are absolute, on
// the same datum as the building's ground height.

#include <cstdint>

#include "geometry/lod2fit/Vec2.h"

namespace lod2fit {

struct RoofParams {
    double groundZ = 0.0;           // bottom face and wall feet
    double eaveZ = 3.0;             // top of the walls, lower edge of the roof
    double ridgeZ = 6.0;            // ridge, apex or crown
    Vec2 axis{1.0, 0.0};            // main direction of the roof (read by Shed)
    double hipInset = 2.0;          // how far a hipped ridge end stops short of the end edge
    double breakHeightRatio = 0.5;  // share of eave-to-ridge height below a two-pitch break
    double breakInsetRatio = 0.3;   // inset of the break line, as a share of half the depth
    double halfHipRatio = 0.5;      // share of eave-to-ridge height where a half-hip begins
    std::int32_t dormerCount = 1;
    double dormerWidth = 2.0;
    double dormerDepth = 1.5;       // carried along; no primitive reads it
    std::int32_t arcSegments = 16;  // segments of a curved profile or ring
};

}  // namespace lod2fit
