#pragma once
// Two gabled wings meeting in the low-x, low-y corner of the bounding box.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class GabledCorner final : public RoofPrimitive {
public:
    const char* name() const override { return "GabledCorner"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
