#include "geometry/lod2fit/ShedGabledCross.h"

#include "geometry/lod2fit/Wings.h"

namespace lod2fit {

SolidMesh ShedGabledCross::emit(const RoofParams& params, const Footprint& footprint) const {
    return wings::twoWings(params, footprint, wings::gabledStripAlongX, wings::shedStripAlongY);
}

}  // namespace lod2fit
