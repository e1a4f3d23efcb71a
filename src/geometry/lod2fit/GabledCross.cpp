#include "geometry/lod2fit/GabledCross.h"

#include "geometry/lod2fit/Wings.h"

namespace lod2fit {

SolidMesh GabledCross::emit(const RoofParams& params, const Footprint& footprint) const {
    return wings::twoWings(params, footprint, wings::gabledStripAlongX, wings::gabledStripAlongY);
}

}  // namespace lod2fit
