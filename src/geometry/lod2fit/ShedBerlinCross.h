#pragma once
// The strip along x of GabledCross under an off-centre saddle roof, crossed by the shed strip of
// ShedGabledCross.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class ShedBerlinCross final : public RoofPrimitive {
public:
    const char* name() const override { return "ShedBerlinCross"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
