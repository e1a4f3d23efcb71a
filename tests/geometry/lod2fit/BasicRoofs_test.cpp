#include <gtest/gtest.h>

#include "MeshChecks.h"
#include "geometry/lod2fit/AsymGabled.h"
#include "geometry/lod2fit/FiveSidedGabled.h"
#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/Gabled.h"
#include "geometry/lod2fit/HalfHipped.h"
#include "geometry/lod2fit/Hipped.h"
#include "geometry/lod2fit/HippedOneSided.h"
#include "geometry/lod2fit/Mansard.h"
#include "geometry/lod2fit/MeshOrientation.h"
#include "geometry/lod2fit/Shed.h"
#include "geometry/lod2fit/Tent.h"

namespace lod2fit {
namespace {

using testing::signedVolume;

const Footprint kRect{{{0, 0}, {10, 0}, {10, 6}, {0, 6}}};
const Footprint kPentagon{{{0, 0}, {10, 0}, {12, 4}, {5, 8}, {-2, 4}}};

RoofParams heights(double ground, double eave, double ridge) {
    RoofParams p;
    p.groundZ = ground;
    p.eaveZ = eave;
    p.ridgeZ = ridge;
    return p;
}

double volumeOutward(SolidMesh mesh) {
    normalizeOutwardNormals(mesh);
    return signedVolume(mesh);
}

void expectNear(Vec3 got, Vec3 want, double tol = 1e-9) {
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

TEST(Gabled, RectangleGivesRidgeOverEndMidpointsAndTheListedRoofFaces) {
    const SolidMesh m = Gabled{}.emit(heights(100, 103, 106), kRect);
    ASSERT_EQ(m.vertices.size(), 10u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(m.vertices[i], at(kRect.pts[i], 100));
        EXPECT_EQ(m.vertices[4 + i], at(kRect.pts[i], 103));
    }
    EXPECT_EQ(m.vertices[8], (Vec3{0, 3, 106}));
    EXPECT_EQ(m.vertices[9], (Vec3{10, 3, 106}));
    const std::vector<Face> roof{{4, 5, 9, 8}, {7, 8, 9, 6}, {4, 8, 7}, {5, 6, 9}};
    ASSERT_EQ(m.faces.size(), 9u);
    EXPECT_EQ(std::vector<Face>(m.faces.begin() + 5, m.faces.end()), roof);
}

TEST(BasicRoofs, VolumesMatchTheAnalyticSolids) {
    const RoofParams p = heights(100, 103, 106);
    EXPECT_NEAR(volumeOutward(Flat{}.emit(p, kRect)), 180, 1e-9);
    EXPECT_NEAR(volumeOutward(Gabled{}.emit(p, kRect)), 270, 1e-9);
    EXPECT_NEAR(volumeOutward(Shed{}.emit(p, kRect)), 270, 1e-9);
    // Hipped: the gable volume less two end pyramids; ridge from x = 2 to 8.
    EXPECT_NEAR(volumeOutward(Hipped{}.emit(p, kRect)), 180 + 3.0 * 6 / 6 * (2 * 10 + 6), 1e-6);
    EXPECT_NEAR(volumeOutward(AsymGabled{}.emit(p, kRect)), 270, 1e-9);
    EXPECT_NEAR(volumeOutward(Tent{}.emit(p, kRect)), 180 + 60.0 * 3 / 3, 1e-9);
    // Mansard: box 180 plus a cross-section of 10.8 over 10 m.
    EXPECT_NEAR(volumeOutward(Mansard{}.emit(heights(0, 3, 6), kRect)), 288, 1e-6);
}

TEST(Hipped, InsetMovesRidgeEndsAndIsBoundedShortOfTheMiddle) {
    RoofParams p = heights(100, 103, 106);
    const SolidMesh m = Hipped{}.emit(p, kRect);
    expectNear(m.vertices[8], {2, 3, 106});
    expectNear(m.vertices[9], {8, 3, 106});

    p.hipInset = 7;
    const SolidMesh shrunk = Hipped{}.emit(p, kRect);
    expectNear(shrunk.vertices[8], {5 - 1e-6, 3, 106}, 1e-12);
    expectNear(shrunk.vertices[9], {5 + 1e-6, 3, 106}, 1e-12);

    p.hipInset = -3;
    const SolidMesh gable = Hipped{}.emit(p, kRect);
    EXPECT_EQ(gable.vertices[8], (Vec3{0, 3, 106}));
}

TEST(AsymGabled, RidgeStandsAtSixtyEightPercentOfTheDepth) {
    const SolidMesh m = AsymGabled{}.emit(heights(100, 103, 106), kRect);
    EXPECT_NEAR(m.vertices[8].y, 4.08, 1e-12);
    EXPECT_NEAR(m.vertices[9].y, 4.08, 1e-12);
}

TEST(Shed, RisesToTheLeftOfTheAxisAndStaysLevelWithoutAxis) {
    RoofParams p = heights(100, 103, 106);
    const SolidMesh m = Shed{}.emit(p, kRect);
    EXPECT_EQ(m.vertices[4].z, 103);
    EXPECT_EQ(m.vertices[5].z, 103);
    EXPECT_EQ(m.vertices[6].z, 106);
    EXPECT_EQ(m.vertices[7].z, 106);
    EXPECT_EQ(m.faces.back(), (Face{4, 5, 6, 7}));

    p.axis = {0, 0};
    const SolidMesh level = Shed{}.emit(p, kRect);
    for (int i = 4; i < 8; ++i) {
        EXPECT_EQ(level.vertices[i].z, 103);
    }

    p.axis = {0, 5};  // scaled axis: the same plane as (0, 1), high at low x
    const SolidMesh across = Shed{}.emit(p, kRect);
    EXPECT_EQ(across.vertices[4].z, 106);
    EXPECT_EQ(across.vertices[5].z, 103);
}

TEST(FourCornerRoofs, OtherFootprintsGiveExactlyTheFlatSolid) {
    const RoofParams p = heights(100, 103, 106);
    const SolidMesh flat = Flat{}.emit(p, kPentagon);
    ASSERT_FALSE(flat.faces.empty());
    EXPECT_EQ(Gabled{}.emit(p, kPentagon), flat);
    EXPECT_EQ(AsymGabled{}.emit(p, kPentagon), flat);
    EXPECT_EQ(Hipped{}.emit(p, kPentagon), flat);
    EXPECT_EQ(HalfHipped{}.emit(p, kPentagon), flat);
    EXPECT_EQ(HippedOneSided{}.emit(p, kPentagon), flat);
    EXPECT_EQ(Mansard{}.emit(p, kPentagon), flat);
}

TEST(FourCornerRoofs, BentOrCrossedQuadGivesTheFlatSolidNotCrossedFaces) {
    const RoofParams p = heights(0, 3, 6);
    const Footprint dart{{{0, 0}, {10, 0}, {3, 2}, {0, 6}}};
    EXPECT_EQ(Gabled{}.emit(p, dart), Flat{}.emit(p, dart));
    EXPECT_EQ(Hipped{}.emit(p, dart), Flat{}.emit(p, dart));
    const Footprint bowTie{{{0, 0}, {10, 6}, {10, 0}, {0, 6}}};
    EXPECT_EQ(Gabled{}.emit(p, bowTie), Flat{}.emit(p, bowTie));
}

TEST(BoxRoofs, RingNotListedFromItsLowCornerGivesTheFlatSolid) {
    const RoofParams p = heights(0, 3, 6);
    const Footprint clockwise{{{0, 0}, {0, 6}, {10, 6}, {10, 0}}};
    const Footprint fromHighCorner{{{10, 6}, {0, 6}, {0, 0}, {10, 0}}};
    for (const Footprint& fp : {clockwise, fromHighCorner}) {
        const SolidMesh flat = Flat{}.emit(p, fp);
        ASSERT_EQ(flat.faces.size(), 6u);
        EXPECT_EQ(Mansard{}.emit(p, fp), flat);
        EXPECT_EQ(HalfHipped{}.emit(p, fp), flat);
    }
}

TEST(BoxRoofs, ClockwiseRingFromItsWallAlongXCarriesTheHalfHippedRoof) {
    const RoofParams p = heights(0, 3, 6);
    const Footprint clockwise{{{0, 6}, {10, 6}, {10, 0}, {0, 0}}};
    const SolidMesh m = HalfHipped{}.emit(p, clockwise);
    ASSERT_EQ(m.vertices.size(), 14u);
    expectNear(m.vertices[8], {2, 3, 6});        // a
    expectNear(m.vertices[9], {8, 3, 6});        // b
    expectNear(m.vertices[10], {0, 4.5, 4.5});   // c, towards p0
    expectNear(m.vertices[11], {0, 1.5, 4.5});   // d
    expectNear(m.vertices[12], {10, 4.5, 4.5});  // e
    expectNear(m.vertices[13], {10, 1.5, 4.5});  // f
    EXPECT_NEAR(volumeOutward(m), volumeOutward(HalfHipped{}.emit(p, kRect)), 1e-9);
}

TEST(RingsWithoutArea, GiveNoSolid) {
    const RoofParams p;
    const Footprint two{{{0, 0}, {5, 0}}};
    const Footprint line{{{0, 0}, {5, 0}, {10, 0}}};
    const Footprint flatQuad{{{0, 0}, {5, 0}, {10, 0}, {5, 0}}};
    const Footprint nan{{{0, 0}, {5, 0}, {std::nan(""), 5}}};
    for (const Footprint& fp : {Footprint{}, two, line, flatQuad, nan}) {
        EXPECT_TRUE(Flat{}.emit(p, fp).vertices.empty());
        EXPECT_TRUE(Shed{}.emit(p, fp).vertices.empty());
        EXPECT_TRUE(Tent{}.emit(p, fp).vertices.empty());
        EXPECT_TRUE(Gabled{}.emit(p, fp).vertices.empty());
        EXPECT_TRUE(Mansard{}.emit(p, fp).vertices.empty());
    }
}

TEST(HippedOneSided, HipOnlyAtTheFarEndBoundedByTheWholeRidge) {
    RoofParams p = heights(0, 3, 6);
    const SolidMesh m = HippedOneSided{}.emit(p, kRect);
    expectNear(m.vertices[8], {0, 3, 6});
    expectNear(m.vertices[9], {8, 3, 6});

    p.hipInset = 12;
    const SolidMesh shrunk = HippedOneSided{}.emit(p, kRect);
    expectNear(shrunk.vertices[8], {0, 3, 6});
    expectNear(shrunk.vertices[9], {1e-6, 3, 6}, 1e-12);
}

TEST(HalfHipped, CutsHalfGablesAtTheRatioAndClampsIt) {
    const RoofParams p = heights(0, 3, 6);
    const SolidMesh m = HalfHipped{}.emit(p, kRect);
    ASSERT_EQ(m.vertices.size(), 14u);
    expectNear(m.vertices[8], {2, 3, 6});        // a
    expectNear(m.vertices[9], {8, 3, 6});        // b
    expectNear(m.vertices[10], {0, 1.5, 4.5});   // c
    expectNear(m.vertices[11], {0, 4.5, 4.5});   // d
    expectNear(m.vertices[12], {10, 1.5, 4.5});  // e
    expectNear(m.vertices[13], {10, 4.5, 4.5});  // f
    const std::vector<Face> roof{{10, 4, 5, 12, 9, 8}, {7, 11, 8, 9, 13, 6}, {4, 10, 11, 7},
                                 {5, 6, 13, 12},       {10, 8, 11},          {12, 13, 9}};
    EXPECT_EQ(std::vector<Face>(m.faces.begin() + 5, m.faces.end()), roof);

    RoofParams low = p;
    low.halfHipRatio = 0;
    RoofParams lowest = p;
    lowest.halfHipRatio = 0.05;
    EXPECT_EQ(HalfHipped{}.emit(low, kRect), HalfHipped{}.emit(lowest, kRect));
    RoofParams high = p;
    high.halfHipRatio = 1;
    RoofParams highest = p;
    highest.halfHipRatio = 0.95;
    EXPECT_EQ(HalfHipped{}.emit(high, kRect), HalfHipped{}.emit(highest, kRect));
}

TEST(Mansard, BreakLinesAndRidgeWhereTheRatiosPutThem) {
    const SolidMesh m = Mansard{}.emit(heights(0, 3, 6), kRect);
    ASSERT_EQ(m.vertices.size(), 14u);
    expectNear(m.vertices[8], {0, 0.9, 4.5});
    expectNear(m.vertices[10], {10, 5.1, 4.5});
    expectNear(m.vertices[12], {0, 3, 6});
    expectNear(m.vertices[13], {10, 3, 6});
    const std::vector<Face> faces{{0, 1, 2, 3},      {0, 1, 5, 4},     {1, 2, 6, 5},
                                  {2, 3, 7, 6},      {3, 0, 4, 7},     {4, 5, 9, 8},
                                  {6, 7, 11, 10},    {8, 9, 13, 12},   {10, 11, 12, 13},
                                  {4, 8, 12, 11, 7}, {5, 6, 10, 13, 9}};
    EXPECT_EQ(m.faces, faces);
}

TEST(Tent, TriangleGivesThreeRoofTrianglesMeetingAtTheCentroid) {
    const Footprint tri{{{0, 0}, {6, 0}, {0, 3}}};
    const SolidMesh m = Tent{}.emit(heights(0, 3, 6), tri);
    ASSERT_EQ(m.vertices.size(), 7u);
    expectNear(m.vertices[6], {2, 1, 6});
    const std::vector<Face> roof{{3, 4, 6}, {4, 5, 6}, {5, 3, 6}};
    EXPECT_EQ(std::vector<Face>(m.faces.begin() + 4, m.faces.end()), roof);
}

TEST(FiveSidedGabled, LOfTwoWingsInTheBoundingBoxWhateverTheShape) {
    const Footprint square{{{0, 0}, {10, 0}, {10, 10}, {0, 10}}};
    const Footprint octagon{{{3, 0}, {7, 0}, {10, 3}, {10, 7}, {7, 10}, {3, 10}, {0, 7}, {0, 3}}};
    const RoofParams p = heights(0, 3, 6);
    const SolidMesh m = FiveSidedGabled{}.emit(p, square);
    EXPECT_EQ(FiveSidedGabled{}.emit(p, octagon), m);
    ASSERT_EQ(m.vertices.size(), 17u);
    expectNear(m.vertices[0], {2.2, 0, 0});  // chamfer 0.22 x 10
    expectNear(m.vertices[6], {0, 2.2, 0});
    expectNear(m.vertices[3], {4.5, 4.5, 0});  // inner corner: wings 4.5 wide
    expectNear(m.vertices[14], {2.25, 2.25, 6});
    expectNear(m.vertices[15], {10, 2.25, 6});
    expectNear(m.vertices[16], {2.25, 10, 6});
    const std::vector<Face> roof{{7, 8, 15, 14},   {9, 10, 14, 15}, {13, 12, 16, 14},
                                 {11, 10, 14, 16}, {13, 7, 14},     {8, 9, 15},
                                 {11, 12, 16}};
    EXPECT_EQ(std::vector<Face>(m.faces.begin() + 8, m.faces.end()), roof);
}

}  // namespace
}  // namespace lod2fit
