#include "geometry/lod2fit/FiveSidedGabled.h"

#include <algorithm>

#include "geometry/lod2fit/PrimitiveSupport.h"

namespace lod2fit {
namespace {

constexpr double kWingShare = 0.45;     // wing width, as a share of the box side across it
constexpr double kChamferShare = 0.22;  // chamfer leg, as a share of the shorter box side

// The L-shaped outline: the wing along the low-y side, the wing along the low-x side, and the
// chamfer across their outer corner, counter-clockwise from the chamfer's end on the low-y side.
Footprint lOutline(const PlanBox& box) {
    const double c = kChamferShare * std::min(box.dx(), box.dy());
    const double innerX = box.minx + kWingShare * box.dx();
    const double innerY = box.miny + kWingShare * box.dy();
    return Footprint{{{box.minx + c, box.miny},
                      {box.maxx, box.miny},
                      {box.maxx, innerY},
                      {innerX, innerY},
                      {innerX, box.maxy},
                      {box.minx, box.maxy},
                      {box.minx, box.miny + c}}};
}

}  // namespace

SolidMesh FiveSidedGabled::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!isBuildableRing(footprint)) {
        return {};
    }
    const PlanBox box = boundingBox(footprint);
    std::vector<std::int32_t> t;
    SolidMesh mesh = eaveWalls(lOutline(box), params, t);
    // The ridges meet above the centre of the corner square shared by the two wings.
    const Vec2 corner{box.minx + kWingShare / 2 * box.dx(), box.miny + kWingShare / 2 * box.dy()};
    const std::int32_t c = addVertex(mesh, at(corner, params.ridgeZ));
    const std::int32_t r1 = addVertex(mesh, {box.maxx, corner.y, params.ridgeZ});
    const std::int32_t r2 = addVertex(mesh, {corner.x, box.maxy, params.ridgeZ});
    mesh.faces.push_back({t[0], t[1], r1, c});
    mesh.faces.push_back({t[2], t[3], c, r1});
    mesh.faces.push_back({t[6], t[5], r2, c});
    mesh.faces.push_back({t[4], t[3], c, r2});
    mesh.faces.push_back({t[6], t[0], c});
    mesh.faces.push_back({t[1], t[2], r1});
    mesh.faces.push_back({t[4], t[5], r2});
    return mesh;
}

}  // namespace lod2fit
