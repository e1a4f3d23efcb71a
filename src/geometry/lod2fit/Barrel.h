#pragma once
// A vault along x over the box from p0 to p1 and p3, its arched ends and walls in one polygon
// each; needs an axis-parallel rectangle listed from the start of a wall along +x, in either
// orientation, else Flat.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class Barrel final : public RoofPrimitive {
public:
    const char* name() const override { return "Barrel"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
