#include "geometry/lod2fit/ShedDormer.h"

#include "geometry/lod2fit/PrimitiveSupport.h"
#include "geometry/lod2fit/Wings.h"

namespace lod2fit {

SolidMesh ShedDormer::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!isBuildableRing(footprint)) {
        return {};
    }
    const PlanBox box = boundingBox(footprint);
    SolidMesh mesh = wings::gabledBox(params, box);
    const double halfDepth = box.ym() - box.miny;
    const DormerPlan plan{box.xm() - params.dormerWidth / 2, box.xm() + params.dormerWidth / 2,
                          box.miny + 0.14 * halfDepth, box.miny + 0.56 * halfDepth};
    // The dormer's roof stands 0.9 above the main roof at the front and 0.3 below it at the back,
    // so it slopes down into the main roof.
    const double frontTop = frontSlopeZ(params, box, plan.yF) + 0.9;
    const double backTop = frontSlopeZ(params, box, plan.yB) - 0.3;
    SolidMesh dormer = dormerBody(plan, params.eaveZ - 0.3, frontTop, backTop);
    dormer.faces.push_back({4, 5, 6, 7});
    appendSolid(mesh, dormer);
    return mesh;
}

}  // namespace lod2fit
