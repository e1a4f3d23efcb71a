#include "geometry/lod2fit/Nave.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/SolidBuilders.h"

namespace lod2fit {

SolidMesh Nave::emit(const RoofParams& params, const Footprint& footprint) const {
    if (footprint.pts.size() != 4 || !isBuildableRing(footprint)) {
        return Flat{}.emit(params, footprint);
    }
    const PlanBox box = boundingBox(footprint);
    const std::int32_t n = arcSegmentCount(params.arcSegments, 4);
    const double ym = box.ym();
    const double radius = box.dy() / 2;

    SolidMesh mesh;
    // The apse ring from (minx, maxy) round the low-x side to (minx, miny): L(i) = 2i on the
    // ground, U(i) = 2i + 1 at the eave.
    for (std::int32_t i = 0; i <= n; ++i) {
        const double theta = i * std::numbers::pi / n + std::numbers::pi / 2;
        const Vec2 p{box.minx + radius * std::cos(theta), ym + radius * std::sin(theta)};
        addVertex(mesh, at(p, params.groundZ));
        addVertex(mesh, at(p, params.eaveZ));
    }
    const auto l = [](std::int32_t i) { return 2 * i; };
    const auto u = [](std::int32_t i) { return 2 * i + 1; };
    const std::int32_t e0 = addVertex(mesh, {box.maxx, box.miny, params.groundZ});
    const std::int32_t e1 = addVertex(mesh, {box.maxx, box.maxy, params.groundZ});
    const std::int32_t e2 = addVertex(mesh, {box.maxx, box.miny, params.eaveZ});
    const std::int32_t e3 = addVertex(mesh, {box.maxx, box.maxy, params.eaveZ});
    const std::int32_t r0 = addVertex(mesh, {box.minx, ym, params.ridgeZ});
    const std::int32_t r1 = addVertex(mesh, {box.maxx, ym, params.ridgeZ});

    mesh.faces.push_back({u(n), e2, r1, r0});
    mesh.faces.push_back({e3, u(0), r0, r1});
    mesh.faces.push_back({e2, e3, r1});
    mesh.faces.push_back({l(n), e0, e2, u(n)});
    mesh.faces.push_back({e1, l(0), u(0), e3});
    mesh.faces.push_back({e0, e1, e3, e2});
    for (std::int32_t i = 0; i < n; ++i) {
        mesh.faces.push_back({l(i), l(i + 1), u(i + 1), u(i)});
        mesh.faces.push_back({r0, u(i), u(i + 1)});  // half cone from the apse eave to the ridge
    }
    Face bottom{e0, e1};
    for (std::int32_t i = 0; i <= n; ++i) {
        bottom.push_back(l(i));
    }
    mesh.faces.push_back(std::move(bottom));
    return mesh;
}

}  // namespace lod2fit
