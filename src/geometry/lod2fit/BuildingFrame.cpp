#include "geometry/lod2fit/BuildingFrame.h"

#include <algorithm>
#include <cmath>

#include "geometry/lod2fit/SolidMesh.h"

namespace lod2fit {
namespace {

constexpr double kShortestAxis = 1e-9;
constexpr double kLeastRidgeRise = 0.1;

Vec2 meanOf(const Footprint& fp) {
    Vec2 sum;
    for (const Vec2& p : fp.pts) {
        sum = sum + p;
    }
    return fp.pts.empty() ? sum : (1.0 / static_cast<double>(fp.pts.size())) * sum;
}

}  // namespace

LongestEdge longestEdge(const Footprint& fp) {
    LongestEdge best;
    const std::size_t n = fp.pts.size();
    for (std::size_t i = 1; i <= n; ++i) {
        const Vec2 d = fp.pts[i % n] - fp.pts[i - 1];
        const double len = std::hypot(d.x, d.y);
        if (!best.found || len > best.length) {
            best = {true, i - 1, d, len};
        }
    }
    return best;
}

BuildingFrame::BuildingFrame(const Footprint& fp) : centre(meanOf(fp)) {
    const LongestEdge edge = longestEdge(fp);
    theta = edge.found ? std::atan2(edge.delta.y, edge.delta.x) : 0.0;
}

std::vector<Vec3> BuildingFrame::toLocal(const std::vector<Vec3>& points) const {
    return rotatedZ(SolidMesh{points, {}}, -theta, centre.x, centre.y).vertices;
}

Footprint BuildingFrame::toLocal(const Footprint& fp) const {
    std::vector<Vec3> lifted;
    lifted.reserve(fp.pts.size());
    for (const Vec2& p : fp.pts) {
        lifted.push_back(at(p, 0.0));
    }
    Footprint out;
    for (const Vec3& p : toLocal(lifted)) {
        out.pts.push_back({p.x, p.y});
    }
    return out;
}

Footprint startingAt(const Footprint& fp, std::size_t first) {
    Footprint out = fp;
    if (first < out.pts.size()) {
        std::rotate(out.pts.begin(), out.pts.begin() + static_cast<std::ptrdiff_t>(first),
                    out.pts.end());
    }
    return out;
}

RoofParams fitParams(std::string_view /*roofType*/, const Footprint& fp, double groundZ,
                     double eaveZ, double ridgeZ, const RoofParams& base) {
    RoofParams p = base;
    p.groundZ = groundZ;
    p.eaveZ = eaveZ;
    p.ridgeZ = std::max(eaveZ + kLeastRidgeRise, ridgeZ);
    const LongestEdge edge = longestEdge(fp);
    if (!edge.found) {
        p.axis = {1.0, 0.0};
    } else if (edge.length < kShortestAxis) {
        p.axis = edge.delta;
    } else {
        p.axis = (1.0 / edge.length) * edge.delta;
    }
    return p;
}

}  // namespace lod2fit
