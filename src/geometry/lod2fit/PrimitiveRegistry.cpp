#include "geometry/lod2fit/PrimitiveRegistry.h"

#include "geometry/lod2fit/AsymGabled.h"
#include "geometry/lod2fit/Barrel.h"
#include "geometry/lod2fit/BerlinRoof.h"
#include "geometry/lod2fit/BerlinShedCorner.h"
#include "geometry/lod2fit/Cone.h"
#include "geometry/lod2fit/Dome.h"
#include "geometry/lod2fit/FiveSidedGabled.h"
#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/Gabled.h"
#include "geometry/lod2fit/GabledCorner.h"
#include "geometry/lod2fit/GabledCross.h"
#include "geometry/lod2fit/GabledDormer.h"
#include "geometry/lod2fit/GabledTElement.h"
#include "geometry/lod2fit/HalfHipped.h"
#include "geometry/lod2fit/Hipped.h"
#include "geometry/lod2fit/HippedOneSided.h"
#include "geometry/lod2fit/Mansard.h"
#include "geometry/lod2fit/Nave.h"
#include "geometry/lod2fit/Shed.h"
#include "geometry/lod2fit/ShedBerlinCross.h"
#include "geometry/lod2fit/ShedCornerInvers.h"
#include "geometry/lod2fit/ShedDormer.h"
#include "geometry/lod2fit/ShedGabledCorner.h"
#include "geometry/lod2fit/ShedGabledCross.h"
#include "geometry/lod2fit/Tent.h"

namespace lod2fit {
namespace {

std::vector<const RoofPrimitive*>& registry() {
    static std::vector<const RoofPrimitive*> list;
    return list;
}

}  // namespace

void registerAllPrimitives() {
    static const Flat flat;
    static const Shed shed;
    static const Gabled gabled;
    static const Hipped hipped;
    static const Tent tent;
    static const HalfHipped halfHipped;
    static const HippedOneSided hippedOneSided;
    static const Mansard mansard;
    static const FiveSidedGabled fiveSidedGabled;
    static const AsymGabled asymGabled;
    static const BerlinRoof berlinRoof;
    static const Barrel barrel;
    static const Cone cone;
    static const Dome dome;
    static const Nave nave;
    static const GabledCross gabledCross;
    static const GabledCorner gabledCorner;
    static const GabledTElement gabledTElement;
    static const ShedGabledCross shedGabledCross;
    static const ShedBerlinCross shedBerlinCross;
    static const ShedCornerInvers shedCornerInvers;
    static const ShedGabledCorner shedGabledCorner;
    static const BerlinShedCorner berlinShedCorner;
    static const ShedDormer shedDormer;
    static const GabledDormer gabledDormer;
    registry() = {&flat,
                  &shed,
                  &gabled,
                  &hipped,
                  &tent,
                  &halfHipped,
                  &hippedOneSided,
                  &mansard,
                  &fiveSidedGabled,
                  &asymGabled,
                  &berlinRoof,
                  &barrel,
                  &cone,
                  &dome,
                  &nave,
                  &gabledCross,
                  &gabledCorner,
                  &gabledTElement,
                  &shedGabledCross,
                  &shedBerlinCross,
                  &shedCornerInvers,
                  &shedGabledCorner,
                  &berlinShedCorner,
                  &shedDormer,
                  &gabledDormer};
}

void registerRoof(const RoofPrimitive* primitive) {
    if (primitive != nullptr) {
        registry().push_back(primitive);
    }
}

const RoofPrimitive* findPrimitive(std::string_view name) {
    for (const RoofPrimitive* p : registry()) {
        if (name == p->name()) {
            return p;
        }
    }
    return nullptr;
}

const std::vector<const RoofPrimitive*>& registeredPrimitives() {
    return registry();
}

}  // namespace lod2fit
