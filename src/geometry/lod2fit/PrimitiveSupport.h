#pragma once
// Pieces the roof primitives share: the walls under a level eave, the saddle roof between two
// ridge ends, the lower part of two-pitch roofs, footprint rectangles and dormer bodies.

#include <cstdint>
#include <vector>

#include "geometry/lod2fit/Footprint.h"
#include "geometry/lod2fit/RoofParams.h"
#include "geometry/lod2fit/SolidMesh.h"

namespace lod2fit {

// buildWallsBottom with every wall top at eaveZ.
SolidMesh eaveWalls(const Footprint& fp, const RoofParams& params, std::vector<std::int32_t>& top);

// A four-corner footprint under a saddle roof whose ridge runs from a (over the edge p3->p0) to b
// (over the edge p1->p2) at ridgeZ. Roof faces: the slope over p0->p1, the slope over p2->p3,
// then the end faces over p3->p0 and p1->p2.
SolidMesh ridgeRoof(const Footprint& fp, const RoofParams& params, Vec2 a, Vec2 b);

// The line between the midpoints of the end edges p3->p0 and p1->p2 of a four-corner footprint.
struct EndToEnd {
    Vec2 start;
    Vec2 end;
    double length = 0.0;
    Vec2 direction;  // unit, or the unscaled difference when length is at most 1e-12
};
EndToEnd endToEnd(const Footprint& fp);

// min(limit, inset) raised to 0 when negative: a ridge inset that cannot pass its bound.
double boundedInset(double inset, double limit);

// The part of a two-pitch roof up to its break lines, over the box x0 = p0.x to x1 = p1.x,
// y0 = p0.y to y1 = p3.y: vertices 0-3 the box corners at groundZ, 4-7 at eaveZ, 8 (x0, y0 + w),
// 9 (x1, y0 + w), 10 (x1, y1 - w), 11 (x0, y1 - w) at the break height; faces the bottom, the four
// walls and the two steep slopes. The break height and inset w come from breakHeightRatio and
// breakInsetRatio; the inset stops short of the middle.
SolidMesh twoPitchLower(const Footprint& fp, const RoofParams& params);

// The params with another main axis: the Shed pieces of composite roofs.
RoofParams withAxis(const RoofParams& params, Vec2 axis);

Footprint quad(Vec2 a, Vec2 b, Vec2 c, Vec2 d);

// The box as a ring counter-clockwise from its low corner.
Footprint boxRing(double x0, double y0, double x1, double y1);

// The body of a dormer over the plan rectangle xL..xR, yF (front) to yB (back): vertices 0-3 the
// corners (xL, yF), (xR, yF), (xR, yB), (xL, yB) at floorZ, 4-7 the same corners at frontTopZ
// (the two front ones) and backTopZ; faces the floor, then the front, back, left and right walls.
struct DormerPlan {
    double xL = 0.0;
    double xR = 0.0;
    double yF = 0.0;
    double yB = 0.0;
};
SolidMesh dormerBody(const DormerPlan& plan, double floorZ, double frontTopZ, double backTopZ);

// Height of the slope over the low-y edge of a saddle roof spanning the box, at y.
double frontSlopeZ(const RoofParams& params, const PlanBox& box, double y);

}  // namespace lod2fit
