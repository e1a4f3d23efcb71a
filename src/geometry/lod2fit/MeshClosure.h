#pragma once
// Closedness tests: a solid is closed when every edge is shared by exactly two faces.

#include "geometry/lod2fit/SolidMesh.h"

namespace lod2fit {

// At least 4 faces, each of at least 3 distinct consecutive corners, and every undirected edge
// used exactly twice.
bool isWatertight(const SolidMesh& mesh);

// The same edge rule, with at least 4 faces in every separate part of the mesh instead of 4 in all.
bool isWatertightMulti(const SolidMesh& mesh);

}  // namespace lod2fit
