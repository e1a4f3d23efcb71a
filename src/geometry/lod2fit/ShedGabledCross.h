#pragma once
// The gabled strip along x of GabledCross crossed by a shed strip along y, high on its low-x
// side.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class ShedGabledCross final : public RoofPrimitive {
public:
    const char* name() const override { return "ShedGabledCross"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
