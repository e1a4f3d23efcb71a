#pragma once
// Flat roofs over building footprints from classified LiDAR points, and the loading of a fetch
// frame's points from LAS/LAZ files.

#include <string>
#include <vector>

#include "geodata/GisTypes.h"
#include "geometry/GroundModel.h"
#include "geometry/RoofModel.h"

class RoofPlacement {
public:
    // The wanted area, EPSG:2180.
    struct Frame {
        double minx = 0.0;
        double miny = 0.0;
        double maxx = 0.0;
        double maxy = 0.0;
    };

    // loadFramePoints over the frame.
    static std::vector<ClPoint> loadPoints(const std::vector<std::string>& paths,
                                           const Frame& frame);
};

// Every point of the files, in file and reading order, with minx <= x <= maxx and
// miny <= y <= maxy; files that do not open are skipped. Nothing is filtered by class or
// reprojected.
std::vector<ClPoint> loadFramePoints(const std::vector<std::string>& paths, const Bbox& frame);

// Whether the boxes overlap; boxes that only touch do.
bool tileIntersectsFrame(const Bbox& a, const Bbox& b);

// The non-ground points at least `least` metres above the ground, in input order. Where the
// ground model has no ground within reach, the lowest of the given points serves as ground.
std::vector<Pt3> pointsAboveGround(const std::vector<ClPoint>& points, const GroundModel& ground,
                                   double least);

// Parameters of buildRoof, with the values the import passes.
struct BuildParams {
    double minCoverage = 0.6;          // least share of footprint cells holding a roof point
    int minPoints = 30;                // least number of roof points
    double minAboveGround = 3.0;       // least height of a roof point above the ground, m
    double fallbackAboveGround = 3.0;  // fallback roof above the ground without roof points, m
    double cellSize = 1.0;             // edge of the coverage cells, m (not above 0: 1.0)
};

// One level roof face over the ring (a repeated closing point is dropped). Roof points are the
// non-ground points inside the ring at least minAboveGround above the ground. With enough of them
// covering enough of the footprint's cells the roof lies at their median height (the upper middle
// value) with flag 0; otherwise at the highest roof point, or the ground under the first corner
// plus fallbackAboveGround when there is none, with flag 1. Quality is the covered share of the
// footprint's cells. A ring of fewer than 3 points, or one over which neither points nor ground
// give any height, yields no face and flag 1.
RoofModel buildRoof(const PlanRing& ring, const std::vector<ClPoint>& points,
                    const GroundModel& ground, const BuildParams& params);
