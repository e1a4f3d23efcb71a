#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "builders/LasBuilder.h"
#include "geometry/CellKey.h"
#include "geometry/RoofPlacement.h"
#include "loopback/TempDir.h"

namespace {

constexpr std::uint8_t kGround = 2;
constexpr std::uint8_t kBuilding = 6;

ClPoint pt(double x, double y, double z, std::uint8_t cls) {
    ClPoint p;
    p.x = x;
    p.y = y;
    p.z = z;
    p.cls = cls;
    return p;
}

// A 10 x 10 m footprint at the origin with ground at 100 m all round it.
const PlanRing kSquare{{0, 0}, {10, 0}, {10, 10}, {0, 10}};

std::vector<ClPoint> groundAround() {
    std::vector<ClPoint> pts;
    for (double x = -4; x <= 14; x += 1.0) {
        for (double y = -4; y <= 14; y += 1.0) {
            if (x < 0 || x > 10 || y < 0 || y > 10) {
                pts.push_back(pt(x, y, 100.0, kGround));
            }
        }
    }
    return pts;
}

// count roof points spread over the square (one per 1 m cell while cells last), at height z.
void addRoof(std::vector<ClPoint>& pts, int count, double z) {
    for (int i = 0; i < count; ++i) {
        pts.push_back(pt(0.5 + (i % 10), 0.5 + (i / 10) % 10, z, kBuilding));
    }
}

const BuildParams kParams;

TEST(GroundModel, LowestGroundPerCellFromTheLowestCornerOfAllPoints) {
    const GroundModel g({pt(10, 20, 99, 1), pt(10.5, 20.5, 101, kGround),
                         pt(10.7, 20.2, 100.5, kGround), pt(30, 40, 120, kGround)},
                        2.0);
    EXPECT_EQ(g.x0(), 10.0);
    EXPECT_EQ(g.y0(), 20.0);
    EXPECT_EQ(g.cells().size(), 2u);
    const GroundHeight own = g.lookup(11.9, 21.9);
    EXPECT_EQ(own.source, GroundSource::OwnCell);
    EXPECT_EQ(own.z, 100.5);
}

TEST(GroundModel, CellKeysOfNegativeIndicesPackWithoutOverflow) {
    const GroundModel g({pt(0, 0, 100, kGround)}, 2.0);
    EXPECT_EQ(g.key(-1, 0), 0xFFFFFFFF00000000ULL);
    EXPECT_EQ(g.key(0, -1), 0x00000000FFFFFFFFULL);
    EXPECT_EQ(g.key(3, 5), packCellKey(1, 2));
    // Left of the origin the neighbour answers.
    const GroundHeight left = g.lookup(-1, 1);
    EXPECT_EQ(left.source, GroundSource::Neighbours);
    EXPECT_EQ(left.z, 100.0);
}

TEST(GroundModel, NeighboursGiveTheirLowestThenTheSearchWidens) {
    const GroundModel g(
        {pt(0, 0, 100, kGround), pt(4.5, 0, 98, kGround), pt(4.5, 4.5, 97, kGround)}, 2.0);
    const GroundHeight n =
        g.lookup(2.5, 2.5);  // cell (1, 1) is empty; three neighbours hold ground
    EXPECT_EQ(n.source, GroundSource::Neighbours);
    EXPECT_EQ(n.z, 97.0);
    // 20 m away: no neighbour holds ground, yet the ground is not 0 m.
    const GroundHeight wide = g.lookup(24.0, 1.0);
    EXPECT_EQ(wide.source, GroundSource::Wider);
    EXPECT_EQ(wide.z, 97.0);  // the lowest on the nearest ring holding ground
    // Beyond the reach the model says it does not know.
    const GroundHeight far = g.lookup(200.0, 0.0);
    EXPECT_EQ(far.source, GroundSource::None);
    EXPECT_TRUE(std::isnan(g.groundZ(200.0, 0.0)));
}

TEST(GroundModel, WithoutGroundClassPointsThereIsNoGround) {
    const GroundModel none({pt(0, 0, 100, 1), pt(5, 5, 101, kBuilding)}, 2.0);
    EXPECT_TRUE(none.cells().empty());
    EXPECT_EQ(none.lookup(0, 0).source, GroundSource::None);
    const GroundModel empty({}, 2.0);
    EXPECT_EQ(empty.x0(), 0.0);
    EXPECT_EQ(empty.lookup(0, 0).source, GroundSource::None);
}

TEST(GroundModel, GroundPointsWithoutFiniteCoordinatesAreLeftOut) {
    const GroundModel g({pt(0, 0, 100, kGround), pt(std::nan(""), 0.5, 50, kGround),
                         pt(0.5, 0.5, std::nan(""), kGround)},
                        2.0);
    EXPECT_EQ(g.cells().size(), 1u);
    EXPECT_EQ(g.groundZ(0.5, 0.5), 100.0);
}

TEST(BuildRoof, ShortRingGivesNoFace) {
    const RoofModel m = buildRoof({{0, 0}, {1, 1}}, {}, GroundModel({}, 2.0), kParams);
    EXPECT_TRUE(m.faces.empty());
    EXPECT_EQ(m.flag, 1);
    EXPECT_EQ(m.quality, 0.0);
}

TEST(BuildRoof, ThirtyCoveringRoofPointsAreNeededForTheMedianRoof) {
    // A 6 x 5 m block of 30 cells; 29 points cover 29 cells, the first one the highest.
    const PlanRing block{{0, 0}, {6, 0}, {6, 5}, {0, 5}};
    std::vector<ClPoint> roof29 = groundAround();
    for (int i = 0; i < 29; ++i) {
        roof29.push_back(pt(0.5 + i % 6, 0.5 + i / 6, i == 0 ? 112.0 : 110.0, kBuilding));
    }
    const RoofModel flagged = buildRoof(block, roof29, GroundModel(roof29, 2.0), kParams);
    EXPECT_EQ(flagged.flag, 1);
    EXPECT_EQ(flagged.faces[0].pts[0].z, 112.0);
    EXPECT_NEAR(flagged.quality, 29.0 / 30.0, 1e-12);

    std::vector<ClPoint> roof30 = roof29;
    roof30.push_back(pt(5.5, 4.5, 110.0, kBuilding));
    const RoofModel ok = buildRoof(block, roof30, GroundModel(roof30, 2.0), kParams);
    EXPECT_EQ(ok.flag, 0);
    EXPECT_EQ(ok.quality, 1.0);
    ASSERT_EQ(ok.faces.size(), 1u);
    ASSERT_EQ(ok.faces[0].pts.size(), 4u);
    for (const Pt3& p : ok.faces[0].pts) {
        EXPECT_EQ(p.z, 110.0);
    }
}

TEST(BuildRoof, EvenCountTakesTheUpperMiddleHeight) {
    std::vector<ClPoint> pts = groundAround();
    for (int i = 0; i < 100; ++i) {
        pts.push_back(pt(0.5 + i % 10, 0.5 + i / 10, i % 2 == 0 ? 110.0 : 112.0, kBuilding));
    }
    const RoofModel m = buildRoof(kSquare, pts, GroundModel(pts, 2.0), kParams);
    EXPECT_EQ(m.flag, 0);
    EXPECT_EQ(m.faces[0].pts[0].z, 112.0);
}

TEST(BuildRoof, PointsInOneCornerCoverTooLittle) {
    std::vector<ClPoint> pts = groundAround();
    for (int i = 0; i < 50; ++i) {
        pts.push_back(pt(0.1 * (i % 10), 0.1 * (i / 10), 110.0 + 0.01 * i, kBuilding));
    }
    const RoofModel m = buildRoof(kSquare, pts, GroundModel(pts, 2.0), kParams);
    EXPECT_EQ(m.flag, 1);
    EXPECT_LT(m.quality, 0.6);
    EXPECT_DOUBLE_EQ(m.faces[0].pts[0].z, 110.49);
}

TEST(BuildRoof, WithoutRoofPointsTheFallbackStandsOnTheGround) {
    const std::vector<ClPoint> pts = groundAround();
    const RoofModel m = buildRoof(kSquare, pts, GroundModel(pts, 2.0), kParams);
    EXPECT_EQ(m.flag, 1);
    EXPECT_EQ(m.quality, 0.0);
    EXPECT_EQ(m.faces[0].pts[0].z, 103.0);
}

TEST(BuildRoof, FootprintNarrowerThanHalfACellHasNoCell) {
    std::vector<ClPoint> pts = groundAround();
    for (int i = 0; i < 40; ++i) {
        pts.push_back(pt(0.2, 0.25 * i, 110.0, kBuilding));
    }
    const RoofModel m =
        buildRoof({{0, 0}, {0.4, 0}, {0.4, 10}, {0, 10}}, pts, GroundModel(pts, 2.0), kParams);
    EXPECT_EQ(m.quality, 0.0);
    EXPECT_EQ(m.flag, 1);
}

TEST(BuildRoof, RepeatedClosingPointIsDropped) {
    std::vector<ClPoint> pts = groundAround();
    addRoof(pts, 100, 110.0);
    PlanRing closed = kSquare;
    closed.push_back(kSquare.front());
    const RoofModel m = buildRoof(closed, pts, GroundModel(pts, 2.0), kParams);
    EXPECT_EQ(m.flag, 0);
    EXPECT_EQ(m.faces[0].pts.size(), 4u);
}

TEST(BuildRoof, WithoutAnyGroundTheFootprintsOwnLowestPointServes) {
    // Nothing is classified as ground: the lowest given point stands in for it, so the low
    // unclassified points are not taken for roof.
    std::vector<ClPoint> pts;
    for (int i = 0; i < 100; ++i) {
        pts.push_back(pt(0.5 + i % 10, 0.5 + i / 10, i < 40 ? 200.0 : 210.0, 1));
    }
    const RoofModel m = buildRoof(kSquare, pts, GroundModel(pts, 2.0), kParams);
    EXPECT_EQ(m.flag, 0);
    EXPECT_EQ(m.faces[0].pts[0].z, 210.0);
    EXPECT_NEAR(m.quality, 0.6, 1e-12);
    // With no point and no ground there is no height to put a roof at.
    const RoofModel none = buildRoof(kSquare, {}, GroundModel({}, 2.0), kParams);
    EXPECT_TRUE(none.faces.empty());
    EXPECT_EQ(none.flag, 1);
}

TEST(BuildRoof, NoRoofPointIsNeverAnAcceptedRoof) {
    BuildParams lax;
    lax.minPoints = 0;
    lax.minCoverage = 0.0;
    const std::vector<ClPoint> pts = groundAround();
    const RoofModel m = buildRoof(kSquare, pts, GroundModel(pts, 2.0), lax);
    EXPECT_EQ(m.flag, 1);
    EXPECT_EQ(m.faces[0].pts[0].z, 103.0);
}

TEST(PointsAboveGround, NonGroundPointsHighEnough) {
    std::vector<ClPoint> pts = groundAround();
    pts.push_back(pt(-1, -1, 102.0, kBuilding));
    pts.push_back(pt(-1, -1, 104.0, kBuilding));
    pts.push_back(pt(-2, -2, 105.0, kGround));
    const std::vector<Pt3> up = pointsAboveGround(pts, GroundModel(pts, 2.0), 3.0);
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0], (Pt3{-1, -1, 104.0}));
}

TEST(TileIntersectsFrame, TouchingBoxesOverlap) {
    EXPECT_TRUE(tileIntersectsFrame({0, 0, 10, 10}, {10, 0, 20, 10}));
    EXPECT_TRUE(tileIntersectsFrame({0, 0, 10, 10}, {2, 2, 3, 3}));
    EXPECT_FALSE(tileIntersectsFrame({0, 0, 10, 10}, {10.01, 0, 20, 10}));
    EXPECT_FALSE(tileIntersectsFrame({0, 0, 10, 10}, {0, -5, 10, -0.5}));
}

// A point-format-0 LAS file with centimetre coordinates.
void writeLas(const std::string& path, const std::vector<ClPoint>& pts) {
    std::vector<std::vector<std::uint8_t>> recs;
    for (const ClPoint& p : pts) {
        auto r = fixtures::lasRecord(20, static_cast<std::int32_t>(std::lround(p.x * 100)),
                                     static_cast<std::int32_t>(std::lround(p.y * 100)),
                                     static_cast<std::int32_t>(std::lround(p.z * 100)));
        r[15] = p.cls;
        recs.push_back(std::move(r));
    }
    fixtures::writeBytes(path, fixtures::buildLas(fixtures::LasSpec{}, recs));
}

TEST(LoadPoints, KeepsTheFramesPointsOfEveryReadableFileInOrder) {
    const loopback::TempDir dir;
    writeLas(dir.file("a.las"), {pt(1, 1, 100, 2), pt(50, 50, 101, 6), pt(10, 10, 102, 6)});
    writeLas(dir.file("b.las"), {pt(0, 5, 103, 1), pt(-0.01, 5, 104, 1)});
    fixtures::writeBytes(dir.file("broken.las"), "not a point file");
    const std::vector<ClPoint> pts = RoofPlacement::loadPoints(
        {dir.file("a.las"), dir.file("missing.las"), dir.file("broken.las"), dir.file("b.las")},
        RoofPlacement::Frame{0, 0, 10, 10});
    ASSERT_EQ(pts.size(), 3u);
    EXPECT_DOUBLE_EQ(pts[0].z, 100.0);
    EXPECT_EQ(pts[0].cls, 2);
    EXPECT_DOUBLE_EQ(pts[1].x, 10.0);  // on the frame's edge
    EXPECT_DOUBLE_EQ(pts[2].z, 103.0);
}

TEST(LoadPoints, CompressedAndPlainFilesGiveTheSameFramePoints) {
    const std::string dir = std::string(TW_SHARED_TESTDATA) + "/laz/";
    const std::string las = dir + "simple.las";
    const std::string laz = dir + "simple.laz";
    if (!std::ifstream(las) || !std::ifstream(laz)) {
        GTEST_SKIP() << "sample point files not found under " << dir;
    }
    const std::vector<ClPoint> all = loadFramePoints({las}, Bbox{-1e9, -1e9, 1e9, 1e9});
    ASSERT_EQ(all.size(), 1065u);
    // The middle of the points' extent.
    Bbox box{1e18, 1e18, -1e18, -1e18};
    for (const ClPoint& p : all) {
        box = {std::min(box.minx, p.x), std::min(box.miny, p.y), std::max(box.maxx, p.x),
               std::max(box.maxy, p.y)};
    }
    const double qx = (box.maxx - box.minx) / 4;
    const double qy = (box.maxy - box.miny) / 4;
    const Bbox middle{box.minx + qx, box.miny + qy, box.maxx - qx, box.maxy - qy};
    const std::vector<ClPoint> plain = loadFramePoints({las}, middle);
    const std::vector<ClPoint> packed = loadFramePoints({laz}, middle);
    ASSERT_FALSE(plain.empty());
    ASSERT_LT(plain.size(), all.size());
    ASSERT_EQ(packed.size(), plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(packed[i].x, plain[i].x);
        EXPECT_EQ(packed[i].y, plain[i].y);
        EXPECT_EQ(packed[i].z, plain[i].z);
        EXPECT_EQ(packed[i].cls, plain[i].cls);
    }
}

}  // namespace
