#include "geometry/CloudTerrain.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kFillPasses = 20;
constexpr int kMinFillNeighbours = 3;
constexpr std::size_t kMinWaterPoints = 2;
// Beyond this many cells a grid would not fit in memory: such a frame gives an empty grid.
constexpr double kMaxCells = 64.0 * 1024 * 1024;
constexpr double kGroundBand = 0.5;  // metres above a cell's lowest point, for extractGround

// Index of v / cell along an axis of n cells, checked before any conversion, so that a far or
// non-finite coordinate is simply outside.
bool axisIndex(double offset, double cell, std::int32_t n, std::int32_t& out) {
    const double f = std::floor(offset / cell);
    if (!(f >= 0.0 && f < static_cast<double>(n))) {
        return false;
    }
    out = static_cast<std::int32_t>(f);
    return true;
}

// Upper median: the element at index count / 2 of the ordered values.
float upperMedian(float* begin, float* end) {
    float* mid = begin + (end - begin) / 2;
    std::nth_element(begin, mid, end);
    return *mid;
}

// Heights of the points binned per cell, stored cell after cell in one array (a counting sort):
// cell k holds heights[start[k] .. start[k + 1]).
struct CellLists {
    std::vector<std::uint32_t> start;
    std::vector<float> heights;

    template <typename CellOf>
    CellLists(const std::vector<ClPoint>& points, std::size_t cells, CellOf cellOf)
        : start(cells + 1, 0) {
        std::size_t k = 0;
        for (const ClPoint& p : points) {
            if (cellOf(p, k)) {
                ++start[k + 1];
            }
        }
        for (std::size_t c = 0; c < cells; ++c) {
            start[c + 1] += start[c];
        }
        heights.resize(start[cells]);
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        for (const ClPoint& p : points) {
            if (cellOf(p, k)) {
                heights[fill[k]++] = static_cast<float>(p.z);
            }
        }
    }
    std::size_t count(std::size_t c) const { return start[c + 1] - start[c]; }
    float median(std::size_t c) {
        return upperMedian(heights.data() + start[c], heights.data() + start[c + 1]);
    }
};

}  // namespace

CloudTerrain::CloudTerrain(const std::vector<ClPoint>& ground, const Bbox& frame, double step,
                           const std::vector<ClPoint>& waterPoints, bool waterLevelWanted)
    : x0(frame.minx), y0(frame.miny), cell(step > 0.0 ? step : 1.0), waterLevel(kNaN) {
    const double spansX = std::floor((frame.maxx - frame.minx) / cell);
    const double spansY = std::floor((frame.maxy - frame.miny) / cell);
    if (!(spansX >= 0.0 && spansY >= 0.0) || (spansX + 1.0) * (spansY + 1.0) > kMaxCells) {
        return;
    }
    nx = static_cast<std::int32_t>(spansX) + 1;
    ny = static_cast<std::int32_t>(spansY) + 1;
    setGroundMedians(ground);
    fillHoles();
    if (!waterPoints.empty()) {
        setWaterCells(waterPoints);
    }
    if (!waterLevelWanted) {
        return;
    }
    // A frame without water points keeps "no data" rather than flooding its holes at 0 m.
    std::size_t k = 0;
    if (std::none_of(waterPoints.begin(), waterPoints.end(),
                     [&](const ClPoint& p) { return cellIndexOf(p, k); })) {
        return;
    }
    std::vector<float> heights;
    heights.reserve(waterPoints.size());
    for (const ClPoint& p : waterPoints) {
        heights.push_back(static_cast<float>(p.z));
    }
    flood(upperMedian(heights.data(), heights.data() + heights.size()));
}

bool CloudTerrain::cellOf(double x, double y, std::int32_t& i, std::int32_t& j) const {
    return axisIndex(x - x0, cell, nx, i) && axisIndex(y - y0, cell, ny, j);
}

bool CloudTerrain::cellIndexOf(const ClPoint& p, std::size_t& k) const {
    std::int32_t i = 0, j = 0;
    if (!cellOf(p.x, p.y, i, j)) {
        return false;
    }
    k = at(i, j);
    return true;
}

void CloudTerrain::setGroundMedians(const std::vector<ClPoint>& ground) {
    const std::size_t cells = at(0, ny);
    z.assign(cells, kNaN);
    water.assign(cells, 0);
    CellLists lists(ground, cells,
                    [this](const ClPoint& p, std::size_t& k) { return cellIndexOf(p, k); });
    for (std::size_t c = 0; c < cells; ++c) {
        if (lists.count(c) > 0) {
            z[c] = lists.median(c);
            ++validCells;
        }
    }
}

void CloudTerrain::fillHoles() {
    for (int pass = 0; pass < kFillPasses; ++pass) {
        if (!fillPass()) {
            break;
        }
    }
}

// One pass: every empty cell with at least three neighbours that have a height takes their
// mean; all values come from the heights before the pass. Returns whether anything was filled.
bool CloudTerrain::fillPass() {
    std::vector<std::pair<std::size_t, double>> filled;
    for (std::int32_t j = 0; j < ny; ++j) {
        for (std::int32_t i = 0; i < nx; ++i) {
            if (!std::isnan(z[at(i, j)])) {
                continue;
            }
            double sum = 0.0;
            int count = 0;
            for (std::int32_t dj = -1; dj <= 1; ++dj) {
                for (std::int32_t di = -1; di <= 1; ++di) {
                    const std::int32_t ni = i + di;
                    const std::int32_t nj = j + dj;
                    if ((di == 0 && dj == 0) || ni < 0 || nj < 0 || ni >= nx || nj >= ny) {
                        continue;
                    }
                    const double v = z[at(ni, nj)];
                    if (!std::isnan(v)) {
                        sum += v;
                        ++count;
                    }
                }
            }
            if (count >= kMinFillNeighbours) {
                filled.emplace_back(at(i, j), sum / count);
            }
        }
    }
    for (const auto& [k, v] : filled) {
        z[k] = v;
    }
    validCells += filled.size();
    return !filled.empty();
}

void CloudTerrain::setWaterCells(const std::vector<ClPoint>& waterPoints) {
    const std::size_t cells = z.size();
    CellLists lists(waterPoints, cells,
                    [this](const ClPoint& p, std::size_t& k) { return cellIndexOf(p, k); });
    for (std::size_t c = 0; c < cells; ++c) {
        if (lists.count(c) < kMinWaterPoints) {
            continue;
        }
        if (std::isnan(z[c])) {
            ++validCells;
        }
        z[c] = lists.median(c);
        water[c] = 1;
        ++waterCells;
    }
}

// Water cells take the level; so does every cell still without a height, which becomes water.
void CloudTerrain::flood(double level) {
    waterLevel = level;
    for (std::size_t c = 0; c < z.size(); ++c) {
        if (water[c] != 0 || std::isnan(z[c])) {
            z[c] = level;
            water[c] = 1;
            ++levelCells;
        }
    }
}

bool CloudTerrain::sample(double x, double y, double& height) const {
    std::int32_t i, j;
    if (nx == 0 || ny == 0 || !cellOf(x, y, i, j)) {
        return false;
    }
    const std::int32_t i1 = std::min(i + 1, nx - 1);
    const std::int32_t j1 = std::min(j + 1, ny - 1);
    // Corners in the order (i, j), (i+1, j), (i, j+1), (i+1, j+1).
    const double v[4] = {z[at(i, j)], z[at(i1, j)], z[at(i, j1)], z[at(i1, j1)]};
    const double fx = (x - x0) / cell - i;
    const double fy = (y - y0) / cell - j;
    if (std::none_of(std::begin(v), std::end(v), [](double h) { return std::isnan(h); })) {
        const double bottom = v[0] + fx * (v[1] - v[0]);
        const double top = v[2] + fx * (v[3] - v[2]);
        height = bottom + fy * (top - bottom);
        return true;
    }
    // Nearest corner with a height, by squared distance in cell units; ties keep the earlier.
    const double cornerX[4] = {0.0, 1.0, 0.0, 1.0};
    const double cornerY[4] = {0.0, 0.0, 1.0, 1.0};
    int best = -1;
    double bestD = 0.0;
    for (int k = 0; k < 4; ++k) {
        if (std::isnan(v[k])) {
            continue;
        }
        const double d =
            (fx - cornerX[k]) * (fx - cornerX[k]) + (fy - cornerY[k]) * (fy - cornerY[k]);
        if (best < 0 || d < bestD) {
            best = k;
            bestD = d;
        }
    }
    if (best < 0) {
        return false;
    }
    height = v[best];
    return true;
}

bool CloudTerrain::sampleWoda(double x, double y, double& height) const {
    std::int32_t i, j;
    if (nx == 0 || ny == 0 || water.size() != z.size() || std::isnan(waterLevel) ||
        !cellOf(x, y, i, j) || water[at(i, j)] == 0) {
        return false;
    }
    height = waterLevel;
    return true;
}

std::vector<ClPoint> CloudTerrain::extractGround(const std::vector<ClPoint>& points,
                                                 double cellSize, double minGroundShare,
                                                 GroundStats& stats) {
    stats = GroundStats{};
    stats.total = points.size();
    std::vector<ClPoint> result;
    for (const ClPoint& p : points) {
        if (p.cls == 2) {
            result.push_back(p);
            ++stats.ground;
        }
    }
    if (points.empty() ||
        static_cast<double>(stats.ground) / static_cast<double>(stats.total) >= minGroundShare) {
        return result;
    }
    stats.fallback = true;
    result.clear();
    const double size = cellSize > 0.0 ? cellSize : 2.0;
    double minX = points.front().x;
    double minY = points.front().y;
    for (const ClPoint& p : points) {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
    }
    // Column in the high 32 bits, row in the low 32 bits; a point whose cell cannot be named
    // (not a number, or beyond 2^32 cells) is left out.
    constexpr double kAxisCells = 4294967296.0;
    auto keyOf = [&](const ClPoint& p, std::uint64_t& key) {
        const double c = std::floor((p.x - minX) / size);
        const double r = std::floor((p.y - minY) / size);
        if (!(c >= 0.0 && c < kAxisCells && r >= 0.0 && r < kAxisCells)) {
            return false;
        }
        key = (static_cast<std::uint64_t>(c) << 32) | static_cast<std::uint64_t>(r);
        return true;
    };
    std::unordered_map<std::uint64_t, double> lowest;
    std::uint64_t key = 0;
    for (const ClPoint& p : points) {
        if (keyOf(p, key)) {
            auto [it, inserted] = lowest.try_emplace(key, p.z);
            if (!inserted) {
                it->second = std::min(it->second, p.z);
            }
        }
    }
    for (const ClPoint& p : points) {
        if (keyOf(p, key) && p.z <= lowest[key] + kGroundBand) {
            result.push_back(p);
        }
    }
    return result;
}
