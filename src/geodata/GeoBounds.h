#pragma once
// Where a sound record can lie: a position on the globe, and a plan point within reach of the
// frame it was asked for. A record that fails either is damaged; the readers that feed the fetch
// stages leave it out and count it, so that one bad coordinate neither lands in the project nor
// sends a stage over an area the size of a continent. And where the page may ask for data at
// all: the reach of the Polish coordinate systems.

#include <vector>

#include "geodata/GisTypes.h"

namespace geobounds {

// How far a sound record reaches beyond its frame, metres: farther than Poland is wide.
inline constexpr double kFarthestFromFrame = 1.0e6;

// Whether latitude and longitude are finite and within +-90 and +-180 degrees.
bool isLatLon(double lat, double lon);

// The reach of the PL-1992 and PL-2000 systems, and so of the data: the area of use of PL-1992
// (EPSG:2180; longitude 14.14 to 24.15, latitude 49.0 to 54.89 degrees) widened by half a degree
// (some 32 to 56 km) on every side. Beyond it the projections give numbers far from any sheet,
// and far enough out none at all. A point counts as within when it lies in the box, edges
// included; a frame when it lies wholly in it.
inline constexpr double kReachWest = 13.64;
inline constexpr double kReachEast = 24.65;
inline constexpr double kReachSouth = 48.5;
inline constexpr double kReachNorth = 55.39;

// What the page is told of a point and of a frame outside the reach.
inline constexpr const char* kPointOutOfReach =
    "Punkt poza zasiegiem ukladow PL-1992/PL-2000 - dane obejmuja tylko Polske.";
inline constexpr const char* kFrameOutOfReach =
    "Obszar poza zasiegiem ukladow PL-1992/PL-2000 - dane obejmuja tylko Polske.";

bool withinReach(double lat, double lon);
// A frame given by two opposite corners (longitude, latitude), in either order.
bool frameWithinReach(double lon0, double lat0, double lon1, double lat1);

// Whether the point is finite and lies within kFarthestFromFrame of the frame in both x and y.
bool nearFrame(const GisPoint& p, const Bbox& frame);

// Whether every point of the list is near the frame (true for an empty list).
bool allNearFrame(const std::vector<GisPoint>& points, const Bbox& frame);

// Whether a height is finite and within kFarthestFromFrame of sea level: a vertex a thousand
// kilometres up is as far from the frame as one a thousand kilometres east.
bool heightNearFrame(double z);

}  // namespace geobounds
