#include "cdt/ConstrainedDelaunay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <set>

namespace {

using cdt::ConstrainedDelaunay;
using cdt::Edge;
using cdt::Point2;
using cdt::Triangle;

std::set<Edge> undirectedEdges(const std::vector<Triangle>& triangles) {
    std::set<Edge> edges;
    for (const auto& t : triangles) {
        for (int k = 0; k < 3; ++k) {
            const int a = t[k];
            const int b = t[(k + 1) % 3];
            edges.insert({std::min(a, b), std::max(a, b)});
        }
    }
    return edges;
}

double orient(const Point2& a, const Point2& b, const Point2& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// Whether d lies strictly inside the circle through the counter-clockwise triangle a, b, c.
bool inCircle(const Point2& a, const Point2& b, const Point2& c, const Point2& d) {
    const double adx = a.x - d.x, ady = a.y - d.y;
    const double bdx = b.x - d.x, bdy = b.y - d.y;
    const double cdx = c.x - d.x, cdy = c.y - d.y;
    const double det = (adx * adx + ady * ady) * (bdx * cdy - cdx * bdy) -
                       (bdx * bdx + bdy * bdy) * (adx * cdy - cdx * ady) +
                       (cdx * cdx + cdy * cdy) * (adx * bdy - bdx * ady);
    return det > 1e-9;
}

std::vector<Point2> randomPoints(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> coord(0.0, 100.0);
    std::vector<Point2> points;
    for (int i = 0; i < n; ++i)
        points.push_back({coord(rng), coord(rng)});
    return points;
}

int hullSize(std::vector<Point2> points) {
    std::sort(points.begin(), points.end(), [](const Point2& a, const Point2& b) {
        return a.x < b.x || (a.x == b.x && a.y < b.y);
    });
    std::vector<Point2> hull;
    for (int pass = 0; pass < 2; ++pass) {
        const auto start = hull.size();
        for (const auto& p : points) {
            while (hull.size() >= start + 2 && orient(hull[hull.size() - 2], hull.back(), p) <= 0) {
                hull.pop_back();
            }
            hull.push_back(p);
        }
        hull.pop_back();
        std::reverse(points.begin(), points.end());
    }
    return static_cast<int>(hull.size());
}

}  // namespace

TEST(ConstrainedDelaunay, UnconstrainedRandomPointsFormADelaunayTriangulation) {
    for (unsigned seed = 1; seed <= 5; ++seed) {
        const auto points = randomPoints(300, seed);
        ConstrainedDelaunay cdt;
        cdt.insertVertices(points);
        const auto triangles = cdt.triangles();
        const auto vertices = cdt.vertices();
        ASSERT_EQ(vertices.size(), points.size());
        EXPECT_EQ(static_cast<int>(triangles.size()), 2 * 300 - hullSize(points) - 2);
        for (const auto& t : triangles) {
            EXPECT_GT(orient(vertices[t[0]], vertices[t[1]], vertices[t[2]]), 0.0);
            for (std::size_t i = 0; i < vertices.size(); i += 7) {
                EXPECT_FALSE(inCircle(vertices[t[0]], vertices[t[1]], vertices[t[2]], vertices[i]));
            }
        }
    }
}

TEST(ConstrainedDelaunay, ConstraintsAppearAsEdgesAndCrossingsAddNumberedVertices) {
    // A square with both diagonals as constraints: they cross at the centre.
    const std::vector<Point2> square{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    ConstrainedDelaunay cdt;
    cdt.insertVertices(square);
    cdt.insertEdges({{0, 2}, {1, 3}});
    const auto vertices = cdt.vertices();
    ASSERT_EQ(vertices.size(), 5u);
    EXPECT_NEAR(vertices[4].x, 5.0, 1e-12);
    EXPECT_NEAR(vertices[4].y, 5.0, 1e-12);
    const auto edges = undirectedEdges(cdt.triangles());
    EXPECT_EQ(cdt.triangles().size(), 4u);
    for (const Edge& half : {Edge{0, 4}, Edge{2, 4}, Edge{1, 4}, Edge{3, 4}}) {
        EXPECT_TRUE(edges.count(half)) << half.first << "-" << half.second;
    }
}

TEST(ConstrainedDelaunay, ConstraintAgainstTheDelaunayChoiceIsKept) {
    // Delaunay would join the two near points (1 and 3); the constraint forces 0-2 instead.
    const std::vector<Point2> kite{{0, 0}, {5, -1}, {10, 0}, {5, 1}};
    ConstrainedDelaunay cdt;
    cdt.insertVertices(kite);
    cdt.insertEdges({{0, 2}});
    const auto edges = undirectedEdges(cdt.triangles());
    EXPECT_TRUE(edges.count({0, 2}));
    EXPECT_FALSE(edges.count({1, 3}));
}

TEST(ConstrainedDelaunay, RefusesBadInputByThrowing) {
    ConstrainedDelaunay cdt;
    EXPECT_THROW(cdt.insertVertices({{0, 0}, {std::numeric_limits<double>::quiet_NaN(), 1}}),
                 std::exception);
    ConstrainedDelaunay other;
    other.insertVertices({{0, 0}, {1, 0}, {0, 1}});
    EXPECT_THROW(other.insertEdges({{0, 3}}), std::out_of_range);
    EXPECT_THROW(other.insertEdges({{-1, 0}}), std::out_of_range);
}

TEST(ConstrainedDelaunay, RepeatedPointSharesTheVertex) {
    ConstrainedDelaunay cdt;
    cdt.insertVertices({{0, 0}, {1, 0}, {0, 1}, {1, 0}});
    const auto vertices = cdt.vertices();
    ASSERT_EQ(vertices.size(), 4u);
    EXPECT_EQ(vertices[3].x, 1.0);
    const auto triangles = cdt.triangles();
    ASSERT_EQ(triangles.size(), 1u);
    EXPECT_EQ(std::count(triangles[0].begin(), triangles[0].end(), 3), 0);
    EXPECT_NO_THROW(cdt.insertEdges({{1, 3}}));
}
