// The point-cloud roof stages: the points in buckets, the reconstruction of a footprint and its
// summary on plain records, and flat roofs and LoD2 reconstruction over the LoD1 footprints
// through the map page against fake building packages and LiDAR sheets of buildings whose roofs
// are known.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <span>
#include <thread>

#include "fakes/BuildingPackages.h"
#include "fakes/Lidar.h"
#include "geodata/B3dArchive.h"
#include "geodata/B3dCatalog.h"
#include "geodata/ProjConv.h"
#include "geometry/lod2fit/PrimitiveRegistry.h"
#include "import/ImportController.h"
#include "import/ImportPage.h"
#include "import/fetch/ImportCloudRoofStages.h"
#include "support/fakes/KnownRoofs.h"
#include "support/fakes/Scenario.h"

namespace {

using importtest::json;
using importtest::ofType;
using namespace std::chrono_literals;

ClPoint at(double x, double y, double z = 0.0) {
    return synthetic::classified({x, y, z}, synthetic::kBuildingClass);
}

TEST(PointBuckets, TheBucketsUnderABoxAndOneAroundItColumnByColumn) {
    // Buckets of 10 m from (100, 200): columns 0 to 4, rows 0 to 2.
    const std::vector<ClPoint> points = {at(100, 200), at(125, 205), at(115, 225), at(145, 200),
                                         at(112, 201), at(135, 215), at(121, 209), at(118, 212)};
    const cloudroofs::PointBuckets buckets(points);
    const auto xs = [&](const Bbox& box) {
        std::vector<double> found;
        for (const ClPoint& p : buckets.around(box))
            found.push_back(p.x);
        return found;
    };
    // Under the box: column 2, row 0; around it columns 1 to 3, rows 0 to 1.
    EXPECT_EQ(xs({121, 201, 122, 202}), (std::vector<double>{112, 118, 125, 121, 135}));
    EXPECT_EQ(xs({-1e9, -1e9, 1e9, 1e9}).size(), points.size()) << "a huge box meets them all";
    EXPECT_TRUE(xs({1000, 1000, 1010, 1010}).empty());
    EXPECT_TRUE(xs({std::nan(""), 0, 1, 1}).empty());
}

class FootprintReconstruction : public ::testing::Test {
protected:
    static void SetUpTestSuite() { lod2fit::registerAllPrimitives(); }

    const std::vector<fakes::KnownRoof> roofs = fakes::knownRoofs({600000, 400000});
    const std::vector<Building3D> blocks = fakes::blocksOf(roofs);
    const std::vector<ClPoint> points = fakes::lidarPointsOf(roofs);
    const cloudroofs::PointBuckets buckets{points};
};

TEST_F(FootprintReconstruction, KnownRoofsAreNamedByTheirTypeOverTheirGround) {
    const auto whole = cloudroofs::reconstructAll(
        blocks, buckets, [](int, int) {}, [] { return false; });
    ASSERT_TRUE(whole);
    const std::vector<cloudroofs::Reconstructed>& all = *whole;
    ASSERT_EQ(all.size(), roofs.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(roofs[i].type);
        EXPECT_TRUE(all[i].fitted);
        EXPECT_EQ(all[i].roofType, roofs[i].type);
        EXPECT_DOUBLE_EQ(all[i].groundZ, synthetic::kGroundZ);
        EXPECT_FALSE(all[i].model.faces.empty());
        EXPECT_EQ(all[i].model.flag, all[i].ok ? 0 : 1);
    }
}

// stop() is asked before every footprint: once it holds, no further footprint is taken and
// nothing comes back; holding only after the last one, it changes nothing.
TEST_F(FootprintReconstruction, AStopLeavesTheFootprintsNotYetTaken) {
    std::vector<Building3D> many;
    for (int k = 0; k < 10; ++k)
        many.insert(many.end(), blocks.begin(), blocks.end());
    const std::size_t threads = std::max(std::thread::hardware_concurrency(), 1u);
    for (const std::size_t stopAt : {std::size_t{0}, std::size_t{3}, many.size()}) {
        std::atomic<std::size_t> asked{0};
        int reported = 0;
        const auto all = cloudroofs::reconstructAll(
            many, buckets, [&reported](int, int) { ++reported; },
            [&asked, stopAt] { return asked++ >= stopAt; });
        EXPECT_EQ(all.has_value(), stopAt == many.size()) << stopAt;
        EXPECT_LE(asked, stopAt + threads) << "each thread asks once more at most";
        EXPECT_LE(static_cast<std::size_t>(reported), stopAt + 1)
            << "the opening (0, n), then a footprint done each";
    }
}

TEST_F(FootprintReconstruction, FewPointsInsideTakeThoseAboveTheGroundAndNoneGiveAnEmptyModel) {
    // A 1 m square in the gable's middle holds a handful of its points: the solid is fitted to
    // every roof point around it instead.
    const lod2fit::Vec2 mid = roofs[0].building.toMap(8, 5);
    const cloudroofs::Reconstructed small = cloudroofs::reconstructFootprint(
        {{mid.x, mid.y}, {mid.x + 1, mid.y}, {mid.x + 1, mid.y + 1}, {mid.x, mid.y + 1}}, buckets);
    EXPECT_TRUE(small.fitted);
    EXPECT_GT(small.cloudPoints, 900u);

    const cloudroofs::Reconstructed nothing =
        cloudroofs::reconstructFootprint({{0, 0}, {10, 0}, {10, 10}}, buckets);
    EXPECT_FALSE(nothing.fitted);
    EXPECT_TRUE(nothing.model.faces.empty());
    EXPECT_EQ(std::tie(nothing.model.flag, nothing.groundZ, nothing.cloudPoints),
              std::make_tuple(0, 0.0, std::size_t{0}));
}

// Buildings finish out of order on several cores; the page still sees one count after another.
TEST_F(FootprintReconstruction, ProgressCountsTheFootprintsDoneInOrderOneCallAtATime) {
    constexpr int kBuildings = 12;
    const std::vector<fakes::KnownRoof> many = fakes::knownRoofs({610000, 410000}, kBuildings);
    const std::vector<ClPoint> manyPoints = fakes::lidarPointsOf(many);
    const cloudroofs::PointBuckets manyBuckets{manyPoints};
    std::mutex guard;  // the test's own, so that overlapping calls are seen, not raced
    std::vector<std::pair<int, int>> heard;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    const auto progress = [&](int done, int total) {
        if (inside.fetch_add(1) != 0)
            overlapped = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // room for another caller
        {
            const std::lock_guard lock(guard);
            heard.emplace_back(done, total);
        }
        inside.fetch_sub(1);
    };
    const auto whole = cloudroofs::reconstructAll(fakes::blocksOf(many), manyBuckets, progress,
                                                  [] { return false; });
    ASSERT_TRUE(whole);
    const std::vector<cloudroofs::Reconstructed>& all = *whole;

    std::vector<std::pair<int, int>> expected;
    for (int i = 0; i < kBuildings; ++i)
        expected.emplace_back(i, kBuildings);
    EXPECT_EQ(heard, expected);
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(all.size(), many.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(all[i].roofType, many[i].type) << "results stay in footprint order";
}

TEST(ReconstructionStatus, CountsTypesHeightsAndTheFirstTwentyFootprints) {
    EXPECT_EQ(cloudroofs::reconstructionStatus(2, 10, {}),
              "Rekonstrukcja LOD2: 2 kafli, 10 pkt, 0 budynkow, Ok(class)=0; typy: (brak) | "
              "wys.dachu(ridge-eave) min=0.00 sr=0.00 max=0.00 | groundZ sr=0.00 (npm, przed "
              "zOff)\n");

    std::vector<cloudroofs::Reconstructed> all(25);
    for (std::size_t i = 0; i < all.size(); ++i) {
        cloudroofs::Reconstructed& r = all[i];
        r.fitted = i % 3 != 1;  // 1, 4, 7, ... held too few points
        r.roofType = i % 2 ? "Gabled" : "Flat";
        r.ok = i < 4;
        r.groundZ = 100.0;
        r.eaveZ = 106.0;
        r.ridgeZ = 106.0 + static_cast<double>(i % 5);
        r.cloudPoints = 50;
        r.centre = {637000.04, 486000.0};
    }
    const std::string status = cloudroofs::reconstructionStatus(1, 5000, all);
    const std::string firstLine = status.substr(0, status.find('\n'));
    EXPECT_EQ(firstLine,
              "Rekonstrukcja LOD2: 1 kafli, 5000 pkt, 25 budynkow, Ok(class)=3; typy: Flat=9 "
              "Gabled=8 | wys.dachu(ridge-eave) min=0.00 sr=1.94 max=4.00 | groundZ sr=100.00 "
              "(npm, przed zOff)");
    EXPECT_NE(status.find("\n  #0 Flat [Ok] centroid2180=637000.0,486000.0 nDach=50 groundZ=100.00 "
                          "eaveZ=106.00 ridgeZ=106.00 wys=6.00\n  #2 Flat [Ok]"),
              std::string::npos)
        << status;
    EXPECT_NE(status.find("  #18 "), std::string::npos);
    EXPECT_EQ(status.find("  #19 "), std::string::npos) << "held too few points";
    EXPECT_EQ(status.find("  #20 "), std::string::npos) << "only the first 20 footprints";
    EXPECT_TRUE(status.ends_with("\n"));
}

class CloudRoofStages : public importtest::ImportPage {
protected:
    void SetUp() override {
        ImportPage::SetUp();
        fakes::serveBoundaries(hosts, {fakes::municipality(demo.teryt, demo.municipalityArea)});
        fakes::serveLod1Package(hosts, "1465", 2024,
                                {{"lod1.gml", area(500), fakes::blocksOf(roofs)}});
    }

    Bbox area(double half) const {
        return {centre.x - half, centre.y - half, centre.x + half, centre.y + half};
    }

    // The sheets' index served on the geoportal, the sheets by the object returned.
    std::unique_ptr<fakes::LidarSheets> serveLidar(std::vector<fakes::LidarSheet> sheets) {
        auto lidar = std::make_unique<fakes::LidarSheets>(std::move(sheets));
        lidar->mount(hosts.geoportal);
        return lidar;
    }

    static fakes::LidarSheet sheet(const std::string& godlo, const std::vector<ClPoint>& points,
                                   const std::string& uklad = "PL-1992") {
        return {godlo, fakes::classifiedLas(points), "12", uklad};
    }

    json fetchDone(const std::vector<std::string>& keys) {
        return fetch(demo.frameWgs84, keys).back();
    }

    static const ImportController::FetchedData& fetched() {
        return ImportController::Instance().lastFetch();
    }

    const fakes::Scenario demo = fakes::demoScenario();
    const GisPoint centre = ProjConv::latLonToPl1992(52.2297, 21.0122);
    const std::vector<fakes::KnownRoof> roofs = fakes::knownRoofs({centre.x - 80, centre.y - 20});
};

TEST_F(CloudRoofStages, FlatRoofsAndReconstructedSolidsOverEveryFootprintFromOneDownload) {
    const auto lidar = serveLidar({sheet("N-34-1", fakes::lidarPointsOf(roofs))});
    const auto messages = fetch(demo.frameWgs84, {"budynkirekon", "dachychmura"});
    const json& done = messages.back();
    EXPECT_EQ(done.at("counts"), json({{"budynki3d", 4}, {"dachychmura", 4}, {"budynkirekon", 4}}));
    EXPECT_FALSE(done.contains("warning")) << done;

    const ImportController::FetchedData& data = fetched();
    EXPECT_FALSE(data.lod1Requested) << "footprints only";
    for (const RoofModel& roof : data.roofsCloud) {
        EXPECT_EQ(roof.flag, 0);
        ASSERT_EQ(roof.faces.size(), 1u);
    }
    EXPECT_TRUE(data.roofsCloudStatus.starts_with("Dachy z chmury: 1 kafli, "))
        << data.roofsCloudStatus;
    EXPECT_TRUE(data.roofsCloudStatus.ends_with(" pkt, 4 obrysow."));
    for (std::size_t i = 0; i < roofs.size(); ++i) {
        EXPECT_FALSE(data.roofsRekon[i].faces.empty());
        const std::string line = "  #" + std::to_string(i) + " " + roofs[i].type + " [";
        EXPECT_NE(data.roofsRekonStatus.find(line), std::string::npos) << line << "\n"
                                                                       << data.roofsRekonStatus;
    }
    EXPECT_NE(data.roofsRekonStatus.find("typy: Flat=1 Gabled=1 Hipped=1 Shed=1 | "),
              std::string::npos);
    EXPECT_EQ(lidar->fileRequests(0), 1u) << "the second stage reads the cache";
    std::vector<int> fitting;
    for (const json& p : ofType(messages, "progress")) {
        if (p.at("label") == "Rekonstrukcja LOD2: dopasowanie")
            fitting.push_back(p.at("done"));
    }
    EXPECT_EQ(fitting, (std::vector<int>{0, 1, 2, 3})) << "building by building, in order";
}

// A sheet in a PL-2000 zone is moved into PL-1992 as the terrain stage moves it: its roofs are
// those of the same points in a PL-1992 sheet, to the centimetre the zone conversion keeps.
TEST_F(CloudRoofStages, SheetsOfAZoneGiveTheRoofsOfTheSamePointsInPl1992) {
    const std::vector<ClPoint> points = fakes::lidarPointsOf(roofs);
    const auto inPl1992 = serveLidar({sheet("P", points)});
    EXPECT_FALSE(fetchDone({"dachychmura"}).contains("warning"));
    const std::vector<RoofModel> expected = fetched().roofsCloud;

    std::vector<ClPoint> inZone = points;
    for (ClPoint& p : inZone) {
        const GisPoint moved = ProjConv::pl1992ToPl2000(p.x, p.y, 2178);
        p.x = moved.x;
        p.y = moved.y;
    }
    const auto zoneSheet = serveLidar({sheet("S7", inZone, "PL-2000:S7")});
    const json done = fetchDone({"dachychmura", "budynkirekon"});
    EXPECT_FALSE(done.contains("warning")) << done;
    EXPECT_EQ(done.at("counts"), json({{"budynki3d", 4}, {"dachychmura", 4}, {"budynkirekon", 4}}));
    EXPECT_EQ(zoneSheet->fileRequests(0), 1u);
    const std::vector<RoofModel>& roofsFromZone = fetched().roofsCloud;
    ASSERT_EQ(roofsFromZone.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(roofsFromZone[i].flag, expected[i].flag);
        ASSERT_EQ(roofsFromZone[i].faces.size(), 1u);
        ASSERT_EQ(roofsFromZone[i].faces[0].pts.size(), expected[i].faces[0].pts.size());
        for (std::size_t k = 0; k < expected[i].faces[0].pts.size(); ++k) {
            const Pt3& a = roofsFromZone[i].faces[0].pts[k];
            const Pt3& b = expected[i].faces[0].pts[k];
            EXPECT_NEAR(a.x, b.x, 0.05);
            EXPECT_NEAR(a.y, b.y, 0.05);
            EXPECT_NEAR(a.z, b.z, 0.05);
        }
    }
}

// The tile trickles in; the cancel comes while it does, in the last stage asked for.
TEST_F(CloudRoofStages, ACancelCutsTheStageShortWithItsSentenceAndKeepsNoRoof) {
    const fakes::LidarSheets slow({sheet("N-34-1", fakes::lidarPointsOf(roofs))},
                                  {.chunkSize = 4096, .chunkDelay = 200ms});
    slow.mount(hosts.geoportal);
    const std::pair<std::string, std::string> stages[] = {{"dachychmura", "Dachy z chmury: "},
                                                          {"budynkirekon", "Rekonstrukcja LOD2: "}};
    for (const auto& [key, prefix] : stages) {
        const json done =
            cancelAt(demo.frameWgs84, {key}, prefix + "pobieranie kafli LiDAR").back();
        EXPECT_EQ(done.at("warning"), prefix + "przerwano przez uzytkownika.");
        EXPECT_EQ(done.at("counts"), json({{"budynki3d", 4}})) << "the footprints stay";
    }
    EXPECT_TRUE(fetched().roofsRekonStatus.empty());
}

// The corners of every face of the roofs, in order.
std::vector<std::vector<Pt3>> cornersOf(const std::vector<RoofModel>& roofs) {
    std::vector<std::vector<Pt3>> corners;
    for (const RoofModel& roof : roofs)
        roof.forEachFace(
            [&](std::span<const Pt3> face) { corners.emplace_back(face.begin(), face.end()); });
    return corners;
}

// The nodes of the terrain tiles, in order.
std::vector<Pt3> nodesOf(const std::vector<TerrainTile>& tiles) {
    std::vector<Pt3> nodes;
    for (const TerrainTile& tile : tiles) {
        for (const TerrainPoint& p : tile.pts)
            nodes.push_back({p.x, p.y, p.z});
    }
    return nodes;
}

// A status with its leading "N kafli" of tiles read in place of the one it has.
std::string withTiles(const std::string& status, std::size_t tiles) {
    const std::size_t at = status.find(" kafli");
    const std::size_t from = status.rfind(' ', at - 1) + 1;
    return status.substr(0, from) + std::to_string(tiles) + status.substr(at);
}

// One sheet between two good ones does not come, is no point cloud or is damaged: the terrain,
// flat-roof and reconstruction stages each name it in the same words, and build from the good
// sheets what they build from those two alone.
TEST_F(CloudRoofStages, OneBadSheetAmongGoodOnesIsNamedByEveryStageAndTheOthersAreKept) {
    const std::vector<ClPoint> points = fakes::lidarPointsOf(roofs);
    const auto half = points.begin() + static_cast<std::ptrdiff_t>(points.size() / 2);
    const fakes::LidarSheet west = sheet("W", {points.begin(), half});
    const fakes::LidarSheet east = sheet("E", {half, points.end()});
    const std::vector<std::string> keys{"terenchmura", "dachychmura", "budynkirekon"};
    const auto good = serveLidar({west, east});
    const json whole = fetchDone(keys);
    ASSERT_FALSE(whole.contains("warning")) << whole;
    const ImportController::FetchedData expected = fetched();

    // Ground 5 km away from the frame, its file cut short: no point of it is in the frame.
    std::vector<ClPoint> away = fakes::lidarPointsOf(roofs, 10);
    for (ClPoint& p : away)
        p.x += 5000;
    std::string cutShort = sheet("BAD", away).file;
    cutShort.resize(cutShort.size() - 100);
    const std::string leftOut = "pominieto 1 kafel nie do uzycia (LiDAR BAD).";
    struct Case {
        const char* name;
        fakes::LidarSheet bad;
        std::string said;
        std::size_t tiles;  // read
    };
    const Case cases[] = {
        {"404", {"BAD", "", "12", "PL-1992", 404}, leftOut, 2},
        {"503", {"BAD", "", "12", "PL-1992", 503}, leftOut, 2},
        {"web page", {"BAD", "<!DOCTYPE html><html><body>Limit pobran</body></html>"}, leftOut, 2},
        {"no point cloud", {"BAD", "LASF, ale nic wiecej"}, leftOut, 2},
        {"damaged",
         {"BAD", cutShort},
         "1 kafel uszkodzony - uzyto tylko punktow sprzed uszkodzenia (LiDAR BAD).",
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto lidar = serveLidar({west, c.bad, east});
        const json done = fetchDone(keys);
        EXPECT_EQ(done.value("warning", ""), "Teren z chmury: " + c.said + " Dachy z chmury: " +
                                                 c.said + " Rekonstrukcja LOD2: " + c.said);
        EXPECT_EQ(done.at("counts"), whole.at("counts"));
        const ImportController::FetchedData& data = fetched();
        EXPECT_EQ(nodesOf(data.cloudTerrain), nodesOf(expected.cloudTerrain));
        EXPECT_EQ(cornersOf(data.roofsCloud), cornersOf(expected.roofsCloud));
        EXPECT_EQ(cornersOf(data.roofsRekon), cornersOf(expected.roofsRekon));
        EXPECT_EQ(data.cloudTerrainStatus, withTiles(expected.cloudTerrainStatus, c.tiles));
        EXPECT_EQ(data.roofsCloudStatus, withTiles(expected.roofsCloudStatus, c.tiles));
        EXPECT_EQ(data.roofsRekonStatus, withTiles(expected.roofsRekonStatus, c.tiles));
    }
}

TEST_F(CloudRoofStages, NoFootprintsNoTileAndNoPointInTheFrameEachEndTheStagesWithAWord) {
    const auto gone = serveLidar({{"gone", "", "12", "PL-1992", 404}});
    EXPECT_EQ(fetchDone({"dachychmura", "budynkirekon"}).at("warning"),
              "Dachy z chmury: pominieto 1 kafel nie do uzycia (LiDAR gone). Dachy z chmury: brak "
              "danych LiDAR dla tego obszaru. Rekonstrukcja LOD2: pominieto 1 kafel nie do uzycia "
              "(LiDAR gone). Rekonstrukcja LOD2: brak danych LiDAR dla tego obszaru.");

    // Points 5 km away from the frame.
    std::vector<ClPoint> away = fakes::lidarPointsOf(roofs, 100);
    for (ClPoint& p : away)
        p.x += 5000;
    const auto far = serveLidar({sheet("away", away)});
    EXPECT_EQ(fetchDone({"budynkirekon"}).at("warning"),
              "Rekonstrukcja LOD2: chmura pusta w kadrze.");

    // A package of the county without buildings in the frame, in place of the cached one.
    const std::string cached =
        WfsClient::cacheFilePathFor(B3dCatalog::urlForResolvedTeryt("1465", 2024), "zip");
    std::filesystem::remove(cached);
    std::filesystem::remove(B3dArchive::indexPathFor(cached));
    fakes::serveLod1Package(hosts, "1465", 2024, {{"empty.gml", area(500), {}}});
    EXPECT_EQ(fetchDone({"dachychmura", "budynkirekon"}).at("warning"),
              "Dachy z chmury: brak obrysow budynkow (Building3D) dla tego kadru - nie ma na czym "
              "oprzec dachu. Rekonstrukcja LOD2: brak obrysow budynkow (Building3D) dla tego "
              "kadru.");
}

}  // namespace
