#pragma once
// A saddle roof over four corners, hipped at the p1->p2 end and gabled at the p3->p0 end;
// other footprints get Flat.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class HippedOneSided final : public RoofPrimitive {
public:
    const char* name() const override { return "HippedOneSided"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
