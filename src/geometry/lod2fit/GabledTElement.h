#pragma once
// A gabled wing over the high-y half of the bounding box crossed by a gabled stem of 0.44 of
// its width over the full depth.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class GabledTElement final : public RoofPrimitive {
public:
    const char* name() const override { return "GabledTElement"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
