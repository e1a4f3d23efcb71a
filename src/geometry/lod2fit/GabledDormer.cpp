#include "geometry/lod2fit/GabledDormer.h"

#include <algorithm>

#include "geometry/lod2fit/PrimitiveSupport.h"
#include "geometry/lod2fit/Wings.h"

namespace lod2fit {
namespace {

// A dormer's cross-section: front and back planes, floor, eave and ridge heights.
struct DormerSection {
    double yF = 0.0;
    double yB = 0.0;
    double floorZ = 0.0;
    double eaveZ = 0.0;
    double ridgeZ = 0.0;
};

DormerSection section(const RoofParams& params, const PlanBox& box) {
    const double halfDepth = box.ym() - box.miny;
    const double rise = params.ridgeZ - params.eaveZ;
    DormerSection s;
    s.yF = box.miny + 0.13 * halfDepth;
    const double frontZ = frontSlopeZ(params, box, s.yF);
    s.eaveZ = frontZ + 0.5;
    s.ridgeZ = frontZ + 1.4;
    // The back plane lies where the main roof stands 0.1 of its rise above the dormer's ridge;
    // a level main roof never gets there, and the dormer then reaches 0.95 of the way up.
    const double backShare =
        rise != 0.0 ? std::min((s.ridgeZ - params.eaveZ) / rise + 0.1, 0.95) : 0.95;
    s.yB = box.miny + backShare * halfDepth;
    s.floorZ = params.eaveZ - 0.3;
    return s;
}

SolidMesh dormer(const DormerSection& s, double cx, double width) {
    SolidMesh mesh =
        dormerBody({cx - width / 2, cx + width / 2, s.yF, s.yB}, s.floorZ, s.eaveZ, s.eaveZ);
    addVertex(mesh, {cx, s.yF, s.ridgeZ});  // 8
    addVertex(mesh, {cx, s.yB, s.ridgeZ});  // 9
    mesh.faces.push_back({4, 7, 9, 8});
    mesh.faces.push_back({5, 8, 9, 6});
    mesh.faces.push_back({4, 5, 8});
    mesh.faces.push_back({6, 9, 7});
    return mesh;
}

}  // namespace

SolidMesh GabledDormer::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!isBuildableRing(footprint)) {
        return {};
    }
    const PlanBox box = boundingBox(footprint);
    SolidMesh mesh = wings::gabledBox(params, box);
    const DormerSection s = section(params, box);
    const bool several = params.dormerCount >= 2;
    const int count = several ? params.dormerCount : 1;
    for (int i = 0; i < count; ++i) {
        const double t = several ? (i + 1.0) / (count + 1.0) : 0.5;
        appendSolid(mesh, dormer(s, box.minx + t * box.dx(), params.dormerWidth));
    }
    return mesh;
}

}  // namespace lod2fit
