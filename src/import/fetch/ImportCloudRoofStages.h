#pragma once
// The parts of the point-cloud roof stages that work on plain records: the points of the frame in
// square buckets, the reconstruction of every footprint on all cores, and the reconstruction's
// summary.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "geodata/GisTypes.h"
#include "geometry/RoofModel.h"

namespace cloudroofs {

// The points of a cloud in square buckets of 10 m, counted from the smallest x and the smallest
// y of all points. Holds a reference to the points.
class PointBuckets {
public:
    static constexpr double kSize = 10.0;

    explicit PointBuckets(const std::vector<ClPoint>& points);

    // The points of the buckets under the box widened by one bucket on each side: bucket columns
    // west to east, within a column rows south to north, and within a bucket the points in cloud
    // order. None for a box that is not finite.
    std::vector<ClPoint> around(const Bbox& box) const;

private:
    const std::vector<ClPoint>& points_;
    double x0_ = 0.0;
    double y0_ = 0.0;
    std::int64_t lastCol_ = 0;
    std::int64_t lastRow_ = 0;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> buckets_;
};

// The reconstruction of one footprint.
struct Reconstructed {
    RoofModel model;      // empty when the footprint held 7 points or fewer
    bool fitted = false;  // reconstructed at all: enough points
    std::string roofType;
    bool ok = false;  // the fit is trusted
    double eaveZ = 0.0;
    double ridgeZ = 0.0;
    double groundZ = 0.0;  // the 2 % height of the points around the footprint
    std::size_t cloudPoints = 0;
    GisPoint centre;  // of the footprint's box
};

// The LoD2 solid of a footprint from the points around it (the roof-primitive registry must be
// filled): the points inside the footprint, or, with fewer than 20 of them, every point around it
// more than 1 m above its ground.
Reconstructed reconstructFootprint(const std::vector<GisPoint>& footprint,
                                   const PointBuckets& buckets);

// Every footprint reconstructed, in footprint order, on all cores while the registry is only
// read. progress hears (0, total) and then the number of footprints done each time one is done,
// up to total - 1, in that order and one call at a time, from whichever thread finished it. An
// exception of any footprint ends the work and is thrown here once all have stopped. stop() is
// asked, from every thread, before each footprint; nothing once it has held.
std::optional<std::vector<Reconstructed>> reconstructAll(
    const std::vector<Building3D>& buildings, const PointBuckets& buckets,
    const std::function<void(int, int)>& progress, const std::function<bool()>& stop);

// The reconstruction's status: tiles, points and buildings, the trusted fits, the roof types by
// name, the roof heights, and a line for each of the first 20 footprints that was reconstructed.
std::string reconstructionStatus(std::size_t tiles, std::size_t points,
                                 const std::vector<Reconstructed>& all);

}  // namespace cloudroofs
