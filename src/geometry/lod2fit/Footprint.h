#pragma once
// A building outline and the shape tests the roof primitives run on it before building.

#include <vector>

#include "geometry/lod2fit/Vec2.h"

namespace lod2fit {

// Corner points as an open ring (the first point is not repeated), in either orientation.
struct Footprint {
    std::vector<Vec2> pts;

    bool operator==(const Footprint&) const = default;
};

// Axis-parallel bounds. An empty footprint keeps the start values, which span nothing.
struct PlanBox {
    double minx = 1e18;
    double miny = 1e18;
    double maxx = -1e18;
    double maxy = -1e18;

    double dx() const { return maxx - minx; }
    double dy() const { return maxy - miny; }
    double xm() const { return (minx + maxx) / 2; }
    double ym() const { return (miny + maxy) / 2; }
};

PlanBox boundingBox(const Footprint& fp);

// Shoelace area, positive for a counter-clockwise ring. Summed relative to the first corner so
// that map coordinates of six or seven digits keep their centimetres.
double signedArea(const Footprint& fp);

// At least three corners enclosing an area that is not negligible against the ring's extent.
// False for NaN coordinates.
bool isBuildableRing(const Footprint& fp);

// Exactly four corners turning the same way at every corner (either orientation), none straight.
bool isConvexQuad(const Footprint& fp);

// Exactly four corners enclosing an area, with p1 to the right of p0 and p3 above or below it:
// the layout of an axis-parallel rectangle listed in either orientation from the start of a wall
// running along +x, as the reconstruction hands footprints over. The primitives that span their
// box from p0.x to p1.x and from p0.y to p3.y on either side of p0 rely on it.
bool spansBoxAlongX(const Footprint& fp);

// spansBoxAlongX with p3 above p0: the rectangle listed counter-clockwise from its lowest corner,
// which the primitives that need p0.y below p3.y rely on.
bool spansBoxFromLowestCorner(const Footprint& fp);

}  // namespace lod2fit
