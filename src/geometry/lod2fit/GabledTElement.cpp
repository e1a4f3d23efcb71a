#include "geometry/lod2fit/GabledTElement.h"

#include "geometry/lod2fit/Wings.h"

namespace lod2fit {

SolidMesh GabledTElement::emit(const RoofParams& params, const Footprint& footprint) const {
    return wings::twoWings(params, footprint, wings::gabledHighYHalf, wings::gabledStem);
}

}  // namespace lod2fit
