#include "geometry/lod2fit/Hipped.h"

#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/PrimitiveSupport.h"

namespace lod2fit {

SolidMesh Hipped::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!isConvexQuad(footprint)) {
        return Flat{}.emit(params, footprint);
    }
    const EndToEnd line = endToEnd(footprint);
    // Both ends move inward; the margin keeps them from meeting or passing.
    const double s = boundedInset(params.hipInset, line.length / 2 - 1e-6);
    return ridgeRoof(footprint, params, line.start + s * line.direction,
                     line.end - s * line.direction);
}

}  // namespace lod2fit
