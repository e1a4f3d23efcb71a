#include "geometry/lod2fit/ShedBerlinCross.h"

#include "geometry/lod2fit/Wings.h"

namespace lod2fit {

SolidMesh ShedBerlinCross::emit(const RoofParams& params, const Footprint& footprint) const {
    return wings::twoWings(params, footprint, wings::asymStripAlongX, wings::shedStripAlongY);
}

}  // namespace lod2fit
