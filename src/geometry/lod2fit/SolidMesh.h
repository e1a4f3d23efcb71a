#pragma once
// A polygon mesh of one building solid, and the operations that join, move and turn meshes.
//
// Vertices are never merged: two faces share an edge only when they use the same indices. A
// face's outward side is the one from which its corners run counter-clockwise.

#include <cstdint>
#include <vector>

#include "geometry/lod2fit/Vec3.h"

namespace lod2fit {

using Face = std::vector<std::int32_t>;  // 0-based indices into the vertices, any corner count

struct SolidMesh {
    std::vector<Vec3> vertices;
    std::vector<Face> faces;

    bool operator==(const SolidMesh&) const = default;
};

// Appends the source's vertices, then its faces with every index raised by the destination's
// former vertex count.
void appendSolid(SolidMesh& destination, const SolidMesh& source);

SolidMesh translated(const SolidMesh& mesh, double dx, double dy, double dz);

// Turns every vertex counter-clockwise by angle (radians) about the vertical through (cx, cy).
SolidMesh rotatedZ(const SolidMesh& mesh, double angle, double cx, double cy);

// Appends a vertex and returns its index.
std::int32_t addVertex(SolidMesh& mesh, Vec3 v);

}  // namespace lod2fit
