#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "geometry/PlaneGeometry.h"
#include "geometry/RoofClassifier.h"

namespace lod2fit {
namespace {

// The plane through (0, 0, h) of the given slope whose horizontal normal points to azimuthDeg.
Plane sloped(double slopeDeg, double azimuthDeg, double h = 10.0) {
    const double s = slopeDeg * std::numbers::pi / 180.0;
    const double a = azimuthDeg * std::numbers::pi / 180.0;
    return {std::sin(s) * std::cos(a), std::sin(s) * std::sin(a), std::cos(s), -std::cos(s) * h};
}

// `count` points on the plane, spread over a 10 m square about the origin.
std::vector<Vec3> pointsOn(const Plane& p, int count) {
    std::vector<Vec3> out;
    for (int i = 0; i < count; ++i) {
        const double x = -5.0 + 10.0 * ((i * 7) % count) / count;
        const double y = -5.0 + 10.0 * ((i * 13) % count) / count;
        out.push_back({x, y, heightOnPlane(p, x, y)});
    }
    return out;
}

std::vector<Vec3> joined(std::initializer_list<std::vector<Vec3>> parts) {
    std::vector<Vec3> out;
    for (const auto& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

RoofClass classify(const std::vector<Plane>& planes, const std::vector<Vec3>& pts) {
    return classifyModelDriven(planes, pts, Footprint{});
}

TEST(ClassifyModelDriven, OpposedSlopesNameGableOrAsymmetricGable) {
    const Plane east = sloped(30, 0);
    const Plane west = sloped(35, 180);
    const RoofClass g = classify({east, west}, joined({pointsOn(east, 100), pointsOn(west, 100)}));
    EXPECT_EQ(g.roofType, "Gabled");
    EXPECT_DOUBLE_EQ(g.confidence, 0.9);

    const Plane low = sloped(20, 0);
    const Plane steep = sloped(40, 180);
    const RoofClass a = classify({low, steep}, joined({pointsOn(low, 100), pointsOn(steep, 100)}));
    EXPECT_EQ(a.roofType, "AsymGabled");
    EXPECT_DOUBLE_EQ(a.confidence, 0.8);
}

TEST(ClassifyModelDriven, CountsOfSlopedFacetsAndPairs) {
    const Plane n = sloped(30, 90, 10);
    const Plane s = sloped(30, 270, 20);
    const Plane e = sloped(30, 0, 30);
    const Plane w = sloped(30, 180, 40);
    const auto pts =
        joined({pointsOn(n, 100), pointsOn(s, 100), pointsOn(e, 100), pointsOn(w, 100)});
    EXPECT_EQ(classify({n, s, e, w}, pts).roofType, "Hipped");
    EXPECT_DOUBLE_EQ(classify({n, s, e, w}, pts).confidence, 0.35);
    // Three facets with one pair.
    const auto three = joined({pointsOn(n, 100), pointsOn(s, 100), pointsOn(e, 100)});
    EXPECT_DOUBLE_EQ(classify({n, s, e}, three).confidence, 0.7);
    // Two facets at right angles: no pair.
    const RoofClass corner = classify({n, e}, joined({pointsOn(n, 100), pointsOn(e, 100)}));
    EXPECT_EQ(corner.roofType, "Hipped");
    EXPECT_DOUBLE_EQ(corner.confidence, 0.4);
    EXPECT_EQ(classify({e}, pointsOn(e, 100)).roofType, "Shed");
}

TEST(ClassifyModelDriven, NearlyLevelPlaneIsFlat) {
    const Plane p = sloped(5, 45);
    const RoofClass c = classify({p}, pointsOn(p, 100));
    EXPECT_EQ(c.roofType, "Flat");
    EXPECT_DOUBLE_EQ(c.confidence, 1.0);
    EXPECT_EQ(classify({}, pointsOn(p, 100)).roofType, "Flat");
}

TEST(ClassifyModelDriven, FacetsOfLikeSlopeAndDirectionMerge) {
    // Two planes of one slope, one behind the other, count as one sloped facet.
    const Plane a = sloped(30, 0, 10);
    const Plane b = sloped(36, 15, 30);
    const RoofClass c = classify({a, b}, joined({pointsOn(a, 100), pointsOn(b, 100)}));
    EXPECT_EQ(c.roofType, "Shed");
}

TEST(ClassifyModelDriven, FacetsHoldingTooFewPointsAreDropped) {
    // 100 working points: a facet must hold more than 8 of them.
    const Plane main = sloped(30, 0, 10);
    const Plane other = sloped(30, 180, 40);
    auto pts = pointsOn(main, 91);
    const auto few = pointsOn(other, 9);
    pts.insert(pts.end(), few.begin(), few.end());
    EXPECT_EQ(classify({main, other}, pts).roofType, "Gabled");
    pts = pointsOn(main, 92);
    const auto fewer = pointsOn(other, 8);
    pts.insert(pts.end(), fewer.begin(), fewer.end());
    EXPECT_EQ(classify({main, other}, pts).roofType, "Shed");
}

TEST(ClassifyRoof, RulesFromPlaneFeatures) {
    const Footprint rect{{{0, 0}, {0, 20}, {-5, 20}, {-5, 0}}};
    const PlaneFeat gable = extractFeatures({sloped(30, 0), sloped(30, 180)}, rect);
    EXPECT_TRUE(gable.opposingPair);
    EXPECT_FALSE(gable.balancedNormals);
    EXPECT_DOUBLE_EQ(gable.mainAzimuth, 90.0);
    EXPECT_EQ(classifyRoof(gable).roofType, "Gabled");

    const PlaneFeat hip =
        extractFeatures({sloped(30, 0), sloped(30, 90), sloped(30, 180), sloped(30, 270)}, rect);
    EXPECT_TRUE(hip.balancedNormals);
    EXPECT_EQ(classifyRoof(hip).roofType, "Hipped");

    const PlaneFeat none = extractFeatures({}, Footprint{});
    EXPECT_DOUBLE_EQ(none.maxSlope, 0.0);
    EXPECT_DOUBLE_EQ(none.minSlope, 90.0);
    EXPECT_EQ(classifyRoof(none).roofType, "Flat");
    EXPECT_EQ(classifyRoof(extractFeatures({sloped(20, 0)}, rect)).roofType, "Shed");
    const RoofClass odd = classifyRoof(extractFeatures({sloped(20, 0), sloped(25, 90)}, rect));
    EXPECT_EQ(odd.roofType, "Flat");
    EXPECT_DOUBLE_EQ(odd.confidence, 0.3);
}

}  // namespace
}  // namespace lod2fit
