#include "geometry/lod2fit/Barrel.h"

#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/SolidBuilders.h"

namespace lod2fit {

SolidMesh Barrel::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!spansBoxAlongX(footprint)) {
        return Flat{}.emit(params, footprint);
    }
    const std::vector<Vec2>& p = footprint.pts;
    const double x0 = p[0].x;
    const double x1 = p[1].x;
    const double y0 = p[0].y;
    const double depth = p[3].y - y0;
    const std::vector<Vec2> arch =
        arcProfile(depth, params.ridgeZ - params.eaveZ, params.arcSegments);
    const auto m = static_cast<std::int32_t>(arch.size());

    SolidMesh mesh;
    for (const double x : {x0, x1}) {  // A0..A(m-1) at x0, then B0..B(m-1) at x1
        for (const Vec2& uv : arch) {
            addVertex(mesh, {x, y0 + uv.x, params.eaveZ + uv.y});
        }
    }
    const std::int32_t c0 = addVertex(mesh, {x0, y0, params.groundZ});
    const std::int32_t c1 = addVertex(mesh, {x1, y0, params.groundZ});
    const std::int32_t c2 = addVertex(mesh, {x1, y0 + depth, params.groundZ});
    const std::int32_t c3 = addVertex(mesh, {x0, y0 + depth, params.groundZ});
    const auto a = [](std::int32_t j) { return j; };
    const auto b = [m](std::int32_t j) { return m + j; };

    mesh.faces.push_back({c0, c1, c2, c3});
    mesh.faces.push_back({c0, c1, b(0), a(0)});
    mesh.faces.push_back({c2, c3, a(m - 1), b(m - 1)});
    Face lowEnd{c3, c0};  // wall and arched gable in one polygon
    Face highEnd{c1, c2};
    for (std::int32_t j = 0; j < m; ++j) {
        lowEnd.push_back(a(j));
        highEnd.push_back(b(m - 1 - j));
    }
    mesh.faces.push_back(std::move(lowEnd));
    mesh.faces.push_back(std::move(highEnd));
    for (std::int32_t j = 0; j + 1 < m; ++j) {
        mesh.faces.push_back({a(j), b(j), b(j + 1), a(j + 1)});
    }
    return mesh;
}

}  // namespace lod2fit
