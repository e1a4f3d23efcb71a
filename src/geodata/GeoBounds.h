#pragma once
// Where a sound record can lie: a position on the globe, and a plan point within reach of the
// frame it was asked for. A record that fails either is damaged; the readers that feed the fetch
// stages leave it out and count it, so that one bad coordinate neither lands in the project nor
// sends a stage over an area the size of a continent.

#include <vector>

#include "geodata/GisTypes.h"

namespace geobounds {

// How far a sound record reaches beyond its frame, metres: farther than Poland is wide.
inline constexpr double kFarthestFromFrame = 1.0e6;

// Whether latitude and longitude are finite and within +-90 and +-180 degrees.
bool isLatLon(double lat, double lon);

// Whether the point is finite and lies within kFarthestFromFrame of the frame in both x and y.
bool nearFrame(const GisPoint& p, const Bbox& frame);

// Whether every point of the list is near the frame (true for an empty list).
bool allNearFrame(const std::vector<GisPoint>& points, const Bbox& frame);

// Whether a height is finite and within kFarthestFromFrame of sea level: a vertex a thousand
// kilometres up is as far from the frame as one a thousand kilometres east.
bool heightNearFrame(double z);

}  // namespace geobounds
