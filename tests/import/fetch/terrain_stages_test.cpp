// The terrain stages on plain records: the step of the point-cloud grid, the points a LiDAR
// sheet gives to terrain and water, and the sampler over terrain-model grids.

#include <gtest/gtest.h>

#include <atomic>

#include "builders/LasBuilder.h"
#include "fakes/Lidar.h"
#include "fakes/TerrainModel.h"
#include "geodata/ProjConv.h"
#include "import/ImportController.h"
#include "import/fetch/ImportTerrainStages.h"
#include "import/fetch/SheetMosaic.h"
#include "loopback/TempDir.h"

namespace {

using sheetpoints::SheetRead;
using terrainstages::CloudPoints;

TEST(CloudStep, CoarsenedToEightHundredNodesAnAxis) {
    struct Case {
        const char* what;
        Bbox frame;
        double requested;
        double step;
        const char* message;  // "" when the step is kept
    };
    const Case cases[] = {
        {"1000 x 500 m at 1 m",
         {0, 0, 1000, 500},
         1.0,
         1.25,
         "Teren z chmury: kadr duzy dla kroku 1 m - krata zgrubiona do 1.25 m (limit 800 "
         "wezlow/os). Zmniejsz kadr dla drobniejszej kraty."},
        {"800 x 800 m at 1 m: exactly the limit", {0, 0, 800, 800}, 1.0, 1.0, ""},
        {"a step of 0",
         {0, 0, 400, 1600},
         0.0,
         2.0,
         "Teren z chmury: kadr duzy dla kroku 0 m - krata zgrubiona do 2.00 m (limit 800 "
         "wezlow/os). Zmniejsz kadr dla drobniejszej kraty."},
        {"a negative step is no way round the limit",
         {0, 0, 2400, 100},
         -1.0,
         3.0,
         "Teren z chmury: kadr duzy dla kroku -1 m - krata zgrubiona do 3.00 m (limit 800 "
         "wezlow/os). Zmniejsz kadr dla drobniejszej kraty."},
        {"a coarse step stays", {0, 0, 5000, 5000}, 7.5, 7.5, ""},
    };
    for (const Case& c : cases) {
        std::string message = "stale";
        EXPECT_DOUBLE_EQ(terrainstages::cloudStep(c.frame, c.requested, message), c.step) << c.what;
        EXPECT_EQ(message, c.message) << c.what;
    }
}

class LidarSheet : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::vector<ClPoint>& points) {
        const std::string path = dir.file(name);
        fixtures::writeBytes(path, fakes::classifiedLas(points));
        return path;
    }

    loopback::TempDir dir;
    std::atomic<bool> stop{false};
    const Bbox frame{500000, 300000, 500100, 300100};
};

TEST_F(LidarSheet, OnlyGroundAndWaterInsideTheFrameEdgesIncluded) {
    const std::vector<ClPoint> points = {
        {500000, 300000, 101, 0, 0, 0, 2},  // a corner of the frame: kept
        {500100, 300100, 102, 0, 0, 0, 9},  // the opposite corner: kept as water
        {500050, 300050, 110, 0, 0, 0, 6},  // a roof
        {500050, 300050, 103, 0, 0, 0, 1},  // unclassified
        {500050, 300050, 103, 0, 0, 0, 2},
        {499999.99, 300050, 100, 0, 0, 0, 2},  // a centimetre west of the frame
        {500050, 300100.01, 100, 0, 0, 0, 9},
        {500050, 300050, 104, 0, 0, 0, 10},  // class 10 is no water
    };
    CloudPoints read;
    EXPECT_EQ(terrainstages::readSheet(write("a.las", points), 0, frame, stop, read),
              SheetRead::Read);
    ASSERT_EQ(read.ground.size(), 2u);
    EXPECT_EQ(read.ground[0].z, 101);
    EXPECT_EQ(read.ground[1].z, 103);
    ASSERT_EQ(read.water.size(), 1u);
    EXPECT_EQ(read.water[0].z, 102);

    // A second sheet adds to what is there; a code that names no zone is read as PL-1992.
    EXPECT_EQ(terrainstages::readSheet(write("b.las", {points[0]}), 2180, frame, stop, read),
              SheetRead::Read);
    EXPECT_EQ(terrainstages::readSheet(write("c.las", {points[0]}), 2175, frame, stop, read),
              SheetRead::Read);
    EXPECT_EQ(read.ground.size(), 4u);
    EXPECT_EQ(terrainstages::readSheet(dir.file("missing.las"), 0, frame, stop, read),
              SheetRead::NotOpened);
}

TEST_F(LidarSheet, AZoneSheetIsMovedIntoPl1992BeforeTheFrameTest) {
    const GisPoint inFrame = ProjConv::pl1992ToPl2000(500050, 300050, 2178);
    const GisPoint outside = ProjConv::pl1992ToPl2000(500150, 300050, 2178);
    CloudPoints read;
    terrainstages::readSheet(write("zone.las", {{inFrame.x, inFrame.y, 99, 0, 0, 0, 2},
                                                {outside.x, outside.y, 99, 0, 0, 0, 2}}),
                             2178, frame, stop, read);
    ASSERT_EQ(read.ground.size(), 1u);
    EXPECT_NEAR(read.ground[0].x, 500050, 0.02);
    EXPECT_NEAR(read.ground[0].y, 300050, 0.02);
    EXPECT_EQ(read.ground[0].z, 99) << "heights stay as read";
}

TEST_F(LidarSheet, AtMostTheAnnouncedPointsAndAStopEndsTheReading) {
    fixtures::LasSpec spec;
    spec.declaredCount = 1;
    const auto record = [](std::int32_t x) {
        auto r = fixtures::lasRecord(20, x, 0, 0);
        r[15] = 2;
        return r;
    };
    const std::string path = dir.file("short.las");
    spec.offset[0] = 500000;
    spec.offset[1] = 300000;
    fixtures::writeBytes(path, fixtures::buildLas(spec, {record(100), record(200)}));
    CloudPoints read;
    EXPECT_EQ(terrainstages::readSheet(path, 0, frame, stop, read), SheetRead::Read);
    EXPECT_EQ(read.ground.size(), 1u) << "the header announces one point";

    // Three announced, two there: the two are taken, and the sheet reads as damaged.
    spec.declaredCount = 3;
    fixtures::writeBytes(path, fixtures::buildLas(spec, {record(100), record(200)}));
    CloudPoints cut;
    EXPECT_EQ(terrainstages::readSheet(path, 0, frame, stop, cut), SheetRead::Damaged);
    EXPECT_EQ(cut.ground.size(), 2u);

    stop = true;
    CloudPoints none;
    EXPECT_EQ(terrainstages::readSheet(write("d.las", {{500001, 300001, 1, 0, 0, 0, 2}}), 0, frame,
                                       stop, none),
              SheetRead::Stopped);
    EXPECT_TRUE(none.ground.empty());
}

TEST(NmtHeightSampler, TheFirstGridWithAHeightAnswers) {
    SheetMosaic mosaic({0, 0, 4, 2}, 1000);
    ASSERT_TRUE(mosaic.add(fakes::ascGrid({"low", {0, 0}, 1, 2, 2, fakes::plane(5, 0, 0, {})})));
    ASSERT_TRUE(mosaic.add(fakes::ascGrid(
        {"high", {1, 0}, 1, 3, 2, [](double x, double) { return x < 2 ? std::nan("") : 9.0; }})));
    const FloatGrid grid = mosaic.take();
    const HeightSampler sampler = ImportController::nmtHeightSampler(grid);
    double z = 0.0;
    EXPECT_TRUE(sampler(1.0, 1.0, z));
    EXPECT_EQ(z, 5.0) << "where both have one, the first read";
    EXPECT_TRUE(sampler(3.0, 1.0, z));
    EXPECT_EQ(z, 9.0);
    EXPECT_FALSE(sampler(10.0, 1.0, z));
    EXPECT_FALSE(ImportController::nmtHeightSampler(FloatGrid())(1.0, 1.0, z));
}

}  // namespace
