#include "geometry/lod2fit/Tent.h"

#include "geometry/lod2fit/PrimitiveSupport.h"

namespace lod2fit {

SolidMesh Tent::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!isBuildableRing(footprint)) {
        return {};
    }
    std::vector<std::int32_t> t;
    SolidMesh mesh = eaveWalls(footprint, params, t);
    Vec2 sum;
    for (const Vec2& p : footprint.pts) {
        sum = sum + p;
    }
    const std::size_t n = footprint.pts.size();
    const std::int32_t apex =
        addVertex(mesh, at((1.0 / static_cast<double>(n)) * sum, params.ridgeZ));
    for (std::size_t i = 0; i < n; ++i) {
        mesh.faces.push_back({t[i], t[(i + 1) % n], apex});
    }
    return mesh;
}

}  // namespace lod2fit
