#pragma once
// A saddle roof over the bounding box with one shed dormer in the middle of its low-y slope.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class ShedDormer final : public RoofPrimitive {
public:
    const char* name() const override { return "ShedDormer"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
