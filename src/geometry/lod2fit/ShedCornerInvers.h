#pragma once
// Two shed wings meeting in the low corner of the bounding box, each high on its outer side.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class ShedCornerInvers final : public RoofPrimitive {
public:
    const char* name() const override { return "ShedCornerInvers"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
