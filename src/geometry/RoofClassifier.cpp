#include "geometry/RoofClassifier.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "geometry/PlaneGeometry.h"
#include "geometry/lod2fit/BuildingFrame.h"

namespace lod2fit {
namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;
constexpr double kSupportDistance = 0.35;  // m from a plane
constexpr double kFlatSlope = 8.0;
constexpr double kMergeSlope = 14.0;
constexpr double kMergeAzimuth = 22.0;
constexpr double kLeastSupportShare = 0.08;
constexpr double kOppositeTolerance = 35.0;
constexpr double kGableSlopeDifference = 12.0;

// One segmented plane as the classifier sees it.
struct Facet {
    bool flat = false;
    double slope = 0.0;    // degrees from the horizontal
    double azimuth = 0.0;  // direction of the horizontal normal, degrees in [0, 360)
    int support = 0;       // points within kSupportDistance
};

double slopeOf(const Plane& p) {
    return std::acos(std::min(std::abs(p.nz), 1.0)) * kDegrees;
}

// Difference of two directions folded into [0, 180].
double azimuthDifference(double a, double b) {
    const double d = std::fmod(std::abs(a - b), 360.0);
    return d > 180.0 ? 360.0 - d : d;
}

Facet facetOf(const Plane& plane, const std::vector<Vec3>& points) {
    Facet f;
    for (const Vec3& v : points) {
        f.support += planeDistance(plane, Pt3{v.x, v.y, v.z}) < kSupportDistance ? 1 : 0;
    }
    f.slope = slopeOf(plane);
    f.azimuth = std::atan2(plane.ny, plane.nx) * kDegrees;
    if (f.azimuth < 0) {
        f.azimuth += 360.0;
    }
    f.flat = f.slope < kFlatSlope;
    return f;
}

bool alike(const Facet& merged, const Facet& f) {
    if (merged.flat || f.flat) {
        return merged.flat && f.flat;
    }
    return std::abs(merged.slope - f.slope) < kMergeSlope &&
           azimuthDifference(merged.azimuth, f.azimuth) < kMergeAzimuth;
}

// Each facet joins the first merged facet like it (all flat ones join one), which keeps the
// shape of its first member; the others start merged facets of their own.
std::vector<Facet> mergedFacets(const std::vector<Plane>& planes, const std::vector<Vec3>& points) {
    std::vector<Facet> merged;
    for (const Plane& plane : planes) {
        const Facet f = facetOf(plane, points);
        const auto partner =
            std::find_if(merged.begin(), merged.end(), [&](const Facet& m) { return alike(m, f); });
        if (partner == merged.end()) {
            merged.push_back(f);
        } else {
            partner->support += f.support;
        }
    }
    return merged;
}

// The sloped facets holding more than the least share of the points, best supported first;
// equal supports keep their order, so the same planes always give the same roof.
std::vector<Facet> slopedBySupport(std::vector<Facet> facets, std::size_t pointCount) {
    const double least = kLeastSupportShare * static_cast<double>(pointCount);
    std::erase_if(facets, [least](const Facet& f) { return !(f.support > least); });
    std::stable_sort(facets.begin(), facets.end(),
                     [](const Facet& a, const Facet& b) { return a.support > b.support; });
    std::erase_if(facets, [](const Facet& f) { return f.flat; });
    return facets;
}

int opposingPairs(const std::vector<Facet>& sloped) {
    std::vector<bool> paired(sloped.size(), false);
    int pairs = 0;
    for (std::size_t i = 0; i < sloped.size(); ++i) {
        for (std::size_t j = i + 1; j < sloped.size() && !paired[i]; ++j) {
            const double d = azimuthDifference(sloped[i].azimuth, sloped[j].azimuth);
            if (!paired[j] && std::abs(d - 180.0) < kOppositeTolerance) {
                paired[i] = paired[j] = true;
                ++pairs;
            }
        }
    }
    return pairs;
}

}  // namespace

RoofClass classifyModelDriven(const std::vector<Plane>& planes, const std::vector<Vec3>& points,
                              const Footprint& /*footprint*/) {
    const std::vector<Facet> sloped = slopedBySupport(mergedFacets(planes, points), points.size());
    const std::size_t m = sloped.size();
    const int pairs = opposingPairs(sloped);
    if (m == 0) {
        return {"Flat", 1.0};
    }
    if (m == 1) {
        return {"Shed", 0.9};
    }
    if (m == 2 && pairs == 1) {
        return std::abs(sloped[0].slope - sloped[1].slope) <= kGableSlopeDifference
                   ? RoofClass{"Gabled", 0.9}
                   : RoofClass{"AsymGabled", 0.8};
    }
    if (pairs >= 2) {
        return {"Hipped", 0.35};
    }
    return m >= 3 ? RoofClass{"Hipped", 0.7} : RoofClass{"Hipped", 0.4};
}

PlaneFeat extractFeatures(const std::vector<Plane>& planes, const Footprint& footprint) {
    constexpr double kSteepSlope = 10.0;
    constexpr double kLeastHorizontal = 1e-6;
    constexpr double kOpposingDot = -0.7;
    constexpr double kBalancedShare = 0.4;

    PlaneFeat f;
    f.planeCount = static_cast<int>(planes.size());
    std::vector<Vec2> steep;
    for (const Plane& p : planes) {
        const double slope = slopeOf(p);
        f.slopes.push_back(slope);
        f.maxSlope = std::max(f.maxSlope, slope);
        f.minSlope = std::min(f.minSlope, slope);
        const double h = std::hypot(p.nx, p.ny);
        if (slope > kSteepSlope && h > kLeastHorizontal) {
            steep.push_back({p.nx / h, p.ny / h});
        }
    }
    for (std::size_t i = 0; i < steep.size() && !f.opposingPair; ++i) {
        for (std::size_t j = i + 1; j < steep.size(); ++j) {
            f.opposingPair = f.opposingPair || dot(steep[i], steep[j]) < kOpposingDot;
        }
    }
    if (steep.size() >= 3) {
        Vec2 sum;
        for (const Vec2& d : steep) {
            sum = sum + d;
        }
        f.balancedNormals =
            std::hypot(sum.x, sum.y) < kBalancedShare * static_cast<double>(steep.size());
    }
    const LongestEdge edge = longestEdge(footprint);
    if (edge.found) {
        f.mainAzimuth = std::atan2(edge.delta.y, edge.delta.x) * kDegrees;
        if (f.mainAzimuth < 0) {
            f.mainAzimuth += 180.0;
        }
    }
    return f;
}

RoofClass classifyRoof(const PlaneFeat& features) {
    if (features.maxSlope < 5.0) {
        return {"Flat", 1.0};
    }
    if (features.planeCount == 1) {
        return {"Shed", 0.9};
    }
    if (features.balancedNormals && features.planeCount >= 4) {
        return {"Hipped", 0.85};
    }
    if (features.opposingPair && (features.planeCount == 2 || features.planeCount == 3)) {
        return {"Gabled", 0.85};
    }
    return {"Flat", 0.3};
}

}  // namespace lod2fit
