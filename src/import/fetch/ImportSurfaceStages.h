#pragma once
// The parts of the surface-model stages that work on plain records: plan rings from the points
// of the sources.

#include <vector>

#include "geodata/GisTypes.h"
#include "geometry/RoofModel.h"

namespace surfacestages {

// The points as (x, y) pairs, in order.
PlanRing planRingOf(const std::vector<GisPoint>& points);

}  // namespace surfacestages
