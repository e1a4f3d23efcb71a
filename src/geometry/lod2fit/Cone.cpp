#include "geometry/lod2fit/Cone.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geometry/lod2fit/SolidBuilders.h"

namespace lod2fit {

SolidMesh Cone::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!isBuildableRing(footprint)) {
        return {};
    }
    const PlanBox box = boundingBox(footprint);
    const Vec2 centre{box.xm(), box.ym()};
    const double r = std::min(box.dx(), box.dy()) / 2;
    const std::int32_t n = arcSegmentCount(params.arcSegments, 3);

    SolidMesh mesh;
    for (std::int32_t i = 0; i < n; ++i) {  // B(i) = 2i on the ground, T(i) = 2i + 1 at the eave
        const double theta = i * 2 * std::numbers::pi / n;
        const Vec2 rim = centre + r * Vec2{std::cos(theta), std::sin(theta)};
        addVertex(mesh, at(rim, params.groundZ));
        addVertex(mesh, at(rim, params.eaveZ));
    }
    const std::int32_t apex = addVertex(mesh, at(centre, params.ridgeZ));

    Face bottom;
    for (std::int32_t i = 0; i < n; ++i) {
        bottom.push_back(2 * i);
    }
    mesh.faces.push_back(std::move(bottom));
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t j = (i + 1) % n;
        mesh.faces.push_back({2 * i, 2 * j, 2 * j + 1, 2 * i + 1});
        mesh.faces.push_back({2 * i + 1, 2 * j + 1, apex});
    }
    return mesh;
}

}  // namespace lod2fit
