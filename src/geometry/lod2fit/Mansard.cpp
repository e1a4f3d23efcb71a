#include "geometry/lod2fit/Mansard.h"

#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/PrimitiveSupport.h"

namespace lod2fit {

SolidMesh Mansard::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!spansBoxFromLowestCorner(footprint)) {
        return Flat{}.emit(params, footprint);
    }
    const std::vector<Vec2>& p = footprint.pts;
    const double ym = p[0].y + (p[3].y - p[0].y) / 2;
    SolidMesh mesh = twoPitchLower(footprint, params);
    addVertex(mesh, {p[0].x, ym, params.ridgeZ});  // 12
    addVertex(mesh, {p[1].x, ym, params.ridgeZ});  // 13
    mesh.faces.push_back({8, 9, 13, 12});
    mesh.faces.push_back({10, 11, 12, 13});
    mesh.faces.push_back({4, 8, 12, 11, 7});
    mesh.faces.push_back({5, 6, 10, 13, 9});
    return mesh;
}

}  // namespace lod2fit
