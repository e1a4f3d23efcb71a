#pragma once
// Corridors of bridges and roads: the polygon around a centre line at given distances to its
// left and right, and the measurement of those distances on the surface model.

#include <vector>

#include "geometry/NdsmModel.h"
#include "geometry/RoofModel.h"

// How buildCorridor takes the offsets; any other value behaves as kOwnOffsets.
using BridgeShapeMode = int;
// Every point its own offsets.
constexpr BridgeShapeMode kOwnOffsets = 0;
// Every point the upper median of the left offsets and the upper median of the right ones.
constexpr BridgeShapeMode kMedianOffsets = 1;

// Parameters of measureOffsets.
struct BridgeParams {
    double spacing = 0.0;        // between resampled centre-line points, m (not above 0: 1.0)
    double reach = 0.0;          // greatest probe distance, m
    double probeStep = 0.0;      // between probes, m (not above 0: 1.0)
    double minHeight = 0.0;      // a probe passes where surface - terrain exceeds this, m
    double defaultOffset = 0.0;  // for a side that measures nothing, m
};

// The corridor around a centre line in travel order: the left edge forwards, then the right
// edge backwards, 2n points as an open ring. Each point moves along the unit left normal of the
// line through its neighbours (its one neighbour at an end; no move where they coincide), by
// its left offset, or against it by its right offset. Empty for fewer than 2 points or when an
// offset list does not hold one value per point.
PlanRing buildCorridor(const PlanRing& centreLine, const std::vector<double>& left,
                       const std::vector<double>& right, BridgeShapeMode mode);

// Resamples the centre line at the spacing and measures, at each resampled point, how far the
// raised surface (surface - terrain above minHeight) reaches to the left and to the right in
// probe steps, up to the reach. A side that measures nothing takes the default offset; with at
// least 3 points both lists are smoothed by a running median of three. All three outputs stay
// empty for a centre line without a segment of positive length.
void measureOffsets(const PlanRing& centreLine, const NdsmModel& model, const BridgeParams& params,
                    PlanRing& points, std::vector<double>& left, std::vector<double>& right);
