#include "geometry/lod2fit/ShedGabledCorner.h"

#include "geometry/lod2fit/Wings.h"

namespace lod2fit {

SolidMesh ShedGabledCorner::emit(const RoofParams& params, const Footprint& footprint) const {
    return wings::twoWings(params, footprint, wings::gabledLowYHalf, wings::shedLowXHalf);
}

}  // namespace lod2fit
