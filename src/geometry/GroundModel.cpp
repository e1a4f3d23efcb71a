#include "geometry/GroundModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "geometry/CellKey.h"

namespace {

// Rings searched at most, so that a very small cell does not make each miss expensive.
constexpr std::int64_t kMostRings = 64;

}  // namespace

GroundModel::GroundModel(const std::vector<ClPoint>& points, double cell)
    : cell_(cell > 0.0 ? cell : 1.0) {
    if (points.empty()) {
        return;
    }
    x0_ = std::numeric_limits<double>::max();
    y0_ = std::numeric_limits<double>::max();
    for (const ClPoint& p : points) {
        x0_ = std::min(x0_, p.x);
        y0_ = std::min(y0_, p.y);
    }
    for (const ClPoint& p : points) {
        if (p.cls != kGroundClass || !std::isfinite(p.x) || !std::isfinite(p.y) ||
            !std::isfinite(p.z)) {
            continue;
        }
        const auto [it, inserted] = cells_.try_emplace(key(p.x, p.y), p.z);
        if (!inserted && p.z < it->second) {
            it->second = p.z;
        }
    }
}

std::uint64_t GroundModel::key(double x, double y) const {
    return packCellKey(cellIndex(x - x0_, cell_), cellIndex(y - y0_, cell_));
}

bool GroundModel::lowestOnRing(std::int64_t ix, std::int64_t iy, std::int64_t r, double& z) const {
    bool found = false;
    auto visit = [&](std::int64_t cx, std::int64_t cy) {
        const auto it = cells_.find(packCellKey(cx, cy));
        if (it != cells_.end() && (!found || it->second < z)) {
            z = it->second;
            found = true;
        }
    };
    for (std::int64_t d = -r; d <= r; ++d) {
        visit(ix + d, iy - r);
        visit(ix + d, iy + r);
    }
    for (std::int64_t d = -r + 1; d <= r - 1; ++d) {
        visit(ix - r, iy + d);
        visit(ix + r, iy + d);
    }
    return found;
}

GroundHeight GroundModel::lookup(double x, double y) const {
    const GroundHeight none{std::numeric_limits<double>::quiet_NaN(), GroundSource::None};
    if (cells_.empty()) {
        return none;
    }
    const std::int64_t ix = cellIndex(x - x0_, cell_);
    const std::int64_t iy = cellIndex(y - y0_, cell_);
    if (const auto it = cells_.find(packCellKey(ix, iy)); it != cells_.end()) {
        return {it->second, GroundSource::OwnCell};
    }
    double z = 0.0;
    if (lowestOnRing(ix, iy, 1, z)) {
        return {z, GroundSource::Neighbours};
    }
    const auto rings = std::min(kMostRings, static_cast<std::int64_t>(std::ceil(kReach / cell_)));
    for (std::int64_t r = 2; r <= rings; ++r) {
        if (lowestOnRing(ix, iy, r, z)) {
            return {z, GroundSource::Wider};
        }
    }
    return none;
}
