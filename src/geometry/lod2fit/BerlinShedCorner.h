#pragma once
// The low-y wing of GabledCorner under an off-centre saddle roof, met by the shed of
// ShedGabledCorner.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class BerlinShedCorner final : public RoofPrimitive {
public:
    const char* name() const override { return "BerlinShedCorner"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
