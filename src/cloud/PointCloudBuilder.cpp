#include "cloud/PointCloudBuilder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace {

constexpr std::uint64_t kGolden = 0x9e3779b97f4a7c15ULL;
constexpr std::int64_t kFree = std::numeric_limits<std::int64_t>::min();
constexpr std::size_t kFirstSlots = 1024;

// The index of a voxel along one axis: the floor held within the 64-bit range, leaving its
// lowest value free to mark empty slots.
std::int64_t indexOf(double coordinate, double edge) {
    constexpr double kTop = 9223372036854775807.0;  // 2^63 as a double
    const double i = std::floor(coordinate / edge);
    if (i >= kTop)
        return std::numeric_limits<std::int64_t>::max();
    if (i <= -kTop)
        return kFree + 1;
    return static_cast<std::int64_t>(i);
}

}  // namespace

std::uint64_t PointCloudBuilder::VoxelKeyHash::operator()(const VoxelKey& key) const noexcept {
    auto h = static_cast<std::uint64_t>(key.ix);
    h ^= static_cast<std::uint64_t>(key.iy) + kGolden + (h << 6) + (h >> 2);
    h ^= static_cast<std::uint64_t>(key.iz) + kGolden + (h << 6) + (h >> 2);
    return h;
}

std::size_t PointCloudBuilder::VoxelSet::slotOf(const VoxelKey& key) const {
    // The hash's upper bits after a Fibonacci multiplication spread neighbouring voxels.
    return static_cast<std::size_t>((VoxelKeyHash{}(key)*kGolden) >> shift_);
}

bool PointCloudBuilder::VoxelSet::insert(const VoxelKey& key) {
    if (4 * (size_ + 1) > 3 * slots_.size())
        grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = slotOf(key);; at = (at + 1) & mask) {
        VoxelKey& slot = slots_[at];
        if (slot.ix == kFree) {
            slot = key;
            ++size_;
            return true;
        }
        if (slot == key)
            return false;
    }
}

void PointCloudBuilder::VoxelSet::grow() {
    std::vector<VoxelKey> old = std::move(slots_);
    const std::size_t count = std::max(kFirstSlots, 2 * old.size());
    slots_.assign(count, VoxelKey{kFree, 0, 0});
    shift_ = 64 - std::countr_zero(count);
    const std::size_t mask = count - 1;
    for (const VoxelKey& key : old) {
        if (key.ix == kFree)
            continue;
        std::size_t at = slotOf(key);
        while (slots_[at].ix != kFree)
            at = (at + 1) & mask;
        slots_[at] = key;
    }
}

PointCloudBuilder::VoxelKey PointCloudBuilder::voxelOf(double lx, double ly, double lz,
                                                       double edge) {
    return {indexOf(lx, edge), indexOf(ly, edge), indexOf(lz, edge)};
}

PointCloudBuilder::PointCloudBuilder(const Bbox& frame, int epsg, double voxelEdge)
    : bbox(frame), voxel(voxelEdge), sim(ProjConv::makeSim2000(frame, epsg)) {
    const GisPoint corners[] = {
        sim.toPl2000({frame.minx, frame.miny}), sim.toPl2000({frame.maxx, frame.miny}),
        sim.toPl2000({frame.minx, frame.maxy}), sim.toPl2000({frame.maxx, frame.maxy})};
    anchorX = std::min({corners[0].x, corners[1].x, corners[2].x, corners[3].x});
    anchorY = std::min({corners[0].y, corners[1].y, corners[2].y, corners[3].y});
}

void PointCloudBuilder::setAnchor(double easting, double northing, double height) {
    anchorX = easting;
    anchorY = northing;
    anchorZ = height;
}

void PointCloudBuilder::add(double x, double y, double z, std::uint8_t r, std::uint8_t g,
                            std::uint8_t b) {
    // Written so that a coordinate that is not a number fails the test.
    if (!(x >= bbox.minx && x <= bbox.maxx && y >= bbox.miny && y <= bbox.maxy))
        return;
    const GisPoint zone = sim.toPl2000({x, y});
    const double lx = zone.x - anchorX;
    const double ly = zone.y - anchorY;
    const double lz = z - anchorZ;
    if (!std::isfinite(lx) || !std::isfinite(ly) || !std::isfinite(lz))
        return;
    if (voxel > 0.0 && !voxels.insert(voxelOf(lx, ly, lz, voxel)))
        return;
    points.push_back(ClPoint{lx, ly, lz, r, g, b, 0});
}
