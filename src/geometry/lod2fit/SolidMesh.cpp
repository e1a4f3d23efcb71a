#include "geometry/lod2fit/SolidMesh.h"

#include <cmath>

namespace lod2fit {
namespace {

template <typename Move>
SolidMesh withMovedVertices(const SolidMesh& mesh, Move move) {
    SolidMesh out = mesh;
    for (Vec3& v : out.vertices) {
        v = move(v);
    }
    return out;
}

}  // namespace

void appendSolid(SolidMesh& destination, const SolidMesh& source) {
    const auto offset = static_cast<std::int32_t>(destination.vertices.size());
    destination.vertices.insert(destination.vertices.end(), source.vertices.begin(),
                                source.vertices.end());
    destination.faces.reserve(destination.faces.size() + source.faces.size());
    for (const Face& face : source.faces) {
        Face shifted = face;
        for (std::int32_t& index : shifted) {
            index += offset;
        }
        destination.faces.push_back(std::move(shifted));
    }
}

SolidMesh translated(const SolidMesh& mesh, double dx, double dy, double dz) {
    return withMovedVertices(mesh, [=](Vec3 v) { return Vec3{v.x + dx, v.y + dy, v.z + dz}; });
}

SolidMesh rotatedZ(const SolidMesh& mesh, double angle, double cx, double cy) {
    const double s = std::sin(angle);
    const double c = std::cos(angle);
    return withMovedVertices(mesh, [=](Vec3 v) {
        const double x = v.x - cx;
        const double y = v.y - cy;
        return Vec3{cx + x * c - y * s, cy + x * s + y * c, v.z};
    });
}

std::int32_t addVertex(SolidMesh& mesh, Vec3 v) {
    mesh.vertices.push_back(v);
    return static_cast<std::int32_t>(mesh.vertices.size() - 1);
}

}  // namespace lod2fit
