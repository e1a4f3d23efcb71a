#pragma once
// An L of two gabled wings with a chamfered outer corner, fitted into the footprint's bounding
// box; the footprint's own shape is ignored.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class FiveSidedGabled final : public RoofPrimitive {
public:
    const char* name() const override { return "FiveSidedGabled"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
