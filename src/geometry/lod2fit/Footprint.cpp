#include "geometry/lod2fit/Footprint.h"

#include <algorithm>
#include <cmath>

namespace lod2fit {
namespace {

// Shapes smaller than this share of the ring's extent count as collapsed.
constexpr double kRelativeTolerance = 1e-9;

double extent(const Footprint& fp) {
    const PlanBox box = boundingBox(fp);
    return std::max(box.dx(), box.dy());
}

}  // namespace

PlanBox boundingBox(const Footprint& fp) {
    PlanBox box;
    for (const Vec2& p : fp.pts) {
        box.minx = std::min(box.minx, p.x);
        box.miny = std::min(box.miny, p.y);
        box.maxx = std::max(box.maxx, p.x);
        box.maxy = std::max(box.maxy, p.y);
    }
    return box;
}

double signedArea(const Footprint& fp) {
    const std::vector<Vec2>& p = fp.pts;
    if (p.size() < 3) {
        return 0.0;
    }
    double twice = 0.0;
    for (std::size_t i = 1; i + 1 < p.size(); ++i) {
        twice += cross(p[i] - p[0], p[i + 1] - p[0]);
    }
    return twice / 2;
}

bool isBuildableRing(const Footprint& fp) {
    if (fp.pts.size() < 3) {
        return false;
    }
    const double size = extent(fp);
    return std::abs(signedArea(fp)) > kRelativeTolerance * size * size;
}

bool isConvexQuad(const Footprint& fp) {
    if (fp.pts.size() != 4 || !isBuildableRing(fp)) {
        return false;
    }
    const std::vector<Vec2>& p = fp.pts;
    const double size = extent(fp);
    const double minTurn = kRelativeTolerance * size * size;
    int left = 0;
    int right = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const double turn = cross(p[(i + 1) % 4] - p[i], p[(i + 2) % 4] - p[(i + 1) % 4]);
        left += turn > minTurn ? 1 : 0;
        right += turn < -minTurn ? 1 : 0;
    }
    return left == 4 || right == 4;
}

bool spansBoxAlongX(const Footprint& fp) {
    if (fp.pts.size() != 4 || !isBuildableRing(fp)) {
        return false;
    }
    const std::vector<Vec2>& p = fp.pts;
    const double minSpan = kRelativeTolerance * extent(fp);
    return p[1].x - p[0].x > minSpan && std::abs(p[3].y - p[0].y) > minSpan;
}

bool spansBoxFromLowestCorner(const Footprint& fp) {
    return spansBoxAlongX(fp) && fp.pts[3].y > fp.pts[0].y;
}

}  // namespace lod2fit
