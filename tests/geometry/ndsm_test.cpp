// The surface model (two grids and their difference) and the roofs built from it over building
// footprints: roof height, quality and flag, walls down to the terrain, degenerate footprints.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "geometry/NdsmModel.h"
#include "geometry/RoofNdsm.h"
#include "support/NdsmGrids.h"

namespace {

using ndsmfix::modelOf;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string gridText(const std::string& values) {
    return "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n" + values;
}

// The 20 m square footprint of the building tests, counter-clockwise.
const PlanRing kSquare{{10, 10}, {30, 10}, {30, 30}, {10, 30}};

bool inside(double v, double lo, double hi) {
    return v >= lo && v <= hi;
}

// Flat ground at 100 m; the surface stands `above` metres higher over [9, 31] x [9, 31].
NdsmModel building(double above) {
    return modelOf(
        0, 0, 1, 40, 40,
        [above](double x, double y) {
            return inside(x, 9, 31) && inside(y, 9, 31) ? 100.0 + above : 100.0;
        },
        [](double, double) { return 100.0; });
}

RoofFace wall(PlanPoint a, PlanPoint b, double roof, double za, double zb) {
    return {{{a.first, a.second, roof},
             {b.first, b.second, roof},
             {b.first, b.second, zb},
             {a.first, a.second, za}}};
}

RoofFace level(const PlanRing& ring, double z) {
    RoofFace f;
    for (const auto& [x, y] : ring) {
        f.pts.push_back({x, y, z});
    }
    return f;
}

TEST(NdsmModel, ParsesTheTerrainOnlyAfterTheSurfaceAndSubtractsIt) {
    NdsmModel m;
    EXPECT_FALSE(m.parse("not a grid", gridText("1 2\n3 4\n")));
    EXPECT_TRUE(m.terrain.z.empty()) << "the terrain is not read after a bad surface";
    EXPECT_FALSE(m.parse(gridText("1 2\n3 4\n"), gridText("1 2\n")));

    ASSERT_TRUE(m.parse(gridText("5 5\n5 5\n"), gridText("7 7\n7 7\n")));
    double h = 99.0;
    ASSERT_TRUE(m.heightAbove(1.0, 1.0, h));
    EXPECT_DOUBLE_EQ(h, -2.0) << "a surface below the terrain gives a negative height";
    h = 99.0;
    EXPECT_FALSE(m.heightAbove(5.0, 1.0, h));
    EXPECT_EQ(h, 99.0) << "untouched outside the grids";

    ASSERT_TRUE(m.parse(gridText("5 5\n5 5\n"), gridText("-9999 -9999\n-9999 -9999\n")));
    EXPECT_FALSE(m.heightAbove(1.0, 1.0, h)) << "no terrain value";
}

TEST(RoofNdsm, FlatRoofedBuildingGetsItsRoofAndFullWalls) {
    const NdsmModel m = building(8.0);
    const RoofModel r = buildRoofNdsm(kSquare, m, RoofNdsmParams{});
    EXPECT_EQ(r.flag, 0);
    EXPECT_DOUBLE_EQ(r.quality, 1.0);
    ASSERT_EQ(r.faces.size(), 5u);
    EXPECT_EQ(r.faces[0], level(kSquare, 108.0));
    EXPECT_EQ(r.faces[1], wall({10, 10}, {30, 10}, 108, 100, 100));
    EXPECT_EQ(r.faces[2], wall({30, 10}, {30, 30}, 108, 100, 100));
    EXPECT_EQ(r.faces[3], wall({30, 30}, {10, 30}, 108, 100, 100));
    EXPECT_EQ(r.faces[4], wall({10, 30}, {10, 10}, 108, 100, 100)) << "the closing edge";

    PlanRing closed = kSquare;
    closed.push_back(kSquare.front());
    const RoofModel c = buildRoofNdsm(closed, m, RoofNdsmParams{});
    ASSERT_EQ(c.faces.size(), 5u) << "no wall along the zero-length closing edge";
    EXPECT_EQ(c.faces[4], r.faces[4]);
}

TEST(RoofNdsm, SurfaceLyingOnTheGroundIsFlaggedButStillBuilt) {
    // Exactly 1.0 m above the terrain does not stand above the ground; a wall 1.0 m high does
    // still stand.
    const RoofModel r = buildRoofNdsm(kSquare, building(1.0), RoofNdsmParams{});
    EXPECT_EQ(r.flag, 1);
    EXPECT_DOUBLE_EQ(r.quality, 0.0);
    ASSERT_EQ(r.faces.size(), 5u);
    EXPECT_EQ(r.faces[0], level(kSquare, 101.0));
    EXPECT_EQ(r.faces[1], wall({10, 10}, {30, 10}, 101, 100, 100));

    RoofNdsmParams lenient;
    lenient.minQuality = 0.0;
    EXPECT_EQ(buildRoofNdsm(kSquare, building(1.0), lenient).flag, 0);
}

TEST(RoofNdsm, WallsNeedOneEndLowEnoughAndTerrainAtBothEnds) {
    // The terrain rises to 107.5 m along the east edge: 0.5 m below the roof at both its ends.
    NdsmModel m = building(8.0);
    m.terrain =
        ndsmfix::gridOf(0, 0, 1, 40, 40, [](double x, double) { return x > 29.0 ? 107.5 : 100.0; });
    RoofModel r = buildRoofNdsm(kSquare, m, RoofNdsmParams{});
    ASSERT_EQ(r.faces.size(), 4u);
    EXPECT_EQ(r.faces[1], wall({10, 10}, {30, 10}, 108, 100, 107.5));
    EXPECT_EQ(r.faces[2], wall({30, 30}, {10, 30}, 108, 107.5, 100));
    EXPECT_EQ(r.faces[3], wall({10, 30}, {10, 10}, 108, 100, 100));

    // No terrain under the south-west corner: both walls meeting there go, the roof stays.
    m.terrain = ndsmfix::gridOf(
        0, 0, 1, 40, 40, [](double x, double y) { return x < 11.0 && y < 11.0 ? kNaN : 100.0; });
    r = buildRoofNdsm(kSquare, m, RoofNdsmParams{});
    ASSERT_EQ(r.faces.size(), 3u);
    EXPECT_EQ(r.faces[0], level(kSquare, 108.0));
    EXPECT_EQ(r.faces[1], wall({30, 10}, {30, 30}, 108, 100, 100));
    EXPECT_EQ(r.faces[2], wall({30, 30}, {10, 30}, 108, 100, 100));
}

TEST(RoofNdsm, RoofStandsAtTheUpperMedianOfTheSamples) {
    // A 1 m square sampled every 0.5 m holds four samples, each on a cell centre of its own.
    const double heights[2][2] = {{10.0, 11.0}, {12.0, 13.0}};  // [row][column]
    const NdsmModel m = modelOf(
        -0.25, -0.25, 0.5, 3, 3,
        [&heights](double x, double y) {
            const int c = static_cast<int>(std::lround(x / 0.5));
            const int r = static_cast<int>(std::lround(y / 0.5));
            return c < 2 && r < 2 ? heights[r][c] : 0.0;
        },
        [](double, double) { return 0.0; });
    const RoofModel r = buildRoofNdsm({{0, 0}, {1, 0}, {1, 1}, {0, 1}}, m, RoofNdsmParams{});
    ASSERT_FALSE(r.faces.empty());
    EXPECT_EQ(r.faces[0].pts[0].z, 12.0);
}

TEST(RoofNdsm, FootprintWithoutAnInsideSampleTakesTheSurfaceAtItsMean) {
    const NdsmModel m = modelOf(
        -1, -1, 0.25, 8, 8, [](double x, double y) { return 50.0 + x + y; },
        [](double, double) { return 0.0; });
    // Smaller than one step: the only lattice node, its box's corner, lies outside.
    const PlanRing tiny{{0, 0.3}, {0.3, 0}, {0.3, 0.3}};
    const RoofModel r = buildRoofNdsm(tiny, m, RoofNdsmParams{});
    EXPECT_EQ(r.flag, 1);
    EXPECT_DOUBLE_EQ(r.quality, 0.0);
    ASSERT_EQ(r.faces.size(), 4u);
    EXPECT_NEAR(r.faces[0].pts[0].z, 50.4, 1e-9) << "the surface at (0.2, 0.2)";
}

TEST(RoofNdsm, UnusableInputGivesAFlaggedEmptyModel) {
    const NdsmModel m = building(8.0);
    for (const PlanRing& ring :
         {PlanRing{}, PlanRing{{10, 10}, {30, 30}}, PlanRing{{500, 500}, {510, 500}, {510, 510}},
          PlanRing{{10, 10}, {std::numeric_limits<double>::infinity(), 10}, {30, 30}},
          PlanRing{{10, 10}, {kNaN, 10}, {30, 30}}}) {
        const RoofModel r = buildRoofNdsm(ring, m, RoofNdsmParams{});
        EXPECT_EQ(r.flag, 1);
        EXPECT_TRUE(r.faces.empty());
        EXPECT_EQ(r.quality, 0.0);
    }
}

TEST(RoofNdsm, AVertexFarOutsideTheSurfaceGridCostsNoSamplingThere) {
    const NdsmModel m = building(8.0);
    const RoofModel expected = buildRoofNdsm(kSquare, m, RoofNdsmParams{});
    // A corrupt vertex a million kilometres away, reached and left along the same line.
    const PlanRing spiked{{10, 10}, {30, 10}, {30, 30}, {1e9, 1e9}, {30, 30}, {10, 30}};
    const RoofModel r = buildRoofNdsm(spiked, m, RoofNdsmParams{});
    ASSERT_EQ(r.faces.size(), expected.faces.size());
    EXPECT_EQ(r.faces[0].pts[0].z, expected.faces[0].pts[0].z);
    EXPECT_TRUE(std::equal(r.faces.begin() + 1, r.faces.end(), expected.faces.begin() + 1));
    EXPECT_EQ(r.quality, expected.quality);
}

// A damaged footprint whose vertex lies far to the south or west, reached and left from a corner,
// moves the lattice's origin out there: the sampling still visits only the rows and columns of the
// surface grid, and ends at once. Where doubles still resolve the step the roof is the square's;
// beyond that no node falls on the grid.
TEST(RoofNdsm, AVertexFarSouthOrWestEndsTheSamplingAtOnce) {
    const NdsmModel m = building(8.0);
    const RoofModel expected = buildRoofNdsm(kSquare, m, RoofNdsmParams{});
    struct Case {
        PlanPoint far;
        bool roofOfTheSquare;
    };
    for (const Case& c : {Case{{-1e12, 20}, true}, Case{{20, -1e12}, true},
                          Case{{-1e12, -1.234567e12}, true}, Case{{-1.16e25, 2.3e28}, false},
                          Case{{20, -2.9e26}, false}, Case{{-1e300, -1e300}, false}}) {
        SCOPED_TRACE(testing::Message() << c.far.first << " " << c.far.second);
        const PlanRing spiked{{10, 10}, c.far, {10, 10}, {30, 10}, {30, 30}, {10, 30}};
        const auto start = std::chrono::steady_clock::now();
        const RoofModel r = buildRoofNdsm(spiked, m, RoofNdsmParams{});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        if (!c.roofOfTheSquare) {
            EXPECT_EQ(r.flag, 1);
            continue;
        }
        ASSERT_EQ(r.faces.size(), expected.faces.size());
        EXPECT_EQ(r.faces[0].pts[0].z, expected.faces[0].pts[0].z);
        EXPECT_TRUE(std::equal(r.faces.begin() + 1, r.faces.end(), expected.faces.begin() + 1));
        EXPECT_EQ(r.quality, expected.quality);
    }
}

TEST(RoofNdsm, StepNotAboveZeroIsTakenAsOneMetre) {
    const NdsmModel m = building(8.0);
    RoofNdsmParams one;
    one.step = 1.0;
    const RoofModel expected = buildRoofNdsm(kSquare, m, one);
    for (double step : {0.0, -2.0, kNaN}) {
        RoofNdsmParams p;
        p.step = step;
        const RoofModel r = buildRoofNdsm(kSquare, m, p);
        EXPECT_EQ(r.faces, expected.faces);
        EXPECT_EQ(r.quality, expected.quality);
    }
}

}  // namespace
