// The raster, terrain and contour stages of "fetch" through the map page's bridge against the
// fake services: what each brings, the sentences and statuses of the cases a user meets, and
// cancel.

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <regex>

#include "fakes/Lidar.h"
#include "fakes/TerrainModel.h"
#include "fakes/Wms.h"
#include "geodata/ProjConv.h"
#include "import/ImportController.h"
#include "import/ImportPage.h"
#include "support/fakes/Scenario.h"

namespace {

using importtest::json;
using importtest::ofType;
using namespace std::chrono_literals;

using fakes::kOrthophotoPath;

const ImportController::FetchedData& lastFetch() {
    return ImportController::Instance().fetchedForTest();
}

class Stages : public importtest::ImportPage {
protected:
    // A "fetch" of the keys for the frame with the further request members, up to "fetchDone";
    // what the page received.
    std::vector<json> fetchWith(const std::array<double, 4>& frame,
                                const std::vector<std::string>& keys,
                                const json& members = json::object()) {
        json message = {{"type", "fetch"}, {"bboxWgs84", frame}, {"layers", keys}};
        message.update(members);
        return postUntil(message, "fetchDone");
    }

    // The terrain model's index lists sheets over the whole terrain of the scenario whose files
    // are the texts given (served on the open-data host).
    void serveTerrainFiles(const std::vector<std::pair<std::string, std::string>>& files) {
        std::vector<fakes::IndexedSheet> index;
        for (const auto& [godlo, text] : files) {
            const std::string path = fakes::terrainSheetPath(godlo);
            index.push_back({godlo, demo.terrain[0].area(), hosts.openData.url(path)});
            hosts.openData.on(path, loopback::ok(text));
        }
        hosts.geoportal.onRequest(fakes::kTerrainIndexPath,
                                  fakes::SheetIndexWfs(fakes::kTerrainIndexType, index));
    }

    // A grid over the scenario's terrain with every cell at height(x, y).
    std::string gridOf(const fakes::HeightField& height) const {
        fakes::GridSheet sheet = demo.terrain[0];
        sheet.height = height;
        return fakes::ascGrid(sheet);
    }

    const fakes::Scenario demo = fakes::demoScenario();
    const fakes::RasterPlace& dynow = demo.rasterPlaces.at(0);
    const fakes::RasterPlace& poznan = demo.rasterPlaces.at(1);
};

std::vector<json> progressOf(const std::vector<json>& messages, const std::string& label) {
    std::vector<json> found;
    for (const json& m : ofType(messages, "progress")) {
        if (m.value("label", "") == label)
            found.push_back(m);
    }
    return found;
}

TEST_F(Stages, OrthophotoInTheZoneAndCountyAndMunicipalMapsWhereTheyArePublished) {
    fakes::serveScenario(hosts, demo);
    const json ortho = fetchWith(demo.frameWgs84, {"rastr"}).back();
    EXPECT_EQ(ortho.at("counts"), json({{"rastry (rastr)", 1}}));
    EXPECT_FALSE(ortho.contains("warning"));
    const auto& orthoRaster = lastFetch().rasters.at(0);
    EXPECT_EQ(orthoRaster.epsg, 2178) << "Warsaw lies in zone 7";
    EXPECT_GT(orthoRaster.bbox.minx, 7e6) << "zone eastings carry the zone number";
    EXPECT_EQ(orthoRaster.image, fakes::jpegImage());
    const auto getMap = hosts.geoportal.requests(kOrthophotoPath).at(0).query;
    EXPECT_EQ(fakes::param(getMap, "layers"), "Raster");
    EXPECT_EQ(fakes::param(getMap, "srs"), "EPSG:2178");
    const std::regex orthoLine(
        R"(TERRAWEFT: rastr rastry: kadr 4\d\dx4\d\d m, gestosc 0\.25 m/px \(1:892\), platki 1x1)");
    EXPECT_TRUE(std::regex_match(host::reportLines().at(0), orthoLine)) << host::reportLines()[0];

    // Dynow: the commune's plan drawing and the county's utility map, both in zone 7 too.
    const json local = fetchWith(dynow.frameWgs84, {"mpzp", "gesut"}).back();
    EXPECT_EQ(local.at("counts"), json({{"mpzp (rastr)", 1}, {"gesut (rastr)", 1}}));
    EXPECT_EQ(local.at("warning"),
              "MPZP: pobrano rysunek planu (rastr) z uslugi gminnej dla 181601. GESUT jako rastr "
              "(WMS powiatowy) - brak WFS lub brak przewodow w WFS.");
    const auto plan = hosts.county.requests(fakes::localWmsPath(DataType::Mpzp, dynow.teryt));
    ASSERT_EQ(plan.size(), 2u) << "capabilities, one tile";
    EXPECT_EQ(fakes::param(plan[1].query, "layers"), "rysunek_planu");
    EXPECT_EQ(fakes::param(plan[1].query, "srs"), "EPSG:2178");
    const auto utilities = hosts.county.requests(fakes::localWmsPath(DataType::Gesut, dynow.teryt));
    EXPECT_EQ(fakes::param(utilities.back().query, "layers"),
              "przewody_wodociagowe,przewody_gazowe")
        << "the utility layers, no zone";

    // Poznan at 1:500: a county service that lists only PL-1992 and refuses images over 1200
    // pixels gets the tile again at half the width.
    hosts.county.onRequest(fakes::localWmsPath(DataType::Bdot500, poznan.teryt),
                           fakes::MapWms({"budowle", "strefa"}, {.largestSize = 1200}));
    const json maps = fetchWith(poznan.frameWgs84, {"bdot500"}, {{"rasterScale", 500}}).back();
    EXPECT_EQ(maps.at("counts"), json({{"bdot500 (rastr)", 1}}));
    EXPECT_FALSE(maps.contains("warning"));
    const auto tiles = hosts.county.requests(fakes::localWmsPath(DataType::Bdot500, poznan.teryt));
    ASSERT_EQ(tiles.size(), 3u);
    const int first = std::stoi(fakes::param(tiles[1].query, "width"));
    EXPECT_GT(first, 2000) << "300 m at 0.14 m a pixel";
    EXPECT_EQ(std::stoi(fakes::param(tiles[2].query, "width")), first / 2);
    EXPECT_EQ(fakes::param(tiles[2].query, "srs"), "EPSG:2180");
    EXPECT_EQ(fakes::param(tiles[2].query, "layers"), "budowle");
    EXPECT_EQ(lastFetch().rasters.at(0).epsg, 2180);
}

TEST_F(Stages, RasterSourcesThatAreMissingOrSilentSaySo) {
    fakes::serveScenario(hosts, demo);
    const json warsaw = fetchWith(demo.frameWgs84, {"mpzp", "gesut", "bdot500"}).back();
    EXPECT_EQ(warsaw.at("warning"),
              "Brak MPZP dla gminy 146501: brak uslugi WMS w EZiU. GESUT: powiat nie publikuje "
              "uslugi w EZiU. BDOT500: powiat nie publikuje uslugi w EZiU.");

    hosts.county.onRequest(fakes::localWmsPath(DataType::Gesut, poznan.teryt),
                           [](const loopback::Request&) { return loopback::status(503); });
    hosts.county.onRequest(fakes::localWmsPath(DataType::Bdot500, poznan.teryt),
                           fakes::MapWms({"budowle"}, {.image = "<html>Mapa</html>"}));
    const json silent = fetchWith(poznan.frameWgs84, {"gesut", "bdot500"}).back();
    EXPECT_EQ(silent.at("warning"),
              "GESUT: usluga WMS GESUT powiatu nie odpowiada - nie pobrano mapy uzbrojenia. "
              "Powod: Serwer zwrocil status 503. BDOT500: usluga WMS BDOT500 powiatu nie "
              "odpowiada - nie pobrano mapy. Powod: Serwer zwrocil strone WWW zamiast danych.");
    EXPECT_EQ(silent.at("counts"), json::object());

    // A frame 4.2 km wide needs 5 orthophoto tiles along it: 4 are asked, coarser.
    const double lat = 52.2297, dLat = 100.0 / 111200.0, dLon = 2100.0 / 111200.0 / 0.612;
    const json wide =
        fetchWith({21.0122 - dLon, lat - dLat, 21.0122 + dLon, lat + dLat}, {"rastr"}).back();
    EXPECT_EQ(wide.at("counts"), json({{"rastry (rastr)", 4}}));
    EXPECT_TRUE(std::regex_match(
        wide.at("warning").get<std::string>(),
        std::regex(
            R"(Kadr bardzo szeroki - rastry rastry ograniczone do 4 platek \(ok\. 1:9\d\d\)\.)")))
        << wide.at("warning");

    hosts.geoportal.onRequest(kOrthophotoPath,
                              [](const loopback::Request&) { return loopback::status(404); });
    EXPECT_EQ(fetchWith(demo.frameWgs84, {"rastr"}).back().at("warning"),
              "Ortofotomapa: usluga WMS ortofotomapy (geoportal) nie odpowiada - rastr pominiety. "
              "Powod: Serwer zwrocil status 404.");
}

// A map service whose GetMap of the first tile asked answers 503, at every size and retry.
loopback::Responder firstTileDown(fakes::MapWms wms) {
    struct FirstTile {
        std::mutex mutex;
        std::string box;
    };
    auto first = std::make_shared<FirstTile>();
    return [wms = std::move(wms), first](const loopback::Request& r) {
        if (fakes::param(r.query, "request") == "GetMap") {
            const std::lock_guard lock(first->mutex);
            const std::string box = fakes::param(r.query, "bbox");
            if (first->box.empty())
                first->box = box;
            if (box == first->box)
                return loopback::status(503);
        }
        return wms(r);
    };
}

// A frame 100 m wide and 1.5 km high around a place: two tiles, one above the other, of every
// raster kind, each narrow enough to be asked at one size only.
std::array<double, 4> tallFrameAround(double lat, double lon) {
    const double dLat = 750.0 / 111200.0;
    const double dLon = 50.0 / 111200.0 / std::cos(lat * M_PI / 180.0);
    return {lon - dLon, lat - dLat, lon + dLon, lat + dLat};
}

// One of the two tiles of a frame never comes: the stage keeps the other and says how many of
// how many are missing, for each of the four raster kinds.
TEST_F(Stages, ATileThatNeverComesIsToldAndTheOthersAreKept) {
    fakes::serveScenario(hosts, demo);
    const auto middle = [](const fakes::RasterPlace& place) {
        return std::pair((place.frameWgs84[1] + place.frameWgs84[3]) / 2,
                         (place.frameWgs84[0] + place.frameWgs84[2]) / 2);
    };
    struct Row {
        std::string key;
        std::string countKey;
        std::pair<double, double> latLon;
        std::string prefix;
        loopback::LoopbackServer& server;
        std::string path;
        std::string layer;
    };
    const std::vector<Row> rows = {
        {"rastr",
         "rastry (rastr)",
         {demo.centre.y, demo.centre.x},
         "Ortofotomapa: ",
         hosts.geoportal,
         kOrthophotoPath,
         "Raster"},
        {"mpzp", "mpzp (rastr)", middle(dynow), "MPZP: ", hosts.county,
         fakes::localWmsPath(DataType::Mpzp, dynow.teryt), "plan"},
        {"gesut", "gesut (rastr)", middle(dynow), "GESUT: ", hosts.county,
         fakes::localWmsPath(DataType::Gesut, dynow.teryt), "siec"},
        {"bdot500", "bdot500 (rastr)", middle(poznan), "BDOT500: ", hosts.county,
         fakes::localWmsPath(DataType::Bdot500, poznan.teryt), "mapa"},
    };
    for (const Row& row : rows) {
        const int zone = ProjConv::zoneForLon(row.latLon.second);
        row.server.onRequest(row.path,
                             firstTileDown(fakes::MapWms({row.layer}, {.systems = {2180, zone}})));
        const json done =
            fetchWith(tallFrameAround(row.latLon.first, row.latLon.second), {row.key}).back();
        EXPECT_EQ(done.at("counts"), json({{row.countKey, 1}})) << row.key;
        const std::string sentence =
            row.prefix + "nie pobrano 1 z 2 platkow rastra - w tych miejscach mapa ma luki.";
        EXPECT_NE(done.value("warning", "").find(sentence), std::string::npos)
            << row.key << ": " << done.value("warning", "");
    }
}

TEST_F(Stages, EveryLidarSheetOfTheFrameIsReadAndAnIndexReadInPartSaysSo) {
    // More sheets than one answer of the index lists: a ground point of each inside the frame.
    const GisPoint c = ProjConv::latLonToPl1992(demo.centre.y, demo.centre.x);
    const auto sheetsOf = [&c](int count) {
        std::vector<fakes::LidarSheet> sheets;
        for (int i = 0; i < count; ++i) {
            const ClPoint ground{c.x - 100 + 5.0 * i, c.y, 100.0, 0, 0, 0, 2};
            sheets.push_back({"L-" + std::to_string(i), fakes::classifiedLas({ground})});
        }
        return sheets;
    };
    const auto read = [](const fakes::LidarSheets& lidar, int count) {
        int fetched = 0;
        for (int i = 0; i < count; ++i)
            fetched += static_cast<int>(lidar.fileRequests(static_cast<std::size_t>(i)));
        return fetched;
    };
    fakes::serveScenario(hosts, demo);
    const fakes::LidarSheets all(sheetsOf(21));
    all.mount(hosts.geoportal);
    EXPECT_FALSE(fetchWith(demo.frameWgs84, {"terenchmura"}).back().contains("warning"));
    EXPECT_EQ(read(all, 21), 21) << "every sheet once";
    EXPECT_TRUE(lastFetch().cloudTerrainStatus.starts_with("Teren z chmury: 21 kafli, 21 pkt"))
        << lastFetch().cloudTerrainStatus;

    // The index's second page fails: the first page's sheets are used, and the user is told.
    const fakes::LidarSheets some(sheetsOf(25));
    some.mount(hosts.geoportal);
    hosts.geoportal.on(fakes::kLidarIndexPath, "STARTINDEX=20", loopback::status(503));
    EXPECT_EQ(fetchWith(demo.frameWgs84, {"terenchmura"}).back().at("warning"),
              "Teren z chmury: skorowidz LiDAR nie podal wszystkich arkuszy kadru (odczytano 20) - "
              "kadr moze byc pokryty tylko czesciowo.");
    EXPECT_EQ(read(some, 25), 20);
    EXPECT_TRUE(lastFetch().cloudTerrainStatus.starts_with("Teren z chmury: 20 kafli, 20 pkt"))
        << lastFetch().cloudTerrainStatus;
}

TEST_F(Stages, TerrainWaterAndContoursFromOneReadingOfThePointCloud) {
    fakes::serveScenario(hosts, demo);
    const fakes::LidarSheets lidar(demo.classifiedLidar);
    lidar.mount(hosts.geoportal);
    const auto messages =
        fetchWith(demo.frameWgs84, {"teren", "terenchmura", "wodachmura", "poziomicechmura"});
    const json& done = messages.back();
    EXPECT_FALSE(done.contains("warning")) << done;
    for (const char* key : {"teren (Siatka)", "teren z chmury (Siatka)", "woda z chmury (Siatka)",
                            "poziomice z chmury (warstwice)"})
        EXPECT_GT(done.at("counts").value(key, 0), 0) << key;
    EXPECT_EQ(hosts.openData.count(), 1u) << "one terrain sheet";
    EXPECT_EQ(lidar.fileRequests(0), 1u) << "one LiDAR sheet for terrain, water and contours";
    EXPECT_EQ(progressOf(messages, "Pobieranie NMT").at(0), json({{"type", "progress"},
                                                                  {"done", 0},
                                                                  {"total", 1},
                                                                  {"label", "Pobieranie NMT"},
                                                                  {"cancellable", true}}));
    for (const char* label : {"Teren z chmury: LiDAR", "Poziomice z chmury"})
        EXPECT_EQ(progressOf(messages, label).at(0).value("cancellable", false), true) << label;

    const ImportController::FetchedData& data = lastFetch();
    EXPECT_TRUE(std::regex_match(
        data.cloudTerrainStatus,
        std::regex(R"(Teren z chmury: 1 kafli, \d+ pkt gruntu \(klasa 2\), krok 1 m, komorek )"
                   R"(\d+, woda\(kl\.9\) komorek \d+)")))
        << data.cloudTerrainStatus;
    EXPECT_TRUE(std::regex_match(data.waterStatus,
                                 std::regex(R"(Woda z chmury: \d+ komorek, poziom lustra 97\.20 m )"
                                            R"(n\.p\.m\.)")))
        << data.waterStatus;
    EXPECT_TRUE(std::regex_match(data.cloudContoursStatus,
                                 std::regex(R"(Poziomice z chmury: \d+ warstwic, ciecie 1,00 m)")))
        << data.cloudContoursStatus;
    EXPECT_TRUE(data.terrainStatus.empty());
    for (const TerrainTile& tile : data.cloudTerrain) {
        for (const TerrainPoint& p : tile.pts)
            ASSERT_LT(p.z, 104.0) << "roof points never reach the ground";
    }

    // Water alone: the sheet is read (from the cache) and the grid built, no terrain, no status.
    const json water = fetchWith(demo.frameWgs84, {"wodachmura"}).back();
    EXPECT_EQ(water.at("counts"), json({{"woda z chmury (Siatka)", 1}}));
    EXPECT_TRUE(lastFetch().cloudTerrainStatus.empty());
    EXPECT_EQ(lidar.fileRequests(0), 1u);
}

TEST_F(Stages, TerrainSentencesWhenSheetsFailOrHoldNothingOfTheFrame) {
    fakes::serveScenario(hosts, demo);
    // The index places both sheets over the frame; one is no grid, the other's grid lies away.
    serveTerrainFiles(
        {{"broken", "ncols 2\n"},
         {"away", fakes::ascGrid({"away", {0, 0}, 10, 10, 10, fakes::plane(5, 0, 0, {})})}});
    // A roof and water, but no ground point.
    const GisPoint centre = ProjConv::latLonToPl1992(demo.centre.y, demo.centre.x);
    const fakes::LidarSheets lidar(
        {{"roofs", fakes::classifiedLas({{centre.x, centre.y, 110, 0, 0, 0, 6},
                                         {centre.x, centre.y, 99, 0, 0, 0, 9},
                                         {centre.x, centre.y, 99, 0, 0, 0, 9}})}});
    lidar.mount(hosts.geoportal);
    const json none = fetchWith(demo.frameWgs84, {"teren", "terenchmura", "wodachmura"}).back();
    EXPECT_EQ(none.at("warning"),
              "Teren: pominieto 1 kafel nie do uzycia (NMT broken). Teren: brak waznych punktow "
              "NMT w kadrze. Teren z chmury: brak punktow gruntu (klasa 2) w kadrze.");
    EXPECT_EQ(none.at("counts"), json::object());

    serveTerrainFiles({{"broken2", "ncols 2\n"}});
    EXPECT_EQ(fetchWith(demo.frameWgs84, {"teren"}).back().at("warning"),
              "Teren: nie udalo sie pobrac/sparsowac zadnego pliku NMT.");
}

TEST_F(Stages, ContoursFromTheTerrainModelOnceWithTheIntervalRules) {
    fakes::serveScenario(hosts, demo);
    const auto messages = fetchWith(demo.frameWgs84, {"poziomice2d", "poziomice3d"},
                                    {{"poziomiceCiecie", 0.5}, {"poziomiceWygladz", true}});
    EXPECT_FALSE(messages.back().contains("warning")) << messages.back();
    EXPECT_EQ(hosts.openData.count(), 1u) << "traced once for both keys";
    const std::size_t lines = lastFetch().contours.size();
    EXPECT_GT(lines, 6u);
    EXPECT_EQ(messages.back().at("counts").at("poziomice (warstwice)"), lines);
    EXPECT_EQ(lastFetch().contoursStatus,
              "Poziomice: " + std::to_string(lines) + " warstwic, ciecie 0,50 m, wygladzone");
    const auto levels = progressOf(messages, "Poziomice: liczenie warstwic");
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(levels[0].at("done"), 0);
    EXPECT_EQ(levels[0].at("cancellable"), true);
    EXPECT_EQ(progressOf(messages, "Poziomice: NMT").size(), 1u);

    const auto asked = hosts.geoportal.count();
    EXPECT_EQ(
        fetchWith(demo.frameWgs84, {"poziomice2d"}, {{"poziomiceCiecie", 0.3}})
            .back()
            .at("warning"),
        "Poziomice: ciecie 0,30 m nie jest dozwolona wartoscia (dozwolone: 0,25 / 0,5 / 1,0 / "
        "2,0 m) - poziomice pominiete.");
    EXPECT_EQ(hosts.geoportal.count(), asked) << "no sheet is looked for";

    const json coarse =
        fetchWith(demo.frameWgs84, {"poziomice3d"}, {{"poziomiceCiecie", 0.5}, {"terrainStep", 5}})
            .back();
    EXPECT_EQ(coarse.at("warning"),
              "Poziomice: ciecie 0,50 m jest drobne wzgledem kroku probkowania 5,00 m - warstwice "
              "beda kanciaste. Zmniejsz krok terenu.");
}

// A frame 6 km wide at a step of 1 m would need 6000 nodes along it: the step grows to about
// 2 m, and a fine interval is then blamed on the frame, not on the terrain step.
TEST_F(Stages, AFrameTooWideForTheStepCoarsensItAndTheFinenessSentenceSaysWhy) {
    fakes::serveScenario(hosts, demo);
    const GisPoint centre = ProjConv::latLonToPl1992(demo.centre.y, demo.centre.x);
    std::array<double, 4> frame{};  // west, south, east, north
    ProjConv::pl1992ToLatLon(centre.x - 3000, centre.y - 50, frame[1], frame[0]);
    ProjConv::pl1992ToLatLon(centre.x + 3000, centre.y + 50, frame[3], frame[2]);
    const json done =
        fetchWith(frame, {"poziomice2d"}, {{"poziomiceCiecie", 0.25}, {"terrainStep", 1}}).back();
    EXPECT_EQ(done.at("warning"),
              "Poziomice: kadr za duzy dla kroku 1,00 m - siatka NMT ograniczona do 3000 wezlow na "
              "os. Uzyto kroku 2,00 m, aby zmiescic caly obszar. Poziomice: ciecie 0,25 m jest "
              "drobne wzgledem kroku probkowania 2,00 m - warstwice beda kanciaste. Krok zostal "
              "zgrubiony przez limit gestosci dla tego kadru - zmniejsz kadr albo wybierz wieksze "
              "ciecie.");
    EXPECT_FALSE(lastFetch().contours.empty());
}

TEST_F(Stages, FlatOrEmptyTerrainGivesNoLinesAndSaysWhy) {
    fakes::serveScenario(hosts, demo);
    serveTerrainFiles({{"flat", gridOf(fakes::plane(120.4, 0, 0, {}))}});
    const json flat = fetchWith(demo.frameWgs84, {"poziomice2d"}).back();
    EXPECT_EQ(flat.at("warning"),
              "Poziomice: brak deniwelacji wiekszej niz ciecie 1,00 m w tym kadrze - teren zbyt "
              "plaski dla wybranego ciecia.");
    EXPECT_EQ(lastFetch().contoursStatus, "Poziomice: 0 warstwic, ciecie 1,00 m");

    serveTerrainFiles(
        {{"nodata", gridOf([](double, double) { return std::nan(""); })}, {"missing", ""}});
    hosts.openData.on(fakes::terrainSheetPath("missing"), loopback::status(404));
    EXPECT_EQ(fetchWith(demo.frameWgs84, {"poziomice2d"}).back().at("warning"),
              "Poziomice: pominieto 1 kafel nie do uzycia (NMT missing). Poziomice: caly "
              "probkowany obszar to NODATA (brak danych NMT dla tego kadru).");

    serveTerrainFiles({{"missing2", ""}});
    hosts.openData.on(fakes::terrainSheetPath("missing2"), loopback::status(404));
    EXPECT_EQ(fetchWith(demo.frameWgs84, {"poziomice2d"}).back().at("warning"),
              "Poziomice: nie udalo sie pobrac zadnego pliku NMT.");
}

TEST_F(Stages, ACancelStopsTheTracingTheCloudReadingAndEveryLaterStage) {
    fakes::serveScenario(hosts, demo);
    // Slow sheets: the cancel arrives while they come.
    loopback::Answer slowGrid = loopback::ok(fakes::ascGrid(demo.terrain[0]));
    slowGrid.delay = 800ms;
    hosts.openData.on(fakes::terrainSheetPath(demo.terrain[0].godlo), slowGrid);
    const auto traced = cancelAt(demo.frameWgs84, {"poziomice2d"}, "Poziomice: NMT");
    EXPECT_EQ(traced.back().at("warning"), "Poziomice: przerwano przez uzytkownika.");
    EXPECT_TRUE(lastFetch().contoursStatus.empty());
    EXPECT_TRUE(lastFetch().contours.empty());

    // Terrain of two slow sheets: the cancel during the first leaves the second unasked.
    const std::string grid = gridOf([](double, double) { return 200.0; });
    serveTerrainFiles({{"first", grid}, {"second", grid}});
    loopback::Answer slowSheet = loopback::ok(grid);
    slowSheet.delay = 800ms;
    hosts.openData.on(fakes::terrainSheetPath("first"), slowSheet);
    const auto sheets = cancelAt(demo.frameWgs84, {"teren"}, "Pobieranie NMT");
    EXPECT_EQ(sheets.back().at("warning"), "Teren: przerwano przez uzytkownika.");
    EXPECT_EQ(hosts.openData.count(fakes::terrainSheetPath("second")), 0u);
    EXPECT_TRUE(lastFetch().terrain.empty());

    const fakes::LidarSheets slowCloud(demo.classifiedLidar,
                                       {.chunkSize = 256 * 1024, .chunkDelay = 300ms});
    slowCloud.mount(hosts.geoportal);
    const auto stopped =
        cancelAt(demo.frameWgs84, {"rastr", "terenchmura", "budynki3d", "poziomice2d"},
                 "Teren z chmury: LiDAR");
    const json& done = stopped.back();
    EXPECT_EQ(done.at("warning"),
              "Teren z chmury: przerwano przez uzytkownika. Pobieranie przerwane przez "
              "uzytkownika - pozostale dane nie zostaly pobrane.");
    EXPECT_EQ(done.at("counts"), json({{"rastry (rastr)", 1}})) << "what came before stays";
    EXPECT_TRUE(progressOf(stopped, "Poziomice: NMT").empty());
}

}  // namespace
