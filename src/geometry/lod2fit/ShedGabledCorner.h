#pragma once
// The gabled low-y wing of GabledCorner met by a shed over the low-x half, high on its outer
// side.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class ShedGabledCorner final : public RoofPrimitive {
public:
    const char* name() const override { return "ShedGabledCorner"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
