#pragma once
// A saddle roof over four corners with the ridge off-centre, at 68 % of the depth from the
// edge p0->p1; other footprints get Flat.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class AsymGabled final : public RoofPrimitive {
public:
    const char* name() const override { return "AsymGabled"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
