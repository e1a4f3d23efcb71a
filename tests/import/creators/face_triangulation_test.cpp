// Triangulation of single faces: the orientation of the triangles and the edge flips. (Whole,
// clipped, fanned and fan-like faces and their counters are tested through the morphs.)

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "import/creators/FaceTriangulation.h"

namespace {

using facetri::Point2;
using facetri::Point3;
using facetri::Triangle;

Point3 triangleNormal(const std::vector<Point3>& p, const Triangle& t) {
    const Point3 &a = p[t.a], &b = p[t.b], &c = p[t.c];
    const Point3 u{b.x - a.x, b.y - a.y, b.z - a.z}, v{c.x - a.x, c.y - a.y, c.z - a.z};
    return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

double dot(const Point3& a, const Point3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

double area(const std::vector<Point2>& p, const Triangle& t) {
    return ((p[t.b].x - p[t.a].x) * (p[t.c].y - p[t.a].y) -
            (p[t.b].y - p[t.a].y) * (p[t.c].x - p[t.a].x)) /
           2;
}

double totalArea(const std::vector<Point2>& p, const std::vector<Triangle>& triangles) {
    double sum = 0;
    for (const Triangle& t : triangles)
        sum += std::abs(area(p, t));
    return sum;
}

// An L of 3 x 3 with a 2 x 2 corner cut away (area 5), counter-clockwise in its (u, v) plane.
const std::vector<Point2> kL = {{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 3}, {0, 3}};

// The L lifted into space in one of the three axis planes at height h, in its own order or
// reversed (then it faces the other way).
std::vector<Point3> lInPlane(int axis, bool reversed, double h = 2.0) {
    std::vector<Point3> face;
    for (const Point2& p : kL) {
        if (axis == 2)
            face.push_back({p.x, p.y, h});
        else if (axis == 0)
            face.push_back({h, p.x, p.y});
        else
            face.push_back({p.x, h, p.y});
    }
    if (reversed)
        std::reverse(face.begin(), face.end());
    return face;
}

// Whatever plane a face lies in and whichever way it faces, its triangles face the same way: a
// face that runs clockwise in the plane used for clipping (a floor seen from above) is not turned
// over.
TEST(FaceTriangulation, TrianglesFaceTheWayTheirFaceDoes) {
    for (int axis = 0; axis < 3; ++axis) {
        for (const bool reversed : {false, true}) {
            const auto face = lInPlane(axis, reversed);
            const Point3 normal = facetri::newellNormal(face);
            const facetri::Result result = facetri::triangulate(face);
            ASSERT_EQ(result.triangles.size(), 4u);
            for (const Triangle& t : result.triangles) {
                EXPECT_GT(dot(triangleNormal(face, t), normal), 0.0)
                    << "axis " << axis << (reversed ? " reversed" : "");
            }
        }
    }
}

TEST(FaceTriangulation, FlipsTurnAThinFanIntoDelaunayTriangles) {
    // A flat ellipse fanned from one end: long slivers that the flips replace.
    std::vector<Point2> ellipse;
    for (int i = 0; i < 10; ++i) {
        const double a = 2 * std::numbers::pi * i / 10;
        ellipse.push_back({10 * std::cos(a), std::sin(a)});
    }
    EXPECT_FALSE(facetri::looksLikeFan(facetri::fan(6), 6)) << "4 triangles are too few";
    auto triangles = facetri::fan(ellipse.size());
    const double before = totalArea(ellipse, triangles);
    ASSERT_TRUE(facetri::looksLikeFan(triangles, ellipse.size()));
    facetri::flipEdges(ellipse, triangles);
    EXPECT_EQ(triangles.size(), 8u);
    EXPECT_NEAR(totalArea(ellipse, triangles), before, 1e-9) << "the flips keep the face covered";
    EXPECT_FALSE(facetri::looksLikeFan(triangles, ellipse.size()));
    for (const Triangle& t : triangles)
        EXPECT_GT(area(ellipse, t), 0.0) << "every triangle counter-clockwise";
}

}  // namespace
