#include "geometry/lod2fit/SolidBuilders.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lod2fit {

std::int32_t arcSegmentCount(std::int32_t requested, std::int32_t least) {
    return std::clamp(requested, least, kMostArcSegments);
}

std::vector<Vec2> arcProfile(double span, double rise, int segments) {
    const int s = segments >= 3 ? arcSegmentCount(segments, 3) : 2;
    std::vector<Vec2> points;
    points.reserve(static_cast<std::size_t>(s) + 1);
    for (int i = 0; i <= s; ++i) {
        const double t = static_cast<double>(i) / s;
        points.push_back({t * span, std::sin(t * std::numbers::pi) * rise});
    }
    return points;
}

SolidMesh buildWallsBottom(const Footprint& fp, double baseZ, const std::vector<double>& topZ,
                           std::vector<std::int32_t>& topIdx) {
    const std::vector<Vec2>& p = fp.pts;
    const std::size_t n = p.size();
    if (n < 3 || topZ.size() != n) {
        return {};
    }
    SolidMesh mesh;
    mesh.vertices.reserve(2 * n);
    Face floor;
    for (std::size_t i = 0; i < n; ++i) {
        floor.push_back(addVertex(mesh, at(p[i], baseZ)));
    }
    topIdx.clear();
    for (std::size_t i = 0; i < n; ++i) {
        topIdx.push_back(addVertex(mesh, at(p[i], topZ[i])));
    }
    mesh.faces.reserve(n + 1);
    mesh.faces.push_back(std::move(floor));
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t j = (i + 1) % n;
        const auto bi = static_cast<std::int32_t>(i);
        const auto bj = static_cast<std::int32_t>(j);
        mesh.faces.push_back({bi, bj, topIdx[j], topIdx[i]});
    }
    return mesh;
}

}  // namespace lod2fit
