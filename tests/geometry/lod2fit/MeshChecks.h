#pragma once
// Independent checks of solids for the tests: volume, edge directions, small reference solids.

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "geometry/lod2fit/SolidMesh.h"

namespace lod2fit::testing {

// Signed volume by the divergence theorem, fan triangles about the first vertex.
inline double signedVolume(const SolidMesh& mesh) {
    if (mesh.vertices.empty()) {
        return 0.0;
    }
    const Vec3 o = mesh.vertices.front();
    double sum = 0.0;
    for (const Face& f : mesh.faces) {
        for (std::size_t k = 1; k + 1 < f.size(); ++k) {
            sum += dot(mesh.vertices[f[0]] - o,
                       cross(mesh.vertices[f[k]] - o, mesh.vertices[f[k + 1]] - o));
        }
    }
    return sum / 6;
}

// Every directed edge appears once and its reverse once: a closed, consistently wound surface.
inline bool everyEdgeOnceEachWay(const SolidMesh& mesh) {
    std::map<std::pair<std::int32_t, std::int32_t>, int> directed;
    for (const Face& f : mesh.faces) {
        for (std::size_t k = 0; k < f.size(); ++k) {
            ++directed[{f[k], f[(k + 1) % f.size()]}];
        }
    }
    for (const auto& [edge, count] : directed) {
        const auto back = directed.find({edge.second, edge.first});
        if (count != 1 || back == directed.end() || back->second != 1) {
            return false;
        }
    }
    return !directed.empty();
}

// Unit cube from (0,0,0) to (1,1,1) with every face counter-clockwise from outside.
inline SolidMesh outwardCube() {
    SolidMesh m;
    m.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                  {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    m.faces = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    return m;
}

// Tetrahedron with every face outward.
inline SolidMesh outwardTetrahedron() {
    SolidMesh m;
    m.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    m.faces = {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}};
    return m;
}

inline SolidMesh withFacesReversed(SolidMesh m) {
    for (Face& f : m.faces) {
        std::reverse(f.begin(), f.end());
    }
    return m;
}

}  // namespace lod2fit::testing
