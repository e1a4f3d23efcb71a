#pragma once
// The separate parts of a mesh: vertices that faces connect, found with a union-find over the
// vertex indices. Each face joins its first index with each of its others.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/lod2fit/SolidMesh.h"

namespace lod2fit {

// True when every index of the face points into a vertex list of the given size.
bool indicesInRange(const Face& face, std::size_t vertexCount);

// For every vertex, the representative vertex of its component. Faces with an index outside the
// vertex list join nothing.
std::vector<std::int32_t> vertexComponents(const SolidMesh& mesh);

}  // namespace lod2fit
