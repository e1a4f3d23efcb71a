// CloudTerrain: cell medians, hole filling, water cells and the water level, the two samplers,
// and ground extraction.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geometry/CloudTerrain.h"

namespace {

ClPoint at(double x, double y, double z, std::uint8_t cls = 2) {
    ClPoint p;
    p.x = x;
    p.y = y;
    p.z = z;
    p.cls = cls;
    return p;
}

// A point in the middle of cell (i, j) of a 1 m grid starting at the origin.
ClPoint inCell(int i, int j, double z, std::uint8_t cls = 2) {
    return at(i + 0.5, j + 0.5, z, cls);
}

double cellZ(const CloudTerrain& t, int i, int j) {
    return t.z[static_cast<std::size_t>(j * t.nx + i)];
}

// Every cell of an n x n grid at height h except the listed holes.
std::vector<ClPoint> fullGrid(int n, double h, const std::vector<std::pair<int, int>>& holes = {}) {
    std::vector<ClPoint> pts;
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            if (std::find(holes.begin(), holes.end(), std::pair{i, j}) == holes.end()) {
                pts.push_back(inCell(i, j, h));
            }
        }
    }
    return pts;
}

const Bbox kFrame4{0.0, 0.0, 4.0, 4.0};  // 5 x 5 cells of 1 m

TEST(CloudTerrainGrid, CellsCoverTheFrameAndOneCellPastItsMaximumEdge) {
    const CloudTerrain t({}, kFrame4, 1.0, {}, false);
    EXPECT_EQ(t.nx, 5);
    EXPECT_EQ(t.ny, 5);
    EXPECT_EQ(t.z.size(), 25u);
    EXPECT_TRUE(std::isnan(t.waterLevel));

    const CloudTerrain unit({}, kFrame4, 0.0, {}, false);
    EXPECT_EQ(unit.cell, 1.0) << "a step not above 0 counts as 1 m";

    const CloudTerrain inverted({}, Bbox{10.0, 0.0, 0.0, 4.0}, 1.0, {}, false);
    EXPECT_EQ(inverted.nx, 0);
    EXPECT_EQ(inverted.ny, 0);
    double h = 0.0;
    EXPECT_FALSE(inverted.sample(5.0, 2.0, h));
    EXPECT_FALSE(inverted.sampleWoda(5.0, 2.0, h));
}

TEST(CloudTerrainGrid, CellHeightIsTheUpperMedianOfItsGroundPoints) {
    const CloudTerrain t({inCell(0, 0, 10), inCell(0, 0, 12), inCell(0, 0, 11),  //
                          inCell(1, 0, 10), inCell(1, 0, 12)},
                         kFrame4, 1.0, {}, false);
    EXPECT_DOUBLE_EQ(cellZ(t, 0, 0), 11.0);
    EXPECT_DOUBLE_EQ(cellZ(t, 1, 0), 12.0);
    EXPECT_EQ(t.validCells, 2u);  // the two and nothing filled: no cell has 3 neighbours with data
}

TEST(CloudTerrainGrid, PointsOnTheMaximumEdgeCountAndPointsOutsideAreDropped) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const CloudTerrain t({at(4.0, 4.0, 7.0), at(-0.01, 2.0, 99.0), at(1e300, 1.0, 99.0),
                          at(nan, 1.0, 99.0), at(2.0, -inf, 99.0), at(-1e19, 1e19, 99.0)},
                         kFrame4, 1.0, {}, false);
    EXPECT_DOUBLE_EQ(cellZ(t, 4, 4), 7.0);
    EXPECT_EQ(t.validCells, 1u);
}

TEST(CloudTerrainHoles, EmptyCellsTakeTheMeanOfAtLeastThreeNeighbours) {
    const CloudTerrain middle(fullGrid(3, 5.0, {{1, 1}}), Bbox{0, 0, 2, 2}, 1.0, {}, false);
    EXPECT_DOUBLE_EQ(cellZ(middle, 1, 1), 5.0);
    EXPECT_EQ(middle.validCells, 9u);

    // Corner (0, 0) of a 2 x 2 grid with 1, 2, 3 around it.
    const CloudTerrain corner({inCell(1, 0, 1), inCell(0, 1, 2), inCell(1, 1, 3)}, Bbox{0, 0, 1, 1},
                              1.0, {}, false);
    EXPECT_DOUBLE_EQ(cellZ(corner, 0, 0), 2.0);

    // (0, 0) and (1, 1) see two heights each, and no pass ever gives them a third.
    const CloudTerrain two({inCell(1, 0, 1), inCell(0, 1, 2)}, Bbox{0, 0, 2, 2}, 1.0, {}, false);
    EXPECT_TRUE(std::isnan(cellZ(two, 0, 0)));
    EXPECT_EQ(two.validCells, 2u);
}

TEST(CloudTerrainHoles, ABroadHoleKeepsItsMiddleAfterTwentyPasses) {
    // A 60 x 60 grid with data only on its outer ring: the fill advances one ring per pass.
    const int n = 60;
    std::vector<ClPoint> ring;
    for (int k = 0; k < n; ++k) {
        ring.push_back(inCell(k, 0, 1.0));
        ring.push_back(inCell(k, n - 1, 1.0));
        ring.push_back(inCell(0, k, 1.0));
        ring.push_back(inCell(n - 1, k, 1.0));
    }
    const CloudTerrain t(ring, Bbox{0, 0, n - 1.0, n - 1.0}, 1.0, {}, false);
    EXPECT_FALSE(std::isnan(cellZ(t, 20, 30)));
    EXPECT_TRUE(std::isnan(cellZ(t, 30, 30)));
    double h = -1.0;
    EXPECT_FALSE(t.sample(30.5, 30.5, h));
    EXPECT_EQ(h, -1.0);
    // Next to the filled edge of the hole the nearest corner with a height answers.
    EXPECT_TRUE(t.sample(20.9, 30.5, h));
    EXPECT_DOUBLE_EQ(h, cellZ(t, 20, 30));
}

TEST(CloudTerrainSampler, BilinearInsideAndNearestCornerAtGaps) {
    const CloudTerrain t(
        {inCell(0, 0, 0.0), inCell(1, 0, 10.0), inCell(0, 1, 20.0), inCell(1, 1, 30.0)},
        Bbox{0, 0, 1, 1}, 1.0, {}, false);
    double h = 0.0;
    ASSERT_TRUE(t.sample(0.25, 0.5, h));
    EXPECT_DOUBLE_EQ(h, 0.25 * 10.0 + 0.5 * 20.0);
    ASSERT_TRUE(t.sample(1.5, 1.5, h)) << "the last cell clamps its neighbours to itself";
    EXPECT_DOUBLE_EQ(h, 30.0);
    EXPECT_FALSE(t.sample(-0.1, 0.5, h));
    EXPECT_FALSE(t.sample(0.5, 2.0, h));

    const CloudTerrain gaps({inCell(1, 0, 10.0), inCell(0, 1, 20.0)}, Bbox{0, 0, 2, 2}, 1.0, {},
                            false);
    ASSERT_TRUE(gaps.sample(0.9, 0.2, h));
    EXPECT_DOUBLE_EQ(h, 10.0);
    ASSERT_TRUE(gaps.sample(0.2, 0.9, h));
    EXPECT_DOUBLE_EQ(h, 20.0);
    ASSERT_TRUE(gaps.sample(0.5, 0.5, h)) << "a tie keeps the corner tested first";
    EXPECT_DOUBLE_EQ(h, 10.0);
}

TEST(CloudTerrainWater, TheLevelFloodsWaterCellsAndHolesLeft) {
    // Ground on the left column only; water points in cell (2, 2).
    std::vector<ClPoint> ground;
    for (int j = 0; j < 5; ++j) {
        ground.push_back(inCell(0, j, 110.0));
    }
    const std::vector<ClPoint> water = {inCell(2, 2, 100.2, 9), inCell(2, 2, 100.4, 9),
                                        inCell(2, 2, 100.3, 9)};
    const CloudTerrain t(ground, kFrame4, 1.0, water, true);
    EXPECT_EQ(t.waterLevel, static_cast<double>(100.3f));
    EXPECT_EQ(t.waterCells, 1u);
    std::uint64_t flooded = 0;
    for (int j = 0; j < 5; ++j) {
        for (int i = 0; i < 5; ++i) {
            double g = 0.0, w = 0.0;
            const bool wet = t.sampleWoda(i + 0.5, j + 0.5, w);
            ASSERT_TRUE(t.sample(i + 0.5, j + 0.5, g));
            if (wet) {
                ++flooded;
                EXPECT_EQ(w, t.waterLevel);
                EXPECT_EQ(cellZ(t, i, j), t.waterLevel);
            } else {
                EXPECT_NE(cellZ(t, i, j), t.waterLevel) << i << "," << j;
            }
        }
    }
    EXPECT_GT(flooded, 0u);
    EXPECT_EQ(t.levelCells, flooded);
    EXPECT_TRUE(t.water[static_cast<std::size_t>(2 * t.nx + 2)]);
}

TEST(CloudTerrainWater, WithoutWaterPointsNothingIsFlooded) {
    const CloudTerrain t({inCell(0, 0, 50.0)}, kFrame4, 1.0, {}, true);
    EXPECT_TRUE(std::isnan(t.waterLevel));
    EXPECT_EQ(t.levelCells, 0u);
    EXPECT_TRUE(std::isnan(cellZ(t, 4, 4))) << "holes stay without a height, not at 0 m";
    double h = 0.0;
    EXPECT_FALSE(t.sampleWoda(4.5, 4.5, h));
    EXPECT_FALSE(t.sample(4.5, 4.5, h));

    // Water points all outside the grid count as none.
    const CloudTerrain outside({inCell(0, 0, 50.0)}, kFrame4, 1.0, {at(-5, -5, 3.0, 9)}, true);
    EXPECT_TRUE(std::isnan(outside.waterLevel));
    EXPECT_EQ(outside.levelCells, 0u);
}

TEST(CloudTerrainWater, WaterCellsWithoutALevelCarryTheirMedianButNoWaterSurface) {
    const std::vector<ClPoint> water = {inCell(3, 3, 1.0, 9), inCell(3, 3, 3.0, 9),
                                        inCell(1, 1, 8.0, 9)};
    const CloudTerrain t(fullGrid(5, 5.0, {{3, 3}}), kFrame4, 1.0, water, false);
    EXPECT_DOUBLE_EQ(cellZ(t, 3, 3), 3.0);
    EXPECT_DOUBLE_EQ(cellZ(t, 1, 1), 5.0) << "a single water point changes nothing";
    EXPECT_EQ(t.waterCells, 1u);
    EXPECT_EQ(t.validCells, 25u);
    double h = 0.0;
    EXPECT_FALSE(t.sampleWoda(3.5, 3.5, h));
    EXPECT_TRUE(std::isnan(t.waterLevel));
}

TEST(CloudTerrainGround, ClassTwoPointsUnlessTooFewThenTheLowestPerCell) {
    std::vector<ClPoint> pts;
    for (int k = 0; k < 100; ++k) {
        const double x = (k % 10) * 0.3;
        const double y = (k / 10) * 0.3;
        pts.push_back(at(x, y, 100.0 + (k % 7) * 0.2, k < 30 ? 2 : 1));
    }
    GroundStats stats;
    const auto classTwo = CloudTerrain::extractGround(pts, 2.0, 0.2, stats);
    EXPECT_EQ(classTwo.size(), 30u);
    EXPECT_EQ(stats.total, 100u);
    EXPECT_EQ(stats.ground, 30u);
    EXPECT_FALSE(stats.fallback);

    const auto lowest = CloudTerrain::extractGround(pts, 2.0, 0.5, stats);
    EXPECT_TRUE(stats.fallback);
    std::size_t expected = 0;
    for (const auto& p : pts) {
        // Cells of 2 m from (0, 0): the points span 2.7 m, so 2 x 2 cells; lowest is 100.0 in each.
        expected += p.z <= 100.5 ? 1 : 0;
    }
    EXPECT_EQ(lowest.size(), expected);
    for (const auto& p : lowest) {
        EXPECT_LE(p.z, 100.5);
    }

    EXPECT_TRUE(CloudTerrain::extractGround({}, 2.0, 0.5, stats).empty());
    EXPECT_FALSE(stats.fallback);
}

}  // namespace
