#pragma once
// A saddle roof over four corners whose ridge ends stop hipInset short of the end edges, so the
// ends become sloped hips; other footprints get Flat.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class Hipped final : public RoofPrimitive {
public:
    const char* name() const override { return "Hipped"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
