#pragma once
// The parts of the surface-model stages that work on plain records: one height grid over all the
// sheets of a model, and plan rings from the points of the sources.

#include <vector>

#include "geodata/AscGrid.h"
#include "geodata/GisTypes.h"
#include "geometry/RoofModel.h"

namespace surfacestages {

// One grid over the sheets, cut to keep, in the cells of the first sheet: its cell size, aligned
// on its corner. A cell takes the height of the first sheet, in list order, that has one at the
// cell's centre; no data where none has. An empty grid without sheets or when they lie wholly
// outside keep.
AscGrid mosaic(std::vector<AscGrid> sheets, const Bbox& keep);

// The points as (x, y) pairs, in order.
PlanRing planRingOf(const std::vector<GisPoint>& points);

}  // namespace surfacestages
