#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "geometry/ContourBuilder.h"
#include "grid_fixtures.h"

namespace {

using gridfix::gridOf;

double at(const SiatkaWysokosci& g, int i, int j) {
    return g.z[std::size_t(j) * g.nx + i];
}

// The bilateral weights written out node by node.
SiatkaWysokosci plainBilateral(const SiatkaWysokosci& g, double sigmaS, double sigmaR) {
    SiatkaWysokosci out = g;
    const int r = std::max(1, int(std::ceil(2 * sigmaS / g.step)));
    for (int j = 0; j < g.ny; ++j) {
        for (int i = 0; i < g.nx; ++i) {
            const double c = at(g, i, j);
            if (std::isnan(c)) {
                continue;
            }
            double w = 0, s = 0;
            for (int dj = -r; dj <= r; ++dj) {
                for (int di = -r; di <= r; ++di) {
                    if (i + di < 0 || i + di >= g.nx || j + dj < 0 || j + dj >= g.ny ||
                        std::isnan(at(g, i + di, j + dj))) {
                        continue;
                    }
                    const double v = at(g, i + di, j + dj);
                    const double k =
                        std::exp(-(di * di + dj * dj) * g.step * g.step / (2 * sigmaS * sigmaS) -
                                 (v - c) * (v - c) / (2 * sigmaR * sigmaR));
                    w += k;
                    s += k * v;
                }
            }
            out.z[std::size_t(j) * g.nx + i] = s / w;
        }
    }
    return out;
}

void expectNear(const SiatkaWysokosci& got, const SiatkaWysokosci& want, double tol) {
    ASSERT_EQ(got.z.size(), want.z.size());
    for (std::size_t k = 0; k < got.z.size(); ++k) {
        if (std::isnan(want.z[k])) {
            EXPECT_TRUE(std::isnan(got.z[k])) << k;
        } else {
            EXPECT_NEAR(got.z[k], want.z[k], tol) << k;
        }
    }
}

TEST(SmoothGrid, BilateralMatchesTheWeightsNodeByNode) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> noise(-0.3, 0.3);
    for (const double step : {1.0, 5.0, 0.4}) {
        SiatkaWysokosci g = gridOf(23, 17, step, [&](int i, int j) {
            return 0.05 * i * step + std::sin(j * 0.4) + noise(rng);
        });
        g.z[40] = std::nan("");
        g.z[41] = std::nan("");
        SiatkaWysokosci fast = g;
        ContourBuilder::smoothFieldBilateral(fast, 1.5, 0.2);
        expectNear(fast, plainBilateral(g, 1.5, 0.2), 1e-12);
    }
}

TEST(SmoothGrid, BilateralKeepsStepsAndSmoothsBumps) {
    const SiatkaWysokosci stepped =
        gridOf(12, 12, 1.0, [](int i, int) { return i < 6 ? 100.0 : 102.0; });
    SiatkaWysokosci g = stepped;
    ContourBuilder::smoothFieldBilateral(g, 1.5, 0.2);
    expectNear(g, stepped, 1e-12);

    SiatkaWysokosci bump = gridOf(12, 12, 1.0, [](int, int) { return 50.0; });
    bump.z[6 * 12 + 6] = 50.1;
    ContourBuilder::smoothFieldBilateral(bump, 1.5, 0.2);
    EXPECT_LT(at(bump, 6, 6), 50.06);
    EXPECT_GT(at(bump, 5, 6), 50.0);
}

TEST(SmoothGrid, FlatStaysFlatAndHolesStayHoles) {
    SiatkaWysokosci flat = gridOf(9, 7, 1.0, [](int, int) { return 123.456; });
    flat.z[3 * 9 + 4] = std::nan("");
    SiatkaWysokosci a = flat;
    SiatkaWysokosci b = flat;
    ContourBuilder::smoothFieldBilateral(a, 1.5, 0.2);
    ContourBuilder::smoothField(b, 2, 3);
    expectNear(a, flat, 1e-12);
    expectNear(b, flat, 1e-12);

    // Too small grids and unusable parameters change nothing.
    const SiatkaWysokosci thin = gridOf(2, 5, 1.0, [](int i, int j) { return i * 7.0 + j * j; });
    SiatkaWysokosci t = thin;
    ContourBuilder::smoothFieldBilateral(t, 1.5, 0.2);
    ContourBuilder::smoothField(t, 1, 1);
    EXPECT_EQ(t.z, thin.z);
    const SiatkaWysokosci rough = gridOf(5, 5, 1.0, [](int i, int j) { return (i * 3 + j) % 4; });
    for (const auto& [s, r] : std::vector<std::pair<double, double>>{
             {0.0, 0.2}, {1.5, 0.0}, {-1.0, 0.2}, {1.5, std::nan("")}}) {
        SiatkaWysokosci u = rough;
        ContourBuilder::smoothFieldBilateral(u, s, r);
        EXPECT_EQ(u.z, rough.z);
    }
    SiatkaWysokosci u = rough;
    ContourBuilder::smoothField(u, 0, 3);
    ContourBuilder::smoothField(u, 2, 0);
    EXPECT_EQ(u.z, rough.z);
}

TEST(SmoothGrid, BoxMeanLeavesHolesOut) {
    SiatkaWysokosci g = gridOf(4, 3, 1.0, [](int i, int j) { return i + 10.0 * j; });
    g.z[1] = std::nan("");  // node (1, 0)
    ContourBuilder::smoothField(g, 1, 1);
    // Node (0, 0): its clipped window holds (0,0), (0,1), (1,1) and the hole.
    EXPECT_DOUBLE_EQ(at(g, 0, 0), (0.0 + 10.0 + 11.0) / 3.0);
    // Node (2, 1): the full 3 x 3 window less the hole.
    EXPECT_DOUBLE_EQ(at(g, 2, 1), (2 + 3 + 11 + 12 + 13 + 21 + 22 + 23) / 8.0);
    EXPECT_TRUE(std::isnan(at(g, 1, 0)));
}

Warstwica lineOf(std::vector<GisPoint> pts) {
    return {7.5, true, std::move(pts)};
}

TEST(SmoothLines, CornerCuttingOfOpenAndClosedLines) {
    std::vector<Warstwica> lines = {lineOf({{0, 0}, {4, 0}}), lineOf({{0, 0}, {4, 0}, {4, 4}})};
    ContourBuilder::smoothChaikin(lines, 1, 0.0);
    EXPECT_EQ(lines[0].pts.size(), 2u);
    ASSERT_EQ(lines[1].pts.size(), 6u);
    EXPECT_EQ(lines[1].pts.front().x, 0.0);
    EXPECT_EQ(lines[1].pts.back().y, 4.0);
    EXPECT_EQ(lines[1].pts[1].x, 1.0);
    EXPECT_EQ(lines[1].z, 7.5);
    EXPECT_TRUE(lines[1].major);

    std::vector<Warstwica> square = {lineOf({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}})};
    ContourBuilder::smoothChaikin(square, 1, 0.05);
    const std::vector<GisPoint> octagon = {{2.5, 0},  {7.5, 0}, {10, 2.5}, {10, 7.5}, {7.5, 10},
                                           {2.5, 10}, {0, 7.5}, {0, 2.5},  {2.5, 0}};
    ASSERT_EQ(square[0].pts.size(), octagon.size());
    for (std::size_t k = 0; k < octagon.size(); ++k) {
        EXPECT_DOUBLE_EQ(square[0].pts[k].x, octagon[k].x) << k;
        EXPECT_DOUBLE_EQ(square[0].pts[k].y, octagon[k].y) << k;
    }
}

TEST(SmoothLines, CornerCuttingStopsAfterEightRounds) {
    // Every round doubles the points; rounds after the eighth move none by a visible amount.
    const Warstwica corner = lineOf({{0, 0}, {4, 0}, {4, 4}});
    std::vector<Warstwica> eight = {corner};
    ContourBuilder::smoothChaikin(eight, 8, 0.0);
    ASSERT_EQ(eight[0].pts.size(), 3u * 256u);
    for (const int rounds : {9, 64, std::numeric_limits<int>::max()}) {
        std::vector<Warstwica> more = {corner};
        ContourBuilder::smoothChaikin(more, rounds, 0.0);
        ASSERT_EQ(more[0].pts.size(), eight[0].pts.size()) << rounds;
        EXPECT_EQ(more[0].pts.back().y, 4.0);
    }
}

TEST(SmoothLines, ThinningDropsPointsOnTheChord) {
    std::vector<GisPoint> straight;
    for (int k = 0; k <= 20; ++k) {
        straight.push_back({k * 1.0, 0.5 * k});
    }
    std::vector<Warstwica> lines = {lineOf(straight)};
    ContourBuilder::smoothChaikin(lines, 2, 0.001);
    ASSERT_EQ(lines[0].pts.size(), 2u);
    EXPECT_EQ(lines[0].pts.back().x, 20.0);

    lines = {lineOf(straight)};
    ContourBuilder::smoothChaikin(lines, 1, 0.0);
    EXPECT_EQ(lines[0].pts.size(), 42u);

    // A ring smaller than the tolerance keeps no point in thinning: its corner-cut points stay.
    lines = {lineOf({{0, 0}, {0.01, 0}, {0.01, 0.01}, {0, 0.01}, {0, 0}})};
    ContourBuilder::smoothChaikin(lines, 1, 0.05);
    ASSERT_EQ(lines[0].pts.size(), 9u);
    EXPECT_EQ(lines[0].pts.front().x, lines[0].pts.back().x);
    EXPECT_EQ(lines[0].pts.front().y, lines[0].pts.back().y);
}

}  // namespace
