#pragma once
// A pyramid over any footprint, its apex above the mean of the corners.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class Tent final : public RoofPrimitive {
public:
    const char* name() const override { return "Tent"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
