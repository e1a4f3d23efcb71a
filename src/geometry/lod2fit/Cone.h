#pragma once
// A round tower inscribed in the bounding box under a conical roof.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class Cone final : public RoofPrimitive {
public:
    const char* name() const override { return "Cone"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
