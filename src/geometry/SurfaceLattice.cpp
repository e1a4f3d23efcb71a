#include "geometry/SurfaceLattice.h"

#include <algorithm>
#include <cmath>
#include <limits>

double usableStep(double step) {
    return std::isfinite(step) && step > 0.0 ? step : 1.0;
}

bool ringBox(const PlanRing& ring, Bbox& box) {
    if (ring.empty()) {
        return false;
    }
    box = {ring.front().first, ring.front().second, ring.front().first, ring.front().second};
    for (const auto& [x, y] : ring) {
        if (!std::isfinite(x) || !std::isfinite(y)) {
            return false;
        }
        box.minx = std::min(box.minx, x);
        box.miny = std::min(box.miny, y);
        box.maxx = std::max(box.maxx, x);
        box.maxy = std::max(box.maxy, y);
    }
    return true;
}

bool gridReach(const FloatGrid& grid, Bbox& reach) {
    const double c = grid.cellsize;
    if (grid.z.empty() || !(c > 0.0)) {
        return false;
    }
    reach = {grid.xll - c, grid.yll - c, grid.xll + (grid.ncols + 1.0) * c,
             grid.yll + (grid.nrows + 1.0) * c};
    return std::isfinite(reach.minx) && std::isfinite(reach.miny) && std::isfinite(reach.maxx) &&
           std::isfinite(reach.maxy);
}

double upperMedian(std::vector<double> values) {
    const auto mid = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), mid, values.end());
    return *mid;
}

namespace {

// Twice the stride, as long as that fits.
std::int64_t doubled(std::int64_t stride) {
    return stride < std::numeric_limits<std::int64_t>::max() / 2 ? 2 * stride : stride;
}

// How many nodes of `step` a span of `extent` holds, with one to spare for the rounding at either
// end; 0 for a span that is not a number.
std::int64_t nodesWithin(double extent, double step) {
    // Past 2^53 the count no longer matters: no loop gets that far.
    constexpr double kMost = 9007199254740992.0;
    const double nodes = std::floor(extent / step) + 2.0;
    if (!(nodes > 0.0))
        return 0;
    return static_cast<std::int64_t>(std::min(nodes, kMost));
}

}  // namespace

std::int64_t Lattice::firstColumnFrom(double v, std::int64_t limit) const {
    // x() never falls as the index grows, so the columns that reach v follow all those that do
    // not. A guess from the division, clamped before the conversion, is right or next to it on a
    // lattice whose coordinates resolve its step; where they do not (an origin far out in the
    // billions of kilometres), the bracket around the answer widens by doubling strides and is
    // then halved, so the search costs some hundred steps, not one per column.
    const auto reaches = [&](std::int64_t i) { return x(i) >= v; };
    // The least column of [low, high) that reaches v; high when none does.
    const auto bisect = [&](std::int64_t low, std::int64_t high) {
        while (low < high) {
            const std::int64_t mid = low + (high - low) / 2;
            if (reaches(mid))
                high = mid;
            else
                low = mid + 1;
        }
        return low;
    };
    const double guess = std::ceil((v - x0) / step);
    std::int64_t i = 0;
    if (guess >= static_cast<double>(limit)) {
        i = limit;
    } else if (guess > 0.0) {
        i = static_cast<std::int64_t>(guess);
    }
    if (i > 0 && reaches(i - 1)) {
        // Down: i - 1 reaches v; widen until a column that does not.
        std::int64_t high = i - 1;
        for (std::int64_t stride = 1; high > 0; stride = doubled(stride)) {
            const std::int64_t low = std::max<std::int64_t>(high - stride, 0);
            if (!reaches(low))
                return bisect(low + 1, high);
            high = low;
        }
        return 0;
    }
    if (i < limit && !reaches(i)) {
        // Up: i does not reach v; widen until a column that does, or the limit.
        std::int64_t low = i;
        for (std::int64_t stride = 1;; stride = doubled(stride)) {
            const std::int64_t high = stride < limit - low ? low + stride : limit;
            if (high == limit || reaches(high))
                return bisect(low + 1, high);
            low = high;
        }
    }
    return i;
}

ColumnRun Lattice::columnsWithin(double low, double high, std::int64_t limit) const {
    const std::int64_t first = firstColumnFrom(low, limit);
    // The first column beyond high is the first at or after the next double above it.
    const std::int64_t end = firstColumnFrom(std::nextafter(high, HUGE_VAL), limit);
    return {first, std::min(end, first + nodesWithin(high - low, step))};
}

RingRowScan::RingRowScan(const PlanRing& ring) {
    const std::size_t n = ring.size();
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const auto [xb, yb] = ring[i];
        const auto [xa, ya] = ring[j];
        if (ya != yb) {
            pending_.push_back({xa, ya, xb, yb, std::min(ya, yb), std::max(ya, yb)});
        }
    }
    std::sort(pending_.begin(), pending_.end(),
              [](const Edge& l, const Edge& r) { return l.low < r.low; });
}

void RingRowScan::advanceTo(double y) {
    while (next_ < pending_.size() && pending_[next_].low <= y) {
        active_.push_back(pending_[next_++]);
    }
    std::erase_if(active_, [y](const Edge& e) { return e.high <= y; });
}

std::vector<ColumnRun> RingRowScan::insideRuns(double y, const Lattice& lattice,
                                               std::int64_t columns) {
    advanceTo(y);
    crossings_.clear();
    for (const Edge& e : active_) {
        // pointInRing's test is x < crossing for the edge from a to b.
        crossings_.push_back((e.xa - e.xb) * (y - e.yb) / (e.ya - e.yb) + e.xb);
    }
    std::sort(crossings_.begin(), crossings_.end());
    // A node is inside when an odd number of crossings lie east of it. A closed ring crosses a
    // row an even number of times, so that holds exactly between crossings 2k and 2k + 1.
    std::vector<ColumnRun> runs;
    for (std::size_t k = 0; k + 1 < crossings_.size(); k += 2) {
        const std::int64_t first = lattice.firstColumnFrom(crossings_[k], columns);
        const std::int64_t end = lattice.firstColumnFrom(crossings_[k + 1], columns);
        if (first < end) {
            runs.push_back({first, end});
        }
    }
    return runs;
}
