#include "geometry/lod2fit/SolidMesh.h"

#include <gtest/gtest.h>

#include <numbers>

#include "MeshChecks.h"
#include "geometry/lod2fit/SolidBuilders.h"

namespace lod2fit {
namespace {

using testing::outwardCube;
using testing::outwardTetrahedron;

TEST(AppendSolid, OntoEmptyCopiesAndOntoCubeShiftsIndices) {
    SolidMesh empty;
    appendSolid(empty, outwardTetrahedron());
    EXPECT_EQ(empty, outwardTetrahedron());

    SolidMesh joined = outwardCube();
    appendSolid(joined, outwardTetrahedron());
    ASSERT_EQ(joined.vertices.size(), 12u);
    ASSERT_EQ(joined.faces.size(), 10u);
    EXPECT_EQ(joined.vertices[8], outwardTetrahedron().vertices[0]);
    for (std::size_t f = 0; f < 4; ++f) {
        Face expected = outwardTetrahedron().faces[f];
        for (auto& i : expected) {
            i += 8;
        }
        EXPECT_EQ(joined.faces[6 + f], expected);
    }
}

TEST(MoveAndTurn, TranslatesAndRotatesAboutAVerticalLine) {
    SolidMesh point;
    point.vertices = {{2, 1, 5}};
    point.faces = {{0, 0, 0}};

    const SolidMesh moved = translated(point, 1, -2, 3);
    EXPECT_EQ(moved.vertices[0], (Vec3{3, -1, 8}));
    EXPECT_EQ(moved.faces, point.faces);

    const SolidMesh turned = rotatedZ(point, std::numbers::pi / 2, 1, 1);
    EXPECT_NEAR(turned.vertices[0].x, 1.0, 1e-12);
    EXPECT_NEAR(turned.vertices[0].y, 2.0, 1e-12);
    EXPECT_EQ(turned.vertices[0].z, 5.0);
    EXPECT_EQ(turned.faces, point.faces);
}

TEST(ArcProfile, RaisesTooFewSegmentsToTwoAndPeaksInTheMiddle) {
    const auto coarse = arcProfile(10, 2, 1);
    ASSERT_EQ(coarse.size(), 3u);
    EXPECT_EQ(coarse[0], (Vec2{0, 0}));
    EXPECT_DOUBLE_EQ(coarse[1].x, 5);
    EXPECT_DOUBLE_EQ(coarse[1].y, 2);
    EXPECT_DOUBLE_EQ(coarse[2].x, 10);
    EXPECT_NEAR(coarse[2].y, 0, 1e-12);

    EXPECT_EQ(arcProfile(10, 2, 4).size(), 5u);
    EXPECT_EQ(arcProfile(10, 2, 3).size(), 4u);
}

TEST(BuildWallsBottom, FloorThenOneQuadPerEdgeAndTheUpperRing) {
    const Footprint square{{{0, 0}, {4, 0}, {4, 4}, {0, 4}}};
    std::vector<std::int32_t> top{99};
    const SolidMesh walls = buildWallsBottom(square, 1, {5, 6, 7, 8}, top);
    ASSERT_EQ(walls.vertices.size(), 8u);
    EXPECT_EQ(walls.vertices[0], (Vec3{0, 0, 1}));
    EXPECT_EQ(walls.vertices[6], (Vec3{4, 4, 7}));
    EXPECT_EQ(top, (std::vector<std::int32_t>{4, 5, 6, 7}));
    const std::vector<Face> faces{
        {0, 1, 2, 3}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    EXPECT_EQ(walls.faces, faces);
}

TEST(BuildWallsBottom, WrongHeightCountOrTooFewPointsLeavesEverythingAlone) {
    const Footprint square{{{0, 0}, {4, 0}, {4, 4}, {0, 4}}};
    std::vector<std::int32_t> top{42};
    EXPECT_EQ(buildWallsBottom(square, 0, {1, 1, 1}, top), SolidMesh{});
    EXPECT_EQ(top, std::vector<std::int32_t>{42});
    EXPECT_EQ(buildWallsBottom(Footprint{{{0, 0}, {1, 0}}}, 0, {1, 1}, top), SolidMesh{});
    EXPECT_EQ(top, std::vector<std::int32_t>{42});
}

}  // namespace
}  // namespace lod2fit
