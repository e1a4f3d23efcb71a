#include "geometry/lod2fit/HippedOneSided.h"

#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/PrimitiveSupport.h"

namespace lod2fit {

SolidMesh HippedOneSided::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!isConvexQuad(footprint)) {
        return Flat{}.emit(params, footprint);
    }
    const EndToEnd line = endToEnd(footprint);
    // Only the p1->p2 end moves inward, so the whole ridge length bounds the inset.
    const double s = boundedInset(params.hipInset, line.length - 1e-6);
    return ridgeRoof(footprint, params, line.start, line.end - s * line.direction);
}

}  // namespace lod2fit
