#include "geometry/lod2fit/Gabled.h"

#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/PrimitiveSupport.h"

namespace lod2fit {

SolidMesh Gabled::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!isConvexQuad(footprint)) {
        return Flat{}.emit(params, footprint);
    }
    const EndToEnd ridge = endToEnd(footprint);
    return ridgeRoof(footprint, params, ridge.start, ridge.end);
}

}  // namespace lod2fit
