#pragma once
// A single plane over any footprint, rising across the main axis from eaveZ on its right
// to ridgeZ on its left.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class Shed final : public RoofPrimitive {
public:
    const char* name() const override { return "Shed"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
