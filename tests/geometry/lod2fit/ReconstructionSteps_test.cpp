#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "geometry/lod2fit/BuildingFrame.h"
#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/MeshResidual.h"
#include "geometry/lod2fit/RoofBand.h"

namespace lod2fit {
namespace {

std::vector<Vec3> levelPoints(int n, double z) {
    std::vector<Vec3> pts;
    for (int i = 0; i < n; ++i) {
        pts.push_back({0.1 * i, 0.0, z});
    }
    return pts;
}

TEST(RoofBand, TooFewOrTooLowPointsAreNotABand) {
    EXPECT_FALSE(extractRoofBand(levelPoints(7, 110), 100).ok);
    EXPECT_TRUE(extractRoofBand(levelPoints(7, 110), 100).points.empty());
    const RoofBand low = extractRoofBand(levelPoints(50, 101.9), 100);
    EXPECT_FALSE(low.ok);
    EXPECT_TRUE(low.points.empty());
}

TEST(RoofBand, TwelvePointsMakeABand) {
    std::vector<Vec3> pts = levelPoints(11, 108);
    EXPECT_FALSE(extractRoofBand(pts, 100).ok);
    EXPECT_EQ(extractRoofBand(pts, 100).points.size(), 11u);
    pts.push_back({5, 5, 108});
    EXPECT_TRUE(extractRoofBand(pts, 100).ok);
}

TEST(RoofBand, EaveAndRidgeFromTheBandsHeightQuantiles) {
    // 100 roof points from 106.0 to 109.96 and 100 ground and wall points below 4 m.
    std::vector<Vec3> pts;
    for (int i = 0; i < 100; ++i) {
        pts.push_back({0, 0, 106.0 + 0.04 * i});
        pts.push_back({0, 0, 100.0 + 0.035 * i});
    }
    const RoofBand band = extractRoofBand(pts, 100);
    ASSERT_TRUE(band.ok);
    // Above 100 + 0.4 * (p98 - 100) with p98 of all heights about 109.8: the roof points only.
    EXPECT_EQ(band.points.size(), 100u);
    EXPECT_NEAR(band.eaveZ, 106.0 + 0.04 * 9.9, 1e-9);
    EXPECT_NEAR(band.ridgeZ, 106.0 + 0.04 * 94.05, 1e-9);
}

TEST(RoofBand, QuantilesInterpolateBetweenNeighbours) {
    EXPECT_DOUBLE_EQ(quantileOfSorted({1, 2, 3, 4, 5}, 0.5), 3.0);
    EXPECT_DOUBLE_EQ(quantileOfSorted({1, 2}, 0.25), 1.25);
    EXPECT_DOUBLE_EQ(quantileOfSorted({7}, 0.95), 7.0);
    EXPECT_EQ(quantileOfSorted({}, 0.5), 0.0);
}

TEST(RoofBand, PointsWithoutHeightAreLeftOut) {
    std::vector<Vec3> pts = levelPoints(40, 108);
    pts.push_back({0, 0, std::nan("")});
    const RoofBand band = extractRoofBand(pts, 100);
    EXPECT_TRUE(band.ok);
    EXPECT_EQ(band.points.size(), 40u);
}

TEST(PointTriangleDistance, MeasuresToTheFaceTheEdgesAndTheCorners) {
    const Vec3 a{0, 0, 0};
    const Vec3 b{4, 0, 0};
    const Vec3 c{0, 4, 0};
    EXPECT_DOUBLE_EQ(pointTriangleDistance({1, 1, 3}, a, b, c), 3.0);
    EXPECT_DOUBLE_EQ(pointTriangleDistance({-3, -4, 0}, a, b, c), 5.0);  // corner a
    // Beyond the edge bc, level with the triangle: its plane is 0 away, the edge 2 m.
    EXPECT_NEAR(pointTriangleDistance({2 + std::sqrt(2.0), 2 + std::sqrt(2.0), 0}, a, b, c), 2.0,
                1e-12);
    // Beyond the edge ab and below it.
    EXPECT_DOUBLE_EQ(pointTriangleDistance({2, -3, -4}, a, b, c), 5.0);
    // Past corner b along ab.
    EXPECT_DOUBLE_EQ(pointTriangleDistance({7, 0, 4}, a, b, c), 5.0);
    // A triangle without area counts as its edges.
    EXPECT_DOUBLE_EQ(pointTriangleDistance({2, 3, 0}, a, b, {2, 0, 0}), 3.0);
}

SolidMesh unitBox(double z0, double z1) {
    RoofParams p;
    p.groundZ = z0;
    p.eaveZ = z1;
    return Flat{}.emit(p, Footprint{{{0, 0}, {10, 0}, {10, 10}, {0, 10}}});
}

TEST(MeanCloudToMesh, PointsBesideTheSolidAreFarFromIt) {
    const SolidMesh box = unitBox(0, 5);
    // Level with the roof but 20 m beside the box: the roof's plane is 0 away, the box 20 m.
    EXPECT_NEAR(meanCloudToMesh({{30, 5, 5}}, box), 20.0, 1e-12);
    EXPECT_NEAR(meanCloudToMesh({{5, 5, 6}, {5, 5, 4.5}}, box), 0.75, 1e-12);
}

TEST(MeanCloudToMesh, NoFaceOrNoPointGivesTheNoFitValue) {
    EXPECT_EQ(meanCloudToMesh({{0, 0, 0}}, SolidMesh{}), 1e9);
    EXPECT_EQ(meanCloudToMesh({}, unitBox(0, 5)), 1e9);
}

TEST(MeanCloudToMesh, FacesPointingOutsideTheVerticesAreLeftOut) {
    SolidMesh box = unitBox(0, 5);
    const std::vector<Vec3> pts{{5, 5, 6}, {30, 5, 5}, {5, -2, 1}};
    const double sound = meanCloudToMesh(pts, box);
    const auto past = static_cast<std::int32_t>(box.vertices.size());
    box.faces.push_back({0, 1, past});
    box.faces.push_back({-1, 0, 1});
    box.faces.push_back({0, 1, 2, 1 << 30});
    EXPECT_EQ(meanCloudToMesh(pts, box), sound);
}

TEST(MeanCloudToMesh, LargeCloudsAreSampledEveryKthPoint) {
    const SolidMesh box = unitBox(0, 5);
    // Points alternate between 1 m and 3 m above the roof.
    std::vector<Vec3> pts;
    for (int i = 0; i < 10000; ++i) {
        pts.push_back({5, 5, i % 2 == 0 ? 6.0 : 8.0});
    }
    EXPECT_NEAR(meanCloudToMesh(pts, box), 1.0, 1e-12);  // every 2nd point: all at 1 m
    pts.resize(5000);
    EXPECT_NEAR(meanCloudToMesh(pts, box), 2.0, 1e-12);  // all of them
}

TEST(FlagFromResidual, TrustsSmallResidualsOfConfidentChoices) {
    EXPECT_EQ(flagFromResidual(1.59, 0.5), 0);
    EXPECT_EQ(flagFromResidual(1.6, 0.9), 1);
    EXPECT_EQ(flagFromResidual(0.2, 0.4), 1);
    EXPECT_EQ(flagFromResidual(std::nan(""), 0.9), 1);
    EXPECT_EQ(flagFromResidual(0.2, std::nan("")), 1);
}

TEST(BuildingFrame, LongestEdgeLaysAlongXAndTheRingStartsWithIt) {
    // Longest edge (1, 0) -> (1, 5) runs north.
    const Footprint fp{{{0, 0}, {1, 0}, {1, 5}, {0, 5}}};
    const LongestEdge edge = longestEdge(fp);
    EXPECT_EQ(edge.from, 1u);
    const BuildingFrame frame(fp);
    EXPECT_DOUBLE_EQ(frame.theta, std::numbers::pi / 2);
    EXPECT_EQ(frame.centre, (Vec2{0.5, 2.5}));
    const Footprint local = startingAt(frame.toLocal(fp), edge.from);
    EXPECT_NEAR(local.pts[1].x - local.pts[0].x, 5.0, 1e-12);
    EXPECT_NEAR(local.pts[1].y - local.pts[0].y, 0.0, 1e-12);
    EXPECT_FALSE(longestEdge(Footprint{}).found);
    EXPECT_EQ(BuildingFrame(Footprint{}).theta, 0.0);
}

TEST(BuildingFrame, FirstOfEqualEdgesIncludingTheClosingOne) {
    EXPECT_EQ(longestEdge(Footprint{{{0, 0}, {4, 0}, {4, 4}, {0, 4}}}).from, 0u);
    EXPECT_EQ(longestEdge(Footprint{{{0, 0}, {1, 0}, {1, 1}, {0, 7}}}).from, 3u);
}

TEST(FitParams, SetsHeightsAndTheLongestEdgesDirectionAndKeepsTheRest) {
    RoofParams base;
    base.hipInset = 3.5;
    const Footprint fp{{{0, 0}, {3, 4}, {0, 1}}};
    const RoofParams p = fitParams("Gabled", fp, 100, 104, 103, base);
    EXPECT_EQ(p.groundZ, 100);
    EXPECT_EQ(p.eaveZ, 104);
    EXPECT_DOUBLE_EQ(p.ridgeZ, 104.1);
    EXPECT_DOUBLE_EQ(p.axis.x, 0.6);
    EXPECT_DOUBLE_EQ(p.axis.y, 0.8);
    EXPECT_EQ(p.hipInset, 3.5);
    EXPECT_EQ(fitParams("Flat", Footprint{}, 0, 3, 6, base).axis, (Vec2{1, 0}));
    EXPECT_EQ(fitParams("Flat", Footprint{{{1, 1}, {1, 1}}}, 0, 3, 6, base).axis, (Vec2{0, 0}));
}

}  // namespace
}  // namespace lod2fit
