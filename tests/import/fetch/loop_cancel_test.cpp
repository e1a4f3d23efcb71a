// A cancel that comes while a stage works through its buildings, ways or sheets: the helper the
// loops share, and the stages through the map page over many large footprints and wide ways, so
// that each loop runs far longer than the cancel takes to arrive.

#include <atomic>
#include <chrono>
#include <cmath>

#include "fakes/BuildingPackages.h"
#include "fakes/Lidar.h"
#include "fakes/Overpass.h"
#include "fakes/TerrainModel.h"
#include "geodata/ProjConv.h"
#include "import/ImportController.h"
#include "import/ImportPage.h"
#include "import/fetch/FetchRun.h"
#include "support/fakes/Scenario.h"

namespace {

using importtest::json;
using namespace std::chrono_literals;

// The cancel is read before every item: the items before it are made and thrown away, none
// after it; without a cancel every item comes, in order, each after its progress.
TEST(ItemsUnlessCutShort, ACancelBeforeAnyItemLeavesNoneOfThem) {
    for (const std::size_t cancelBefore : {0u, 1u, 4u, 5u}) {
        std::atomic<bool> cancel{false};
        std::vector<int> progress;
        std::size_t made = 0;
        const auto items = fetchstages::itemsUnlessCutShort(
            5, cancel, [&](int done, int total) { progress.push_back(done * 10 + total); },
            [&](std::size_t i) {
                ++made;
                cancel = i + 1 == cancelBefore;
                return static_cast<int>(i) * 2;
            });
        SCOPED_TRACE(cancelBefore);
        if (cancelBefore == 5 || cancelBefore == 0) {
            ASSERT_TRUE(items.has_value()) << "a cancel that never came, or came after the last";
            EXPECT_EQ(*items, (std::vector<int>{0, 2, 4, 6, 8}));
            EXPECT_EQ(progress, (std::vector<int>{5, 15, 25, 35, 45}));
            continue;
        }
        EXPECT_FALSE(items.has_value());
        EXPECT_EQ(made, cancelBefore);
    }
    std::atomic<bool> cancelled{true};
    EXPECT_FALSE(fetchstages::itemsUnlessCutShort(
                     3, cancelled, [](int, int) {}, [](std::size_t) { return 1; })
                     .has_value());
}

class LoopCancel : public importtest::ImportPage {
protected:
    void SetUp() override {
        ImportPage::SetUp();
        fakes::serveBoundaries(hosts, {fakes::municipality(demo.teryt, demo.municipalityArea)});
    }

    Bbox box(double half) const { return {c.x - half, c.y - half, c.x + half, c.y + half}; }

    // Flat ground at 100 m in 1 m cells over the area, the same surface: nothing stands on it.
    fakes::GridSheet flat(const std::string& godlo) const {
        const Bbox area = box(kModelHalf);
        const int cells = static_cast<int>(2 * kModelHalf);
        return {godlo, {area.minx, area.miny}, 1.0, cells, cells, fakes::plane(100, 0, 0, c)};
    }

    // kItems footprints each over nearly the whole model, so that every roof samples the most.
    void serveFootprints() {
        const Bbox b = box(kModelHalf - 10);
        const Building3D block{
            "", {{b.minx, b.miny}, {b.maxx, b.miny}, {b.maxx, b.maxy}, {b.minx, b.maxy}}, 100, 9};
        std::vector<Building3D> blocks(kItems, block);
        for (std::size_t i = 0; i < blocks.size(); ++i)
            blocks[i].id = "b" + std::to_string(i);
        fakes::serveLod1Package(hosts, "1465", 2024, {{"lod1.gml", box(500), blocks}});
    }

    void serveModels() {
        fakes::serveSurfaceModel(hosts, {flat("S")});
        fakes::serveTerrainModel(hosts, {flat("T")});
    }

    // kItems bridges 59 m wide, each zigzagging over the whole model.
    void serveWays() {
        const double half = kModelHalf - 30;
        std::vector<GisPoint> zigzag;
        for (int k = 0; k <= 6; ++k)
            zigzag.push_back({c.x - half + k * half / 3, c.y + (k % 2 == 0 ? -half : half)});
        const fakes::Feature way = fakes::polyline(
            "", zigzag, {{"highway", "primary"}, {"bridge", "yes"}, {"width", "59"}});
        hosts.overpass.onRequest(fakes::Overpass::kPath,
                                 fakes::Overpass(std::vector<fakes::Feature>(kItems, way)));
    }

    // Roof points every metre over the model, 9 m above the ground.
    std::unique_ptr<fakes::LidarSheets> serveRoofPoints() {
        std::vector<ClPoint> points;
        const Bbox b = box(kModelHalf - 10);
        for (double x = b.minx; x < b.maxx; x += 1.0) {
            for (double y = b.miny; y < b.maxy; y += 1.0)
                points.push_back({x, y, 109.0, 0, 0, 0, 6});
        }
        auto lidar = std::make_unique<fakes::LidarSheets>(
            std::vector<fakes::LidarSheet>{{"N-34-1", fakes::classifiedLas(points)}});
        lidar->mount(hosts.geoportal);
        return lidar;
    }

    static const ImportController::FetchedData& fetched() {
        return ImportController::Instance().lastFetch();
    }

    static constexpr double kModelHalf = 200.0;
    static constexpr std::size_t kItems = 300;
    const fakes::Scenario demo = fakes::demoScenario();
    const GisPoint c = ProjConv::latLonToPl1992(52.2297, 21.0122);
};

// The cancel comes with the first progress of a stage's loop: the stage ends within a moment,
// with its sentence, and keeps none of what the loop made; what came before it stays.
TEST_F(LoopCancel, ACancelDuringALoopOverBuildingsOrWaysEndsItsStageAtOnce) {
    serveFootprints();
    serveModels();
    serveWays();
    const auto lidar = serveRoofPoints();
    struct Case {
        std::string key;
        std::string loop;    // the progress label of the loop
        std::string prefix;  // of the stage's sentence
        std::function<bool()> nothingKept;
    };
    const Case cases[] = {
        {"budynkindsm", "Budynki (nMPT): dopasowanie", "Budynki (nMPT): ",
         [] { return fetched().roofsNdsm.empty() && fetched().roofsNdsmStatus.empty(); }},
        {"mosty", "Mosty/drogi: korytarze", "Mosty/drogi: ",
         [] { return fetched().bridges.empty() && fetched().bridgesStatus.empty(); }},
        {"dachychmura", "Dachy z chmury: dopasowanie dachow", "Dachy z chmury: ",
         [] { return fetched().roofsCloud.empty() && fetched().roofsCloudStatus.empty(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const CancelledFetch cancelled = cancelWhen(demo.frameWgs84, {c.key}, [&](const json& m) {
            return m.value("label", "") == c.loop && m.value("cancellable", false);
        });
        const json& done = cancelled.messages.back();
        EXPECT_LT(cancelled.afterCancel, 3s);
        EXPECT_EQ(done.at("warning"), c.prefix + "przerwano przez uzytkownika.");
        EXPECT_TRUE(c.nothingKept());
        const bool footprints = c.key != "mosty";
        EXPECT_EQ(fetched().lod1.size(), footprints ? kItems : 0u) << "the footprints stay";
    }
}

}  // namespace
