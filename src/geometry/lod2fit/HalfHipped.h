#pragma once
// A saddle roof whose ends are vertical half-gables up to halfHipRatio of the roof height and
// small hips above; needs an axis-parallel rectangle listed from the start of a wall along +x, in
// either orientation, else Flat.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class HalfHipped final : public RoofPrimitive {
public:
    const char* name() const override { return "HalfHipped"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
