#include "geometry/lod2fit/Shed.h"

#include <algorithm>
#include <cmath>

#include "geometry/lod2fit/SolidBuilders.h"

namespace lod2fit {
namespace {

constexpr double kTiny = 1e-12;

// Position of every corner across the axis, measured to its left.
std::vector<double> crossPositions(const Footprint& footprint, Vec2 axis) {
    const double length = std::hypot(axis.x, axis.y);
    const Vec2 a = (1.0 / (length > kTiny ? length : 1.0)) * axis;
    const Vec2 across{-a.y, a.x};
    std::vector<double> s;
    s.reserve(footprint.pts.size());
    for (const Vec2& p : footprint.pts) {
        s.push_back(dot(p, across));
    }
    return s;
}

}  // namespace

SolidMesh Shed::emit(const RoofParams& params, const Footprint& footprint) const {
    if (!isBuildableRing(footprint)) {
        return {};
    }
    std::vector<double> heights = crossPositions(footprint, params.axis);
    const auto [lo, hi] = std::minmax_element(heights.begin(), heights.end());
    const double smin = *lo;
    const double range = *hi - smin > kTiny ? *hi - smin : 1.0;
    for (double& h : heights) {
        h = params.eaveZ + (h - smin) / range * (params.ridgeZ - params.eaveZ);
    }
    std::vector<std::int32_t> top;
    SolidMesh mesh = buildWallsBottom(footprint, params.groundZ, heights, top);
    mesh.faces.push_back(top);
    return mesh;
}

}  // namespace lod2fit
