#include "geodata/GeoBounds.h"

#include <algorithm>
#include <cmath>

namespace geobounds {

bool isLatLon(double lat, double lon) {
    return std::isfinite(lat) && std::isfinite(lon) && std::abs(lat) <= 90.0 &&
           std::abs(lon) <= 180.0;
}

bool withinReach(double lat, double lon) {
    // Written so that a NaN coordinate fails every comparison.
    return lat >= kReachSouth && lat <= kReachNorth && lon >= kReachWest && lon <= kReachEast;
}

bool frameWithinReach(double lon0, double lat0, double lon1, double lat1) {
    return withinReach(lat0, lon0) && withinReach(lat1, lon1);
}

bool nearFrame(const GisPoint& p, const Bbox& frame) {
    // Written so that a NaN coordinate fails every comparison.
    return p.x >= frame.minx - kFarthestFromFrame && p.x <= frame.maxx + kFarthestFromFrame &&
           p.y >= frame.miny - kFarthestFromFrame && p.y <= frame.maxy + kFarthestFromFrame;
}

bool allNearFrame(const std::vector<GisPoint>& points, const Bbox& frame) {
    return std::all_of(points.begin(), points.end(),
                       [&frame](const GisPoint& p) { return nearFrame(p, frame); });
}

bool heightNearFrame(double z) {
    return std::abs(z) <= kFarthestFromFrame;
}

}  // namespace geobounds
