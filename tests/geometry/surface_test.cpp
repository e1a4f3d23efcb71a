// Surfaces draped over corridors: the road triangulated on the terrain, clipping to the fetch
// area, the flat fallback of a missing bridge deck, degenerate rings, and agreement of the
// row-scanning builder with the plain cell-by-cell one on awkward rings.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "geometry/Corridor.h"
#include "geometry/Surface.h"
#include "geometry/SurfaceLattice.h"
#include "support/NdsmGrids.h"
#include "surface_reference.h"

namespace {

using surfaceref::facesOf;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The surface model keeps its heights as floats: to a few micrometres at 100 m.
constexpr double kHeight = 1e-5;

// A straight road 10 m long and 6 m wide along x from the origin.
const PlanRing kRoad = buildCorridor({{0, 0}, {10, 0}}, {3, 3}, {3, 3}, kOwnOffsets);

double slope(double x, double) {
    return 100.0 + 0.1 * x;
}

// Ground rising 0.1 m per metre eastwards; the surface stands `deck` metres higher over the
// cells whose centres lie west of deckEnd.
NdsmModel ground(double deck = 0.0, double deckEnd = 0.0) {
    return ndsmfix::modelOf(
        -5, -8, 1, 20, 16,
        [=](double x, double y) { return slope(x, y) + (x < deckEnd ? deck : 0.0); }, slope);
}

SurfaceParams bridgeSet() {
    return {0.5, 1.0, 0.35, false, false, Bbox{}};
}

SurfaceParams roadSet(const Bbox& frame) {
    return {0.5, 1.0, 0.0, true, true, frame};
}

const Bbox kWideFrame{-100, -100, 100, 100};

double maxX(const RoofModel& r) {
    double m = -1e300;
    for (const RoofFace& f : facesOf(r)) {
        for (const Pt3& p : f.pts) {
            m = std::max(m, p.x);
        }
    }
    return m;
}

RoofFace levelRing(const PlanRing& ring, double z) {
    RoofFace f;
    for (const auto& [x, y] : ring) {
        f.pts.push_back({x, y, z});
    }
    return f;
}

void expectNear(const Pt3& p, double x, double y, double z) {
    EXPECT_EQ(p.x, x);
    EXPECT_EQ(p.y, y);
    EXPECT_NEAR(p.z, z, kHeight);
}

TEST(RoadSurface, TenByHalfMetreCellsCoverTheRoadOnTheTerrain) {
    const RoofModel r = buildSurface(kRoad, ground(), roadSet(kWideFrame));
    EXPECT_EQ(r.flag, 0) << "a road keeps its cells whatever their quality";
    EXPECT_EQ(r.quality, 0.0);
    // Corners on the east and north edges fall outside: 19 columns by 11 rows of cells.
    const std::vector<RoofFace> faces = facesOf(r);
    ASSERT_EQ(faces.size(), 2u * 209u);
    EXPECT_EQ(r.mesh.vertices.size(), 20u * 12u) << "each corner once, whichever cells share it";
    // The first cell, at the south-west corner, in its fixed corner order.
    expectNear(faces[0].pts[0], 0.0, -3.0, 100.0);
    expectNear(faces[0].pts[1], 0.5, -3.0, 100.05);
    expectNear(faces[0].pts[2], 0.5, -2.5, 100.05);
    expectNear(faces[1].pts[0], 0.0, -3.0, 100.0);
    expectNear(faces[1].pts[1], 0.5, -2.5, 100.05);
    expectNear(faces[1].pts[2], 0.0, -2.5, 100.0);
    // Rows from the south, cells from the west: the last cell is the north-east one.
    expectNear(faces.back().pts[0], 9.0, 2.0, 100.9);
    expectNear(faces.back().pts[2], 9.0, 2.5, 100.9);
}

TEST(RoadSurface, OnlyThePartInsideTheFetchAreaIsTriangulated) {
    const Bbox westHalf{-100, -100, 5, 100};
    const RoofModel r = buildSurface(kRoad, ground(), roadSet(westHalf));
    EXPECT_EQ(r.flag, 0);
    EXPECT_EQ(facesOf(r).size(), 2u * 110u);
    EXPECT_EQ(maxX(r), 5.0);

    // Narrower than one step: one column of cells reaching a whole step east.
    const RoofModel narrow = buildSurface(kRoad, ground(), roadSet({-100, -100, 0.3, 100}));
    EXPECT_EQ(facesOf(narrow).size(), 2u * 11u);
    EXPECT_EQ(maxX(narrow), 0.5);

    // The fallback face covers the whole corridor, outside the area too.
    SurfaceParams strict = roadSet(westHalf);
    strict.minQuality = 0.5;
    const RoofModel flat = buildSurface(kRoad, ground(), strict);
    EXPECT_EQ(flat.flag, 1);
    ASSERT_EQ(flat.faces.size(), 1u);
    EXPECT_TRUE(flat.mesh.triangles.empty());
    // The upper median of 110 first corners, 11 per column: the column at x = 2.5.
    EXPECT_EQ(flat.faces[0].pts.size(), kRoad.size());
    EXPECT_NEAR(flat.faces[0].pts[0].z, 100.25, kHeight);
    EXPECT_EQ(flat.faces[0].pts[1].x, 10.0);
}

TEST(BridgeSurface, AVertexFarOutsideTheGridCostsNoCellsThere) {
    // A corrupt vertex a million kilometres away, reached and left along the same line.
    PlanRing spiked = kRoad;
    spiked.insert(spiked.begin() + 2, {{1e9, 1e9}, spiked[1]});
    const SurfaceParams everyCell{0.5, 1.0, 0.0, false, false, Bbox{}};
    const RoofModel expected = buildSurface(kRoad, ground(), everyCell);
    const RoofModel r = buildSurface(spiked, ground(), everyCell);
    EXPECT_FALSE(facesOf(r).empty());
    EXPECT_EQ(facesOf(r), facesOf(expected));
    EXPECT_EQ(r.quality, expected.quality);
}

// A way point off the globe projects to some 1e25 m: there the half-metre step lies below the
// spacing of doubles. The triangulation still ends at once, bridge or clipped road alike.
TEST(BridgeSurface, AWayPointFarBeyondTheSpacingOfDoublesEndsTheTriangulationAtOnce) {
    for (const PlanPoint& far : {PlanPoint{-1.16e25, 2.3e28}, PlanPoint{-2.9e26, -2.9e26},
                                 PlanPoint{4e17, -3}, PlanPoint{1e300, -1e300}}) {
        SCOPED_TRACE(testing::Message() << far.first << " " << far.second);
        const PlanRing corridor =
            buildCorridor({{0, 0}, {10, 0}, far}, {3, 3, 3}, {3, 3, 3}, kOwnOffsets);
        for (const SurfaceParams& params : {bridgeSet(), roadSet(kWideFrame)}) {
            const auto start = std::chrono::steady_clock::now();
            buildSurface(corridor, ground(), params);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        }
    }
}

TEST(BridgeSurface, MissingDeckFallsBackToOneFlatFace) {
    const RoofModel r = buildSurface(kRoad, ground(), bridgeSet());
    EXPECT_EQ(r.flag, 1);
    EXPECT_EQ(r.quality, 0.0);
    ASSERT_EQ(facesOf(r).size(), 1u);
    // Element 104 of 209 first corners in 19 columns of 11: the column at x = 4.5.
    const RoofFace expected = levelRing(kRoad, r.faces[0].pts[0].z);
    EXPECT_EQ(r.faces[0], expected);
    EXPECT_NEAR(r.faces[0].pts[0].z, 100.45, kHeight);
}

TEST(BridgeSurface, DeckHeightsComeFromTheSurfaceAboveTheQualityShare) {
    const RoofModel full = buildSurface(kRoad, ground(6.0, 20.0), bridgeSet());
    EXPECT_EQ(full.flag, 0);
    EXPECT_EQ(full.quality, 1.0);
    ASSERT_EQ(facesOf(full).size(), 418u);
    EXPECT_NEAR(facesOf(full)[0].pts[0].z, 106.0, kHeight);

    // Seven of 19 columns raised: 0.37 of the cells, enough for a bridge.
    const RoofModel seven = buildSurface(kRoad, ground(6.0, 3.0), bridgeSet());
    EXPECT_EQ(seven.flag, 0);
    EXPECT_NEAR(seven.quality, 7.0 / 19.0, 1e-12);
    EXPECT_EQ(facesOf(seven).size(), 418u);

    // Five of 19: 0.26, below the share.
    const RoofModel five = buildSurface(kRoad, ground(6.0, 2.0), bridgeSet());
    EXPECT_EQ(five.flag, 1);
    EXPECT_NEAR(five.quality, 5.0 / 19.0, 1e-12);
    EXPECT_EQ(facesOf(five).size(), 1u);
}

TEST(Surface, WithoutCellsTheLevelComesFromTheBoxCentre) {
    const PlanRing small{{0, 0}, {0.3, 0}, {0.3, 0.3}, {0, 0.3}};
    const RoofModel r = buildSurface(small, ground(), bridgeSet());
    EXPECT_EQ(r.flag, 1);
    EXPECT_EQ(r.quality, 0.0);
    ASSERT_EQ(facesOf(r).size(), 1u);
    EXPECT_NEAR(r.faces[0].pts[0].z, 100.015, kHeight);

    const PlanRing away{{50, 50}, {50.3, 50}, {50.3, 50.3}};
    const RoofModel none = buildSurface(away, ground(), bridgeSet());
    EXPECT_EQ(none.flag, 1);
    EXPECT_TRUE(facesOf(none).empty()) << "no height at the centre either";
}

TEST(Surface, UnusableRingsGiveAFlaggedEmptyModel) {
    const NdsmModel m = ground();
    for (const PlanRing& ring :
         {PlanRing{}, PlanRing{{0, 0}, {10, 0}}, PlanRing{{0, 0}, {kNaN, 0}, {10, 10}},
          PlanRing{{0, 0}, {std::numeric_limits<double>::infinity(), 0}, {10, 10}}}) {
        const RoofModel r = buildSurface(ring, m, bridgeSet());
        EXPECT_EQ(r.flag, 1);
        EXPECT_TRUE(facesOf(r).empty());
    }
    const RoofModel outside = buildSurface(kRoad, m, roadSet({20, 20, 30, 30}));
    EXPECT_EQ(outside.flag, 1);
    EXPECT_TRUE(facesOf(outside).empty()) << "clipped away";
}

TEST(Surface, StepNotAboveZeroIsTakenAsOneMetre) {
    SurfaceParams one = roadSet(kWideFrame);
    one.step = 1.0;
    const RoofModel expected = buildSurface(kRoad, ground(), one);
    EXPECT_EQ(facesOf(expected).size(), 2u * 9u * 5u);
    for (double step : {0.0, -0.5, kNaN}) {
        SurfaceParams p = roadSet(kWideFrame);
        p.step = step;
        EXPECT_EQ(facesOf(buildSurface(kRoad, ground(), p)), facesOf(expected));
    }
}

// Rings of every shape at map coordinates, over grids with holes, must give exactly what
// testing each cell's corners against the whole ring gives.
TEST(Surface, RowScanMatchesThePlainCellTest) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double x0 = 512345.25;
    const double y0 = 301234.75;
    const auto bumpy = [&](double x, double y) {
        const double u = x - x0;
        const double v = y - y0;
        if (std::fmod(std::floor(u * 0.7) * 3 + std::floor(v * 0.7) * 5, 11.0) == 0.0) {
            return kNaN;
        }
        return 200.0 + std::sin(u * 0.3) * 4 + std::cos(v * 0.2) * 3;
    };
    // Raised in bands: about half of the cells stand above the terrain.
    const auto terrain = [&](double x, double y) {
        return bumpy(x, y) - (std::sin((x - x0) * 0.11) > 0.0 ? 2.5 : 0.2);
    };
    const NdsmModel m = ndsmfix::modelOf(x0 - 5, y0 - 5, 0.8, 100, 100, bumpy, terrain);
    int triangulated = 0;
    int flat = 0;
    for (int trial = 0; trial < 200; ++trial) {
        PlanRing ring;
        const int kind = trial % 3;
        if (kind == 0) {  // star-shaped, concave
            const int n = 3 + trial % 17;
            for (int k = 0; k < n; ++k) {
                const double a = 2 * M_PI * k / n;
                const double rad = 5 + 30 * unit(rng);
                ring.push_back({x0 + 35 + rad * std::cos(a), y0 + 35 + rad * std::sin(a)});
            }
        } else if (kind == 1) {  // self-crossing scribble
            for (int k = 0; k < 4 + trial % 9; ++k) {
                ring.push_back({x0 + 70 * unit(rng), y0 + 70 * unit(rng)});
            }
        } else {  // a thin corridor along a bent line
            PlanRing line;
            for (int k = 0; k < 2 + trial % 5; ++k) {
                line.push_back({x0 + 70 * unit(rng), y0 + 70 * unit(rng)});
            }
            const std::vector<double> half(line.size(), 0.5 + 3 * unit(rng));
            ring = buildCorridor(line, half, half, kOwnOffsets);
        }
        SurfaceParams p{trial % 4 == 0 ? 0.37 : 0.5,
                        1.0,
                        unit(rng) * 0.6,
                        trial % 2 == 0,
                        trial % 5 < 2,
                        Bbox{x0 + 20 * unit(rng), y0 + 20 * unit(rng), x0 + 50 + 20 * unit(rng),
                             y0 + 50 + 20 * unit(rng)}};
        const RoofModel fast = buildSurface(ring, m, p);
        const RoofModel plain = surfaceref::buildSurfacePlain(ring, m, p);
        ASSERT_EQ(fast.flag, plain.flag) << "trial " << trial;
        ASSERT_EQ(fast.quality, plain.quality) << "trial " << trial;
        ASSERT_EQ(facesOf(fast), facesOf(plain)) << "trial " << trial;
        triangulated += fast.flag == 0 ? 1 : 0;
        flat += fast.flag == 1 && !facesOf(fast).empty() ? 1 : 0;
    }
    EXPECT_GT(triangulated, 60) << "the trials must exercise both outcomes";
    EXPECT_GT(flat, 20);
}

// The column a lattice gives for v is the least that reaches it, wherever its origin lies: also
// where the step is lost in the rounding of the coordinates, found without walking the columns.
TEST(SurfaceLattice, TheFirstColumnIsTheLeastThatReachesWhereverTheOrigin) {
    struct Case {
        double x0;
        double step;
        double v;
        std::int64_t limit;
    };
    const double far = -1.16e25;  // nodes 2^31 m apart
    for (const Case& c :
         {Case{10, 0.5, 20.2, 1000}, Case{10, 0.5, 20.5, 1000}, Case{10, 0.5, 9, 1000},
          Case{10, 0.5, 1e6, 1000}, Case{far, 0.5, far + 3e9, 1000000000000000},
          Case{far, 0.5, far + 2.5e9 * 1e5, std::int64_t{1} << 62},
          Case{far, 0.5, 5e5, 1000000000000000}, Case{far, 0.5, kNaN, 1 << 30},
          Case{0, 1e-300, 1, std::int64_t{1} << 62},
          Case{-1e300, 1, -1e300, std::int64_t{1} << 53}}) {
        SCOPED_TRACE(testing::Message() << c.x0 << " " << c.step << " " << c.v << " " << c.limit);
        const Lattice lattice{c.x0, 0.0, c.step};
        const auto start = std::chrono::steady_clock::now();
        const std::int64_t i = lattice.firstColumnFrom(c.v, c.limit);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
        ASSERT_GE(i, 0);
        ASSERT_LE(i, c.limit);
        EXPECT_TRUE(i == c.limit || lattice.x(i) >= c.v);
        EXPECT_TRUE(i == 0 || !(lattice.x(i - 1) >= c.v)) << "the column before does not reach";
    }
}

}  // namespace
