#include "geometry/lod2fit/RoofBand.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace lod2fit {
namespace {

constexpr std::size_t kLeastCloud = 8;
constexpr std::size_t kFullBand = 30;
constexpr std::size_t kLeastBand = 12;
constexpr double kLeastRise = 2.0;       // m above the ground that any roof point reaches
constexpr double kShareOfHeight = 0.4;   // of the building height, below which lie no roof points
constexpr double kLeastRidgeRise = 0.1;  // m of ridge above the eave

std::vector<Vec3> finitePoints(const std::vector<Vec3>& points) {
    std::vector<Vec3> out;
    out.reserve(points.size());
    std::copy_if(points.begin(), points.end(), std::back_inserter(out),
                 [](const Vec3& p) { return std::isfinite(p.z); });
    return out;
}

std::vector<double> sortedHeights(const std::vector<Vec3>& points) {
    std::vector<double> z;
    z.reserve(points.size());
    for (const Vec3& p : points) {
        z.push_back(p.z);
    }
    std::sort(z.begin(), z.end());
    return z;
}

std::vector<Vec3> above(const std::vector<Vec3>& points, double threshold) {
    std::vector<Vec3> out;
    std::copy_if(points.begin(), points.end(), std::back_inserter(out),
                 [threshold](const Vec3& p) { return p.z > threshold; });
    return out;
}

}  // namespace

double quantileOfSorted(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) {
        return 0.0;
    }
    const double pos = p * static_cast<double>(sorted.size() - 1);
    const std::size_t lo = static_cast<std::size_t>(std::floor(pos));
    const std::size_t hi = std::min(lo + 1, sorted.size() - 1);
    const double t = pos - static_cast<double>(lo);
    return sorted[lo] + t * (sorted[hi] - sorted[lo]);
}

RoofBand extractRoofBand(const std::vector<Vec3>& points, double groundZ) {
    RoofBand band;
    const std::vector<Vec3> cloud = finitePoints(points);
    if (cloud.size() < kLeastCloud) {
        return band;
    }
    const double p98 = quantileOfSorted(sortedHeights(cloud), 0.98);
    band.points = above(cloud, groundZ + std::max(kShareOfHeight * (p98 - groundZ), kLeastRise));
    if (band.points.size() < kFullBand) {
        band.points = above(cloud, groundZ + kLeastRise);
    }
    if (band.points.size() < kLeastBand) {
        return band;
    }
    const std::vector<double> z = sortedHeights(band.points);
    band.eaveZ = quantileOfSorted(z, 0.10);
    band.ridgeZ = std::max(band.eaveZ + kLeastRidgeRise, quantileOfSorted(z, 0.95));
    band.ok = true;
    return band;
}

}  // namespace lod2fit
