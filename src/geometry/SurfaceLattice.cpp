#include "geometry/SurfaceLattice.h"

#include <algorithm>
#include <cmath>

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

std::int64_t Lattice::firstColumnFrom(double v, std::int64_t limit) const {
    // A guess from the division, clamped before the conversion, then corrected against x() so
    // that the answer agrees with the node coordinates to the last bit.
    const double guess = std::ceil((v - x0) / step);
    std::int64_t i = 0;
    if (guess >= static_cast<double>(limit)) {
        i = limit;
    } else if (guess > 0.0) {
        i = static_cast<std::int64_t>(guess);
    }
    while (i > 0 && x(i - 1) >= v) {
        --i;
    }
    while (i < limit && x(i) < v) {
        ++i;
    }
    return i;
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
