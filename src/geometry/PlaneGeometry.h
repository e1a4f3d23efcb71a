#pragma once
// Planes of roofs: the least-squares plane of points, heights and distances on a plane, the line
// where two planes meet, and plan rings lifted onto planes.

#include <vector>

#include "geometry/RoofModel.h"

// Least-squares plane z = a*x + b*y + c through the points, written with an upward unit normal.
// False, with the plane untouched, for fewer than 3 points or a singular fit (points on one
// vertical line or otherwise degenerate).
bool fitPlane(const std::vector<Pt3>& points, Plane& plane);

// Distance of the point from the plane.
inline double planeDistance(const Plane& plane, const Pt3& p) {
    const double v = plane.nx * p.x + plane.ny * p.y + plane.nz * p.z + plane.d;
    return v < 0 ? -v : v;
}

// Height of the plane above (x, y); 0.0 for a vertical plane.
double heightOnPlane(const Plane& plane, double x, double y);

// One corner per ring point, at the plane's height there.
std::vector<Pt3> projectRingToPlane(const PlanRing& ring, const Plane& plane);

// The line common to two planes: a unit direction and its point nearest the origin. False for
// parallel planes (nothing written) or a singular system (only the direction written).
bool planeIntersect(const Plane& a, const Plane& b, Pt3& point, Pt3& direction);

// The ring as one level face at the first plane's height above the ring's centroid; no face
// without a plane or for a ring of fewer than 3 points.
std::vector<RoofFace> faceFromPlanes(const std::vector<Plane>& planes, const PlanRing& ring);
