#pragma once
// Two gabled strips crossing in the middle of the bounding box, half its depth and half its
// width wide.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class GabledCross final : public RoofPrimitive {
public:
    const char* name() const override { return "GabledCross"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
