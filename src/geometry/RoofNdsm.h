#pragma once
// Buildings from the normalised surface model: a flat roof over a footprint at the typical
// surface height inside it, with walls from the roof edge down to the terrain.

#include "geometry/NdsmModel.h"
#include "geometry/RoofModel.h"

// Parameters of buildRoofNdsm, with the values the import passes.
struct RoofNdsmParams {
    double step = 0.5;         // spacing of the samples in x and y, m (not above 0: 1.0)
    double minHeight = 1.0;    // a sample stands above the ground when surface - terrain exceeds it
    double minQuality = 0.35;  // below this share of standing samples the model is flagged
    double minWall = 1.0;      // a wall needs one end of its edge at least this far below the roof
};

// One roof face, the ring (open or closed) at the upper median surface height of the samples
// inside it, followed by one wall quad per ring edge, in edge order, where the terrain is known
// at both ends and at least one end lies minWall below the roof. Quality is the share of inside
// samples standing above the ground; flag 1 when it is below minQuality. A footprint without an
// inside sample takes the surface at the mean of its points as the roof (quality 0). A ring of
// fewer than 3 points, one with a coordinate that is not finite, or one with no surface value
// at all gives no face and flag 1.
RoofModel buildRoofNdsm(const PlanRing& ring, const NdsmModel& model, const RoofNdsmParams& params);
