#pragma once
// A two-pitch saddle roof with vertical gable ends over the box from p0 to p1 and p3; needs an
// axis-parallel rectangle listed from its low corner, else Flat.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class Mansard final : public RoofPrimitive {
public:
    const char* name() const override { return "Mansard"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
