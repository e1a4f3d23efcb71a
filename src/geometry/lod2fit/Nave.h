#pragma once
// A saddle-roofed hall over the bounding box with a semicircular apse on its low-x side; other
// than four corners give Flat.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class Nave final : public RoofPrimitive {
public:
    const char* name() const override { return "Nave"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
