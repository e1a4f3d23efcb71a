#include "geometry/lod2fit/Wings.h"

#include "geometry/lod2fit/AsymGabled.h"
#include "geometry/lod2fit/Gabled.h"
#include "geometry/lod2fit/PrimitiveSupport.h"
#include "geometry/lod2fit/Shed.h"

namespace lod2fit::wings {
namespace {

constexpr double kStemHalfShare = 0.22;  // half the T's stem width, as a share of the box width

// Shed rises to the left of its axis: (0, 1) puts the high side at low x, (-1, 0) at low y.
constexpr Vec2 kHighAtLowX{0.0, 1.0};
constexpr Vec2 kHighAtLowY{-1.0, 0.0};

Footprint stripAlongX(const PlanBox& b) {
    return boxRing(b.minx, b.ym() - b.dy() / 4, b.maxx, b.ym() + b.dy() / 4);
}

Footprint lowYHalf(const PlanBox& b) {
    return boxRing(b.minx, b.miny, b.maxx, b.ym());
}

}  // namespace

SolidMesh twoWings(const RoofParams& params, const Footprint& footprint, WingBuilder first,
                   WingBuilder second) {
    if (!isBuildableRing(footprint)) {
        return {};
    }
    const PlanBox box = boundingBox(footprint);
    SolidMesh mesh = first(params, box);
    appendSolid(mesh, second(params, box));
    return mesh;
}

SolidMesh gabledBox(const RoofParams& params, const PlanBox& b) {
    return Gabled{}.emit(params, boxRing(b.minx, b.miny, b.maxx, b.maxy));
}

SolidMesh gabledStripAlongX(const RoofParams& params, const PlanBox& b) {
    return Gabled{}.emit(params, stripAlongX(b));
}

SolidMesh asymStripAlongX(const RoofParams& params, const PlanBox& b) {
    return AsymGabled{}.emit(params, stripAlongX(b));
}

SolidMesh gabledStripAlongY(const RoofParams& params, const PlanBox& b) {
    const double right = b.xm() + b.dx() / 4;
    const double left = b.xm() - b.dx() / 4;
    return Gabled{}.emit(params,
                         quad({right, b.miny}, {right, b.maxy}, {left, b.maxy}, {left, b.miny}));
}

SolidMesh shedStripAlongY(const RoofParams& params, const PlanBox& b) {
    const Footprint strip = boxRing(b.xm() - b.dx() / 4, b.miny, b.xm() + b.dx() / 4, b.maxy);
    return Shed{}.emit(withAxis(params, kHighAtLowX), strip);
}

SolidMesh gabledHighYHalf(const RoofParams& params, const PlanBox& b) {
    return Gabled{}.emit(params, boxRing(b.minx, b.ym(), b.maxx, b.maxy));
}

SolidMesh gabledStem(const RoofParams& params, const PlanBox& b) {
    const double right = b.xm() + kStemHalfShare * b.dx();
    const double left = b.xm() - kStemHalfShare * b.dx();
    return Gabled{}.emit(params,
                         quad({right, b.miny}, {right, b.maxy}, {left, b.maxy}, {left, b.miny}));
}

SolidMesh gabledLowYHalf(const RoofParams& params, const PlanBox& b) {
    return Gabled{}.emit(params, lowYHalf(b));
}

SolidMesh asymLowYHalf(const RoofParams& params, const PlanBox& b) {
    return AsymGabled{}.emit(params, lowYHalf(b));
}

SolidMesh gabledLowXHalf(const RoofParams& params, const PlanBox& b) {
    return Gabled{}.emit(
        params, quad({b.xm(), b.miny}, {b.xm(), b.maxy}, {b.minx, b.maxy}, {b.minx, b.miny}));
}

SolidMesh shedLowXHalf(const RoofParams& params, const PlanBox& b) {
    return Shed{}.emit(withAxis(params, kHighAtLowX), boxRing(b.minx, b.miny, b.xm(), b.maxy));
}

SolidMesh shedLowYHalf(const RoofParams& params, const PlanBox& b) {
    return Shed{}.emit(withAxis(params, kHighAtLowY), lowYHalf(b));
}

}  // namespace lod2fit::wings
