// PointCloudBuilder: the frame clip, the move into the placement zone and the local frame, and
// the voxel thinning with its keys.

#include "cloud/PointCloudBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <tuple>

#include "geodata/ProjConv.h"

namespace {

const Bbox kFrame{500000.0, 300000.0, 501000.0, 301000.0};
constexpr int kZone = 2177;
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(PointCloudBuilder, KeepsPointsOnTheFrameAndDropsOthersAndThoseNotFinite) {
    PointCloudBuilder builder(kFrame, kZone, 0.0);
    const std::tuple<double, double, double, bool> cases[] = {
        {500000.0, 300000.0, 100.0, true},  // the corners belong to the frame
        {501000.0, 301000.0, 100.0, true},   {500000.0, 301000.0, 100.0, true},
        {499999.99, 300500.0, 100.0, false}, {500500.0, 301000.01, 100.0, false},
        {kNan, 300500.0, 100.0, false},      {500500.0, kNan, 100.0, false},
        {500500.0, 300500.0, kNan, false},   {500500.0, 300500.0, kInf, false},
        {500500.0, 300500.0, -kInf, false},
    };
    std::size_t kept = 0;
    for (const auto& [x, y, z, keep] : cases) {
        builder.add(x, y, z, 1, 2, 3);
        kept += keep ? 1 : 0;
        EXPECT_EQ(builder.points.size(), kept) << x << " " << y << " " << z;
    }
}

TEST(PointCloudBuilder, MovesPointsIntoTheZoneAroundTheFramesCorner) {
    PointCloudBuilder builder(kFrame, kZone, 0.0);
    // The default anchor: the smallest zone easting and northing of the frame's corners.
    double minE = 1e18, minN = 1e18;
    for (const double x : {kFrame.minx, kFrame.maxx}) {
        for (const double y : {kFrame.miny, kFrame.maxy}) {
            const GisPoint c = ProjConv::pl1992ToPl2000(x, y, kZone);
            minE = std::min(minE, c.x);
            minN = std::min(minN, c.y);
        }
    }
    EXPECT_NEAR(builder.anchorX, minE, 0.01);
    EXPECT_NEAR(builder.anchorY, minN, 0.01);

    std::mt19937 random(7);
    std::uniform_real_distribution<double> along(0.0, 1000.0);
    for (int i = 0; i < 200; ++i) {
        const double x = kFrame.minx + along(random), y = kFrame.miny + along(random);
        builder.add(x, y, 123.5, 10, 20, 30);
        const ClPoint& p = builder.points.back();
        const GisPoint exact = ProjConv::pl1992ToPl2000(x, y, kZone);
        ASSERT_NEAR(p.x, exact.x - builder.anchorX, 0.01) << "the affine frame is within 1 cm";
        ASSERT_NEAR(p.y, exact.y - builder.anchorY, 0.01);
        ASSERT_GE(p.x, 0.0);
        ASSERT_GE(p.y, 0.0);
        ASSERT_EQ(p.z, 123.5) << "z stays absolute";
        ASSERT_EQ(std::tie(p.r, p.g, p.b, p.cls), std::make_tuple(10, 20, 30, 0));
    }
}

TEST(PointCloudBuilder, TheAnchorReplacesTheFramesCorner) {
    PointCloudBuilder builder(kFrame, kZone, 0.0);
    builder.setAnchor(7450000.0, 5670000.0, 210.0);
    builder.add(500500.0, 300500.0, 250.0, 0, 0, 0);
    const GisPoint zone = builder.sim.toPl2000({500500.0, 300500.0});
    EXPECT_DOUBLE_EQ(builder.points[0].x, zone.x - 7450000.0);
    EXPECT_DOUBLE_EQ(builder.points[0].y, zone.y - 5670000.0);
    EXPECT_DOUBLE_EQ(builder.points[0].z, 40.0);
}

TEST(PointCloudBuilder, VoxelKeysFloorEveryAxis) {
    using Key = PointCloudBuilder::VoxelKey;
    constexpr auto kTop = std::numeric_limits<std::int64_t>::max();
    constexpr auto kBottom = std::numeric_limits<std::int64_t>::min();
    const std::tuple<double, double, double, double, Key> cases[] = {
        {0.05, 0.05, 0.05, 0.2, {0, 0, 0}},
        {0.15, 0.19, 0.0, 0.2, {0, 0, 0}},
        {0.2, 0.0, 0.0, 0.2, {1, 0, 0}},
        {-0.1, 0.0, 0.0, 0.5, {-1, 0, 0}},  // floor, not truncation
        {-0.5, -0.50001, 0.49999, 0.5, {-1, -2, 0}},
        {1e300, -1e300, 0.0, 0.2, {kTop, kBottom, 0}},  // held within the 64-bit range
        {9.3e18, -9.3e18, 0.0, 1.0, {kTop, kBottom, 0}},
    };
    for (const auto& [x, y, z, edge, key] : cases)
        EXPECT_EQ(PointCloudBuilder::voxelOf(x, y, z, edge), key) << x << " " << y << " " << z;
}

TEST(PointCloudBuilder, TheFirstPointOfAVoxelStays) {
    PointCloudBuilder thinned(kFrame, kZone, 0.2);
    thinned.add(500500.0, 300500.0, 100.0, 1, 0, 0);
    thinned.add(500500.0, 300500.0, 100.0, 2, 0, 0);  // same voxel: dropped
    thinned.add(500500.0, 300500.0, 100.3, 3, 0, 0);  // above by more than the edge: kept
    ASSERT_EQ(thinned.points.size(), 2u);
    EXPECT_EQ(thinned.points[0].r, 1);
    EXPECT_EQ(thinned.points[1].r, 3);

    PointCloudBuilder full(kFrame, kZone, 0.0);
    for (int i = 0; i < 3; ++i)
        full.add(500500.0, 300500.0, 100.0, 0, 0, 0);
    EXPECT_EQ(full.points.size(), 3u) << "full quality keeps duplicates";
    EXPECT_EQ(full.voxels.size(), 0u);
}

TEST(PointCloudBuilder, TheVoxelSetHoldsEachKeyOnceThroughItsGrowth) {
    PointCloudBuilder::VoxelSet set;
    std::set<std::tuple<std::int64_t, std::int64_t, std::int64_t>> reference;
    std::mt19937 random(11);
    std::uniform_int_distribution<std::int64_t> near(-40, 40);
    for (int i = 0; i < 200000; ++i) {
        const PointCloudBuilder::VoxelKey key{near(random), near(random), near(random) * 1000003};
        const bool added = reference.insert({key.ix, key.iy, key.iz}).second;
        ASSERT_EQ(set.insert(key), added) << i;
    }
    EXPECT_EQ(set.size(), reference.size());
    EXPECT_GT(set.size(), 100000u);
    EXPECT_TRUE(set.insert({std::numeric_limits<std::int64_t>::max(), 0, 0}));
    EXPECT_FALSE(set.insert({std::numeric_limits<std::int64_t>::max(), 0, 0}));
}

}  // namespace
