#pragma once
// The roof points of a building's cloud: those well above the ground, with eave and ridge height
// estimates from their height quantiles.

#include <vector>

#include "geometry/lod2fit/Vec3.h"

namespace lod2fit {

struct RoofBand {
    std::vector<Vec3> points;
    double eaveZ = 0.0;
    double ridgeZ = 0.0;
    bool ok = false;  // enough points, and the two heights are set
};

// Heights sorted ascending, interpolated linearly at position p * (n - 1); 0.0 when empty.
double quantileOfSorted(const std::vector<double>& sorted, double p);

// The points above groundZ + max(0.4 * (98th height percentile - groundZ), 2 m), or, when fewer
// than 30 lie there, above groundZ + 2 m. At least 12 band points make the band ok, with the eave
// at their 10th height percentile and the ridge at their 95th (at least 0.1 m above the eave).
// Fewer than 8 points give an empty band; points without a finite height are left out.
RoofBand extractRoofBand(const std::vector<Vec3>& points, double groundZ);

}  // namespace lod2fit
