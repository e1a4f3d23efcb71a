// Corridors around centre lines and the measurement of a deck's reach to either side.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/Corridor.h"
#include "support/NdsmGrids.h"

namespace {

using Offsets = std::vector<double>;

TEST(Corridor, LeftEdgeForwardsThenRightEdgeBackwards) {
    EXPECT_EQ(buildCorridor({{0, 0}, {10, 0}}, {3, 3}, {3, 3}, kOwnOffsets),
              (PlanRing{{0, 3}, {10, 3}, {10, -3}, {0, -3}}));
    // Each point its own offsets, along the normal of the line through its neighbours.
    const PlanRing bent = buildCorridor({{0, 0}, {10, 0}, {10, 10}}, {1, 2, 3}, {4, 5, 6}, 0);
    ASSERT_EQ(bent.size(), 6u);
    const double s = std::sqrt(0.5);
    EXPECT_DOUBLE_EQ(bent[1].first, 10 - 2 * s);
    EXPECT_DOUBLE_EQ(bent[1].second, 2 * s);
    EXPECT_EQ(bent[2], (PlanPoint{7, 10}));
    EXPECT_EQ(bent[3], (PlanPoint{16, 10}));
    EXPECT_DOUBLE_EQ(bent[4].first, 10 + 5 * s);
    EXPECT_DOUBLE_EQ(bent[4].second, -5 * s);
    EXPECT_EQ(bent[5], (PlanPoint{0, -4}));
}

TEST(Corridor, CoincidentPointsAtAnEndStayOnTheLine) {
    const PlanRing c = buildCorridor({{0, 0}, {0, 0}, {10, 0}}, {2, 2, 2}, {2, 2, 2}, 0);
    ASSERT_EQ(c.size(), 6u);
    EXPECT_EQ(c[0], (PlanPoint{0, 0}));
    EXPECT_EQ(c[5], (PlanPoint{0, 0}));
    EXPECT_EQ(c[1], (PlanPoint{0, 2})) << "the middle point sees both neighbours";
}

TEST(Corridor, MedianModeUsesTheUpperMedianEverywhere) {
    const PlanRing line{{0, 0}, {10, 0}, {20, 0}};
    const PlanRing c = buildCorridor(line, {2, 9, 4}, {1, 1, 7}, kMedianOffsets);
    EXPECT_EQ(c, (PlanRing{{0, 4}, {10, 4}, {20, 4}, {20, -1}, {10, -1}, {0, -1}}));
    const Offsets even{1, 8, 2, 5};
    EXPECT_EQ(buildCorridor({{0, 0}, {1, 0}, {2, 0}, {3, 0}}, even, even, kMedianOffsets)[0],
              (PlanPoint{0, 5}))
        << "the upper of the two middle values";
    EXPECT_EQ(buildCorridor(line, {2, 9, 4}, {1, 1, 7}, 7),
              buildCorridor(line, {2, 9, 4}, {1, 1, 7}, kOwnOffsets))
        << "an unknown mode takes each point's own offsets";
}

TEST(Corridor, UnusableInputGivesNoCorridor) {
    EXPECT_TRUE(buildCorridor({}, {}, {}, 0).empty());
    EXPECT_TRUE(buildCorridor({{0, 0}}, {1}, {1}, 0).empty());
    EXPECT_TRUE(buildCorridor({{0, 0}, {10, 0}}, {3}, {3, 3}, 0).empty());
    EXPECT_TRUE(buildCorridor({{0, 0}, {10, 0}}, {3, 3}, {3, 3, 3}, kMedianOffsets).empty());
    EXPECT_TRUE(buildCorridor({{0, 0}, {10, 0}}, {}, {}, kMedianOffsets).empty());
}

// Flat ground at 100 m along x from -1 to 21; a deck 5 m high over the cells whose centres lie
// between y = 0 and deckEdge(x), in cells of 0.25 m.
template <class Edge>
NdsmModel deck(Edge deckEdge) {
    return ndsmfix::modelOf(
        -1, -10, 0.25, 88, 80,
        [deckEdge](double x, double y) { return y > 0 && y < deckEdge(x) ? 105.0 : 100.0; },
        [](double, double) { return 100.0; });
}

BridgeParams probing(double spacing) {
    BridgeParams p;
    p.spacing = spacing;
    p.reach = 8.0;
    p.probeStep = 0.5;
    p.minHeight = 1.0;
    p.defaultOffset = 3.5;
    return p;
}

TEST(MeasureOffsets, DeckToTheLeftMeasuresItsEdgeAndTheBareSideTheDefault) {
    const NdsmModel m = deck([](double) { return 6.0; });
    PlanRing points;
    Offsets left, right;
    measureOffsets({{0, 0}, {20, 0}}, m, probing(5.0), points, left, right);
    EXPECT_EQ(points, (PlanRing{{0, 0}, {5, 0}, {10, 0}, {15, 0}, {20, 0}}));
    EXPECT_EQ(left, (Offsets{6, 6, 6, 6, 6}));
    EXPECT_EQ(right, (Offsets{3.5, 3.5, 3.5, 3.5, 3.5}));

    // The reach bounds the probes.
    BridgeParams shortReach = probing(5.0);
    shortReach.reach = 2.2;
    measureOffsets({{0, 0}, {20, 0}}, m, shortReach, points, left, right);
    EXPECT_EQ(left, (Offsets{2, 2, 2, 2, 2}));
}

TEST(MeasureOffsets, RunningMedianOfThreeRemovesSpikesAndLiftsTheEnds) {
    // Raw left reaches 3, 6, 8 (the reach), 6, 6 at x = 0, 5, 10, 15, 20.
    const NdsmModel m = deck([](double x) {
        if (x < 1.0) {
            return 3.0;
        }
        return std::abs(x - 10.0) < 1.0 ? 9.0 : 6.0;
    });
    PlanRing points;
    Offsets left, right;
    measureOffsets({{0, 0}, {20, 0}}, m, probing(5.0), points, left, right);
    EXPECT_EQ(left, (Offsets{6, 6, 6, 6, 6}));

    // Two points are not smoothed.
    measureOffsets({{0, 0}, {4, 0}}, m, probing(5.0), points, left, right);
    EXPECT_EQ(points, (PlanRing{{0, 0}, {4, 0}}));
    EXPECT_EQ(left, (Offsets{3, 6}));
}

TEST(MeasureOffsets, ResamplesSegmentsOfPositiveLengthOnly) {
    const NdsmModel m = deck([](double) { return 6.0; });
    PlanRing points{{9, 9}};
    Offsets left{1}, right{1};
    measureOffsets({{0, 0}, {0, 0}, {2.5, 0}, {2.5, 0}}, m, probing(1.0), points, left, right);
    EXPECT_EQ(points, (PlanRing{{0, 0}, {1, 0}, {2, 0}, {2.5, 0}}));
    EXPECT_EQ(left.size(), 4u);

    measureOffsets({{3, 3}, {3, 3}}, m, probing(1.0), points, left, right);
    EXPECT_TRUE(points.empty());
    EXPECT_TRUE(left.empty());
    EXPECT_TRUE(right.empty());
}

TEST(MeasureOffsets, SpacingAndProbeStepNotAboveZeroAreTakenAsOneMetre) {
    const NdsmModel m = deck([](double) { return 6.0; });
    PlanRing points;
    Offsets left, right;
    BridgeParams p = probing(0.0);
    p.probeStep = -1.0;
    measureOffsets({{0, 0}, {2.5, 0}}, m, p, points, left, right);
    EXPECT_EQ(points, (PlanRing{{0, 0}, {1, 0}, {2, 0}, {2.5, 0}}));
    EXPECT_EQ(left, (Offsets{6, 6, 6, 6})) << "probes at whole metres";
}

}  // namespace
