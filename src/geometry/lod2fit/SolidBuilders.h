#pragma once
// Building blocks of the roof primitives: the arch of a curved roof and the body under a roof.

#include <cstdint>
#include <vector>

#include "geometry/lod2fit/Footprint.h"
#include "geometry/lod2fit/SolidMesh.h"

namespace lod2fit {

// The finest division of a curved profile or ring: finer than any roof shows, and it keeps a
// dome's rings times segments within memory.
constexpr std::int32_t kMostArcSegments = 1024;

// A segment count of a curved roof, from `least` to kMostArcSegments.
std::int32_t arcSegmentCount(std::int32_t requested, std::int32_t least);

// A half-sine arch from (0, 0) up to (span / 2, rise) and down to (span, 0), as segments + 1
// points; fewer than 3 segments become 2, more than kMostArcSegments that many.
std::vector<Vec2> arcProfile(double span, double rise, int segments);

// Floor and walls under a roof: vertices 0..n-1 are the footprint at baseZ, n..2n-1 the footprint
// at topZ[i]; faces are the floor, then one wall quad per footprint edge. topIdx receives the
// indices n..2n-1 of the upper ring, to which the caller's roof faces close the solid. Fewer than
// three points or a height count other than n gives an empty mesh and leaves topIdx untouched.
SolidMesh buildWallsBottom(const Footprint& fp, double baseZ, const std::vector<double>& topZ,
                           std::vector<std::int32_t>& topIdx);

}  // namespace lod2fit
