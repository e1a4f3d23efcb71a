#include "geometry/lod2fit/MeshClosure.h"

#include <gtest/gtest.h>

#include "MeshChecks.h"

namespace lod2fit {
namespace {

using testing::outwardCube;
using testing::outwardTetrahedron;

TEST(Closure, ClosedCubeAndTwoSeparateTetrahedraPassBothTests) {
    EXPECT_TRUE(isWatertight(outwardCube()));
    EXPECT_TRUE(isWatertightMulti(outwardCube()));

    SolidMesh two = outwardTetrahedron();
    appendSolid(two, translated(outwardTetrahedron(), 5, 0, 0));
    EXPECT_TRUE(isWatertight(two));
    EXPECT_TRUE(isWatertightMulti(two));
}

TEST(Closure, MissingFaceOrTooFewFacesIsOpen) {
    SolidMesh open = outwardTetrahedron();
    open.faces.pop_back();
    EXPECT_FALSE(isWatertight(open));
    EXPECT_FALSE(isWatertightMulti(open));

    SolidMesh threeFaces;
    threeFaces.vertices = outwardTetrahedron().vertices;
    threeFaces.faces = {{0, 1, 2}, {2, 1, 0}, {0, 1, 3}};
    EXPECT_FALSE(isWatertight(threeFaces));
    EXPECT_FALSE(isWatertightMulti(SolidMesh{}));
}

TEST(Closure, TwoSidedTriangleCountsForTheWholeMeshButNotAsAPart) {
    SolidMesh mesh = outwardTetrahedron();
    const auto a = addVertex(mesh, {5, 0, 0});
    const auto b = addVertex(mesh, {6, 0, 0});
    const auto c = addVertex(mesh, {5, 1, 0});
    mesh.faces.push_back({a, b, c});
    mesh.faces.push_back({c, b, a});
    EXPECT_TRUE(isWatertight(mesh));
    EXPECT_FALSE(isWatertightMulti(mesh));
}

TEST(Closure, RepeatedCornerOrShortFaceIsNeverClosed) {
    SolidMesh mesh = outwardTetrahedron();
    mesh.faces.push_back({0, 0, 1});
    EXPECT_FALSE(isWatertight(mesh));
    EXPECT_FALSE(isWatertightMulti(mesh));

    SolidMesh withSegment = outwardCube();
    withSegment.faces.push_back({0, 1});
    EXPECT_FALSE(isWatertight(withSegment));
}

TEST(Closure, IndexOutsideTheVertexListIsNotAClosedPart) {
    SolidMesh mesh = outwardTetrahedron();
    mesh.vertices.pop_back();  // faces still use vertex 3
    EXPECT_FALSE(isWatertightMulti(mesh));
}

}  // namespace
}  // namespace lod2fit
