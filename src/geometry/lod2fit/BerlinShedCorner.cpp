#include "geometry/lod2fit/BerlinShedCorner.h"

#include "geometry/lod2fit/Wings.h"

namespace lod2fit {

SolidMesh BerlinShedCorner::emit(const RoofParams& params, const Footprint& footprint) const {
    return wings::twoWings(params, footprint, wings::asymLowYHalf, wings::shedLowXHalf);
}

}  // namespace lod2fit
