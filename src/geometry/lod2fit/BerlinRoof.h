#pragma once
// Steep lower slopes ending in a flat top at the break height, with vertical end faces, over the
// box from p0 to p1 and p3; needs an axis-parallel rectangle listed from its low corner, else Flat.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class BerlinRoof final : public RoofPrimitive {
public:
    const char* name() const override { return "BerlinRoof"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
