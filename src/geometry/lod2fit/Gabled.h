#pragma once
// A symmetric saddle roof over four corners, its ridge parallel to p0->p1 above the midpoints
// of the end edges; other footprints get Flat.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class Gabled final : public RoofPrimitive {
public:
    const char* name() const override { return "Gabled"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
