#pragma once
// Triangulation of one face of a solid: a ring of points in space that is planar or nearly so.
// The face is drawn in the plane of the two coordinates that remain when its normal's largest
// component is dropped, cut into triangles by ear clipping that prefers well-shaped ears (a fan
// from the first point when clipping fails), and for faces of 7 or more points improved by
// flipping diagonals toward the Delaunay condition. Pure computation.

#include <cstddef>
#include <optional>
#include <vector>

namespace facetri {

struct Point3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

struct Point2 {
    double x = 0.0;
    double y = 0.0;
};

// Corners as indices into the face's points.
struct Triangle {
    int a = 0;
    int b = 0;
    int c = 0;
};

// The normal by Newell's method: its length is twice the face's area, its direction the side from
// which the ring runs counter-clockwise.
Point3 newellNormal(const std::vector<Point3>& face);

// The unit normal of the first pair of edges from the first point that span a plane (cross
// product longer than 1e-6); nothing when all points lie on one line.
std::optional<Point3> firstNormal(const std::vector<Point3>& face);

// Whether every point lies within tolerance of the plane through the first point.
bool isPlanar(const std::vector<Point3>& face, const Point3& unitNormal, double tolerance);

// The face in the plane of the two coordinates left when the normal's largest component is
// dropped: (x, y) when |z| is largest, else (y, z) when |x| >= |y|, else (x, z).
std::vector<Point2> projectAlong(const std::vector<Point3>& face, const Point3& normal);

// Whether all turns of the ring go the same way (turns within 1e-9 of straight do not count).
bool isConvex(const std::vector<Point2>& ring);

// Ear clipping of the ring (taken counter-clockwise whichever way it runs): at each step the ear
// whose largest angle cosine is smallest is cut off. Triangles counter-clockwise; empty when the
// clipping gets stuck before 3 points remain.
std::vector<Triangle> earClip(const std::vector<Point2>& ring);

// Triangles (0, i - 1, i) for i = 2 .. n - 1.
std::vector<Triangle> fan(std::size_t n);

// Turns every triangle counter-clockwise, then flips, one at a time, the first shared edge (in
// ascending vertex order) whose quadrilateral is convex and whose far corner lies inside the other
// triangle's circumcircle, until none is left or 4 T + 8 flips were made.
void flipEdges(const std::vector<Point2>& points, std::vector<Triangle>& triangles);

// More than 4 triangles of which at least 60 % (rounded down) share one corner.
bool looksLikeFan(const std::vector<Triangle>& triangles, std::size_t pointCount);

struct Result {
    std::vector<Triangle> triangles;  // each running as the face does
    bool earClipped = false;          // false: fanned from the first point
    bool fanLike = false;             // the ear clipping's triangles crowd around one corner
    bool fanLikeAfterFlips = false;   // 7 or more points, and still so after the flips
};

// The face's triangles, each turned so that its normal points to the side of the face's Newell
// normal.
Result triangulate(const std::vector<Point3>& face);

}  // namespace facetri
