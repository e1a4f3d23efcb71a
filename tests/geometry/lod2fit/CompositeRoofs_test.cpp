#include <gtest/gtest.h>

#include <cmath>

#include "MeshChecks.h"
#include "geometry/lod2fit/BerlinRoof.h"
#include "geometry/lod2fit/BerlinShedCorner.h"
#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/GabledCorner.h"
#include "geometry/lod2fit/GabledCross.h"
#include "geometry/lod2fit/GabledDormer.h"
#include "geometry/lod2fit/GabledTElement.h"
#include "geometry/lod2fit/ShedBerlinCross.h"
#include "geometry/lod2fit/ShedCornerInvers.h"
#include "geometry/lod2fit/ShedDormer.h"
#include "geometry/lod2fit/ShedGabledCorner.h"
#include "geometry/lod2fit/ShedGabledCross.h"

namespace lod2fit {
namespace {

Footprint box(double x0, double y0, double x1, double y1) {
    return Footprint{{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
}

TEST(GabledCross, TwoTenVertexSolidsCrossingInTheMiddle) {
    const SolidMesh m = GabledCross{}.emit(RoofParams{}, box(0, 0, 20, 10));
    ASSERT_EQ(m.vertices.size(), 20u);
    ASSERT_EQ(m.faces.size(), 18u);
    // First wing: the strip y = 2.5..7.5, ridge from (0, 5) to (20, 5).
    EXPECT_EQ(m.vertices[0], (Vec3{0, 2.5, 0}));
    EXPECT_EQ(m.vertices[2], (Vec3{20, 7.5, 0}));
    EXPECT_EQ(m.vertices[8], (Vec3{0, 5, 6}));
    EXPECT_EQ(m.vertices[9], (Vec3{20, 5, 6}));
    // Second wing: the strip x = 5..15, ridge from (10, 0) to (10, 10).
    EXPECT_EQ(m.vertices[10], (Vec3{15, 0, 0}));
    EXPECT_EQ(m.vertices[12], (Vec3{5, 10, 0}));
    EXPECT_EQ(m.vertices[18], (Vec3{10, 0, 6}));
    EXPECT_EQ(m.vertices[19], (Vec3{10, 10, 6}));
    EXPECT_EQ(m.faces[9], (Face{10, 11, 12, 13}));
    for (std::size_t f = 9; f < m.faces.size(); ++f) {
        for (const auto i : m.faces[f]) {
            EXPECT_GE(i, 10);
        }
    }
}

TEST(Composites, OnlyTheBoundingBoxOfTheFootprintCounts) {
    const Footprint l{{{0, 0}, {12, 0}, {12, 4}, {4, 4}, {4, 8}, {0, 8}}};
    const Footprint rect = box(0, 0, 12, 8);
    const RoofParams p;
    EXPECT_EQ(GabledCross{}.emit(p, l), GabledCross{}.emit(p, rect));
    EXPECT_EQ(GabledTElement{}.emit(p, l), GabledTElement{}.emit(p, rect));
    EXPECT_EQ(GabledCorner{}.emit(p, l), GabledCorner{}.emit(p, rect));
    EXPECT_EQ(ShedGabledCross{}.emit(p, l), ShedGabledCross{}.emit(p, rect));
    EXPECT_EQ(ShedBerlinCross{}.emit(p, l), ShedBerlinCross{}.emit(p, rect));
    EXPECT_EQ(ShedGabledCorner{}.emit(p, l), ShedGabledCorner{}.emit(p, rect));
    EXPECT_EQ(BerlinShedCorner{}.emit(p, l), BerlinShedCorner{}.emit(p, rect));
    EXPECT_EQ(ShedCornerInvers{}.emit(p, l), ShedCornerInvers{}.emit(p, rect));
    EXPECT_EQ(GabledDormer{}.emit(p, l), GabledDormer{}.emit(p, rect));
    EXPECT_EQ(ShedDormer{}.emit(p, l), ShedDormer{}.emit(p, rect));
}

TEST(ShedCornerInvers, BothShedsAreHighAlongTheOuterSides) {
    RoofParams p;
    p.eaveZ = 3;
    p.ridgeZ = 6;
    const SolidMesh m = ShedCornerInvers{}.emit(p, box(0, 0, 10, 10));
    ASSERT_EQ(m.vertices.size(), 16u);
    // Low-y half (0,0)-(10,5): tops 4..7 over (0,0), (10,0), (10,5), (0,5).
    EXPECT_EQ(m.vertices[4].z, 6);
    EXPECT_EQ(m.vertices[5].z, 6);
    EXPECT_EQ(m.vertices[6].z, 3);
    EXPECT_EQ(m.vertices[7].z, 3);
    // Low-x half (0,0)-(5,10): tops 12..15 over (0,0), (5,0), (5,10), (0,10).
    EXPECT_EQ(m.vertices[12].z, 6);
    EXPECT_EQ(m.vertices[13].z, 3);
    EXPECT_EQ(m.vertices[14].z, 3);
    EXPECT_EQ(m.vertices[15].z, 6);
}

TEST(ShedBerlinCross, OffCentreRidgeOverTheCrossStrip) {
    const SolidMesh m = ShedBerlinCross{}.emit(RoofParams{}, box(0, 0, 20, 10));
    EXPECT_NEAR(m.vertices[8].y, 2.5 + 0.34 * 10, 1e-12);
    const SolidMesh corner = BerlinShedCorner{}.emit(RoofParams{}, box(0, 0, 20, 10));
    EXPECT_NEAR(corner.vertices[8].y, 0.34 * 10, 1e-12);
}

TEST(GabledDormer, DormersSpreadEvenlyOrOneInTheMiddle) {
    RoofParams p;
    p.dormerCount = 3;
    const SolidMesh three = GabledDormer{}.emit(p, box(100, 0, 112, 10));
    ASSERT_EQ(three.vertices.size(), 10u + 3 * 10);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(three.vertices[10 + 10 * i + 8].x, 100 + 3.0 * (i + 1), 1e-12);
    }
    for (const int count : {0, 1, -2}) {
        p.dormerCount = count;
        const SolidMesh one = GabledDormer{}.emit(p, box(100, 0, 112, 10));
        ASSERT_EQ(one.vertices.size(), 20u);
        EXPECT_NEAR(one.vertices[18].x, 106, 1e-12);
    }
}

TEST(GabledDormer, DormerSectionFollowsTheMainRoof) {
    RoofParams p;  // eave 3, ridge 6; half depth 5 on a 10 m deep box
    const SolidMesh m = GabledDormer{}.emit(p, box(0, 0, 12, 10));
    const double zF = 3 + 0.13 * 3;
    EXPECT_NEAR(m.vertices[10].y, 0.65, 1e-12);      // front plane
    EXPECT_NEAR(m.vertices[10].z, 2.7, 1e-12);       // floor
    EXPECT_NEAR(m.vertices[14].z, zF + 0.5, 1e-12);  // dormer eave
    EXPECT_NEAR(m.vertices[18].z, zF + 1.4, 1e-12);  // dormer ridge
    const double backShare = (zF + 1.4 - 3) / 3 + 0.1;
    EXPECT_NEAR(m.vertices[12].y, backShare * 5, 1e-12);  // back plane
    const std::vector<Face> dormer{{10, 11, 12, 13}, {10, 11, 15, 14}, {12, 13, 17, 16},
                                   {13, 10, 14, 17}, {11, 12, 16, 15}, {14, 17, 19, 18},
                                   {15, 18, 19, 16}, {14, 15, 18},     {16, 19, 17}};
    EXPECT_EQ(std::vector<Face>(m.faces.begin() + 9, m.faces.end()), dormer);
}

TEST(GabledDormer, LevelMainRoofStillGivesAFiniteDormer) {
    RoofParams p;
    p.ridgeZ = p.eaveZ;
    const SolidMesh m = GabledDormer{}.emit(p, box(0, 0, 12, 10));
    for (const Vec3& v : m.vertices) {
        EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
    }
    EXPECT_NEAR(m.vertices[12].y, 0.95 * 5, 1e-12);
}

TEST(ShedDormer, AlwaysOneDormerSlopingIntoTheMainRoof) {
    RoofParams p;
    p.dormerCount = 4;
    const SolidMesh m = ShedDormer{}.emit(p, box(0, 0, 12, 10));
    ASSERT_EQ(m.vertices.size(), 18u);
    ASSERT_EQ(m.faces.size(), 15u);
    EXPECT_NEAR(m.vertices[10].x, 5, 1e-12);
    EXPECT_NEAR(m.vertices[10].y, 0.7, 1e-12);
    EXPECT_NEAR(m.vertices[10].z, 2.7, 1e-12);
    EXPECT_NEAR(m.vertices[14].z, 3 + 0.14 * 3 + 0.9, 1e-12);
    EXPECT_NEAR(m.vertices[16].z, 3 + 0.56 * 3 - 0.3, 1e-12);
    EXPECT_NEAR(m.vertices[16].y, 2.8, 1e-12);
    EXPECT_EQ(m.faces.back(), (Face{14, 15, 16, 17}));
}

TEST(BerlinRoof, FlatTopAtTheBreakHeight) {
    const SolidMesh m = BerlinRoof{}.emit(RoofParams{}, box(0, 0, 10, 8));
    ASSERT_EQ(m.vertices.size(), 12u);
    EXPECT_NEAR(m.vertices[8].y, 1.2, 1e-12);
    EXPECT_NEAR(m.vertices[10].y, 6.8, 1e-12);
    EXPECT_EQ(m.vertices[8].z, 4.5);
    const std::vector<Face> faces{{0, 1, 2, 3},  {0, 1, 5, 4}, {1, 2, 6, 5},   {2, 3, 7, 6},
                                  {3, 0, 4, 7},  {4, 5, 9, 8}, {6, 7, 11, 10}, {8, 9, 10, 11},
                                  {4, 8, 11, 7}, {5, 6, 10, 9}};
    EXPECT_EQ(m.faces, faces);

    const Footprint five{{{0, 0}, {10, 0}, {10, 8}, {5, 10}, {0, 8}}};
    EXPECT_EQ(BerlinRoof{}.emit(RoofParams{}, five), Flat{}.emit(RoofParams{}, five));
}

}  // namespace
}  // namespace lod2fit
