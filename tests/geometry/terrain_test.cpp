#include <gtest/gtest.h>

#include <cmath>
#include <string>
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

}  // namespace
