#include "geometry/Surface.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "geometry/PlaneGeometry.h"
#include "geometry/SurfaceLattice.h"

namespace {

// Beyond any real corridor; only keeps the cell counts inside 64 bits.
constexpr double kCellLimit = 1e15;

// A node that is no corner of the mesh yet. The indices end at 2^32 corners, which would take
// some 100 GB: memory ends long before they do.
constexpr std::uint32_t kNoVertex = std::numeric_limits<std::uint32_t>::max();

// What the used cells gave.
struct CellTally {
    TriangleMesh mesh;
    std::vector<double> firstCorners;  // the height at each used cell's first corner
    std::int64_t raised = 0;
};

// Consecutive usable nodes of one lattice row j (inside the ring, with a height), from column
// `first` on, each with its corner in the mesh once a cell has used it.
struct NodeRun {
    std::int64_t first = 0;
    std::vector<double> z;
    std::vector<std::uint32_t> vertex;

    std::int64_t last() const { return first + static_cast<std::int64_t>(z.size()) - 1; }
    double at(std::int64_t i) const { return z[index(i)]; }
    void add(double height) {
        z.push_back(height);
        vertex.push_back(kNoVertex);
    }

    // The mesh corner of node i, added at its first use.
    std::uint32_t vertexOf(std::int64_t i, const Lattice& lattice, std::int64_t j,
                           TriangleMesh& mesh) {
        std::uint32_t& v = vertex[index(i)];
        if (v == kNoVertex) {
            v = static_cast<std::uint32_t>(mesh.vertices.size());
            mesh.vertices.push_back({lattice.x(i), lattice.y(j), at(i)});
        }
        return v;
    }

private:
    std::size_t index(std::int64_t i) const { return static_cast<std::size_t>(i - first); }
};

using NodeRow = std::vector<NodeRun>;

std::int64_t cellCount(double extent, double step) {
    const double n = std::floor(extent / step);
    return n >= 1.0 ? static_cast<std::int64_t>(std::min(n, kCellLimit)) : 1;
}

Bbox clipped(const Bbox& box, const Bbox& clip) {
    return {std::max(box.minx, clip.minx), std::max(box.miny, clip.miny),
            std::min(box.maxx, clip.maxx), std::min(box.maxy, clip.maxy)};
}

// The usable nodes of row j among columns [first, end). Each node is tested and sampled once,
// however many cells share it.
NodeRow sampleRow(RingRowScan& scan, const Lattice& lattice, std::int64_t j, ColumnRun columns,
                  const FloatGrid& grid) {
    const double y = lattice.y(j);
    NodeRow row;
    for (const ColumnRun& run : scan.insideRuns(y, lattice, columns.end)) {
        for (std::int64_t i = std::max(run.first, columns.first); i < run.end; ++i) {
            double z = 0.0;
            if (!grid.sampleZ(lattice.x(i), y, z)) {
                continue;
            }
            if (row.empty() || row.back().last() != i - 1) {
                row.push_back({i, {}, {}});
            }
            row.back().add(z);
        }
    }
    return row;
}

// Cell (i, j) between two runs of nodes: two triangles through its corners, its first corner
// kept, and a raised cell counted where the surface at its centre stands more than minHeight
// above the terrain.
void addCell(const Lattice& lattice, std::int64_t i, std::int64_t j, NodeRun& lower, NodeRun& upper,
             const NdsmModel& model, double minHeight, CellTally& tally) {
    double standing = 0.0;
    if (model.heightAbove((lattice.x(i) + lattice.x(i + 1)) * 0.5,
                          (lattice.y(j) + lattice.y(j + 1)) * 0.5, standing) &&
        standing > minHeight) {
        ++tally.raised;
    }
    TriangleMesh& mesh = tally.mesh;
    const std::uint32_t c00 = lower.vertexOf(i, lattice, j, mesh);
    const std::uint32_t c10 = lower.vertexOf(i + 1, lattice, j, mesh);
    const std::uint32_t c11 = upper.vertexOf(i + 1, lattice, j + 1, mesh);
    const std::uint32_t c01 = upper.vertexOf(i, lattice, j + 1, mesh);
    mesh.triangles.push_back({c00, c10, c11});
    mesh.triangles.push_back({c00, c11, c01});
    tally.firstCorners.push_back(lower.at(i));
}

// The cells of row j: those whose four corners are usable nodes of the row below and the row
// above, west to east.
void addRowCells(NodeRow& below, NodeRow& above, const Lattice& lattice, std::int64_t j,
                 const NdsmModel& model, double minHeight, CellTally& tally) {
    std::size_t a = 0;
    std::size_t b = 0;
    while (a < below.size() && b < above.size()) {
        NodeRun& lower = below[a];
        NodeRun& upper = above[b];
        const std::int64_t from = std::max(lower.first, upper.first);
        const std::int64_t to = std::min(lower.last(), upper.last());
        for (std::int64_t i = from; i < to; ++i) {
            addCell(lattice, i, j, lower, upper, model, minHeight, tally);
        }
        if (lower.last() < upper.last()) {
            ++a;
        } else {
            ++b;
        }
    }
}

CellTally triangulate(const PlanRing& ring, const Bbox& box, const NdsmModel& model,
                      const FloatGrid& grid, const SurfaceParams& params) {
    CellTally tally;
    Bbox reach;
    if (!gridReach(grid, reach)) {
        return tally;
    }
    const double step = usableStep(params.step);
    const Lattice lattice{box.minx, box.miny, step};
    const std::int64_t nx = cellCount(box.maxx - box.minx, step);
    const std::int64_t ny = cellCount(box.maxy - box.miny, step);
    // Nodes beyond the grid's reach have no height, so neither have the cells on them.
    const ColumnRun columns = lattice.columnsWithin(reach.minx, reach.maxx, nx + 1);
    const ColumnRun rows = lattice.rowsWithin(reach.miny, reach.maxy, ny + 1);
    RingRowScan scan(ring);
    NodeRow below = sampleRow(scan, lattice, rows.first, columns, grid);
    // The cells of row j lie between the node rows j and j + 1.
    for (std::int64_t j = rows.first; j + 1 < rows.end; ++j) {
        NodeRow above = sampleRow(scan, lattice, j + 1, columns, grid);
        addRowCells(below, above, lattice, j, model, params.minHeight, tally);
        below = std::move(above);
    }
    return tally;
}

}  // namespace

RoofModel buildSurface(const PlanRing& ring, const NdsmModel& model, const SurfaceParams& params) {
    RoofModel out;
    out.flag = 1;
    Bbox box;
    if (ring.size() < 3 || !ringBox(ring, box)) {
        return out;
    }
    if (params.clip) {
        box = clipped(box, params.clipBox);
        if (!(box.maxx - box.minx > 0.0) || !(box.maxy - box.miny > 0.0)) {
            return out;
        }
    }
    const FloatGrid& grid = params.sampleTerrain ? model.terrain : model.surface;
    CellTally tally = triangulate(ring, box, model, grid, params);
    const std::size_t used = tally.firstCorners.size();
    out.quality = used > 0 ? static_cast<double>(tally.raised) / static_cast<double>(used) : 0.0;
    if (used > 0 && out.quality >= params.minQuality) {
        // The model is kept as long as the fetch: no room to spare.
        tally.mesh.vertices.shrink_to_fit();
        tally.mesh.triangles.shrink_to_fit();
        out.mesh = std::move(tally.mesh);
        out.flag = 0;
        return out;
    }
    // One level face over the whole ring, the part outside the clip box included.
    double level = 0.0;
    if (used > 0) {
        level = upperMedian(std::move(tally.firstCorners));
    } else if (!grid.sampleZ((box.minx + box.maxx) * 0.5, (box.miny + box.maxy) * 0.5, level)) {
        return out;
    }
    out.faces.push_back({projectRingToPlane(ring, Plane{0.0, 0.0, 1.0, -level})});
    return out;
}
