#pragma once
// Roof planes found in roof points, and a roof of small triangles each lifted onto the plane that
// the points above it favour.

#include <vector>

#include "geometry/RoofModel.h"

// Parameters of the plane search; the defaults are those of the LoD2 reconstruction.
struct SegParams {
    double distTol = 0.3;   // greatest distance of a point on a plane, m
    int minInliers = 30;    // least points of a plane, and least points left to search in
    int maxPlanes = 6;      // most planes; the search makes at most 3 * maxPlanes passes
    int iterations = 200;   // random samples per pass
    double minAbsNz = 0.2;  // steeper planes (walls) are refused
    double spread = 0.25;   // least of the x and y standard deviations of a plane's points, m
};

// Sequential RANSAC: each pass takes the best sampled plane's points out of the search and keeps
// the plane refitted to them when they are spread and it is not too steep. The sampling is seeded
// with a fixed value at every call, so the same points always give the same planes.
std::vector<Plane> segmentRoofPlanes(const std::vector<Pt3>& points, const SegParams& params);

// The ring, ear-clipped and refined twice, each small triangle lifted onto the plane most of the
// points above it lie nearest to (within maxDistance); triangles without such points take the
// plane most points overall lie nearest to. No face with fewer than 2 planes, a ring of fewer than
// 3 points, or fewer than 2 planes nearest to at least 15 points.
std::vector<RoofFace> buildRoofFacesPlaster1(const std::vector<Plane>& planes,
                                             const std::vector<Pt3>& points, const PlanRing& ring,
                                             double maxDistance);
