#include "geometry/lod2fit/PrimitiveSupport.h"

#include <algorithm>
#include <cmath>

#include "geometry/lod2fit/SolidBuilders.h"

namespace lod2fit {
namespace {

constexpr double kTinyLength = 1e-12;

Vec2 midpoint(Vec2 a, Vec2 b) {
    return 0.5 * (a + b);
}

}  // namespace

SolidMesh eaveWalls(const Footprint& fp, const RoofParams& params, std::vector<std::int32_t>& top) {
    return buildWallsBottom(fp, params.groundZ, std::vector<double>(fp.pts.size(), params.eaveZ),
                            top);
}

SolidMesh ridgeRoof(const Footprint& fp, const RoofParams& params, Vec2 a, Vec2 b) {
    std::vector<std::int32_t> t;
    SolidMesh mesh = eaveWalls(fp, params, t);
    const std::int32_t ia = addVertex(mesh, at(a, params.ridgeZ));
    const std::int32_t ib = addVertex(mesh, at(b, params.ridgeZ));
    mesh.faces.push_back({t[0], t[1], ib, ia});
    mesh.faces.push_back({t[3], ia, ib, t[2]});
    mesh.faces.push_back({t[0], ia, t[3]});
    mesh.faces.push_back({t[1], t[2], ib});
    return mesh;
}

EndToEnd endToEnd(const Footprint& fp) {
    const std::vector<Vec2>& p = fp.pts;
    EndToEnd line;
    line.start = midpoint(p[0], p[3]);
    line.end = midpoint(p[1], p[2]);
    const Vec2 d = line.end - line.start;
    line.length = std::hypot(d.x, d.y);
    line.direction = line.length > kTinyLength ? (1.0 / line.length) * d : d;
    return line;
}

SolidMesh twoPitchLower(const Footprint& fp, const RoofParams& params) {
    const std::vector<Vec2>& p = fp.pts;
    const double x0 = p[0].x;
    const double x1 = p[1].x;
    const double y0 = p[0].y;
    const double y1 = p[3].y;
    const double half = (y1 - y0) / 2;
    const double zb = params.eaveZ + (params.ridgeZ - params.eaveZ) * params.breakHeightRatio;
    const double w = std::min(half - 1e-6, params.breakInsetRatio * half);
    std::vector<std::int32_t> t;
    SolidMesh mesh = eaveWalls(boxRing(x0, y0, x1, y1), params, t);
    addVertex(mesh, {x0, y0 + w, zb});
    addVertex(mesh, {x1, y0 + w, zb});
    addVertex(mesh, {x1, y1 - w, zb});
    addVertex(mesh, {x0, y1 - w, zb});
    mesh.faces.push_back({4, 5, 9, 8});
    mesh.faces.push_back({6, 7, 11, 10});
    return mesh;
}

double boundedInset(double inset, double limit) {
    return std::max(0.0, std::min(limit, inset));
}

RoofParams withAxis(const RoofParams& params, Vec2 axis) {
    RoofParams out = params;
    out.axis = axis;
    return out;
}

Footprint quad(Vec2 a, Vec2 b, Vec2 c, Vec2 d) {
    return Footprint{{a, b, c, d}};
}

Footprint boxRing(double x0, double y0, double x1, double y1) {
    return quad({x0, y0}, {x1, y0}, {x1, y1}, {x0, y1});
}

SolidMesh dormerBody(const DormerPlan& plan, double floorZ, double frontTopZ, double backTopZ) {
    SolidMesh mesh;
    const auto ring = [&](double frontZ, double backZ) {
        addVertex(mesh, {plan.xL, plan.yF, frontZ});
        addVertex(mesh, {plan.xR, plan.yF, frontZ});
        addVertex(mesh, {plan.xR, plan.yB, backZ});
        addVertex(mesh, {plan.xL, plan.yB, backZ});
    };
    ring(floorZ, floorZ);
    ring(frontTopZ, backTopZ);
    mesh.faces = {{0, 1, 2, 3}, {0, 1, 5, 4}, {2, 3, 7, 6}, {3, 0, 4, 7}, {1, 2, 6, 5}};
    return mesh;
}

double frontSlopeZ(const RoofParams& params, const PlanBox& box, double y) {
    const double halfDepth = box.ym() - box.miny;
    return params.eaveZ + (y - box.miny) * (params.ridgeZ - params.eaveZ) / halfDepth;
}

}  // namespace lod2fit
