#include "geometry/lod2fit/Flat.h"

#include "geometry/lod2fit/PrimitiveSupport.h"

namespace lod2fit {

SolidMesh Flat::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!isBuildableRing(footprint)) {
        return {};
    }
    std::vector<std::int32_t> top;
    SolidMesh mesh = eaveWalls(footprint, params, top);
    mesh.faces.push_back(top);
    return mesh;
}

}  // namespace lod2fit
