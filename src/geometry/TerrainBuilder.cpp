#include "geometry/TerrainBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace {

constexpr std::int64_t kNodesPerTile = 200;  // plus the node shared with the next tile
constexpr std::int64_t kMaxTiles = 4;

// How one axis is cut: `nodes` nodes in `tiles` tiles of `perTile` nodes each.
struct AxisCut {
    std::int64_t nodes = 0;
    std::int64_t tiles = 0;
    std::int64_t perTile = 0;
};

// Nodes of one axis: the whole spans of the extent plus one. Extents past any use are held at a
// count that the tile cut trims anyway.
std::int64_t nodeCount(double extent, double step) {
    const double spans = std::floor(extent / step);
    if (std::isnan(spans)) {
        return 0;
    }
    return static_cast<std::int64_t>(std::clamp(spans, -1.0, 1e12)) + 1;
}

std::int64_t tilesFor(std::int64_t nodes) {
    return std::max<std::int64_t>((nodes + kNodesPerTile - 1) / kNodesPerTile, 1);
}

AxisCut cutAxis(std::int64_t nodes, std::int64_t tiles) {
    const std::int64_t spans = nodes - 1;
    return {nodes, tiles, std::min((spans + tiles) / tiles, kNodesPerTile)};
}

// Node indices [first, second) along one axis.
using NodeRange = std::pair<std::int64_t, std::int64_t>;

// The node range of tile t: all tiles but the last reach one node into the next.
NodeRange nodeRange(const AxisCut& a, std::int64_t t) {
    const std::int64_t first = t * a.perTile;
    const std::int64_t reach = t + 1 < a.tiles ? a.perTile + 1 : a.perTile;
    return {first, std::min(first + reach, a.nodes)};
}

std::string cutMessage(double step, double width, double height) {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "Kadr za duzy dla kroku %.0f m - teren ograniczony do 4x4 platek. Zwieksz krok "
                  "do >= %.0f m, aby pokryc caly kadr.",
                  std::trunc(step), std::ceil(std::max(width, height) / 799.0));
    return buf;
}

// The nodes of columns cols and rows rows where the sampler has a height, rows from the south,
// each from the west.
TerrainTile sampleTile(const Bbox& frame, double step, NodeRange cols, NodeRange rows,
                       const HeightSampler& sampler) {
    TerrainTile tile;
    tile.bounds = {frame.minx + cols.first * step, frame.miny + rows.first * step,
                   frame.minx + (cols.second - 1) * step, frame.miny + (rows.second - 1) * step};
    for (std::int64_t j = rows.first; j < rows.second; ++j) {
        const double y = frame.miny + j * step;
        for (std::int64_t i = cols.first; i < cols.second; ++i) {
            const double x = frame.minx + i * step;
            double z = 0.0;
            if (sampler(x, y, z)) {
                tile.pts.push_back({x, y, z});
            }
        }
    }
    return tile;
}

// How build cuts a frame: its axes, and whether it keeps fewer tiles than the frame needs.
struct FrameCut {
    AxisCut x;
    AxisCut y;
    bool capped = false;
};

FrameCut cutFrame(double width, double height, double step) {
    const std::int64_t nodesX = nodeCount(width, step);
    const std::int64_t nodesY = nodeCount(height, step);
    const std::int64_t tilesX = tilesFor(nodesX);
    const std::int64_t tilesY = tilesFor(nodesY);
    return {cutAxis(nodesX, std::min(tilesX, kMaxTiles)),
            cutAxis(nodesY, std::min(tilesY, kMaxTiles)), tilesX > kMaxTiles || tilesY > kMaxTiles};
}

// A step not above 0 is taken as 1.
double usableStep(double step) {
    return step > 0.0 ? step : 1.0;
}

// The index of the last node sampled along an axis.
std::int64_t lastNode(const AxisCut& a) {
    return nodeRange(a, a.tiles - 1).second - 1;
}

}  // namespace

std::vector<TerrainTile> TerrainBuilder::build(const Bbox& frame, double step,
                                               const HeightSampler& sampler, std::string& message) {
    message.clear();
    step = usableStep(step);
    const double width = frame.maxx - frame.minx;
    const double height = frame.maxy - frame.miny;
    const FrameCut cut = cutFrame(width, height, step);
    if (cut.capped) {
        message = cutMessage(step, width, height);
    }
    const AxisCut& ax = cut.x;
    const AxisCut& ay = cut.y;

    std::vector<TerrainTile> tiles;
    for (std::int64_t ty = 0; ty < ay.tiles; ++ty) {
        const auto [j0, j1] = nodeRange(ay, ty);
        for (std::int64_t tx = 0; tx < ax.tiles; ++tx) {
            const auto [i0, i1] = nodeRange(ax, tx);
            if (i0 >= i1 || j0 >= j1) {
                continue;
            }
            TerrainTile tile = sampleTile(frame, step, {i0, i1}, {j0, j1}, sampler);
            if (!tile.pts.empty()) {
                tiles.push_back(std::move(tile));
            }
        }
    }
    return tiles;
}

std::optional<Bbox> TerrainBuilder::sampledPart(const Bbox& frame, double step) {
    step = usableStep(step);
    const FrameCut cut = cutFrame(frame.maxx - frame.minx, frame.maxy - frame.miny, step);
    if (!cut.capped) {
        return std::nullopt;
    }
    return Bbox{frame.minx, frame.miny, frame.minx + lastNode(cut.x) * step,
                frame.miny + lastNode(cut.y) * step};
}
