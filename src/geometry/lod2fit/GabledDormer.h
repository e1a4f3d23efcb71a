#pragma once
// A saddle roof over the bounding box with dormerCount gabled dormers on its low-y slope.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class GabledDormer final : public RoofPrimitive {
public:
    const char* name() const override { return "GabledDormer"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
