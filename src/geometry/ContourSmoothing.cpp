// Smoothing of contour grids before tracing and of traced contour lines.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/ContourBuilder.h"

namespace {

bool usableGrid(const SiatkaWysokosci& g) {
    return g.nx >= 3 && g.ny >= 3 &&
           g.z.size() == static_cast<std::size_t>(g.nx) * static_cast<std::size_t>(g.ny);
}

// ---------------------------------------------------------------------------------------------
// Bilateral pass
//
// The weight of a pair of nodes, exp(-d^2 / (2 sigmaS^2)) * exp(-(v - c)^2 / (2 sigmaR^2)), is
// the same seen from either node: each pair is weighed once and added to both nodes' sums. The
// spatial factor depends only on the offset and is worked out once per call. Rows are finished
// as soon as the last row within reach of them has been paired, so the sums are held for R + 1
// rows only. Offsets reaching past the grid pair nothing, so the window is cut to the grid.

class BilateralPass {
public:
    BilateralPass(const SiatkaWysokosci& g, double sigmaS, double sigmaR)
        : g_(g),
          nx_(static_cast<std::size_t>(g.nx)),
          rx_(std::min(windowRadius(g.step, sigmaS), g.nx - 1)),
          ry_(std::min(windowRadius(g.step, sigmaS), g.ny - 1)),
          rangeFactor_(1.0 / (2.0 * sigmaR * sigmaR)),
          spatial_(spatialWeights(g.step > 0.0 ? g.step : 1.0, sigmaS)),
          weight_(static_cast<std::size_t>(ry_ + 1) * nx_),
          sum_(weight_.size()) {}

    std::vector<double> run() {
        std::vector<double> out(g_.z.size());
        for (std::int32_t j = 0; j < ry_; ++j) {
            startRow(j);
        }
        for (std::int32_t j = 0; j < g_.ny; ++j) {
            if (j + ry_ < g_.ny) {
                startRow(j + ry_);
            }
            pairRow(j);
            finishRow(j, out);
        }
        return out;
    }

private:
    // R = ceil(2 sigmaS / step), at least 1 (a step not above 0 counts as 1).
    static std::int32_t windowRadius(double step, double sigmaS) {
        const double r = std::ceil(2.0 * sigmaS / (step > 0.0 ? step : 1.0));
        return static_cast<std::int32_t>(std::clamp(r, 1.0, 2147483647.0));
    }

    // exp(-(di^2 + dj^2) step^2 / (2 sigmaS^2)) for dj = 0 .. ry, di = -rx .. rx.
    std::vector<double> spatialWeights(double step, double sigmaS) const {
        std::vector<double> w;
        w.reserve(static_cast<std::size_t>(ry_ + 1) * static_cast<std::size_t>(2 * rx_ + 1));
        for (std::int32_t dj = 0; dj <= ry_; ++dj) {
            for (std::int32_t di = -rx_; di <= rx_; ++di) {
                const double d2 = (double(di) * di + double(dj) * dj) * step * step;
                w.push_back(std::exp(-d2 / (2.0 * sigmaS * sigmaS)));
            }
        }
        return w;
    }

    std::size_t slot(std::int32_t j) const { return static_cast<std::size_t>(j % (ry_ + 1)) * nx_; }

    const double* row(std::int32_t j) const {
        return g_.z.data() + static_cast<std::size_t>(j) * nx_;
    }

    // A node's own weight is 1.
    void startRow(std::int32_t j) {
        const double* z = row(j);
        double* w = weight_.data() + slot(j);
        double* s = sum_.data() + slot(j);
        for (std::size_t i = 0; i < nx_; ++i) {
            w[i] = 1.0;
            s[i] = z[i];
        }
    }

    // Pairs every node of row j with the nodes after it in the window: the rest of its own row
    // and the rows above within reach.
    void pairRow(std::int32_t j) {
        const auto n = static_cast<std::int32_t>(nx_);
        for (std::int32_t dj = 0; dj <= ry_ && j + dj < g_.ny; ++dj) {
            const double* zp = row(j);
            const double* zq = row(j + dj);
            double* wp = weight_.data() + slot(j);
            double* sp = sum_.data() + slot(j);
            double* wq = weight_.data() + slot(j + dj);
            double* sq = sum_.data() + slot(j + dj);
            const double* ws = spatial_.data() + static_cast<std::size_t>(dj) * (2 * rx_ + 1);
            for (std::int32_t di = dj == 0 ? 1 : -rx_; di <= rx_; ++di) {
                const double spatial = ws[di + rx_];
                for (std::int32_t i = std::max(0, -di); i < std::min(n, n - di); ++i) {
                    const double c = zp[i];
                    const double v = zq[i + di];
                    if (std::isnan(c) || std::isnan(v)) {
                        continue;
                    }
                    const double w = spatial * std::exp(-(v - c) * (v - c) * rangeFactor_);
                    wp[i] += w;
                    sp[i] += w * v;
                    wq[i + di] += w;
                    sq[i + di] += w * c;
                }
            }
        }
    }

    void finishRow(std::int32_t j, std::vector<double>& out) const {
        const double* z = row(j);
        const double* w = weight_.data() + slot(j);
        const double* s = sum_.data() + slot(j);
        double* o = out.data() + static_cast<std::size_t>(j) * nx_;
        for (std::size_t i = 0; i < nx_; ++i) {
            o[i] = std::isnan(z[i]) || !(w[i] > 1e-12) ? z[i] : s[i] / w[i];
        }
    }

    const SiatkaWysokosci& g_;
    const std::size_t nx_;
    const std::int32_t rx_;  // window reach along a row
    const std::int32_t ry_;  // and across rows
    const double rangeFactor_;
    const std::vector<double> spatial_;
    std::vector<double> weight_;  // sums of weights, ry + 1 rows in turn
    std::vector<double> sum_;     // sums of weighted heights, likewise
};

// ---------------------------------------------------------------------------------------------
// Box mean

// Sums and counts of the heights with data within `radius` of each node along one axis.
struct WindowSums {
    std::vector<double> sum;
    std::vector<std::int32_t> count;
};

WindowSums alongRows(const std::vector<double>& z, std::int32_t nx, std::int32_t ny,
                     std::int32_t radius) {
    WindowSums out{std::vector<double>(z.size(), 0.0), std::vector<std::int32_t>(z.size(), 0)};
    for (std::int32_t j = 0; j < ny; ++j) {
        const std::size_t base = static_cast<std::size_t>(j) * static_cast<std::size_t>(nx);
        for (std::int32_t i = 0; i < nx; ++i) {
            for (std::int32_t k = std::max(0, i - radius); k <= std::min(nx - 1, i + radius); ++k) {
                const double v = z[base + static_cast<std::size_t>(k)];
                if (!std::isnan(v)) {
                    out.sum[base + static_cast<std::size_t>(i)] += v;
                    ++out.count[base + static_cast<std::size_t>(i)];
                }
            }
        }
    }
    return out;
}

std::vector<double> boxMean(const SiatkaWysokosci& g, std::int32_t radius) {
    const WindowSums rows = alongRows(g.z, g.nx, g.ny, radius);
    std::vector<double> out(g.z.size());
    const auto at = [&](std::int32_t i, std::int32_t j) {
        return static_cast<std::size_t>(j) * static_cast<std::size_t>(g.nx) +
               static_cast<std::size_t>(i);
    };
    for (std::int32_t j = 0; j < g.ny; ++j) {
        for (std::int32_t i = 0; i < g.nx; ++i) {
            if (std::isnan(g.z[at(i, j)])) {
                out[at(i, j)] = g.z[at(i, j)];
                continue;
            }
            double sum = 0.0;
            std::int64_t count = 0;
            for (std::int32_t k = std::max(0, j - radius); k <= std::min(g.ny - 1, j + radius);
                 ++k) {
                sum += rows.sum[at(i, k)];
                count += rows.count[at(i, k)];
            }
            out[at(i, j)] = sum / static_cast<double>(count);
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Corner cutting and thinning

GisPoint along(const GisPoint& p, const GisPoint& q, double t) {
    return {p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)};
}

bool isClosed(const std::vector<GisPoint>& pts) {
    return std::fabs(pts.front().x - pts.back().x) < 1e-6 &&
           std::fabs(pts.front().y - pts.back().y) < 1e-6;
}

// One round of Chaikin's corner cutting: every segment gives its quarter and three-quarter
// points. An open line keeps its two ends; a ring is cut all round and closed again.
std::vector<GisPoint> cutCorners(const std::vector<GisPoint>& p, bool closed) {
    std::vector<GisPoint> out;
    if (closed) {
        const std::size_t m = p.size() - 1;
        out.reserve(2 * m + 1);
        for (std::size_t k = 0; k < m; ++k) {
            const GisPoint& next = p[(k + 1) % m];
            out.push_back(along(p[k], next, 0.25));
            out.push_back(along(p[k], next, 0.75));
        }
        out.push_back(out.front());
        return out;
    }
    out.reserve(2 * p.size());
    out.push_back(p.front());
    for (std::size_t k = 0; k + 1 < p.size(); ++k) {
        out.push_back(along(p[k], p[k + 1], 0.25));
        out.push_back(along(p[k], p[k + 1], 0.75));
    }
    out.push_back(p.back());
    return out;
}

// Distance of p from the line through a and b, or from a when a and b coincide.
double offLine(const GisPoint& p, const GisPoint& a, const GisPoint& b) {
    const double bx = b.x - a.x;
    const double by = b.y - a.y;
    const double len = std::hypot(bx, by);
    if (len > 1e-9) {
        return std::fabs((p.x - a.x) * by - (p.y - a.y) * bx) / len;
    }
    return std::hypot(p.x - a.x, p.y - a.y);
}

// Keeps the points that stand at least `tolerance` off the line from the last kept point to
// their successor. A ring starts with nothing kept and looks back across its closing point.
std::vector<GisPoint> thin(const std::vector<GisPoint>& p, bool closed, double tolerance) {
    const std::size_t n = p.size();
    std::vector<GisPoint> kept;
    if (!closed) {
        kept.push_back(p.front());
    }
    for (std::size_t k = closed ? 0 : 1; k + 1 < n; ++k) {
        const GisPoint& a = !kept.empty() ? kept.back() : p[k == 0 ? n - 2 : k - 1];
        if (offLine(p[k], a, p[k + 1]) >= tolerance) {
            kept.push_back(p[k]);
        }
    }
    if (!closed) {
        kept.push_back(p.back());
    } else if (!kept.empty()) {
        kept.push_back(kept.front());
    }
    return kept;
}

// Each round doubles the points and moves them a quarter as far as the round before: after this
// many, further rounds would only multiply the points.
constexpr int kMostCornerCuts = 8;

void smoothLine(std::vector<GisPoint>& pts, int iterations, double tolerance) {
    if (pts.size() < 3) {
        return;
    }
    const bool closed = isClosed(pts);
    const int rounds = std::min(iterations, kMostCornerCuts);
    for (int it = 0; it < rounds && (closed ? pts.size() >= 4 : true); ++it) {
        pts = cutCorners(pts, closed);
    }
    if (!(tolerance > 0.0) || pts.size() < 4) {
        return;
    }
    std::vector<GisPoint> thinned = thin(pts, closed, tolerance);
    // Too few points left to keep the line's shape (a ring needs four, an empty one happens on
    // tiny rings): the corner-cut points stay.
    if (thinned.size() >= (closed ? 4u : 2u)) {
        pts = std::move(thinned);
    }
}

}  // namespace

void ContourBuilder::smoothFieldBilateral(SiatkaWysokosci& grid, double sigmaS, double sigmaR) {
    if (!usableGrid(grid) || !(sigmaR > 0.0) || !(sigmaS > 0.0)) {
        return;
    }
    grid.z = BilateralPass(grid, sigmaS, sigmaR).run();
}

void ContourBuilder::smoothChaikin(std::vector<Warstwica>& lines, int iterations,
                                   double tolerance) {
    for (Warstwica& line : lines) {
        smoothLine(line.pts, iterations, tolerance);
    }
}

void ContourBuilder::smoothField(SiatkaWysokosci& grid, int radius, int passes) {
    if (!usableGrid(grid) || radius < 1 || passes < 1) {
        return;
    }
    const std::int32_t r = std::min(radius, std::max(grid.nx, grid.ny));
    for (int pass = 0; pass < passes; ++pass) {
        grid.z = boxMean(grid, r);
    }
}
