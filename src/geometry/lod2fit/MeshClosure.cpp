#include "geometry/lod2fit/MeshClosure.h"

#include <algorithm>
#include <map>
#include <utility>

#include "geometry/lod2fit/MeshComponents.h"

namespace lod2fit {
namespace {

bool everyEdgeUsedTwice(const SolidMesh& mesh) {
    std::map<std::pair<std::int32_t, std::int32_t>, int> uses;
    for (const Face& face : mesh.faces) {
        if (face.size() < 3) {
            return false;
        }
        for (std::size_t k = 0; k < face.size(); ++k) {
            const std::int32_t a = face[k];
            const std::int32_t b = face[(k + 1) % face.size()];
            if (a == b) {
                return false;
            }
            ++uses[std::minmax(a, b)];
        }
    }
    return std::all_of(uses.begin(), uses.end(), [](const auto& edge) { return edge.second == 2; });
}

}  // namespace

bool isWatertight(const SolidMesh& mesh) {
    return mesh.faces.size() >= 4 && everyEdgeUsedTwice(mesh);
}

bool isWatertightMulti(const SolidMesh& mesh) {
    if (mesh.faces.empty() || !everyEdgeUsedTwice(mesh)) {
        return false;
    }
    const std::vector<std::int32_t> component = vertexComponents(mesh);
    std::map<std::int32_t, int> facesPerComponent;
    for (const Face& face : mesh.faces) {
        if (!indicesInRange(face, component.size())) {
            return false;
        }
        ++facesPerComponent[component[face[0]]];
    }
    return std::all_of(facesPerComponent.begin(), facesPerComponent.end(),
                       [](const auto& part) { return part.second >= 4; });
}

}  // namespace lod2fit
