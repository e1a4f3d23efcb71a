#include "geometry/lod2fit/AsymGabled.h"

#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/PrimitiveSupport.h"

namespace lod2fit {
namespace {

// Share of the depth, from the edge p0->p1, at which the ridge stands.
constexpr double kRidgeShare = 0.68;

}  // namespace

SolidMesh AsymGabled::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!isConvexQuad(footprint)) {
        return Flat{}.emit(params, footprint);
    }
    const std::vector<Vec2>& p = footprint.pts;
    const Vec2 a = p[0] + kRidgeShare * (p[3] - p[0]);
    const Vec2 b = p[1] + kRidgeShare * (p[2] - p[1]);
    return ridgeRoof(footprint, params, a, b);
}

}  // namespace lod2fit
