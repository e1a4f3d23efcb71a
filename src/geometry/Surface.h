#pragma once
// Bridge decks and road surfaces: a triangulated surface draped over a corridor polygon from the
// normalised surface model.

#include "geodata/GisTypes.h"
#include "geometry/NdsmModel.h"
#include "geometry/RoofModel.h"

struct SurfaceParams {
    double step = 0.5;        // cell size of the sampling grid, m (not above 0: 1.0)
    double minHeight = 1.0;   // a cell is raised when surface - terrain at its centre exceeds it
    double minQuality = 0.0;  // below this share of raised cells the surface becomes one flat face
    bool sampleTerrain = false;  // heights from the terrain grid instead of the surface grid
    bool clip = false;           // sample only inside the clip box
    Bbox clipBox;
};

// Cells of `step` from the least corner of the ring's box (cut to the clip box when clip is
// set), rows from the south, columns from the west, at least one of each. A cell whose four
// corners lie inside the ring (even-odd rule) and have a height in the chosen grid gives two
// triangles through those corner heights, (00, 10, 11) and (00, 11, 01). Quality is the share of
// such cells that are raised. With at least one cell and quality >= minQuality the triangles, in
// cell order, form the result's mesh (cells share their corners), flag 0. Otherwise the whole
// ring becomes one level face, flag 1, at the upper median of the cells' first-corner heights,
// or, without any cell, at the chosen grid's height at the box's centre.
// A ring of fewer than 3 points, with a coordinate that is not finite, clipped away, or without
// any height gives no face and flag 1.
RoofModel buildSurface(const PlanRing& ring, const NdsmModel& model, const SurfaceParams& params);
