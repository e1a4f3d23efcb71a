#include "geometry/lod2fit/MeshResidual.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "geometry/lod2fit/MeshComponents.h"

namespace lod2fit {
namespace {

constexpr double kNoFit = 1e9;
constexpr std::size_t kMostSamples = 5000;
constexpr double kTrustedResidual = 1.6;
constexpr double kTrustedConfidence = 0.5;

double length(Vec3 v) {
    return std::sqrt(dot(v, v));
}

double pointSegmentDistance(Vec3 p, Vec3 a, Vec3 b) {
    const Vec3 ab = b - a;
    const double len2 = dot(ab, ab);
    const double t = len2 > 0.0 ? std::clamp(dot(p - a, ab) / len2, 0.0, 1.0) : 0.0;
    return length(p - (a + t * ab));
}

// Nearest point by the Voronoi regions of the triangle's corners, edges and face.
Vec3 closestOnTriangle(Vec3 p, Vec3 a, Vec3 b, Vec3 c) {
    const Vec3 ab = b - a;
    const Vec3 ac = c - a;
    const Vec3 ap = p - a;
    const double d1 = dot(ab, ap);
    const double d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0) {
        return a;
    }
    const Vec3 bp = p - b;
    const double d3 = dot(ab, bp);
    const double d4 = dot(ac, bp);
    if (d3 >= 0 && d4 <= d3) {
        return b;
    }
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) {
        return a + (d1 / (d1 - d3)) * ab;
    }
    const Vec3 cp = p - c;
    const double d5 = dot(ab, cp);
    const double d6 = dot(ac, cp);
    if (d6 >= 0 && d5 <= d6) {
        return c;
    }
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) {
        return a + (d2 / (d2 - d6)) * ac;
    }
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) {
        return b + ((d4 - d3) / ((d4 - d3) + (d5 - d6))) * (c - b);
    }
    const double sum = va + vb + vc;
    return a + (vb / sum) * ab + (vc / sum) * ac;
}

struct Triangle {
    Vec3 a;
    Vec3 b;
    Vec3 c;
};

// The fan triangles of every face with at least three corners, all of them in the vertex list;
// a face that points outside it is left out.
std::vector<Triangle> fanTriangles(const SolidMesh& mesh) {
    std::vector<Triangle> triangles;
    for (const Face& f : mesh.faces) {
        if (!indicesInRange(f, mesh.vertices.size())) {
            continue;
        }
        for (std::size_t j = 2; j < f.size(); ++j) {
            triangles.push_back(
                {mesh.vertices[f[0]], mesh.vertices[f[j - 1]], mesh.vertices[f[j]]});
        }
    }
    return triangles;
}

double distanceToTriangles(Vec3 p, const std::vector<Triangle>& triangles) {
    double best = 1e18;
    for (const Triangle& t : triangles) {
        best = std::min(best, pointTriangleDistance(p, t.a, t.b, t.c));
    }
    return best;
}

}  // namespace

double pointTriangleDistance(Vec3 p, Vec3 a, Vec3 b, Vec3 c) {
    const Vec3 n = cross(b - a, c - a);
    const double scale = std::max({dot(b - a, b - a), dot(c - a, c - a), dot(c - b, c - b)});
    if (!(dot(n, n) > 1e-24 * scale * scale)) {
        return std::min({pointSegmentDistance(p, a, b), pointSegmentDistance(p, b, c),
                         pointSegmentDistance(p, c, a)});
    }
    return length(p - closestOnTriangle(p, a, b, c));
}

double meanCloudToMesh(const std::vector<Vec3>& points, const SolidMesh& mesh) {
    if (points.empty() || mesh.faces.empty()) {
        return kNoFit;
    }
    const std::vector<Triangle> triangles = fanTriangles(mesh);
    const std::size_t step = points.size() <= kMostSamples ? 1 : points.size() / kMostSamples;
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < points.size(); i += step) {
        sum += distanceToTriangles(points[i], triangles);
        ++count;
    }
    return sum / static_cast<double>(count);
}

int flagFromResidual(double residual, double confidence) {
    return residual < kTrustedResidual && confidence >= kTrustedConfidence ? 0 : 1;
}

}  // namespace lod2fit
