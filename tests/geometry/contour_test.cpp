#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "geometry/ContourBuilder.h"
#include "geometry/ContourCells.h"
#include "grid_fixtures.h"

namespace {

const std::string kLimitText =
    "Poziomice: za duzo danych dla wybranego ciecia - wynik ograniczony. Zwieksz ciecie albo "
    "zmniejsz kadr.";
const std::string kCancelText = "Poziomice: przerwano przez uzytkownika.";

using gridfix::gridOf;

std::vector<Warstwica> trace(const SiatkaWysokosci& g, double interval, std::string& msg,
                             int maxLines = 3000, int maxPoints = 600000) {
    return ContourBuilder::build(g, interval, msg, maxLines, maxPoints, {}, nullptr, {});
}

bool closed(const Warstwica& w) {
    return w.pts.front().x == w.pts.back().x && w.pts.front().y == w.pts.back().y;
}

// ------------------------------------------------------------------------------------------
// The tracing rule written out plainly, one scan of the grid per level and an ordered multimap
// of millimetre keys: the fast tracer must give exactly the same lines.

struct RefKey {
    long long x, y;
    bool operator<(const RefKey& o) const { return x != o.x ? x < o.x : y < o.y; }
    bool operator==(const RefKey& o) const { return x == o.x && y == o.y; }
};

RefKey refKey(const GisPoint& p) {
    return {std::llround(p.x * 1000.0), std::llround(p.y * 1000.0)};
}

std::vector<std::vector<GisPoint>> refStitch(const std::vector<std::pair<GisPoint, GisPoint>>& s) {
    std::multimap<RefKey, std::size_t> ends;
    for (std::size_t k = 0; k < s.size(); ++k) {
        ends.emplace(refKey(s[k].first), k);
        ends.emplace(refKey(s[k].second), k);
    }
    std::vector<bool> taken(s.size(), false);
    const auto walk = [&](RefKey at, std::vector<GisPoint>& out) {
        for (;;) {
            auto [lo, hi] = ends.equal_range(at);
            while (lo != hi && taken[lo->second]) {
                ++lo;
            }
            if (lo == hi) {
                return;
            }
            const std::size_t k = lo->second;
            taken[k] = true;
            const bool fromA = refKey(s[k].first) == at;
            const GisPoint next = fromA ? s[k].second : s[k].first;
            out.push_back(next);
            at = refKey(next);
        }
    };
    std::vector<std::vector<GisPoint>> lines;
    for (std::size_t k = 0; k < s.size(); ++k) {
        if (taken[k]) {
            continue;
        }
        taken[k] = true;
        std::vector<GisPoint> fwd{s[k].first, s[k].second};
        walk(refKey(fwd.back()), fwd);
        std::vector<GisPoint> bwd;
        walk(refKey(fwd.front()), bwd);
        std::vector<GisPoint> line(bwd.rbegin(), bwd.rend());
        line.insert(line.end(), fwd.begin(), fwd.end());
        lines.push_back(line);
    }
    return lines;
}

std::vector<Warstwica> refBuild(const SiatkaWysokosci& g, double interval, int maxLines,
                                int maxPoints, bool& limited) {
    std::vector<Warstwica> out;
    limited = false;
    double lo = INFINITY, hi = -INFINITY;
    for (double z : g.z) {
        if (!std::isnan(z)) {
            lo = std::min(lo, z);
            hi = std::max(hi, z);
        }
    }
    const auto kmin = static_cast<long long>(std::ceil(lo / interval));
    const auto kmax = static_cast<long long>(std::floor(hi / interval));
    long long count = kmax - kmin + 1;
    if (kmax - kmin >= maxLines) {
        count = maxLines;
        limited = true;
    }
    const auto at = [&](int i, int j) { return g.z[static_cast<std::size_t>(j) * g.nx + i]; };
    long long points = 0;
    for (long long k = 0; k < count; ++k) {
        const long long n = kmin + k;
        const double L = static_cast<double>(n) * interval;
        std::vector<std::pair<GisPoint, GisPoint>> segs;
        for (int j = 0; j + 1 < g.ny; ++j) {
            for (int i = 0; i + 1 < g.nx; ++i) {
                const int ci[4][2] = {{i, j}, {i + 1, j}, {i, j + 1}, {i + 1, j + 1}};
                double z[4];
                GisPoint p[4];
                bool bad = false;
                for (int c = 0; c < 4; ++c) {
                    z[c] = at(ci[c][0], ci[c][1]);
                    p[c] = {g.x0 + ci[c][0] * g.step, g.y0 + ci[c][1] * g.step};
                    bad = bad || std::isnan(z[c]);
                }
                if (bad) {
                    continue;
                }
                const int edge[4][2] = {{0, 1}, {1, 3}, {2, 3}, {0, 2}};  // A, B, C, D
                GisPoint cross[4];
                std::vector<int> crossed;
                for (int e = 0; e < 4; ++e) {
                    const int f = edge[e][0], t = edge[e][1];
                    if ((z[f] < L) != (z[t] < L)) {
                        const double tt =
                            std::fabs(z[t] - z[f]) < 1e-12 ? 0.5 : (L - z[f]) / (z[t] - z[f]);
                        cross[e] = {p[f].x + tt * (p[t].x - p[f].x),
                                    p[f].y + tt * (p[t].y - p[f].y)};
                        crossed.push_back(e);
                    }
                }
                if (crossed.size() == 2) {
                    segs.emplace_back(cross[crossed[0]], cross[crossed[1]]);
                } else if (crossed.size() == 4) {
                    const double centre = (z[0] + z[1] + z[2] + z[3]) / 4.0;
                    if ((centre < L) == (z[0] < L)) {
                        segs.emplace_back(cross[0], cross[1]);
                        segs.emplace_back(cross[2], cross[3]);
                    } else {
                        segs.emplace_back(cross[0], cross[3]);
                        segs.emplace_back(cross[1], cross[2]);
                    }
                }
            }
        }
        for (auto& pts : refStitch(segs)) {
            double len = 0.0;
            for (std::size_t m = 1; m < pts.size(); ++m) {
                len += std::hypot(pts[m].x - pts[m - 1].x, pts[m].y - pts[m - 1].y);
            }
            if (pts.size() < 2 || len < 1e-9) {
                continue;
            }
            if (static_cast<long long>(out.size()) >= maxLines) {
                limited = true;
                return out;
            }
            out.push_back({L, n % 5 == 0, pts});
            points += static_cast<long long>(pts.size());
            if (points > maxPoints) {
                limited = true;
                return out;
            }
        }
    }
    return out;
}

void expectSameLines(const std::vector<Warstwica>& got, const std::vector<Warstwica>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < got.size(); ++k) {
        ASSERT_EQ(got[k].z, want[k].z) << "line " << k;
        ASSERT_EQ(got[k].major, want[k].major) << "line " << k;
        ASSERT_EQ(got[k].pts.size(), want[k].pts.size()) << "line " << k;
        for (std::size_t m = 0; m < got[k].pts.size(); ++m) {
            ASSERT_EQ(got[k].pts[m].x, want[k].pts[m].x) << "line " << k << " point " << m;
            ASSERT_EQ(got[k].pts[m].y, want[k].pts[m].y) << "line " << k << " point " << m;
        }
    }
}

void expectLikeReference(const SiatkaWysokosci& g, double interval, int maxLines = 3000,
                         int maxPoints = 600000) {
    bool limited = false;
    const auto want = refBuild(g, interval, maxLines, maxPoints, limited);
    std::string msg;
    const auto got = trace(g, interval, msg, maxLines, maxPoints);
    expectSameLines(got, want);
    EXPECT_EQ(msg, limited ? kLimitText : "");
}

// ------------------------------------------------------------------------------------------

TEST(ContourSampling, GridCoversTheFrameFromItsSouthWestCorner) {
    std::vector<std::pair<double, double>> calls;
    const HeightSampler sampler = [&](double x, double y, double& z) {
        calls.emplace_back(x, y);
        z = x + 2 * y;
        return x < 1005.0;
    };
    const SiatkaWysokosci g = ContourBuilder::probkuj({1000, 2000, 1010.5, 2010}, 1.0, sampler);
    EXPECT_EQ(g.nx, 11);
    EXPECT_EQ(g.ny, 11);
    EXPECT_EQ(g.x0, 1000.0);
    EXPECT_EQ(g.y0, 2000.0);
    ASSERT_EQ(g.z.size(), 121u);
    ASSERT_EQ(calls.size(), 121u);
    EXPECT_EQ(calls[1], std::make_pair(1001.0, 2000.0));  // row by row from the south
    EXPECT_EQ(calls[11], std::make_pair(1000.0, 2001.0));
    EXPECT_EQ(calls.back(), std::make_pair(1010.0, 2010.0));
    EXPECT_EQ(g.z[12], 1001.0 + 2 * 2001.0);
    EXPECT_TRUE(std::isnan(g.z[10]));  // the sampler had no height there
}

TEST(ContourSampling, NarrowFramesAndBadStepsGiveEmptyOrUnitGrids) {
    int calls = 0;
    const HeightSampler sampler = [&](double, double, double& z) {
        ++calls;
        z = 0.0;
        return true;
    };
    for (const Bbox& frame : {Bbox{0, 0, 0.9, 10}, Bbox{0, 0, 10, 0.5}, Bbox{5, 5, 0, 0}}) {
        const SiatkaWysokosci g = ContourBuilder::probkuj(frame, 1.0, sampler);
        EXPECT_EQ(g.nx, 0);
        EXPECT_EQ(g.ny, 0);
        EXPECT_TRUE(g.z.empty());
    }
    EXPECT_EQ(calls, 0);
    for (const double step : {0.0, -3.0, std::nan("")}) {
        const SiatkaWysokosci g = ContourBuilder::probkuj({0, 0, 2, 3}, step, sampler);
        EXPECT_EQ(g.step, 1.0);
        EXPECT_EQ(g.nx, 3);
        EXPECT_EQ(g.ny, 4);
    }
    // An extent past 32-bit node counts is not sampled, nor one whose nodes would not fit in
    // memory together.
    EXPECT_TRUE(ContourBuilder::probkuj({0, 0, 1e12, 1e12}, 1.0, sampler).z.empty());
    EXPECT_TRUE(ContourBuilder::probkuj({0, 0, 1e7, 1e7}, 1.0, sampler).z.empty());
    EXPECT_EQ(calls, 36);
}

TEST(ContourTracing, PlaneGivesOneStraightLinePerLevel) {
    // z = x on a 5 x 4 grid: levels 0..4, but 0 and 4 touch only the border.
    const SiatkaWysokosci g = gridOf(5, 4, 1.0, [](int i, int) { return double(i); });
    std::string msg = "stale";
    const auto lines = trace(g, 1.0, msg);
    EXPECT_EQ(msg, "");
    ASSERT_EQ(lines.size(), 4u);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        // Corners exactly at the level count as not below: the line runs through the nodes of
        // column k + 1 (level 0 has nothing below it and gives no line).
        EXPECT_EQ(lines[k].z, double(k + 1));
        ASSERT_EQ(lines[k].pts.size(), 4u);
        for (const GisPoint& p : lines[k].pts) {
            EXPECT_DOUBLE_EQ(p.x, double(k + 1));
        }
        EXPECT_FALSE(closed(lines[k]));
    }
    expectLikeReference(g, 1.0);
    expectLikeReference(g, 0.25);
}

TEST(ContourTracing, ConeGivesClosedRingsWithIndexContours) {
    // A cone peaking at 12 m on a plateau of 0.5 m, shifted down by 20 m for negative levels.
    for (const double shift : {0.0, -20.0}) {
        const SiatkaWysokosci g = gridOf(41, 41, 1.0, [&](int i, int j) {
            return shift + std::max(12.0 - std::hypot(i - 20.0, j - 20.0) * 0.55, 0.5);
        });
        std::string msg;
        const auto lines = trace(g, 1.0, msg);
        EXPECT_EQ(msg, "");
        ASSERT_FALSE(lines.empty());
        for (const Warstwica& w : lines) {
            EXPECT_TRUE(closed(w)) << w.z;
            const auto n = static_cast<long long>(std::llround(w.z));
            EXPECT_EQ(w.major, n % 5 == 0) << w.z;
        }
        bool sawMajor = false;
        for (const Warstwica& w : lines) {
            sawMajor = sawMajor || (w.major && (w.z == 5.0 || w.z == -10.0));
        }
        EXPECT_TRUE(sawMajor);
        expectLikeReference(g, 1.0);
        expectLikeReference(g, 0.5);
    }
}

TEST(ContourTracing, SaddlePairsEdgesByTheCentre) {
    // z00 = 10, z10 = 11, z01 = 11, z11 = 10; an interval of 10 + level puts exactly one level
    // between 10 and 11.
    const SiatkaWysokosci g = gridOf(2, 2, 1.0, [](int i, int j) { return i == j ? 10.0 : 11.0; });
    const auto segmentsAt = [&](double level) {
        std::string msg;
        return trace(g, 10.0 + level, msg);
    };
    // Level 0.5: the centre (0.5) is not below while z00 is: A->D and B->C.
    auto lines = segmentsAt(0.5);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].pts[0].x, 0.5);  // on the bottom edge
    EXPECT_EQ(lines[0].pts[1].x, 0.0);  // on the left edge
    EXPECT_EQ(lines[1].pts[0].x, 1.0);  // right edge
    EXPECT_EQ(lines[1].pts[1].y, 1.0);  // top edge
    lines = segmentsAt(0.4);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].pts[1].x, 0.0);
    // Level 0.6: the centre is below like z00: A->B and C->D.
    lines = segmentsAt(0.6);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].pts[1].x, 1.0);
    EXPECT_EQ(lines[1].pts[1].x, 0.0);
}

TEST(ContourTracing, NoDataSplitsLinesAndEmptyInputsGiveNothing) {
    SiatkaWysokosci g = gridOf(7, 7, 1.0, [](int i, int) { return i * 1.0; });
    g.z[3 * 7 + 3] = std::nan("");
    std::string msg;
    std::vector<Warstwica> through;
    for (const Warstwica& w : trace(g, 0.5, msg)) {
        if (w.z == 2.5) {
            through.push_back(w);
        }
    }
    EXPECT_EQ(through.size(), 2u);
    g.z[3 * 7 + 3] = std::numeric_limits<double>::infinity();  // counts as no data too
    expectSameLines(trace(g, 0.5, msg), [&] {
        SiatkaWysokosci n = g;
        n.z[3 * 7 + 3] = std::nan("");
        return trace(n, 0.5, msg);
    }());

    int callbacks = 0;
    const std::function<bool()> cancel = [&] {
        ++callbacks;
        return false;
    };
    const std::function<void(int, int)> progress = [&](int, int) { ++callbacks; };
    const SiatkaWysokosci flat = gridOf(4, 4, 1.0, [](int, int) { return 10.3; });
    const SiatkaWysokosci holes = gridOf(4, 4, 1.0, [](int, int) { return std::nan(""); });
    const SiatkaWysokosci thin = gridOf(1, 4, 1.0, [](int, int j) { return j * 1.0; });
    for (const auto& [grid, interval] :
         std::vector<std::pair<SiatkaWysokosci, double>>{{flat, 1.0},
                                                         {holes, 1.0},
                                                         {thin, 1.0},
                                                         {g, 0.0},
                                                         {g, -1.0},
                                                         {g, std::nan("")},
                                                         {g, INFINITY}}) {
        msg = "stale";
        bool wasCancelled = true;
        EXPECT_TRUE(ContourBuilder::build(grid, interval, msg, 3000, 600000, cancel, &wasCancelled,
                                          progress)
                        .empty());
        EXPECT_EQ(msg, "");
        EXPECT_FALSE(wasCancelled);
    }
    EXPECT_EQ(callbacks, 0);
}

TEST(ContourTracing, LimitsCancelAndProgress) {
    // 0.5 .. 4002.5 m in one grid: more than 3000 levels at interval 1.
    const SiatkaWysokosci steep =
        gridOf(3, 3, 1.0, [](int i, int j) { return i * 2000.0 + j + 0.5; });
    std::string msg;
    auto lines = trace(steep, 1.0, msg);
    EXPECT_EQ(msg, kLimitText);
    ASSERT_EQ(lines.size(), 3000u);
    EXPECT_EQ(lines.front().z, 1.0);  // the lowest levels remain
    expectLikeReference(steep, 1.0);

    // The line that passes the point limit stays; nothing follows it.
    const SiatkaWysokosci slope = gridOf(8, 8, 1.0, [](int i, int) { return double(i); });
    lines = trace(slope, 1.0, msg, 3000, 10);
    EXPECT_EQ(msg, kLimitText);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].pts.size() + lines[1].pts.size(), 16u);
    expectLikeReference(slope, 1.0, 3000, 10);
    expectLikeReference(slope, 0.5, 3, 600000);

    std::vector<std::pair<int, int>> seen;
    bool wasCancelled = false;
    int polls = 0;
    lines = ContourBuilder::build(
        slope, 1.0, msg, 3000, 600000, [&] { return ++polls > 3; }, &wasCancelled,
        [&](int k, int n) { seen.emplace_back(k, n); });
    EXPECT_EQ(msg, kCancelText);
    EXPECT_TRUE(wasCancelled);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 8}, {1, 8}, {2, 8}}));
    EXPECT_EQ(lines.size(), 2u);  // level 0 lies on the border and gives no line

    lines = ContourBuilder::build(slope, 1.0, msg, 3000, 600000, [] { return true; }, &wasCancelled,
                                  {});
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(msg, kCancelText);
    lines = ContourBuilder::build(steep, 1.0, msg, 3000, 600000, [] { return true; }, &wasCancelled,
                                  {});
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(wasCancelled);
    EXPECT_EQ(msg, kCancelText + " " + kLimitText);
}

TEST(ContourTracing, SameLinesAsPlainTracingOnRoughGrids) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    std::uniform_int_distribution<int> steps(0, 8);
    // Smooth hills with noise, holes, and heights that often sit exactly on a level; in every
    // third round the cells are smaller than a millimetre, so that ends on different edges share
    // their keys.
    for (int round = 0; round < 6; ++round) {
        const double step = round % 3 == 2 ? 0.0007 : 0.7;
        SiatkaWysokosci g = gridOf(37 + round, 29, step, [&](int i, int j) {
            if (round % 2 == 1 && (i * 7 + j * 3) % 23 == 0) {
                return std::nan("");
            }
            if (round >= 4) {
                return steps(rng) * 0.25;  // plateaus and exact levels
            }
            return 3.0 * std::sin(i * 0.3) * std::cos(j * 0.21) + 0.3 * noise(rng);
        });
        g.x0 = -523.117 * round;
        g.y0 = 481234.5;
        expectLikeReference(g, 0.25);
        expectLikeReference(g, 1.0);
        expectLikeReference(g, 0.5, 4, 200);
    }
}

TEST(ContourTracing, ManyLevelsAndSmallBudgetsGiveTheSameSegments) {
    // A steep ramp: 19000 levels at 0.25 m, each crossing every row of the grid, so the levels
    // are counted in several windows.
    const SiatkaWysokosci ramp =
        gridOf(30, 20, 1.0, [](int i, int j) { return i * 160.0 + j * 0.37 + 0.1; });
    expectLikeReference(ramp, 0.25, 20000, 1 << 30);

    // Filing one level per pass, or a few, yields the segments of a single pass.
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> noise(0.0, 6.0);
    const SiatkaWysokosci rough = gridOf(23, 19, 1.0, [&](int, int) { return noise(rng); });
    const std::int32_t levels = 23;  // 0.25 .. 5.75 m
    ContourCells whole(rough, 0.25, 1, levels);
    ContourCells onePerPass(rough, 0.25, 1, levels, 1);
    ContourCells fewPerPass(rough, 0.25, 1, levels, 300);
    for (std::int32_t k = 0; k < levels; ++k) {
        const std::vector<Odcinek> want = whole.segments(k);
        ASSERT_FALSE(want.empty());
        for (ContourCells* cells : {&onePerPass, &fewPerPass}) {
            const std::vector<Odcinek>& got = cells->segments(k);
            ASSERT_EQ(got.size(), want.size()) << "level " << k;
            for (std::size_t m = 0; m < got.size(); ++m) {
                EXPECT_EQ(got[m].a.x, want[m].a.x);
                EXPECT_EQ(got[m].a.y, want[m].a.y);
                EXPECT_EQ(got[m].b.x, want[m].b.x);
                EXPECT_EQ(got[m].b.y, want[m].b.y);
            }
        }
    }
}

TEST(ContourStitching, JoinsSharedEndsInEitherDirection) {
    auto lines = ContourBuilder::zszyj({{{0, 0}, {1, 0}}, {{2, 0}, {1, 0}}});
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].size(), 3u);
    EXPECT_EQ(lines[0][0].x, 0.0);
    EXPECT_EQ(lines[0][2].x, 2.0);

    lines = ContourBuilder::zszyj({{{3, 3}, {3, 3}}});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 2u);

    // A ring seeded in the middle runs on in its seed's direction and closes on its start.
    lines = ContourBuilder::zszyj(
        {{{1, 0}, {1, 1}}, {{0, 0}, {1, 0}}, {{0, 1}, {0, 0}}, {{1, 1}, {0, 1}}});
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].size(), 5u);
    EXPECT_EQ(lines[0].front().x, lines[0].back().x);
    EXPECT_EQ(lines[0].front().y, lines[0].back().y);

    // Ends within the same millimetre meet; ends a millimetre apart do not.
    lines = ContourBuilder::zszyj({{{0, 0}, {1, 0.0004}}, {{1, 0}, {2, 0}}, {{2, 0.001}, {3, 0}}});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 3u);
}

TEST(ContourStitching, DistantPointsNeverShareAKey) {
    // With a key packed as x_mm * 4e9 + y_mm these two ends would collide.
    auto lines = ContourBuilder::zszyj({{{5, 5}, {0, 0}}, {{-0.001, 4000000}, {7, 7}}});
    EXPECT_EQ(lines.size(), 2u);
    lines = ContourBuilder::zszyj({{{1e15, -1e15}, {0, 0}}, {{0, 0}, {-1e15, 1e15}}});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 3u);
}

}  // namespace
