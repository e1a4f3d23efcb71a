#include <gtest/gtest.h>

#include <cmath>

#include "geometry/PlanPolygons.h"
#include "geometry/PlaneGeometry.h"
#include "geometry/RoofSegmentation.h"

namespace {

// n points on z = a*x + b*y + c over a w x h rectangle at (x0, y0), on a near-square grid.
std::vector<Pt3> onPlane(int n, double a, double b, double c, double x0 = 0, double y0 = 0,
                         double w = 10, double h = 10) {
    std::vector<Pt3> pts;
    const int cols = static_cast<int>(std::ceil(std::sqrt(n * w / h)));
    for (int i = 0; i < n; ++i) {
        const double x = x0 + w * ((i % cols) + 0.5) / cols;
        const double y = y0 + h * ((i / cols) + 0.5) / std::ceil(static_cast<double>(n) / cols);
        pts.push_back({x, y, a * x + b * y + c});
    }
    return pts;
}

double ringArea(const std::vector<Triangle>& tris) {
    double sum = 0.0;
    for (const Triangle& t : tris) {
        sum += signedArea(t);
    }
    return sum;
}

TEST(FitPlane, RecoversTheTiltedPlaneWithAnUpwardNormal) {
    Plane p;
    ASSERT_TRUE(fitPlane(onPlane(20, 2, 3, 5, 512340, 301220), p));
    const double s = std::sqrt(14.0);
    EXPECT_NEAR(p.nx, -2 / s, 1e-9);
    EXPECT_NEAR(p.ny, -3 / s, 1e-9);
    EXPECT_NEAR(p.nz, 1 / s, 1e-9);
    EXPECT_NEAR(heightOnPlane(p, 512345, 301225), 2 * 512345.0 + 3 * 301225.0 + 5, 1e-6);
}

TEST(FitPlane, RefusesTooFewAndDegeneratePointsLeavingThePlaneAlone) {
    const Plane untouched{0.1, 0.2, 0.3, 0.4};
    Plane p = untouched;
    EXPECT_FALSE(fitPlane({{0, 0, 0}, {1, 0, 0}}, p));
    EXPECT_FALSE(fitPlane({{1, 1, 0}, {1, 1, 5}, {1, 1, 9}}, p));  // one vertical line
    EXPECT_FALSE(fitPlane({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, p));  // collinear in plan
    EXPECT_EQ(p, untouched);
}

TEST(ProjectRingToPlane, LiftsEachCornerAndGivesZeroOnAVerticalPlane) {
    const PlanRing ring{{0, 0}, {4, 0}, {4, 2}};
    const std::vector<Pt3> up = projectRingToPlane(ring, Plane{0, 0, 1, -7});
    ASSERT_EQ(up.size(), 3u);
    EXPECT_EQ(up[2], (Pt3{4, 2, 7}));
    for (const Pt3& p : projectRingToPlane(ring, Plane{1, 0, 0, -2})) {
        EXPECT_EQ(p.z, 0.0);
    }
}

TEST(PlaneIntersect, LineOfTwoPlanesAndParallelPlanes) {
    Pt3 point{9, 9, 9};
    Pt3 dir{9, 9, 9};
    ASSERT_TRUE(planeIntersect(Plane{0, 0, 1, 0}, Plane{1, 0, 0, -2}, point, dir));
    EXPECT_NEAR(dir.x, 0, 1e-12);
    EXPECT_NEAR(dir.y, 1, 1e-12);
    EXPECT_NEAR(dir.z, 0, 1e-12);
    EXPECT_NEAR(point.x, 2, 1e-12);
    EXPECT_NEAR(point.y, 0, 1e-12);
    EXPECT_NEAR(point.z, 0, 1e-12);
    const Pt3 before = point;
    EXPECT_FALSE(planeIntersect(Plane{0, 0, 1, 0}, Plane{0, 0, 1, -3}, point, dir));
    EXPECT_EQ(point, before);
}

TEST(FaceFromPlanes, LevelFaceAtTheFirstPlanesHeightOverTheCentroid) {
    const PlanRing ring{{0, 0}, {4, 0}, {4, 2}, {0, 2}};
    const Plane tilted{-std::sqrt(0.5), 0, std::sqrt(0.5), 0};  // z = x
    const std::vector<RoofFace> faces = faceFromPlanes({tilted}, ring);
    ASSERT_EQ(faces.size(), 1u);
    for (const Pt3& p : faces[0].pts) {
        EXPECT_NEAR(p.z, 2.0, 1e-12);
    }
    EXPECT_TRUE(faceFromPlanes({}, ring).empty());
    EXPECT_TRUE(faceFromPlanes({tilted}, {{0, 0}, {1, 1}}).empty());
}

TEST(PlanPolygons, PointInRingByEvenOdd) {
    const PlanRing l{{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 4}, {0, 4}};
    EXPECT_TRUE(pointInRing(0.5, 3, l));
    EXPECT_FALSE(pointInRing(3, 3, l));
    EXPECT_FALSE(pointInRing(0, 0, {}));
}

TEST(PlanPolygons, ClipKeepsWhatLiesInsideTheConvexRing) {
    const PlanRing small{{1, 1}, {2, 1}, {2, 2}, {1, 2}};
    const PlanRing big{{0, 0}, {5, 0}, {5, 5}, {0, 5}};
    EXPECT_EQ(clipToFootprint(small, big), small);
    EXPECT_TRUE(clipToFootprint(small, {{10, 10}, {11, 10}, {11, 11}, {10, 11}}).empty());
    EXPECT_EQ(clipToFootprint(small, {}), small);
    const PlanRing half = clipToFootprint(big, {{0, 0}, {2, 0}, {2, 9}, {0, 9}});
    EXPECT_NEAR(signedArea(half), 10.0, 1e-12);
}

TEST(PlanPolygons, HullIsCounterClockwiseFromTheLowerLeftWithoutInnerPoints) {
    const PlanRing hull = convexHull2D({{1, 1}, {2, 2}, {0, 0}, {2, 0}, {0, 2}, {1, 0}, {0, 0}});
    EXPECT_EQ(hull, (PlanRing{{0, 0}, {2, 0}, {2, 2}, {0, 2}}));
    EXPECT_EQ(convexHull2D({{3, 1}, {1, 1}, {3, 1}}), (PlanRing{{1, 1}, {3, 1}}));
}

TEST(PlanPolygons, EarClipTurnsRingsCounterClockwiseAndCoversTheirArea) {
    const std::vector<Triangle> square = earClip({{0, 0}, {0, 1}, {1, 1}, {1, 0}});
    ASSERT_EQ(square.size(), 2u);
    for (const Triangle& t : square) {
        EXPECT_GT(signedArea(t), 0);
    }
    const std::vector<Triangle> l = earClip({{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 4}, {0, 4}});
    EXPECT_EQ(l.size(), 4u);
    EXPECT_NEAR(ringArea(l), 7.0, 1e-12);
    EXPECT_TRUE(earClip({{0, 0}, {1, 1}}).empty());
    // A bow tie ends without looping.
    EXPECT_LE(earClip({{0, 0}, {2, 2}, {2, 0}, {0, 2}}).size(), 2u);
}

TEST(PlanPolygons, SubdivideKeepsTheAreaInSixteenTriangles) {
    const Triangle t{{0, 0}, {4, 0}, {0, 3}};
    std::vector<Triangle> once;
    subdivide(t, 0, once);
    EXPECT_EQ(once, std::vector<Triangle>{t});
    std::vector<Triangle> out;
    subdivide(t, 2, out);
    EXPECT_EQ(out.size(), 16u);
    EXPECT_NEAR(ringArea(out), 6.0, 1e-12);
}

TEST(SegmentRoofPlanes, NeedsMinInliersPoints) {
    const SegParams params;
    EXPECT_TRUE(segmentRoofPlanes(onPlane(29, 0.5, 0, 150), params).empty());
    const std::vector<Plane> one = segmentRoofPlanes(onPlane(30, 0.5, 0, 150), params);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_NEAR(one[0].nx, -0.5 / std::sqrt(1.25), 1e-9);
}

TEST(SegmentRoofPlanes, FindsTwoRoofPlanesTheSameWayOnEveryCall) {
    std::vector<Pt3> pts = onPlane(100, 0.6, 0, 150, 0, 0, 5, 10);
    const std::vector<Pt3> other = onPlane(100, -0.6, 0, 156, 5, 0, 5, 10);
    pts.insert(pts.end(), other.begin(), other.end());
    const std::vector<Plane> planes = segmentRoofPlanes(pts, SegParams{});
    ASSERT_EQ(planes.size(), 2u);
    EXPECT_LT(planes[0].nx * planes[1].nx, 0);
    EXPECT_EQ(segmentRoofPlanes(pts, SegParams{}), planes);
}

TEST(SegmentRoofPlanes, NarrowStripsAndWallsGiveNoPlane) {
    // 0.3 m wide along x: spread in y below 0.25 m.
    const std::vector<Pt3> strip = onPlane(100, 0.2, 0.0, 150, 0, 0, 20, 0.3);
    EXPECT_TRUE(segmentRoofPlanes(strip, SegParams{}).empty());
    // The same strip running diagonally has spread in both directions.
    std::vector<Pt3> diagonal;
    for (const Pt3& p : strip) {
        diagonal.push_back({(p.x - p.y) * std::sqrt(0.5), (p.x + p.y) * std::sqrt(0.5), p.z});
    }
    EXPECT_EQ(segmentRoofPlanes(diagonal, SegParams{}).size(), 1u);
    std::vector<Pt3> wall;
    for (int i = 0; i < 200; ++i) {
        wall.push_back({0.001 * (i % 3), 0.1 * (i % 20), 150.0 + 0.3 * (i / 20)});
    }
    EXPECT_TRUE(segmentRoofPlanes(wall, SegParams{}).empty());
}

TEST(BuildRoofFacesPlaster1, TrianglesFollowThePlaneTheirPointsFavour) {
    const Plane left{-0.5 / std::sqrt(1.25), 0, 1 / std::sqrt(1.25), -150 / std::sqrt(1.25)};
    const Plane right{0.5 / std::sqrt(1.25), 0, 1 / std::sqrt(1.25), -160 / std::sqrt(1.25)};
    std::vector<Pt3> pts = onPlane(200, 0.5, 0, 150, 0, 0, 10, 20);
    const std::vector<Pt3> r = onPlane(200, -0.5, 0, 160, 10, 0, 10, 20);
    pts.insert(pts.end(), r.begin(), r.end());
    const PlanRing ring{{0, 0}, {20, 0}, {20, 20}, {0, 20}};
    const std::vector<RoofFace> faces = buildRoofFacesPlaster1({left, right}, pts, ring, 0.5);
    ASSERT_EQ(faces.size(), 32u);  // 2 ears, 16 small triangles each
    // No small triangle straddles the ridge at x = 10, so every corner lies on its own side's
    // plane.
    for (const RoofFace& f : faces) {
        for (const Pt3& p : f.pts) {
            EXPECT_NEAR(p.z, p.x <= 10 ? 150 + 0.5 * p.x : 160 - 0.5 * p.x, 1e-9);
        }
    }
    EXPECT_TRUE(buildRoofFacesPlaster1({left}, pts, ring, 0.5).empty());
    EXPECT_TRUE(buildRoofFacesPlaster1({left, right}, onPlane(20, 0.5, 0, 150), ring, 0.5).empty());
}

}  // namespace
