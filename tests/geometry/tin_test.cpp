#include "geometry/Tin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

#include "geometry/ContourLevels.h"

namespace {

SiatkaWysokosci gridOf(int nx, int ny, double step, double (*height)(double, double)) {
    SiatkaWysokosci g;
    g.x0 = 500000.0;
    g.y0 = 250000.0;
    g.step = step;
    g.nx = nx;
    g.ny = ny;
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i)
            g.z.push_back(height(i * step, j * step));
    }
    return g;
}

double plane(double x, double y) {
    return 100.0 + 0.01 * x + 0.02 * y;
}

// A 4 m high step along x = 20 m, 2 m wide.
double escarpment(double x, double) {
    if (x < 19.0)
        return 100.0;
    if (x > 21.0)
        return 104.0;
    return 100.0 + (x - 19.0) * 2.0;
}

// A steep-sided round pit of radius 6 m around (20, 20).
double pit(double x, double y) {
    const double r = std::hypot(x - 20.0, y - 20.0);
    return r < 6.0 ? 90.0 + r * 2.0 : 102.0;
}

std::set<std::pair<int, int>> undirectedEdges(const tin::Tin& t) {
    std::set<std::pair<int, int>> edges;
    for (const auto& tri : t.triangles) {
        for (int k = 0; k < 3; ++k) {
            const int a = tri.v[k];
            const int b = tri.v[(k + 1) % 3];
            edges.insert({std::min(a, b), std::max(a, b)});
        }
    }
    return edges;
}

int boundaryPointCount(const tin::Tin& t) {
    std::map<std::pair<int, int>, int> uses;
    for (const auto& tri : t.triangles) {
        for (int k = 0; k < 3; ++k) {
            const int a = tri.v[k];
            const int b = tri.v[(k + 1) % 3];
            ++uses[{std::min(a, b), std::max(a, b)}];
        }
    }
    std::set<int> boundary;
    for (const auto& [edge, count] : uses) {
        if (count == 1) {
            boundary.insert(edge.first);
            boundary.insert(edge.second);
        }
    }
    return static_cast<int>(boundary.size());
}

int usedVertexCount(const tin::Tin& t) {
    std::set<int> used;
    for (const auto& tri : t.triangles)
        used.insert(std::begin(tri.v), std::end(tri.v));
    return static_cast<int>(used.size());
}

}  // namespace

TEST(TinBreaklines, EscarpmentGivesOneLineAlongItsAxisAndRoundPatchesNone) {
    const tin::BreaklineParams params{0.5, 5, 3.0, 2.0};
    EXPECT_TRUE(tin::detectBreaklines(gridOf(41, 41, 1.0, plane), params).empty());

    const auto lines = tin::detectBreaklines(gridOf(41, 41, 1.0, escarpment), params);
    ASSERT_EQ(lines.size(), 1u);
    for (const GisPoint& p : lines[0].points)
        EXPECT_NEAR(p.x, 500020.0, 0.6);
    const auto& pts = lines[0].points;
    EXPECT_GT(std::fabs(pts.back().y - pts.front().y), 30.0);

    EXPECT_TRUE(tin::detectBreaklines(gridOf(41, 41, 1.0, pit), params).empty());
}

TEST(TinBreaklines, DegenerateGridsAndSpacingsGiveNoLinesOrOneSegment) {
    EXPECT_TRUE(tin::detectBreaklines(gridOf(2, 40, 1.0, escarpment), {0.5, 5, 3.0, 2.0}).empty());
    SiatkaWysokosci broken = gridOf(41, 41, 1.0, escarpment);
    broken.z.resize(10);  // fewer heights than nodes
    EXPECT_TRUE(tin::detectBreaklines(broken, {0.5, 5, 3.0, 2.0}).empty());
    // A spacing that is not positive counts as 1 m instead of dividing by zero.
    const auto lines = tin::detectBreaklines(gridOf(41, 41, 1.0, escarpment), {0.5, 5, 3.0, 0.0});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_GT(lines[0].points.size(), 30u);
    // A spacing far below a hundredth of the grid step gives no more points than that would.
    const auto fine = tin::detectBreaklines(gridOf(41, 41, 1.0, escarpment), {0.5, 5, 3.0, 1e-12});
    ASSERT_EQ(fine.size(), 1u);
    EXPECT_LE(fine[0].points.size(), 4100u);
}

TEST(TinBuild, PlanarGridTriangulatesEveryNode) {
    const tin::Tin t = tin::buildTin(gridOf(11, 11, 1.0, plane), {}, {});
    EXPECT_EQ(t.vertices.size(), 121u);
    EXPECT_EQ(t.triangles.size(), 200u);
    for (const auto& v : t.vertices) {
        EXPECT_NEAR(v.z, plane(v.x - 500000.0, v.y - 250000.0), 1e-9);
    }
}

TEST(TinBuild, ThinsToTheTargetNodeCount) {
    const tin::Tin t = tin::buildTin(gridOf(100, 100, 1.0, plane), {}, {2500, 1.0});
    EXPECT_EQ(t.vertices.size(), 2500u);
    for (const auto& v : t.vertices) {
        EXPECT_EQ(std::fmod(v.x - 500000.0, 2.0), 0.0);
        EXPECT_EQ(std::fmod(v.y - 250000.0, 2.0), 0.0);
    }
}

TEST(TinBuild, BreaklinePointsNearANodeReuseIt) {
    const SiatkaWysokosci g = gridOf(11, 11, 1.0, plane);
    const tin::Breakline line{{{500002.005, 250002.0}, {500008.0, 250002.0}}};
    const tin::Tin t = tin::buildTin(g, {line}, {0, 10.0});
    EXPECT_EQ(t.vertices.size(), 121u);  // both ends fall within 1 cm of grid nodes
}

TEST(TinBuild, InvariantsHoldOnRandomTerrainsWithBreaklines) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> h(95.0, 105.0);
    for (int round = 0; round < 5; ++round) {
        SiatkaWysokosci g = gridOf(30, 25, 2.0, plane);
        for (double& z : g.z)
            z = h(rng);
        std::uniform_real_distribution<double> px(500001.0, 500057.0), py(250001.0, 250047.0);
        std::vector<tin::Breakline> lines;
        for (int k = 0; k < 3; ++k)
            lines.push_back({{{px(rng), py(rng)}, {px(rng), py(rng)}}});
        const tin::Tin t = tin::buildTin(g, lines, {300, 1.5});
        ASSERT_FALSE(t.triangles.empty());
        // Euler: every vertex used, 2n - h - 2 triangles.
        const int n = usedVertexCount(t);
        EXPECT_EQ(static_cast<int>(t.triangles.size()), 2 * n - boundaryPointCount(t) - 2);
        // Every breakline is present as a chain of triangle edges (vertices where lines cross
        // may split its segments, so walk along the line through the edge graph).
        const auto edges = undirectedEdges(t);
        for (const auto& line : lines) {
            const GisPoint a = line.points[0], b = line.points[1];
            const double len = std::hypot(b.x - a.x, b.y - a.y);
            const auto onLine = [&](const tin::TinVertex& v) {
                const double cross = ((b.x - a.x) * (v.y - a.y) - (b.y - a.y) * (v.x - a.x)) / len;
                const double along = ((v.x - a.x) * (b.x - a.x) + (v.y - a.y) * (b.y - a.y)) / len;
                return std::fabs(cross) < 0.02 && along > -0.02 && along < len + 0.02;
            };
            std::vector<std::pair<double, int>> chain;
            for (int i = 0; i < static_cast<int>(t.vertices.size()); ++i) {
                if (onLine(t.vertices[i])) {
                    const auto& v = t.vertices[i];
                    chain.push_back({(v.x - a.x) * (b.x - a.x) + (v.y - a.y) * (b.y - a.y), i});
                }
            }
            std::sort(chain.begin(), chain.end());
            ASSERT_GE(chain.size(), 2u);
            for (std::size_t k = 1; k < chain.size(); ++k) {
                const int p = chain[k - 1].second, q = chain[k].second;
                EXPECT_TRUE(edges.count({std::min(p, q), std::max(p, q)}));
            }
        }
    }
}

TEST(TinBuild, BreaklinesFarOutsideTheGridStayBounded) {
    const SiatkaWysokosci g = gridOf(11, 11, 1.0, plane);
    // Two points far east, beyond the range of a column number: they take the height of the
    // grid's east edge, as any point east of the last column does.
    const tin::Breakline east{{{500000.0 + 3e9, 250005.0}, {500000.0 + 3e9, 250006.0}}};
    const tin::Tin t = tin::buildTin(g, {east}, {0, 10.0});
    ASSERT_EQ(t.vertices.size(), 123u);
    for (const auto& v : t.vertices) {
        if (v.x > 500010.0) {
            EXPECT_NEAR(v.z, plane(10.0, v.y - 250000.0), 1e-9);
        }
    }
    // A segment reaching far away, or a spacing far below the merge distance, is not cut into
    // billions of points.
    const tin::Breakline away{{{500005.0, 250005.0}, {500005.0 + 1e10, 250005.0}}};
    EXPECT_LT(tin::buildTin(g, {away}, {0, 1.0}).vertices.size(), 1000000u);
    const tin::Breakline inside{{{500002.5, 250002.5}, {500007.5, 250007.5}}};
    EXPECT_LT(tin::buildTin(g, {inside}, {0, 1e-12}).vertices.size(), 1000000u);
}

TEST(TinBuild, EmptyOrUnusableInputGivesAnEmptyNetwork) {
    EXPECT_TRUE(tin::buildTin({}, {}, {}).vertices.empty());
    SiatkaWysokosci holes = gridOf(5, 5, 1.0, plane);
    std::fill(holes.z.begin(), holes.z.end(), std::nan(""));
    EXPECT_TRUE(tin::buildTin(holes, {}, {}).triangles.empty());
    const tin::Breakline bad{{{std::nan(""), 0.0}, {1.0, 1.0}}};
    EXPECT_TRUE(tin::buildTin(gridOf(5, 5, 1.0, plane), {bad}, {}).vertices.empty());
}

TEST(TinContours, SingleTriangleGivesOneLineAtTheMiddleLevel) {
    tin::Tin t;
    t.vertices = {{0, 0, 0}, {2, 0, 1}, {0, 2, 2}};
    t.triangles = {{{0, 1, 2}}};
    const auto lines = tin::contourTin(t, 1.0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].z, 1.0);
    EXPECT_FALSE(lines[0].major);
    ASSERT_EQ(lines[0].pts.size(), 2u);
    const std::set<std::pair<double, double>> ends{{lines[0].pts[0].x, lines[0].pts[0].y},
                                                   {lines[0].pts[1].x, lines[0].pts[1].y}};
    EXPECT_EQ(ends, (std::set<std::pair<double, double>>{{2.0, 0.0}, {0.0, 1.0}}));
}

TEST(TinContours, HalvesAcrossASharedEdgeMeetExactly) {
    // Level 1 crosses the shared diagonal 0-2 and one more edge in each triangle; the two
    // halves must meet in one point and stitch into one line.
    tin::Tin t;
    t.vertices = {{0, 0, 0.3}, {3.1, 0.2, 0.2}, {3.3, 2.9, 2.9}, {0.1, 3.7, 0.4}};
    t.triangles = {{{0, 1, 2}}, {{2, 3, 0}}};
    std::vector<Warstwica> atOne;
    for (const auto& w : tin::contourTin(t, 1.0)) {
        if (w.z == 1.0)
            atOne.push_back(w);
    }
    ASSERT_EQ(atOne.size(), 1u);
    EXPECT_EQ(atOne[0].pts.size(), 3u);
}

TEST(TinContours, LimitsCutTheResultWithTheTracerNotice) {
    tin::Tin t;
    t.vertices = {{0, 0, 0}, {100, 0, 50}, {0, 100, 100}};
    t.triangles = {{{0, 1, 2}}};
    std::string msg;
    // 101 levels are cut to the 10 lowest; level 0 only touches a vertex and draws nothing.
    const auto lines = tin::contourTin(t, 1.0, msg, {10, 600000});
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines.back().z, 9.0);
    EXPECT_EQ(msg, ContourLevels::kLimitNotice);
    EXPECT_TRUE(tin::contourTin(t, 0.0).empty());
    EXPECT_TRUE(tin::contourTin(t, std::nan("")).empty());
    tin::Tin broken = t;
    broken.triangles = {{{0, 1, 7}}};
    EXPECT_TRUE(tin::contourTin(broken, 1.0).empty());
}

TEST(TinBuild, VerticesInAHoleTakeTheNearestNodeWithAHeight) {
    SiatkaWysokosci g = gridOf(9, 9, 1.0, plane);
    std::fill(g.z.begin(), g.z.end(), std::nan(""));
    g.z[8 * 9 + 8] = 7.0;  // the north-east corner
    g.z[0] = 3.0;          // the south-west corner
    const tin::Breakline line{{{500001.0, 250002.5}, {500002.0, 250001.5}}};
    const tin::Tin t = tin::buildTin(g, {line}, {0, 0.5});
    ASSERT_FALSE(t.triangles.empty());
    for (const auto& v : t.vertices) {
        const bool nearSouthWest = std::hypot(v.x - 500000.0, v.y - 250000.0) <
                                   std::hypot(v.x - 500008.0, v.y - 250008.0);
        EXPECT_EQ(v.z, nearSouthWest ? 3.0 : 7.0) << v.x << " " << v.y;
    }
}
