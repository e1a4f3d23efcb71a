#pragma once
// A parametric roof: turns a footprint and a parameter record into one closed solid (bottom face,
// vertical walls, roof faces) in the footprint's own plan frame.
//
// Primitives are stateless and immutable; emit may run on any thread. Footprints arrive in the
// building's local frame, with x the main (ridge) direction. Face windings are left as built;
// normalizeOutwardNormals turns them outward. A footprint the primitive cannot shape gives the
// fallback its class names, and a ring without area an empty mesh.

#include "geometry/lod2fit/Footprint.h"
#include "geometry/lod2fit/RoofParams.h"
#include "geometry/lod2fit/SolidMesh.h"

namespace lod2fit {

class RoofPrimitive {
public:
    virtual ~RoofPrimitive() = default;
    virtual const char* name() const = 0;
    virtual SolidMesh emit(const RoofParams& params, const Footprint& footprint) const = 0;
};

}  // namespace lod2fit
