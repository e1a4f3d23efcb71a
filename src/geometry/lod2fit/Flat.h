#pragma once
// A level roof over any footprint: the eave ring closes the solid.

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

class Flat final : public RoofPrimitive {
public:
    const char* name() const override { return "Flat"; }
    SolidMesh emit(const RoofParams& params, const Footprint& footprint) const override;
};

}  // namespace lod2fit
