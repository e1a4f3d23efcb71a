#pragma once
// Plan polygons of roofs: the even-odd point test, convex clipping, the convex hull, ear-clipping
// triangulation and triangle refinement. Rings are open lists of (x, y) in metres.

#include <vector>

#include "geometry/RoofModel.h"

// Exactly three corners.
using Triangle = PlanRing;

// Even-odd crossing rule; false for an empty ring. A point exactly on an edge may fall either way.
bool pointInRing(double x, double y, const PlanRing& ring);

// Sutherland-Hodgman clip of the subject by a convex, counter-clockwise ring. An empty clip ring
// returns the subject unchanged; a clip that removes everything returns an empty list.
PlanRing clipToFootprint(const PlanRing& subject, const PlanRing& clip);

// Andrew's monotone chain: counter-clockwise from the lowest-x (then lowest-y) point, without
// collinear points. Fewer than 3 distinct points come back sorted, without duplicates.
PlanRing convexHull2D(PlanRing points);

// Counter-clockwise triangles of the ring. A self-intersecting ring ends with the triangles found
// before no ear was left.
std::vector<Triangle> earClip(const PlanRing& ring);

// Splits the triangle at its edge midpoints depth times (4^depth triangles, appended to out).
void subdivide(const Triangle& triangle, int depth, std::vector<Triangle>& out);

// Half the shoelace sum: positive for a counter-clockwise ring.
double signedArea(const PlanRing& ring);

// Whether (x, y) lies in the triangle or on its boundary, in either orientation.
bool pointInTriangle(double x, double y, const Triangle& t);
