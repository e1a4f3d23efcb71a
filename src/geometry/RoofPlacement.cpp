#include "geometry/RoofPlacement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <unordered_set>

#include "geodata/LazReader.h"
#include "geometry/CellKey.h"
#include "geometry/OpenRing.h"
#include "geometry/PlanPolygons.h"
#include "geometry/PlaneGeometry.h"

namespace {

// More coverage cells than this means coordinates gone wrong, not a building: such a footprint
// counts as having no cell rather than exhausting memory.
constexpr double kMostFootprintCells = 1e7;

// Ground under a position: the model's answer, else the footprint's own ground, the lowest of
// the points given for it (NaN without points).
class FootprintGround {
public:
    FootprintGround(const GroundModel& model, const std::vector<ClPoint>& points)
        : model_(model), own_(std::numeric_limits<double>::quiet_NaN()) {
        for (const ClPoint& p : points) {
            own_ = std::isnan(own_) ? p.z : std::min(own_, p.z);
        }
    }

    double at(double x, double y) const {
        const GroundHeight h = model_.lookup(x, y);
        return h.source == GroundSource::None ? own_ : h.z;
    }

private:
    const GroundModel& model_;
    double own_;
};

struct Bounds {
    double minx = std::numeric_limits<double>::max();
    double miny = std::numeric_limits<double>::max();
    double maxx = std::numeric_limits<double>::lowest();
    double maxy = std::numeric_limits<double>::lowest();
};

Bounds ringBounds(const PlanRing& ring) {
    Bounds b;
    for (const auto& [x, y] : ring) {
        b.minx = std::min(b.minx, x);
        b.miny = std::min(b.miny, y);
        b.maxx = std::max(b.maxx, x);
        b.maxy = std::max(b.maxy, y);
    }
    return b;
}

// Square cells of one edge from the ring's lower-left corner.
class CoverageGrid {
public:
    CoverageGrid(const Bounds& b, double cell) : b_(b), cell_(cell) {}

    std::uint64_t key(double x, double y) const {
        return packCellKey(cellIndex(x - b_.minx, cell_), cellIndex(y - b_.miny, cell_));
    }

    // The cells whose centre lies inside the ring.
    std::unordered_set<std::uint64_t> cellsInside(const PlanRing& ring) const {
        std::unordered_set<std::uint64_t> cells;
        const double nx = std::ceil((b_.maxx - b_.minx) / cell_ - 0.5);
        const double ny = std::ceil((b_.maxy - b_.miny) / cell_ - 0.5);
        if (!(nx > 0 && ny > 0 && nx * ny <= kMostFootprintCells)) {
            return cells;
        }
        for (double i = 0; i < nx; ++i) {
            const double cx = b_.minx + (i + 0.5) * cell_;
            for (double j = 0; j < ny; ++j) {
                const double cy = b_.miny + (j + 0.5) * cell_;
                if (cx < b_.maxx && cy < b_.maxy && pointInRing(cx, cy, ring)) {
                    cells.insert(key(cx, cy));
                }
            }
        }
        return cells;
    }

private:
    Bounds b_;
    double cell_;
};

struct RoofPoints {
    std::vector<double> heights;
    std::unordered_set<std::uint64_t> occupied;
    double highest = std::numeric_limits<double>::lowest();
};

RoofPoints roofPointsOf(const PlanRing& ring, const std::vector<ClPoint>& points,
                        const FootprintGround& ground, const CoverageGrid& grid,
                        double minAboveGround) {
    RoofPoints roof;
    for (const ClPoint& p : points) {
        if (p.cls == GroundModel::kGroundClass || !pointInRing(p.x, p.y, ring) ||
            !(p.z - ground.at(p.x, p.y) >= minAboveGround)) {
            continue;
        }
        roof.heights.push_back(p.z);
        roof.occupied.insert(grid.key(p.x, p.y));
        roof.highest = std::max(roof.highest, p.z);
    }
    return roof;
}

double coveredShare(const std::unordered_set<std::uint64_t>& occupied,
                    const std::unordered_set<std::uint64_t>& footprint) {
    if (footprint.empty()) {
        return 0.0;
    }
    std::size_t covered = 0;
    for (const std::uint64_t k : occupied) {
        covered += footprint.count(k);
    }
    return static_cast<double>(covered) / static_cast<double>(footprint.size());
}

// The element at position n/2 of the ascending heights: the upper middle value for even n.
double upperMedian(std::vector<double> heights) {
    const auto mid = heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2);
    std::nth_element(heights.begin(), mid, heights.end());
    return *mid;
}

}  // namespace

std::vector<ClPoint> RoofPlacement::loadPoints(const std::vector<std::string>& paths,
                                               const Frame& frame) {
    return loadFramePoints(paths, Bbox{frame.minx, frame.miny, frame.maxx, frame.maxy});
}

std::vector<ClPoint> loadFramePoints(const std::vector<std::string>& paths, const Bbox& frame) {
    std::vector<ClPoint> kept;
    for (const std::string& path : paths) {
        LazReader reader(path, LazReader::Colour::Ignored);
        if (!reader.ok) {
            continue;
        }
        reader.readAll([&](std::span<const ClPoint> batch) {
            for (const ClPoint& p : batch) {
                if (frame.minx <= p.x && p.x <= frame.maxx && frame.miny <= p.y &&
                    p.y <= frame.maxy) {
                    kept.push_back(p);
                }
            }
            return true;
        });
    }
    return kept;
}

bool tileIntersectsFrame(const Bbox& a, const Bbox& b) {
    return !(b.minx > a.maxx || a.minx > b.maxx || b.miny > a.maxy || a.miny > b.maxy);
}

std::vector<Pt3> pointsAboveGround(const std::vector<ClPoint>& points, const GroundModel& ground,
                                   double least) {
    const FootprintGround below(ground, points);
    std::vector<Pt3> out;
    for (const ClPoint& p : points) {
        if (p.cls != GroundModel::kGroundClass && p.z - below.at(p.x, p.y) >= least) {
            out.push_back({p.x, p.y, p.z});
        }
    }
    return out;
}

RoofModel buildRoof(const PlanRing& ring, const std::vector<ClPoint>& points,
                    const GroundModel& ground, const BuildParams& params) {
    RoofModel model;
    const PlanRing open = withoutClosingPoint(ring);
    if (open.size() < 3) {
        model.flag = 1;
        return model;
    }
    const double cell = params.cellSize > 0.0 ? params.cellSize : 1.0;
    const CoverageGrid grid(ringBounds(open), cell);
    const FootprintGround below(ground, points);
    const RoofPoints roof = roofPointsOf(open, points, below, grid, params.minAboveGround);
    model.quality = coveredShare(roof.occupied, grid.cellsInside(open));

    const bool accepted = !roof.heights.empty() &&
                          static_cast<long long>(roof.heights.size()) >= params.minPoints &&
                          model.quality >= params.minCoverage;
    const double h = accepted ? upperMedian(roof.heights)
                     : !roof.heights.empty()
                         ? roof.highest
                         : below.at(open[0].first, open[0].second) + params.fallbackAboveGround;
    model.flag = accepted ? 0 : 1;
    if (std::isfinite(h)) {
        model.faces.push_back({projectRingToPlane(open, Plane{0.0, 0.0, 1.0, -h})});
    }
    return model;
}
