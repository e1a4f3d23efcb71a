#include "geometry/Tin.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <utility>

#include "cdt/ConstrainedDelaunay.h"
#include "geometry/ContourBuilder.h"
#include "geometry/ContourLevels.h"

namespace tin {
namespace {

double positiveOr1(double v) {
    return v > 0.0 ? v : 1.0;
}

// Breakline points closer than this to a vertex are merged into it.
double mergeDistance(double step) {
    return std::max(step * 0.01, 1e-6);
}

// The parts of a segment of the given length: length / spacing rounded, from 1 to `most`.
long partsOf(double length, double spacing, double most) {
    const double parts = std::round(length / spacing);
    if (!(parts >= 1.0)) {
        return 1;
    }
    return static_cast<long>(std::min(parts, most));
}

struct GridView {
    const SiatkaWysokosci& g;
    double step;

    double z(int i, int j) const {
        return g.z[static_cast<std::size_t>(j) * static_cast<std::size_t>(g.nx) +
                   static_cast<std::size_t>(i)];
    }
    bool has(int i, int j) const {
        return i >= 0 && j >= 0 && i < g.nx && j < g.ny && std::isfinite(z(i, j));
    }
    GisPoint node(int i, int j) const { return {g.x0 + i * step, g.y0 + j * step}; }
};

// ---- breaklines -------------------------------------------------------------------------

std::vector<char> steepMask(const GridView& grid, double threshold) {
    const int nx = grid.g.nx;
    const int ny = grid.g.ny;
    std::vector<char> steep(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny), 0);
    for (int j = 1; j <= ny - 2; ++j) {
        for (int i = 1; i <= nx - 2; ++i) {
            if (!grid.has(i + 1, j) || !grid.has(i - 1, j) || !grid.has(i, j + 1) ||
                !grid.has(i, j - 1)) {
                continue;
            }
            const double gx = (grid.z(i + 1, j) - grid.z(i - 1, j)) / (2.0 * grid.step);
            const double gy = (grid.z(i, j + 1) - grid.z(i, j - 1)) / (2.0 * grid.step);
            if (std::hypot(gx, gy) > threshold)
                steep[static_cast<std::size_t>(j) * nx + i] = 1;
        }
    }
    return steep;
}

// Depth-first walk over interior steep nodes; nodes in the order they are popped.
std::vector<std::pair<int, int>> component(int si, int sj, int nx, int ny,
                                           const std::vector<char>& steep,
                                           std::vector<char>& visited) {
    static constexpr int kOffsets[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0},
                                           {1, 0},   {-1, 1}, {0, 1},  {1, 1}};
    std::vector<std::pair<int, int>> nodes;
    std::vector<std::pair<int, int>> stack{{si, sj}};
    visited[static_cast<std::size_t>(sj) * nx + si] = 1;
    while (!stack.empty()) {
        const auto [i, j] = stack.back();
        stack.pop_back();
        nodes.push_back({i, j});
        for (const auto& d : kOffsets) {
            const int ni = i + d[0];
            const int nj = j + d[1];
            if (ni < 1 || nj < 1 || ni > nx - 2 || nj > ny - 2)
                continue;
            const std::size_t k = static_cast<std::size_t>(nj) * nx + ni;
            if (!steep[k] || visited[k])
                continue;
            visited[k] = 1;
            stack.push_back({ni, nj});
        }
    }
    return nodes;
}

// The straight line along a component's principal axis, or nothing when the component is not
// elongated, too wide or too short.
std::vector<GisPoint> axisLine(const std::vector<std::pair<int, int>>& nodes, const GridView& grid,
                               const BreaklineParams& params) {
    const double count = static_cast<double>(nodes.size());
    double cx = 0.0, cy = 0.0;
    for (const auto& [i, j] : nodes) {
        const GisPoint p = grid.node(i, j);
        cx += p.x;
        cy += p.y;
    }
    cx /= count;
    cy /= count;
    double sxx = 0.0, syy = 0.0, sxy = 0.0;
    for (const auto& [i, j] : nodes) {
        const GisPoint p = grid.node(i, j);
        sxx += (p.x - cx) * (p.x - cx);
        syy += (p.y - cy) * (p.y - cy);
        sxy += (p.x - cx) * (p.y - cy);
    }
    sxx /= count;
    syy /= count;
    sxy /= count;
    const double half = (sxx + syy) / 2.0;
    const double root = std::sqrt(std::max(half * half - (sxx * syy - sxy * sxy), 0.0));
    const double l1 = half + root;
    const double l2 = half - root;
    if (l2 > 1e-9 && l1 < 4.0 * l2)
        return {};

    double dx = 0.0, dy = 0.0;
    if (std::fabs(sxy) > 1e-9) {
        dx = l1 - syy;
        dy = sxy;
    } else if (sxx >= syy) {
        dx = 1.0;
    } else {
        dy = 1.0;
    }
    const double length = std::hypot(dx, dy);
    if (length < 1e-9)
        return {};
    dx /= length;
    dy /= length;
    if (std::sqrt(std::max(l2, 0.0)) > params.maxWidth)
        return {};

    double tmin = std::numeric_limits<double>::infinity();
    double tmax = -std::numeric_limits<double>::infinity();
    for (const auto& [i, j] : nodes) {
        const GisPoint p = grid.node(i, j);
        const double t = (p.x - cx) * dx + (p.y - cy) * dy;
        tmin = std::min(tmin, t);
        tmax = std::max(tmax, t);
    }
    const double extent = tmax - tmin;
    if (extent < std::max(params.minNodes * grid.step * 0.5, 1e-6))
        return {};

    const long n =
        partsOf(extent, positiveOr1(params.spacing), std::ceil(extent / mergeDistance(grid.step)));
    std::vector<GisPoint> points;
    points.reserve(static_cast<std::size_t>(n) + 1);
    for (long k = 0; k <= n; ++k) {
        const double t = tmin + static_cast<double>(k) / static_cast<double>(n) * extent;
        points.push_back({cx + t * dx, cy + t * dy});
    }
    return points;
}

// ---- triangulation ----------------------------------------------------------------------

// Grid of merge cells over the vertices, so that a breakline point finds a vertex within the
// merge distance by looking at 9 cells.
class IndeksPunktow {
public:
    explicit IndeksPunktow(double cell) : cell_(cell), mergeSq_(cell * cell) {}

    void add(const cdt::Point2& p, int index) {
        cells_[key(cell(p.x), cell(p.y))].push_back(index);
    }

    // The first vertex within the merge distance of p, or -1.
    int find(const cdt::Point2& p, const std::vector<cdt::Point2>& points) const {
        const std::int64_t ci = cell(p.x);
        const std::int64_t cj = cell(p.y);
        for (std::int64_t di = -1; di <= 1; ++di) {
            for (std::int64_t dj = -1; dj <= 1; ++dj) {
                const auto it = cells_.find(key(ci + di, cj + dj));
                if (it == cells_.end())
                    continue;
                for (const int index : it->second) {
                    const double ex = points[static_cast<std::size_t>(index)].x - p.x;
                    const double ey = points[static_cast<std::size_t>(index)].y - p.y;
                    if (ex * ex + ey * ey <= mergeSq_)
                        return index;
                }
            }
        }
        return -1;
    }

private:
    std::int64_t cell(double v) const {
        const double c = std::floor(v / cell_);
        // Points far outside any grid share the outermost cells instead of overflowing; a point
        // without coordinates (which the triangulation refuses later) goes to cell 0.
        if (std::isnan(c))
            return 0;
        return static_cast<std::int64_t>(std::clamp(c, -2147483648.0, 2147483647.0));
    }
    // Column in the high half, row in the low half, in unsigned arithmetic.
    static std::uint64_t key(std::int64_t ci, std::int64_t cj) {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(ci)) << 32) |
               static_cast<std::uint64_t>(static_cast<std::uint32_t>(cj));
    }

    double cell_;
    double mergeSq_;
    std::unordered_map<std::uint64_t, std::vector<int>> cells_;
};

int thinningStride(const SiatkaWysokosci& grid, std::int32_t target) {
    const double nodes = static_cast<double>(grid.nx) * static_cast<double>(grid.ny);
    if (target <= 0 || nodes <= target)
        return 1;
    return std::max(1, static_cast<int>(std::ceil(std::sqrt(nodes / target))));
}

// The most parts one breakline segment is cut into: as many merge distances as the grid's
// diagonal holds. A segment inside the grid at a spacing not below the merge distance never
// needs more; a segment reaching far beyond the grid, or a far finer spacing, would otherwise
// ask for billions of points.
double mostParts(const GridView& grid, double merge) {
    const double diagonal =
        std::hypot(static_cast<double>(grid.g.nx), static_cast<double>(grid.g.ny));
    const double most = std::ceil(diagonal * grid.step / merge);
    return most >= 1.0 ? most : 1.0;
}

// Breakline points at the given spacing: every segment is cut into equal parts, the shared
// ends taken once.
std::vector<cdt::Point2> densify(const Breakline& line, double spacing, double most) {
    std::vector<cdt::Point2> points;
    for (std::size_t s = 1; s < line.points.size(); ++s) {
        const GisPoint a = line.points[s - 1];
        const GisPoint b = line.points[s];
        const long m = partsOf(std::hypot(b.x - a.x, b.y - a.y), spacing, most);
        for (long k = (s == 1 ? 0 : 1); k <= m; ++k) {
            const double f = static_cast<double>(k) / static_cast<double>(m);
            points.push_back({a.x + f * (b.x - a.x), a.y + f * (b.y - a.y)});
        }
    }
    return points;
}

double bilinear(const GridView& grid, double u, double v, bool& ok) {
    // Clamped before the conversion, so that a point far outside the grid keeps its side.
    const auto firstCorner = [](double t, int n) {
        const double corner = std::floor(t);
        return corner > 0.0 ? static_cast<int>(std::min(corner, static_cast<double>(n - 2))) : 0;
    };
    const int i = firstCorner(u, grid.g.nx);
    const int j = firstCorner(v, grid.g.ny);
    const auto fraction = [](double t, int n) {
        if (t > n - 1)
            return 1.0;  // beyond the last node on this axis
        return std::clamp(t - std::floor(t), 0.0, 1.0);
    };
    const double fu = fraction(u, grid.g.nx);
    const double fv = fraction(v, grid.g.ny);
    ok = grid.has(i, j) && grid.has(i + 1, j) && grid.has(i, j + 1) && grid.has(i + 1, j + 1);
    if (!ok)
        return 0.0;
    return grid.z(i, j) * (1 - fu) * (1 - fv) + grid.z(i + 1, j) * fu * (1 - fv) +
           grid.z(i, j + 1) * (1 - fu) * fv + grid.z(i + 1, j + 1) * fu * fv;
}

// The height of the nearest node with data, searched in square rings around (ci, cj).
double nearestNode(const GridView& grid, const cdt::Point2& p, int ci, int cj) {
    const int maxRadius = std::max(grid.g.nx, grid.g.ny);
    for (int r = 0; r <= maxRadius; ++r) {
        double bestSq = std::numeric_limits<double>::infinity();
        double bestZ = 0.0;
        for (int j = cj - r; j <= cj + r; ++j) {
            // Only the ring's border: whole rows at its top and bottom, two nodes between.
            const bool edgeRow = std::abs(j - cj) == r;
            const int step = (edgeRow || r == 0) ? 1 : 2 * r;
            for (int i = ci - r; i <= ci + r; i += step) {
                if (!grid.has(i, j))
                    continue;
                const GisPoint n = grid.node(i, j);
                const double dsq = (n.x - p.x) * (n.x - p.x) + (n.y - p.y) * (n.y - p.y);
                if (dsq < bestSq) {
                    bestSq = dsq;
                    bestZ = grid.z(i, j);
                }
            }
        }
        if (std::isfinite(bestSq))
            return bestZ;
    }
    return 0.0;
}

double vertexHeight(const GridView& grid, const cdt::Point2& p, double mergeSq) {
    const double u = (p.x - grid.g.x0) / grid.step;
    const double v = (p.y - grid.g.y0) / grid.step;
    const double ru = std::round(u);
    const double rv = std::round(v);
    const bool nodeInRange = ru >= 0 && rv >= 0 && ru < grid.g.nx && rv < grid.g.ny;
    if (nodeInRange && grid.has(static_cast<int>(ru), static_cast<int>(rv))) {
        const GisPoint n = grid.node(static_cast<int>(ru), static_cast<int>(rv));
        if ((n.x - p.x) * (n.x - p.x) + (n.y - p.y) * (n.y - p.y) <= mergeSq) {
            return grid.z(static_cast<int>(ru), static_cast<int>(rv));
        }
    }
    if (grid.g.nx >= 2 && grid.g.ny >= 2) {
        bool ok = false;
        const double z = bilinear(grid, u, v, ok);
        if (ok)
            return z;
    }
    const int ci = static_cast<int>(std::clamp(ru, 0.0, static_cast<double>(grid.g.nx - 1)));
    const int cj = static_cast<int>(std::clamp(rv, 0.0, static_cast<double>(grid.g.ny - 1)));
    return nearestNode(grid, p, ci, cj);
}

// ---- contours ---------------------------------------------------------------------------

// The crossing of level on the edge p-q, always computed from the lower vertex index so that
// the two triangles sharing the edge give the same point.
GisPoint crossing(const Tin& t, std::int32_t p, std::int32_t q, double level) {
    const TinVertex& from = t.vertices[static_cast<std::size_t>(std::min(p, q))];
    const TinVertex& to = t.vertices[static_cast<std::size_t>(std::max(p, q))];
    const double dz = to.z - from.z;
    const double f = std::fabs(dz) < 1e-12 ? 0.5 : (level - from.z) / dz;
    return {from.x + f * (to.x - from.x), from.y + f * (to.y - from.y)};
}

std::vector<std::pair<GisPoint, GisPoint>> levelSegments(const Tin& t, double level) {
    std::vector<std::pair<GisPoint, GisPoint>> segments;
    for (const TinTri& tri : t.triangles) {
        GisPoint found[3];
        int count = 0;
        for (int e = 0; e < 3; ++e) {
            const std::int32_t p = tri.v[e];
            const std::int32_t q = tri.v[(e + 1) % 3];
            const bool pBelow = t.vertices[static_cast<std::size_t>(p)].z < level;
            const bool qBelow = t.vertices[static_cast<std::size_t>(q)].z < level;
            if (pBelow != qBelow)
                found[count++] = crossing(t, p, q, level);
        }
        if (count == 2)
            segments.push_back({found[0], found[1]});
    }
    return segments;
}

bool validTriangles(const Tin& t) {
    const auto n = static_cast<std::int32_t>(t.vertices.size());
    return std::all_of(t.triangles.begin(), t.triangles.end(), [n](const TinTri& tri) {
        return std::all_of(std::begin(tri.v), std::end(tri.v),
                           [n](std::int32_t v) { return v >= 0 && v < n; });
    });
}

}  // namespace

std::vector<Breakline> detectBreaklines(const SiatkaWysokosci& grid,
                                        const BreaklineParams& params) {
    std::vector<Breakline> lines;
    if (grid.nx < 3 || grid.ny < 3 ||
        grid.z.size() != static_cast<std::size_t>(grid.nx) * static_cast<std::size_t>(grid.ny)) {
        return lines;
    }
    const GridView view{grid, positiveOr1(grid.step)};
    const std::vector<char> steep = steepMask(view, params.gradientThreshold);
    std::vector<char> visited(steep.size(), 0);
    for (int j = 1; j <= grid.ny - 2; ++j) {
        for (int i = 1; i <= grid.nx - 2; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * grid.nx + i;
            if (!steep[k] || visited[k])
                continue;
            const auto nodes = component(i, j, grid.nx, grid.ny, steep, visited);
            if (static_cast<std::int64_t>(nodes.size()) < params.minNodes)
                continue;
            auto points = axisLine(nodes, view, params);
            if (!points.empty())
                lines.push_back({std::move(points)});
        }
    }
    return lines;
}

Tin buildTin(const SiatkaWysokosci& grid, const std::vector<Breakline>& breaklines,
             const TinParams& params) {
    if (grid.nx < 1 || grid.ny < 1 || grid.z.empty() ||
        grid.z.size() != static_cast<std::size_t>(grid.nx) * static_cast<std::size_t>(grid.ny)) {
        return {};
    }
    const GridView view{grid, positiveOr1(grid.step)};
    const int stride = thinningStride(grid, params.targetNodes);
    const double merge = mergeDistance(view.step);
    IndeksPunktow index(merge);

    std::vector<cdt::Point2> points;
    for (int j = 0; j < grid.ny; j += stride) {
        for (int i = 0; i < grid.nx; i += stride) {
            if (!view.has(i, j))
                continue;
            const GisPoint n = view.node(i, j);
            index.add({n.x, n.y}, static_cast<int>(points.size()));
            points.push_back({n.x, n.y});
        }
    }

    std::vector<cdt::Edge> edges;
    const double spacing = positiveOr1(params.breaklineSpacing);
    const double most = mostParts(view, merge);
    for (const Breakline& line : breaklines) {
        if (line.points.size() < 2)
            continue;
        int previous = -1;
        for (const cdt::Point2& p : densify(line, spacing, most)) {
            int vertex = index.find(p, points);
            if (vertex < 0) {
                vertex = static_cast<int>(points.size());
                index.add(p, vertex);
                points.push_back(p);
            }
            if (previous >= 0 && previous != vertex) {
                edges.push_back({std::min(previous, vertex), std::max(previous, vertex)});
            }
            previous = vertex;
        }
    }

    Tin result;
    try {
        cdt::ConstrainedDelaunay triangulation;
        triangulation.insertVertices(points);
        triangulation.insertEdges(edges);
        const auto vertices = triangulation.vertices();
        const auto triangles = triangulation.triangles();
        result.vertices.reserve(vertices.size());
        for (const cdt::Point2& p : vertices) {
            result.vertices.push_back({p.x, p.y, vertexHeight(view, p, merge * merge)});
        }
        result.triangles.reserve(triangles.size());
        for (const auto& t : triangles)
            result.triangles.push_back({{t[0], t[1], t[2]}});
    } catch (const std::exception&) {
        return {};
    }
    return result;
}

std::vector<Warstwica> contourTin(const Tin& t, double interval, std::string& msg,
                                  const ContourLimits& limits) {
    msg.clear();
    if (t.vertices.empty() || t.triangles.empty() || !(interval > 0.0) || !validTriangles(t)) {
        return {};
    }
    const auto [lo, hi] =
        std::minmax_element(t.vertices.begin(), t.vertices.end(),
                            [](const TinVertex& a, const TinVertex& b) { return a.z < b.z; });
    ContourLevels levels(lo->z, hi->z, interval, limits.maxLines, limits.maxPoints);
    for (std::int64_t k = levels.first(); levels.wants(k); ++k) {
        const double level = static_cast<double>(k) * interval;
        levels.add(k, ContourBuilder::zszyj(levelSegments(t, level)));
    }
    return levels.finish(msg);
}

std::vector<Warstwica> contourTin(const Tin& t, double interval) {
    std::string ignored;
    return contourTin(t, interval, ignored);
}

}  // namespace tin
