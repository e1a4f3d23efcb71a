#include "geometry/ContourCells.h"

#include <algorithm>
#include <cmath>

namespace {

// Levels whose crossings are counted in one pass over the cells.
constexpr std::int32_t kCountWindow = 4096;

// Edges of a cell in the order in which its crossings are taken: bottom (P00 to P10), right
// (P10 to P11), top (P01 to P11), left (P00 to P01).
enum Edge : std::uint8_t { kBottom, kRight, kTop, kLeft };

}  // namespace

ContourCells::ContourCells(const SiatkaWysokosci& grid, double interval, std::int64_t firstLevel,
                           std::int32_t levelCount, std::int64_t crossingBudget)
    : g_(grid),
      interval_(interval),
      first_(firstLevel),
      count_(levelCount),
      budget_(crossingBudget) {}

const std::vector<Odcinek>& ContourCells::segments(std::int32_t k) {
    if (k >= batchEnd_) {
        fileBatchFrom(k);
    }
    const double lvl = level(k);
    segs_.clear();
    for (const CellSegment& s : filed_[static_cast<std::size_t>(k - batchBegin_)]) {
        segs_.push_back({crossing(s.i, s.j, s.from, lvl), crossing(s.i, s.j, s.to, lvl)});
    }
    return segs_;
}

// The number of level indices k with level(k) <= z. The division gives it to within one; the
// exact comparisons with the levels themselves settle it.
std::int32_t ContourCells::levelsAtOrBelow(double z) const {
    const double guess = std::floor(z / interval_) - static_cast<double>(first_) + 1.0;
    auto k = static_cast<std::int32_t>(std::clamp(guess, 0.0, static_cast<double>(count_)));
    while (k > 0 && level(k - 1) > z) {
        --k;
    }
    while (k < count_ && level(k) <= z) {
        ++k;
    }
    return k;
}

void ContourCells::rankNodes() {
    rank_.resize(g_.z.size());
    for (std::size_t n = 0; n < g_.z.size(); ++n) {
        rank_[n] = std::isfinite(g_.z[n]) ? levelsAtOrBelow(g_.z[n]) : -1;
    }
}

// Calls visit(i, j, a, b) for every cell with data on all four corners that the level indices
// [a, b), a subrange of [lo, hi), cross: some corner lies below them, some does not.
template <typename Visit>
void ContourCells::forEachCrossedCell(std::int32_t lo, std::int32_t hi, Visit&& visit) const {
    for (std::int32_t j = 0; j + 1 < g_.ny; ++j) {
        const std::int32_t* south = rank_.data() + index(0, j);
        const std::int32_t* north = rank_.data() + index(0, j + 1);
        for (std::int32_t i = 0; i + 1 < g_.nx; ++i) {
            const std::int32_t least =
                std::min(std::min(south[i], south[i + 1]), std::min(north[i], north[i + 1]));
            const std::int32_t greatest =
                std::max(std::max(south[i], south[i + 1]), std::max(north[i], north[i + 1]));
            const std::int32_t a = std::max(least, lo);
            const std::int32_t b = std::min(greatest, hi);
            if (least >= 0 && a < b) {
                visit(i, j, a, b);
            }
        }
    }
}

// Counts the crossed cells of each level in the window that starts at level index k.
void ContourCells::countWindowFrom(std::int32_t k) {
    if (rank_.empty()) {
        rankNodes();
    }
    const std::int32_t end = count_ - k > kCountWindow ? k + kCountWindow : count_;
    std::vector<std::int64_t> diff(static_cast<std::size_t>(end - k + 1), 0);
    forEachCrossedCell(k, end, [&](std::int32_t, std::int32_t, std::int32_t a, std::int32_t b) {
        ++diff[static_cast<std::size_t>(a - k)];
        --diff[static_cast<std::size_t>(b - k)];
    });
    windowBegin_ = k;
    crossings_.resize(static_cast<std::size_t>(end - k));
    std::int64_t running = 0;
    for (std::size_t m = 0; m < crossings_.size(); ++m) {
        running += diff[m];
        crossings_[m] = running;
    }
}

// Files the segments of the levels from index k on, as many levels as the budget allows (one at
// least), in one pass over the cells.
void ContourCells::fileBatchFrom(std::int32_t k) {
    const auto windowEnd = [this] {
        return windowBegin_ + static_cast<std::int32_t>(crossings_.size());
    };
    if (k >= windowEnd()) {
        countWindowFrom(k);
    }
    const auto crossingsOf = [this](std::int32_t m) {
        return crossings_[static_cast<std::size_t>(m - windowBegin_)];
    };
    std::int32_t end = k;
    std::int64_t held = 0;
    while (end < windowEnd() && (end == k || held + crossingsOf(end) <= budget_)) {
        held += crossingsOf(end);
        ++end;
    }
    batchBegin_ = k;
    batchEnd_ = end;
    filed_.assign(static_cast<std::size_t>(end - k), {});
    for (std::int32_t m = k; m < end; ++m) {
        filed_[static_cast<std::size_t>(m - k)].reserve(static_cast<std::size_t>(crossingsOf(m)));
    }
    forEachCrossedCell(k, end, [&](std::int32_t i, std::int32_t j, std::int32_t a, std::int32_t b) {
        const Corners c{g_.z[index(i, j)], g_.z[index(i + 1, j)], g_.z[index(i, j + 1)],
                        g_.z[index(i + 1, j + 1)]};
        for (std::int32_t m = a; m < b; ++m) {
            fileCell(i, j, c, level(m), filed_[static_cast<std::size_t>(m - k)]);
        }
    });
}

// The cell rule: two crossed edges give one segment from the earlier edge to the later one. Four
// (a saddle) give two: bottom-right and top-left when the mean of the corners lies on the same
// side of the level as the south-west corner, else bottom-left and right-top.
void ContourCells::fileCell(std::int32_t i, std::int32_t j, const Corners& c, double lvl,
                            std::vector<CellSegment>& out) {
    const bool b00 = c.z00 < lvl;
    const bool b10 = c.z10 < lvl;
    const bool b01 = c.z01 < lvl;
    const bool b11 = c.z11 < lvl;
    const bool crossed[4] = {b00 != b10, b10 != b11, b01 != b11, b00 != b01};
    if (crossed[kBottom] && crossed[kRight] && crossed[kTop] && crossed[kLeft]) {
        const double centre = (c.z00 + c.z10 + c.z01 + c.z11) / 4.0;
        if ((centre < lvl) == b00) {
            out.push_back({i, j, kBottom, kRight});
            out.push_back({i, j, kTop, kLeft});
        } else {
            out.push_back({i, j, kBottom, kLeft});
            out.push_back({i, j, kRight, kTop});
        }
        return;
    }
    std::uint8_t ends[2] = {kBottom, kBottom};
    int found = 0;
    for (std::uint8_t e = kBottom; e <= kLeft && found < 2; ++e) {
        if (crossed[e]) {
            ends[found++] = e;
        }
    }
    out.push_back({i, j, ends[0], ends[1]});
}

// Where the level crosses an edge: interpolated from the edge's first corner towards its second,
// so that the two cells sharing an edge find the very same point.
GisPoint ContourCells::crossing(std::int32_t i, std::int32_t j, std::uint8_t edge,
                                double lvl) const {
    static constexpr std::int32_t kFrom[4][2] = {{0, 0}, {1, 0}, {0, 1}, {0, 0}};
    static constexpr std::int32_t kTo[4][2] = {{1, 0}, {1, 1}, {1, 1}, {0, 1}};
    const std::int32_t fi = i + kFrom[edge][0];
    const std::int32_t fj = j + kFrom[edge][1];
    const std::int32_t ti = i + kTo[edge][0];
    const std::int32_t tj = j + kTo[edge][1];
    const double zf = g_.z[index(fi, fj)];
    const double zt = g_.z[index(ti, tj)];
    const double t = std::fabs(zt - zf) < 1e-12 ? 0.5 : (lvl - zf) / (zt - zf);
    const double fx = g_.x0 + fi * g_.step;
    const double fy = g_.y0 + fj * g_.step;
    const double tx = g_.x0 + ti * g_.step;
    const double ty = g_.y0 + tj * g_.step;
    return {fx + t * (tx - fx), fy + t * (ty - fy)};
}
