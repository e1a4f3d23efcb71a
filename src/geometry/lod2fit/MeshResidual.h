#pragma once
// How far a building's points lie from its solid, and whether a fit is trusted.

#include <vector>

#include "geometry/lod2fit/SolidMesh.h"

namespace lod2fit {

// Distance from p to the nearest point of the triangle abc: its inside, an edge or a corner.
// A triangle without area counts as its three edges.
double pointTriangleDistance(Vec3 p, Vec3 a, Vec3 b, Vec3 c);

// Mean distance of the points to the nearest fan triangle of the mesh's faces; a face with an
// index outside the vertex list is left out. Above 5000 points every (n div 5000)-th point is
// taken, from the first. No point or no face gives 1e9.
double meanCloudToMesh(const std::vector<Vec3>& points, const SolidMesh& mesh);

// 0 (trusted) when residual < 1.6 m and confidence >= 0.5, else 1; a NaN gives 1.
int flagFromResidual(double residual, double confidence);

}  // namespace lod2fit
