#include "geometry/RoofNdsm.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "geometry/PlaneGeometry.h"
#include "geometry/SurfaceLattice.h"

namespace {

// Column and row indices stay below 2^53, where every index is still a double of its own; only
// bounds the searches, which cost the logarithm of it.
constexpr std::int64_t kIndexLimit = std::int64_t{1} << 53;

struct Samples {
    std::vector<double> heights;  // surface heights of the kept samples
    int counted = 0;              // kept samples on the lattice
    int above = 0;                // of those, the ones standing above the ground
};

void addSample(double x, double y, const NdsmModel& model, double minHeight, Samples& s) {
    double top = 0.0;
    if (!model.surface.sampleZ(x, y, top)) {
        return;
    }
    s.heights.push_back(top);
    ++s.counted;
    double standing = 0.0;
    if (model.heightAbove(x, y, standing) && standing > minHeight) {
        ++s.above;
    }
}

// The lattice nodes x = minx + i*step <= maxx, y = miny + j*step <= maxy inside the ring, row by
// row from the south, each row from the west. Nodes where the surface grid has no height give no
// sample, so only those within its reach are visited, and no more rows and columns than its
// reach can hold: a corrupt vertex far away costs nothing.
Samples sampleFootprint(const PlanRing& ring, const Bbox& box, const NdsmModel& model,
                        const RoofNdsmParams& params) {
    Samples s;
    Bbox reach;
    if (!gridReach(model.surface, reach)) {
        return s;
    }
    const Lattice lattice{box.minx, box.miny, usableStep(params.step)};
    const ColumnRun columns =
        lattice.columnsWithin(reach.minx, std::min(box.maxx, reach.maxx), kIndexLimit);
    const ColumnRun rows =
        lattice.rowsWithin(reach.miny, std::min(box.maxy, reach.maxy), kIndexLimit);
    RingRowScan scan(ring);
    for (std::int64_t j = rows.first; j < rows.end; ++j) {
        const double y = lattice.y(j);
        for (const ColumnRun& run : scan.insideRuns(y, lattice, columns.end)) {
            for (std::int64_t i = std::max(run.first, columns.first); i < run.end; ++i) {
                addSample(lattice.x(i), y, model, params.minHeight, s);
            }
        }
    }
    return s;
}

// The surface at the mean of every listed point, a repeated closing point included.
bool surfaceAtMean(const PlanRing& ring, const NdsmModel& model, double& z) {
    double sx = 0.0;
    double sy = 0.0;
    for (const auto& [x, y] : ring) {
        sx += x;
        sy += y;
    }
    const double n = static_cast<double>(ring.size());
    return model.surface.sampleZ(sx / n, sy / n, z);
}

// One quad per edge from the roof down to the terrain at the edge's ends; the last edge closes
// the ring, so a ring that repeats its first point ends with a zero-length edge, which is skipped.
void appendWalls(const PlanRing& ring, const FloatGrid& terrain, double roof, double minWall,
                 std::vector<RoofFace>& faces) {
    const std::size_t n = ring.size();
    for (std::size_t k = 1; k <= n; ++k) {
        const auto [xa, ya] = ring[k - 1];
        const auto [xb, yb] = ring[k % n];
        double za = 0.0;
        double zb = 0.0;
        if ((xa == xb && ya == yb) || !terrain.sampleZ(xa, ya, za) ||
            !terrain.sampleZ(xb, yb, zb)) {
            continue;
        }
        if (roof - za >= minWall || roof - zb >= minWall) {
            faces.push_back({{{xa, ya, roof}, {xb, yb, roof}, {xb, yb, zb}, {xa, ya, za}}});
        }
    }
}

}  // namespace

RoofModel buildRoofNdsm(const PlanRing& ring, const NdsmModel& model,
                        const RoofNdsmParams& params) {
    RoofModel out;
    Bbox box;
    if (ring.size() < 3 || !ringBox(ring, box)) {
        out.flag = 1;
        return out;
    }
    Samples s = sampleFootprint(ring, box, model, params);
    double z = 0.0;
    if (s.heights.empty() && surfaceAtMean(ring, model, z)) {
        s.heights.push_back(z);
    }
    if (s.heights.empty()) {
        out.flag = 1;
        return out;
    }
    out.quality = s.counted > 0 ? static_cast<double>(s.above) / s.counted : 0.0;
    const double roof = upperMedian(std::move(s.heights));
    out.faces.push_back({projectRingToPlane(ring, Plane{0.0, 0.0, 1.0, -roof})});
    appendWalls(ring, model.terrain, roof, params.minWall, out.faces);
    out.flag = out.quality < params.minQuality ? 1 : 0;
    return out;
}
