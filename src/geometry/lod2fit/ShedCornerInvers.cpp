#include "geometry/lod2fit/ShedCornerInvers.h"

#include "geometry/lod2fit/Wings.h"

namespace lod2fit {

SolidMesh ShedCornerInvers::emit(const RoofParams& params, const Footprint& footprint) const {
    return wings::twoWings(params, footprint, wings::shedLowYHalf, wings::shedLowXHalf);
}

}  // namespace lod2fit
