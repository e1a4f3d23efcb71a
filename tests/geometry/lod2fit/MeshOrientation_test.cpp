#include "geometry/lod2fit/MeshOrientation.h"

#include <gtest/gtest.h>

#include "MeshChecks.h"
#include "geometry/lod2fit/FiveSidedGabled.h"
#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/MeshClosure.h"

namespace lod2fit {
namespace {

using testing::everyEdgeOnceEachWay;
using testing::outwardCube;
using testing::outwardTetrahedron;
using testing::signedVolume;
using testing::withFacesReversed;

TEST(Orientation, ConvexSolidsTurnOutwardWithTheCountOfReversedFaces) {
    SolidMesh inward = withFacesReversed(outwardCube());
    EXPECT_EQ(normalizeOutwardNormals(inward), 6);
    EXPECT_EQ(inward, outwardCube());

    SolidMesh outward = outwardCube();
    EXPECT_EQ(normalizeOutwardNormals(outward), 0);
    EXPECT_EQ(outward, outwardCube());

    SolidMesh mixed = outwardCube();
    std::reverse(mixed.faces[1].begin(), mixed.faces[1].end());
    std::reverse(mixed.faces[4].begin(), mixed.faces[4].end());
    EXPECT_EQ(normalizeOutwardNormals(mixed), 2);
    EXPECT_EQ(mixed, outwardCube());

    SolidMesh empty;
    EXPECT_EQ(normalizeOutwardNormals(empty), 0);
}

// A U of 8 corners: the courtyard walls face the centroid of the solid, which the centroid rule
// alone turns inward.
TEST(Orientation, CourtyardWallsOfAUShapedBlockFaceOutward) {
    const Footprint u{{{0, 0}, {9, 0}, {9, 9}, {6, 9}, {6, 3}, {3, 3}, {3, 9}, {0, 9}}};
    RoofParams params;
    SolidMesh mesh = Flat{}.emit(params, u);
    normalizeOutwardNormals(mesh);
    EXPECT_TRUE(everyEdgeOnceEachWay(mesh));
    EXPECT_NEAR(signedVolume(mesh), (81 - 18) * 3.0, 1e-9);
}

TEST(Orientation, LShapedFiveSidedGabledFacesOutward) {
    SolidMesh mesh =
        FiveSidedGabled{}.emit(RoofParams{}, Footprint{{{0, 0}, {10, 0}, {10, 10}, {0, 10}}});
    normalizeOutwardNormals(mesh);
    EXPECT_TRUE(everyEdgeOnceEachWay(mesh));
    EXPECT_GT(signedVolume(mesh), 0);
}

TEST(Orientation, EachSeparatePartIsTurnedOnItsOwn) {
    SolidMesh mesh = outwardCube();
    appendSolid(mesh, withFacesReversed(translated(outwardTetrahedron(), 3, 0, 0)));
    EXPECT_EQ(normalizeOutwardNormals(mesh), 4);
    EXPECT_TRUE(everyEdgeOnceEachWay(mesh));
    EXPECT_NEAR(signedVolume(mesh), 1.0 + 1.0 / 6, 1e-12);
}

TEST(Orientation, OpenPartFallsBackToFacingAwayFromItsCentroid) {
    SolidMesh open = withFacesReversed(outwardTetrahedron());
    open.faces.pop_back();
    EXPECT_EQ(normalizeOutwardNormals(open), 3);
    SolidMesh expected = outwardTetrahedron();
    expected.faces.pop_back();
    EXPECT_EQ(open, expected);
}

TEST(Orientation, MapCoordinatesKeepTheirOrientation) {
    // A 10 x 6 block at PL-1992 magnitudes, as the reconstruction hands it back.
    const Footprint block{{{512340.25, 301220.5},
                           {512350.25, 301220.5},
                           {512350.25, 301226.5},
                           {512340.25, 301226.5}}};
    SolidMesh mesh = Flat{}.emit(RoofParams{}, block);
    normalizeOutwardNormals(mesh);
    EXPECT_TRUE(everyEdgeOnceEachWay(mesh));
    SolidMesh local = translated(mesh, -512340.25, -301220.5, 0);
    EXPECT_NEAR(signedVolume(local), 180, 1e-6);
}

TEST(Orientation, FacesWithIndicesOutsideTheVertexListAreLeftAlone) {
    SolidMesh mesh = withFacesReversed(outwardCube());
    mesh.faces.push_back({0, 1, 42});
    EXPECT_EQ(normalizeOutwardNormals(mesh), 6);
    EXPECT_EQ(mesh.faces.back(), (Face{0, 1, 42}));
}

TEST(Orientation, TwoSidedTriangleHasNoInsideAndStaysAsItIs) {
    SolidMesh sheet;
    sheet.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    sheet.faces = {{0, 1, 2}, {2, 1, 0}};
    EXPECT_EQ(normalizeOutwardNormals(sheet), 0);
}

}  // namespace
}  // namespace lod2fit
