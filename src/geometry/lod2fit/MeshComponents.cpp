#include "geometry/lod2fit/MeshComponents.h"

#include <algorithm>
#include <numeric>

namespace lod2fit {
namespace {

std::int32_t findRoot(std::vector<std::int32_t>& parent, std::int32_t v) {
    while (parent[v] != v) {
        parent[v] = parent[parent[v]];  // path halving keeps later searches short
        v = parent[v];
    }
    return v;
}

void join(std::vector<std::int32_t>& parent, std::int32_t a, std::int32_t b) {
    const std::int32_t ra = findRoot(parent, a);
    const std::int32_t rb = findRoot(parent, b);
    if (ra != rb) {
        parent[rb] = ra;
    }
}

}  // namespace

bool indicesInRange(const Face& face, std::size_t vertexCount) {
    return std::all_of(face.begin(), face.end(), [vertexCount](std::int32_t i) {
        return i >= 0 && static_cast<std::size_t>(i) < vertexCount;
    });
}

std::vector<std::int32_t> vertexComponents(const SolidMesh& mesh) {
    std::vector<std::int32_t> parent(mesh.vertices.size());
    std::iota(parent.begin(), parent.end(), 0);
    for (const Face& face : mesh.faces) {
        if (face.size() < 2 || !indicesInRange(face, parent.size())) {
            continue;
        }
        for (std::size_t k = 1; k < face.size(); ++k) {
            join(parent, face[0], face[k]);
        }
    }
    for (std::int32_t v = 0; v < static_cast<std::int32_t>(parent.size()); ++v) {
        parent[v] = findRoot(parent, v);
    }
    return parent;
}

}  // namespace lod2fit
