#include <gtest/gtest.h>

#include <limits>

#include "MeshChecks.h"
#include "geometry/lod2fit/Barrel.h"
#include "geometry/lod2fit/Cone.h"
#include "geometry/lod2fit/Dome.h"
#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/MeshOrientation.h"
#include "geometry/lod2fit/Nave.h"
#include "geometry/lod2fit/SolidBuilders.h"

namespace lod2fit {
namespace {

Footprint box(double x0, double y0, double x1, double y1) {
    return Footprint{{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
}

RoofParams segments(int count) {
    RoofParams p;
    p.arcSegments = count;
    return p;
}

TEST(Barrel, SixteenSegmentsGiveSeventeenProfilePointsAndTwentyOneFaces) {
    RoofParams p;
    p.ridgeZ = 5;
    const SolidMesh m = Barrel{}.emit(p, box(0, 0, 10, 6));
    ASSERT_EQ(m.vertices.size(), 38u);
    ASSERT_EQ(m.faces.size(), 21u);
    EXPECT_NEAR(m.vertices[8].y, 3, 1e-12);  // crown of the arch at x0
    EXPECT_NEAR(m.vertices[8].z, 5, 1e-12);
    EXPECT_NEAR(m.vertices[17 + 8].x, 10, 1e-12);
    EXPECT_EQ(m.faces[0], (Face{34, 35, 36, 37}));
    EXPECT_EQ(m.faces[1], (Face{34, 35, 17, 0}));
    EXPECT_EQ(m.faces[2], (Face{36, 37, 16, 33}));
    EXPECT_EQ(m.faces[3].size(), 19u);
    EXPECT_EQ(m.faces[3].front(), 37);
    EXPECT_EQ(m.faces[3].back(), 16);
    EXPECT_EQ(m.faces[4][2], 33);
    EXPECT_EQ(m.faces[4].back(), 17);
    EXPECT_EQ(m.faces[5], (Face{0, 17, 18, 1}));

    const Footprint five{{{0, 0}, {10, 0}, {10, 6}, {5, 8}, {0, 6}}};
    EXPECT_EQ(Barrel{}.emit(p, five), Flat{}.emit(p, five));
}

TEST(Barrel, ClockwiseRingFromItsWallAlongXCarriesTheSameVault) {
    RoofParams p;
    p.ridgeZ = 5;
    const Footprint clockwise{{{0, 6}, {10, 6}, {10, 0}, {0, 0}}};
    SolidMesh turned = Barrel{}.emit(p, clockwise);
    SolidMesh plain = Barrel{}.emit(p, box(0, 0, 10, 6));
    ASSERT_NE(turned, Flat{}.emit(p, clockwise));
    ASSERT_EQ(turned.vertices.size(), 38u);
    EXPECT_EQ(turned.faces.size(), 21u);
    EXPECT_NEAR(turned.vertices[8].y, 3, 1e-12);
    EXPECT_NEAR(turned.vertices[8].z, 5, 1e-12);

    normalizeOutwardNormals(turned);
    normalizeOutwardNormals(plain);
    EXPECT_NEAR(testing::signedVolume(turned), testing::signedVolume(plain), 1e-9);
    EXPECT_GT(testing::signedVolume(turned), 10 * 6 * 3);

    // Listed from a corner whose first wall runs along y, the ring spans no box along x.
    const Footprint upright{{{0, 0}, {0, 6}, {10, 6}, {10, 0}}};
    EXPECT_EQ(Barrel{}.emit(p, upright), Flat{}.emit(p, upright));
}

TEST(Nave, ApseOnTheLowXSideAndRidgeAlongTheHall) {
    const SolidMesh m = Nave{}.emit(RoofParams{}, box(0, 0, 20, 8));
    ASSERT_EQ(m.vertices.size(), 40u);
    EXPECT_NEAR(m.vertices[2 * 8].x, -4, 1e-12);  // L(8): the apse's far point
    EXPECT_NEAR(m.vertices[2 * 8].y, 4, 1e-12);
    EXPECT_EQ(m.vertices[38], (Vec3{0, 4, 6}));
    EXPECT_EQ(m.vertices[39], (Vec3{20, 4, 6}));
    EXPECT_EQ(m.faces.size(), 6u + 2 * 16 + 1);
    EXPECT_EQ(m.faces[0], (Face{33, 36, 39, 38}));
    EXPECT_EQ(m.faces.back().size(), 2u + 17);

    EXPECT_EQ(Nave{}.emit(segments(2), box(0, 0, 20, 8)).vertices.size(), 2u * 5 + 6);
    const Footprint tri{{{0, 0}, {10, 0}, {0, 6}}};
    EXPECT_EQ(Nave{}.emit(RoofParams{}, tri), Flat{}.emit(RoofParams{}, tri));
}

TEST(Cone, InscribedInTheBoxWithAFirstRimPointOnTheRight) {
    const SolidMesh m = Cone{}.emit(RoofParams{}, box(0, 0, 10, 6));
    ASSERT_EQ(m.vertices.size(), 2u * 16 + 1);
    ASSERT_EQ(m.faces.size(), 1u + 2 * 16);
    EXPECT_EQ(m.vertices[0], (Vec3{8, 3, 0}));
    EXPECT_EQ(m.vertices[1], (Vec3{8, 3, 3}));
    EXPECT_EQ(m.vertices[32], (Vec3{5, 3, 6}));
    EXPECT_EQ(m.faces[1], (Face{0, 2, 3, 1}));
    EXPECT_EQ(m.faces[2], (Face{1, 3, 32}));
    EXPECT_EQ(m.faces[31], (Face{30, 0, 1, 31}));

    EXPECT_EQ(Cone{}.emit(segments(2), box(0, 0, 10, 6)).vertices.size(), 2u * 3 + 1);
}

TEST(Dome, SegmentsAndRingsFollowArcSegments) {
    const SolidMesh m = Dome{}.emit(RoofParams{}, box(0, 0, 10, 6));
    EXPECT_EQ(m.vertices.size(), 145u);
    EXPECT_EQ(m.faces.size(), 257u);
    EXPECT_EQ(m.vertices[16], (Vec3{8, 3, 3}));  // eave ring starts at full radius
    EXPECT_NEAR(m.vertices[144].z, 6, 1e-12);
    EXPECT_EQ(m.faces[1], (Face{0, 1, 17, 16}));
    EXPECT_EQ(m.faces[16], (Face{15, 0, 16, 31}));
    EXPECT_EQ(m.faces[17], (Face{16, 17, 33}));
    EXPECT_EQ(m.faces[18], (Face{16, 33, 32}));
    EXPECT_EQ(m.faces.back(), (Face{143, 128, 144}));

    // n (m + 1) + 1 vertices: 13 around with 6 rings, 14 around with 7.
    EXPECT_EQ(Dome{}.emit(segments(13), box(0, 0, 10, 6)).vertices.size(), 13u * 7 + 1);
    EXPECT_EQ(Dome{}.emit(segments(14), box(0, 0, 10, 6)).vertices.size(), 14u * 8 + 1);
}

TEST(RoundRoofs, SegmentCountsPastTheFinestAreCutToIt) {
    const Footprint rect = box(0, 0, 10, 6);
    for (const int count : {1025, 1 << 20, std::numeric_limits<int>::max()}) {
        EXPECT_EQ(Barrel{}.emit(segments(count), rect), Barrel{}.emit(segments(1024), rect));
        EXPECT_EQ(Cone{}.emit(segments(count), rect), Cone{}.emit(segments(1024), rect));
        EXPECT_EQ(Dome{}.emit(segments(count), rect), Dome{}.emit(segments(1024), rect));
        EXPECT_EQ(Nave{}.emit(segments(count), rect), Nave{}.emit(segments(1024), rect));
    }
    EXPECT_EQ(arcProfile(10, 2, std::numeric_limits<int>::max()).size(), 1025u);
}

TEST(RoundRoofs, SameBoundingBoxGivesTheSameSolid) {
    const Footprint round{
        {{10, 3}, {8, 5.5}, {5, 6}, {2, 5.5}, {0, 3}, {2, 0.5}, {5, 0}, {8, 0.5}}};
    const Footprint rect = box(0, 0, 10, 6);
    ASSERT_EQ(boundingBox(round).dx(), 10);
    ASSERT_EQ(boundingBox(round).dy(), 6);
    EXPECT_EQ(Cone{}.emit(RoofParams{}, round), Cone{}.emit(RoofParams{}, rect));
    EXPECT_EQ(Dome{}.emit(RoofParams{}, round), Dome{}.emit(RoofParams{}, rect));
}

}  // namespace
}  // namespace lod2fit
