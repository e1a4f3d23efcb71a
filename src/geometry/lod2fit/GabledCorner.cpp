#include "geometry/lod2fit/GabledCorner.h"

#include "geometry/lod2fit/Wings.h"

namespace lod2fit {

SolidMesh GabledCorner::emit(const RoofParams& params, const Footprint& footprint) const {
    return wings::twoWings(params, footprint, wings::gabledLowYHalf, wings::gabledLowXHalf);
}

}  // namespace lod2fit
