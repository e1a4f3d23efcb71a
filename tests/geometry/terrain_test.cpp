#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "geometry/TerrainBuilder.h"

namespace {

const HeightSampler kEverywhere = [](double x, double y, double& z) {
    z = x - y;
    return true;
};

// The node index ranges of the tiles along x of the first row of tiles, from their bounds.
std::vector<std::pair<int, int>> columnRanges(const std::vector<TerrainTile>& tiles,
                                              const Bbox& frame, double step) {
    std::vector<std::pair<int, int>> ranges;
    for (const TerrainTile& t : tiles) {
        if (t.bounds.miny == frame.miny) {
            ranges.emplace_back(int(std::lround((t.bounds.minx - frame.minx) / step)),
                                int(std::lround((t.bounds.maxx - frame.minx) / step)));
        }
    }
    return ranges;
}

TEST(TerrainTiles, TileRangesShareTheirEdgeNodes) {
    std::string msg = "stale";
    const Bbox small{1000, 2000, 1300, 2300};
    auto tiles = TerrainBuilder::build(small, 1.0, kEverywhere, msg);
    EXPECT_EQ(msg, "");
    ASSERT_EQ(tiles.size(), 4u);
    EXPECT_EQ(columnRanges(tiles, small, 1.0),
              (std::vector<std::pair<int, int>>{{0, 151}, {151, 300}}));
    EXPECT_EQ(tiles[0].pts.size(), 152u * 152u);
    EXPECT_EQ(tiles[3].pts.size(), 150u * 150u);
    // Row by row from the south, each row from the west.
    EXPECT_EQ(tiles[1].pts[0].x, 1151.0);
    EXPECT_EQ(tiles[1].pts[1].x, 1152.0);
    EXPECT_EQ(tiles[1].pts[150].y, 2001.0);
    EXPECT_EQ(tiles[1].pts[1].z, 1152.0 - 2000.0);

    const Bbox mid{0, 0, 700, 700};
    tiles = TerrainBuilder::build(mid, 1.0, kEverywhere, msg);
    EXPECT_EQ(msg, "");
    EXPECT_EQ(tiles.size(), 16u);
    EXPECT_EQ(columnRanges(tiles, mid, 1.0),
              (std::vector<std::pair<int, int>>{{0, 176}, {176, 352}, {352, 528}, {528, 700}}));
}

TEST(TerrainTiles, LargeFramesAreCutToFourByFour) {
    std::string msg;
    const Bbox big{0, 0, 1000, 1000};
    auto tiles = TerrainBuilder::build(big, 1.0, kEverywhere, msg);
    EXPECT_EQ(tiles.size(), 16u);
    EXPECT_EQ(columnRanges(tiles, big, 1.0),
              (std::vector<std::pair<int, int>>{{0, 200}, {200, 400}, {400, 600}, {600, 799}}));
    EXPECT_EQ(msg,
              "Kadr za duzy dla kroku 1 m - teren ograniczony do 4x4 platek. Zwieksz krok do >= 2 "
              "m, aby pokryc caly kadr.");

    TerrainBuilder::build({0, 0, 1000, 10}, 0.5, kEverywhere, msg);
    EXPECT_EQ(msg.substr(0, 26), "Kadr za duzy dla kroku 0 m");

    // Frames far past any tile count still give 4 x 4 tiles.
    tiles = TerrainBuilder::build({0, 0, 1e15, 1e15}, 1.0, kEverywhere, msg);
    EXPECT_EQ(tiles.size(), 16u);
    EXPECT_FALSE(msg.empty());
}

TEST(TerrainTiles, TinyFramesAndMissingData) {
    std::string msg;
    auto tiles = TerrainBuilder::build({5, 6, 5.5, 6.5}, 1.0, kEverywhere, msg);
    ASSERT_EQ(tiles.size(), 1u);
    ASSERT_EQ(tiles[0].pts.size(), 1u);
    EXPECT_EQ(tiles[0].pts[0].x, 5.0);
    EXPECT_EQ(tiles[0].pts[0].y, 6.0);
    tiles = TerrainBuilder::build({5, 6, 5.5, 6.5}, 0.0, kEverywhere, msg);
    EXPECT_EQ(tiles.size(), 1u);

    const HeightSampler none = [](double, double, double&) { return false; };
    EXPECT_TRUE(TerrainBuilder::build({0, 0, 100, 100}, 1.0, none, msg).empty());
    EXPECT_EQ(msg, "");
    EXPECT_TRUE(TerrainBuilder::build({10, 10, 0, 0}, 1.0, kEverywhere, msg).empty());
    EXPECT_TRUE(TerrainBuilder::build({0, 0, std::nan(""), 10}, 1.0, kEverywhere, msg).empty());

    // No data on the western half: the western tiles go, the others keep only nodes with data
    // and their full bounds.
    const HeightSampler east = [](double x, double, double& z) {
        z = 1.0;
        return x >= 200.0;
    };
    tiles = TerrainBuilder::build({0, 0, 300, 300}, 1.0, east, msg);
    ASSERT_EQ(tiles.size(), 2u);
    EXPECT_EQ(tiles[0].bounds.minx, 151.0);
    EXPECT_EQ(tiles[0].bounds.maxx, 300.0);
    EXPECT_EQ(tiles[0].pts.front().x, 200.0);
    EXPECT_EQ(tiles[0].pts.size(), 101u * 152u);
}

// The part a capped frame samples bounds every node the tiles hold, and its far corner is their
// last node: a reader of the frame's heights needs that part only.
TEST(TerrainTiles, TheSampledPartOfACappedFrameHoldsEveryNode) {
    struct Case {
        const char* what;
        Bbox frame;
        double step;
        std::optional<Bbox> part;
    };
    const Case cases[] = {
        {"tiles cover the frame", {0, 0, 700, 700}, 1.0, std::nullopt},
        {"a coarse step covers a large frame", {0, 0, 10000, 10000}, 13.0, std::nullopt},
        {"capped along x only", {100, 200, 1100, 500}, 1.0, Bbox{100, 200, 899, 500}},
        {"capped both ways", {0, 0, 5000, 5000}, 5.0, Bbox{0, 0, 3995, 3995}},
        {"a step of 0 is a step of 1", {0, 0, 1000, 1000}, 0.0, Bbox{0, 0, 799, 799}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<Bbox> part = TerrainBuilder::sampledPart(c.frame, c.step);
        ASSERT_EQ(part.has_value(), c.part.has_value());
        std::string msg;
        const auto tiles = TerrainBuilder::build(c.frame, c.step, kEverywhere, msg);
        EXPECT_EQ(msg.empty(), !part.has_value());
        if (!part)
            continue;
        EXPECT_EQ(std::tie(part->minx, part->miny, part->maxx, part->maxy),
                  std::tie(c.part->minx, c.part->miny, c.part->maxx, c.part->maxy));
        Bbox nodes{1e300, 1e300, -1e300, -1e300};
        for (const TerrainTile& t : tiles) {
            for (const TerrainPoint& p : t.pts)
                nodes = {std::min(nodes.minx, p.x), std::min(nodes.miny, p.y),
                         std::max(nodes.maxx, p.x), std::max(nodes.maxy, p.y)};
        }
        EXPECT_EQ(std::tie(nodes.minx, nodes.miny, nodes.maxx, nodes.maxy),
                  std::tie(part->minx, part->miny, part->maxx, part->maxy));
    }
}

}  // namespace
