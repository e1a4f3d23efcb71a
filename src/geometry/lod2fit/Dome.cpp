#include "geometry/lod2fit/Dome.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geometry/lod2fit/SolidBuilders.h"

namespace lod2fit {

SolidMesh Dome::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!isBuildableRing(footprint)) {
        return {};
    }
    const PlanBox box = boundingBox(footprint);
    const Vec2 centre{box.xm(), box.ym()};
    const double r = std::min(box.dx(), box.dy()) / 2;
    const double rise = params.ridgeZ - params.eaveZ;
    const std::int32_t n = arcSegmentCount(params.arcSegments, 3);            // around
    const std::int32_t m = std::max(std::min(params.arcSegments, n) / 2, 6);  // rings, eave first
    const auto direction = [n](std::int32_t i) {
        const double theta = i * 2 * std::numbers::pi / n;
        return Vec2{std::cos(theta), std::sin(theta)};
    };
    const auto bottomAt = [](std::int32_t i) { return i; };
    const auto ringAt = [n](std::int32_t k, std::int32_t i) { return n + k * n + i % n; };

    SolidMesh mesh;
    for (std::int32_t i = 0; i < n; ++i) {
        addVertex(mesh, at(centre + r * direction(i), params.groundZ));
    }
    for (std::int32_t k = 0; k < m; ++k) {
        const double phi = k * (std::numbers::pi / 2) / m;
        for (std::int32_t i = 0; i < n; ++i) {
            addVertex(mesh, at(centre + r * std::cos(phi) * direction(i),
                               params.eaveZ + rise * std::sin(phi)));
        }
    }
    const std::int32_t apex =
        addVertex(mesh, at(centre, params.eaveZ + rise * std::sin(std::numbers::pi / 2)));

    Face bottom;
    for (std::int32_t i = 0; i < n; ++i) {
        bottom.push_back(bottomAt(i));
    }
    mesh.faces.push_back(std::move(bottom));
    for (std::int32_t i = 0; i < n; ++i) {
        mesh.faces.push_back({bottomAt(i), bottomAt((i + 1) % n), ringAt(0, i + 1), ringAt(0, i)});
    }
    for (std::int32_t k = 0; k + 1 < m; ++k) {
        for (std::int32_t i = 0; i < n; ++i) {
            mesh.faces.push_back({ringAt(k, i), ringAt(k, i + 1), ringAt(k + 1, i + 1)});
            mesh.faces.push_back({ringAt(k, i), ringAt(k + 1, i + 1), ringAt(k + 1, i)});
        }
    }
    for (std::int32_t i = 0; i < n; ++i) {
        mesh.faces.push_back({ringAt(m - 1, i), ringAt(m - 1, i + 1), apex});
    }
    return mesh;
}

}  // namespace lod2fit
