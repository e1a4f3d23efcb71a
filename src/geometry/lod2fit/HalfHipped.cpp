#include "geometry/lod2fit/HalfHipped.h"

#include <algorithm>

#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/PrimitiveSupport.h"

namespace lod2fit {

SolidMesh HalfHipped::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!spansBoxAlongX(footprint) || !isConvexQuad(footprint)) {
        return Flat{}.emit(params, footprint);
    }
    const std::vector<Vec2>& p = footprint.pts;
    const double x0 = p[0].x;
    const double x1 = p[1].x;
    const double y0 = p[0].y;
    const double y1 = p[3].y;
    std::vector<std::int32_t> t;
    SolidMesh mesh = eaveWalls(footprint, params, t);

    const double s = boundedInset(params.hipInset, (x1 - x0) / 2 - 1e-6);
    const double k = std::min(std::max(params.halfHipRatio, 0.05), 0.95);
    const double ym = (y0 + y1) / 2;
    // Where the two long slopes reach the height zh at which the hips begin.
    const double zh = params.eaveZ + k * (params.ridgeZ - params.eaveZ);
    const double yl = y0 + k * (ym - y0);
    const double yh = y1 + k * (ym - y1);

    const std::int32_t a = addVertex(mesh, {x0 + s, ym, params.ridgeZ});
    const std::int32_t b = addVertex(mesh, {x1 - s, ym, params.ridgeZ});
    const std::int32_t c = addVertex(mesh, {x0, yl, zh});
    const std::int32_t d = addVertex(mesh, {x0, yh, zh});
    const std::int32_t e = addVertex(mesh, {x1, yl, zh});
    const std::int32_t f = addVertex(mesh, {x1, yh, zh});
    mesh.faces.push_back({c, t[0], t[1], e, b, a});
    mesh.faces.push_back({t[3], d, a, b, f, t[2]});
    mesh.faces.push_back({t[0], c, d, t[3]});
    mesh.faces.push_back({t[1], t[2], f, e});
    mesh.faces.push_back({c, a, d});
    mesh.faces.push_back({e, f, b});
    return mesh;
}

}  // namespace lod2fit
