#include "geometry/lod2fit/BerlinRoof.h"

#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/PrimitiveSupport.h"

namespace lod2fit {

SolidMesh BerlinRoof::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!spansBoxFromLowestCorner(footprint)) {
        return Flat{}.emit(params, footprint);
    }
    SolidMesh mesh = twoPitchLower(footprint, params);
    mesh.faces.push_back({8, 9, 10, 11});
    mesh.faces.push_back({4, 8, 11, 7});
    mesh.faces.push_back({5, 6, 10, 9});
    return mesh;
}

}  // namespace lod2fit
