#pragma once
// A round building inscribed in the bounding box under a hemispherical cap.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class Dome final : public RoofPrimitive {
public:
    const char* name() const override { return "Dome"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
