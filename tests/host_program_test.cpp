// terraweft-host in scripted mode, end to end: commands in, one JSON line per event out.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>

#include "geodata/ProjConv.h"
#include "loopback/TempDir.h"
#include "support/HostProgram.h"
#include "support/PalettePage.h"
#include "support/fakes/BuildingScene.h"
#include "support/fakes/Scenario.h"

namespace {

using json = nlohmann::json;

using HostRun = hostprogram::Run;

// Runs terraweft-host on the script lines with its own folders and the further environment
// assignments ("NAME=value"). Runs may go side by side.
HostRun runHost(const std::vector<std::string>& script,
                const std::vector<std::string>& assignments = {}) {
    const loopback::TempDir dir;
    return hostprogram::runScript(TW_HOST_PROGRAM, script, dir.path(), assignments);
}

// The message a page received, out of a {"palette":..., "js":"GISBridge.receive(...);"} event.
json pageMessage(const json& event) {
    return pagekit::messageOf(event.at("js"));
}

std::string post(const std::string& text) {
    return json{{"cmd", "post"}, {"palette", "map"}, {"text", text}}.dump();
}

TEST(HostProgram, ThePaletteAnswersPingAndUnknownTypes) {
    const HostRun run =
        runHost({R"({"cmd":"menu","menu":32500,"item":1})", post(R"({"type":"ping"})"),
                 post(R"({"type":"nic"})"), R"({"cmd":"palette","palette":"map","message":7})",
                 R"({"cmd":"pump","ms":10})"});
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.events.size(), 3u);
    EXPECT_EQ(run.events[0].at("palette"), "map");
    const json pong = pageMessage(run.events[0]);
    EXPECT_EQ(pong.at("type"), "pong");
    EXPECT_EQ(pong.at("wersja"), "1.8.0");
    EXPECT_EQ(pageMessage(run.events[1]),
              json({{"msg", "Brak obslugi wiadomosci: nic"}, {"type", "error"}}));
    EXPECT_EQ(run.events[2], json({{"palette", "map"}, {"visible", true}}));
}

TEST(HostProgram, PaletteMessagesProjectEventsAndTheProjectDump) {
    const HostRun run = runHost({R"({"cmd":"palette","palette":"map","message":6})",
                                 R"({"cmd":"palette","palette":"map","message":1})",
                                 R"({"cmd":"palette","palette":"map","message":7})",
                                 R"({"cmd":"projectEvent","event":64})", post(R"({"type":"ping"})"),
                                 R"({"cmd":"dump"})"});
    ASSERT_EQ(run.events.size(), 3u);
    EXPECT_EQ(run.events[0], json({{"palette", "map"}, {"visible", false}}));
    EXPECT_EQ(run.events[1], json({{"error", "Paleta nie jest otwarta: map"}}));  // released by 64
    const json& project = run.events[2].at("project");
    EXPECT_EQ(project.at("layers"),
              json::parse(R"([{"index":1,"name":"Warstwa podstawowa","flags":0}])"));
    EXPECT_EQ(project.at("elements"), json::array());
    EXPECT_EQ(project.at("geoLocation").at("crs").at("name"), "");
}

TEST(HostProgram, BadCommandsAreReportedAndTheRestStillRuns) {
    const HostRun run = runHost({"nie json", "", R"({"cmd":"zly"})",
                                 R"({"cmd":"post","palette":"chmura","text":"{}"})",
                                 R"({"cmd":"menu","menu":32500,"item":1})", post("")});
    ASSERT_EQ(run.events.size(), 4u);
    EXPECT_EQ(run.events[0], json({{"error", "Nieprawidlowe polecenie (JSON): nie json"}}));
    EXPECT_EQ(run.events[1], json({{"error", "Nieznane polecenie: zly"}}));
    EXPECT_EQ(run.events[2], json({{"error", "Nieznana paleta: chmura"}}));
    EXPECT_EQ(pageMessage(run.events[3]).at("msg"), "Nieprawidlowa wiadomosc z UI (JSON)");
}

}  // namespace

namespace {

std::string addSquare() {
    return R"({"cmd":"addPolyline","points":[[0,0],[2,0],[2,2],[0,2],[0,0]]})";
}
std::string addLabel() {
    return R"({"cmd":"addText","loc":[1,1],"text":"A"})";
}

TEST(HostProgram, MenuItemThreeRemovesDuplicatesInOneUndoStep) {
    const HostRun run = runHost({addSquare(), addSquare(), addSquare(), addLabel(), addLabel(),
                                 R"({"cmd":"menu","menu":32500,"item":3})", R"({"cmd":"dump"})",
                                 R"({"cmd":"undo"})", R"({"cmd":"dump"})"});
    ASSERT_EQ(run.events.size(), 4u);
    EXPECT_EQ(run.events[0].at("alert").at("buttons"), json({"Uruchom", "Anuluj"}));
    EXPECT_EQ(run.events[0].at("alert").at("answer"), 1);
    EXPECT_EQ(run.events[1].at("alert").at("text"),
              "Usunieto duplikaty:\n- polilinie: 2\n- teksty: 1");
    const json& after = run.events[2].at("project");
    ASSERT_EQ(after.at("elements").size(), 2u);
    EXPECT_EQ(after.at("elements")[0].at("type"), 20);
    EXPECT_EQ(after.at("elements")[1].at("text"), "A");
    EXPECT_EQ(after.at("undoDepth"), 1);
    EXPECT_EQ(run.events[3].at("project").at("elements").size(), 5u) << "one undo restores all";
}

TEST(HostProgram, SelectionAlertAnswersAndUndoAreScripted) {
    const HostRun run =
        runHost({addSquare(), addSquare(), addSquare(), R"({"cmd":"select","elements":[1,2]})",
                 R"({"cmd":"answers","buttons":[2,1]})", R"({"cmd":"menu","menu":32500,"item":3})",
                 R"({"cmd":"menu","menu":32500,"item":3})", R"({"cmd":"dump"})",
                 R"({"cmd":"select","elements":[7]})", R"({"cmd":"undo"})", R"({"cmd":"undo"})"});
    ASSERT_EQ(run.events.size(), 6u);
    EXPECT_EQ(run.events[0].at("alert").at("answer"), 2) << "Anuluj: nothing further";
    EXPECT_EQ(run.events[1].at("alert").at("answer"), 1);
    EXPECT_EQ(run.events[2].at("alert").at("text"),
              "Usunieto duplikaty:\n- polilinie: 1\n- teksty: 0");
    const json& project = run.events[3].at("project");
    EXPECT_EQ(project.at("elements").size(), 2u) << "only the selection was cleaned";
    EXPECT_EQ(project.at("selection"), json::array({1}));
    EXPECT_EQ(run.events[4], json({{"error", "Nie ma elementu 7"}}));
    EXPECT_EQ(run.events[5], json({{"error", "Nie ma czego cofnac"}}));
}

}  // namespace

namespace {

// The messages the map page received, in order.
std::vector<json> pageMessages(const HostRun& run) {
    std::vector<json> messages;
    for (const json& event : run.events) {
        if (event.contains("js"))
            messages.push_back(pageMessage(event));
    }
    return messages;
}

std::vector<std::string> reports(const HostRun& run) {
    std::vector<std::string> lines;
    for (const json& event : run.events) {
        if (event.contains("report"))
            lines.push_back(event.at("report"));
    }
    return lines;
}

// Three runs side by side against the fakes of the built-in scenario: a whole fetch, the same
// with a county that lists no buildings, and a fetch cancelled while it runs.
TEST(HostProgram, FetchAgainstTheFakeServicesFallbackAndCancel) {
    const fakes::Scenario demo = fakes::demoScenario();
    fakes::Hosts full, withoutBuildings;
    fakes::serveScenario(full, demo);
    fakes::serveScenario(withoutBuildings, demo, {.countyBuildings = false});
    const std::string open = R"({"cmd":"menu","menu":32500,"item":1})";
    const std::string fetch = post(
        json{{"type", "fetch"}, {"bboxWgs84", demo.frameWgs84}, {"layers", {"dzialki", "budynki"}}}
            .dump());
    const std::string wait = R"({"cmd":"pump","ms":30000,"until":"fetchDone"})";
    auto whole = std::async(std::launch::async, runHost,
                            std::vector<std::string>{open, fetch, wait}, full.environment());
    auto fallback =
        std::async(std::launch::async, runHost, std::vector<std::string>{open, fetch, wait},
                   withoutBuildings.environment());
    auto cancelled =
        std::async(std::launch::async, runHost,
                   std::vector<std::string>{open, fetch, post(R"({"type":"cancel"})"), wait},
                   full.environment());

    const HostRun run = whole.get();
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<json> messages = pageMessages(run);
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ(
        messages.front(),
        json({{"type", "progress"}, {"done", 0}, {"total", 1}, {"label", "Pobieranie warstw"}}));
    EXPECT_EQ(messages[1].at("label"), "Import: dzialki");
    const json& done = messages.back();
    EXPECT_EQ(done.at("type"), "fetchDone");
    EXPECT_EQ(done.at("counts"), json({{"dzialki", 36}, {"budynki", 36}}));
    EXPECT_EQ(json::parse(done.at("geojson").get<std::string>()).at("features").size(), 72u);
    EXPECT_FALSE(done.contains("warning"));
    ASSERT_EQ(reports(run).size(), 1u);
    EXPECT_TRUE(reports(run)[0].starts_with("TERRAWEFT EGiB [TERYT 146501] ")) << reports(run)[0];

    const HostRun fell = fallback.get();
    const json fellDone = pageMessages(fell).back();
    EXPECT_EQ(fellDone.at("counts"), json({{"dzialki", 36}, {"budynki", 3}}));
    const std::string warning =
        "Powiatowa usluga zwraca dzialki, ale nie filtruje budynkow po obszarze (blad "
        "konfiguracji serwera powiatu - np. Zabrze). Budynki z BDOT10k NoweBudynki (fallback - "
        "tylko nowe obiekty).";
    EXPECT_EQ(fellDone.at("warning"), warning);
    EXPECT_EQ(reports(fell).back(), "TERRAWEFT: " + warning);

    const std::vector<json> stopped = pageMessages(cancelled.get());
    ASSERT_GE(stopped.size(), 3u);
    EXPECT_EQ(stopped[0].at("type"), "progress");
    EXPECT_EQ(stopped[1], json({{"type", "cancelled"}})) << "answered while the fetch runs";
    EXPECT_EQ(stopped.back().at("type"), "fetchDone") << "a cancelled fetch still completes";
}

// The whole road against the fakes: the origin at the map's centre, a fetch, the placement
// that the dump shows, the undo that takes it away, and the origin's height from the terrain.
TEST(HostProgram, OriginFetchPlaceAndUndoAgainstTheFakeServices) {
    const fakes::Scenario demo = fakes::demoScenario();
    fakes::Hosts hosts;
    fakes::serveScenario(hosts, demo);
    const auto [lon, lat] = demo.centre;
    const HostRun run = runHost(
        {R"({"cmd":"menu","menu":32500,"item":1})",
         post(json{{"type", "setOrigin"}, {"lat", lat}, {"lon", lon}}.dump()),
         post(json{
             {"type", "fetch"}, {"bboxWgs84", demo.frameWgs84}, {"layers", {"dzialki", "budynki"}}}
                  .dump()),
         R"({"cmd":"pump","ms":30000,"until":"fetchDone"})", post(R"({"type":"place"})"),
         R"({"cmd":"dump"})", R"({"cmd":"undo"})", R"({"cmd":"dump"})"},
        hosts.environment());
    EXPECT_EQ(run.exitCode, 0);
    std::vector<json> dumps;
    for (const json& event : run.events) {
        if (event.contains("project"))
            dumps.push_back(event.at("project"));
    }
    ASSERT_EQ(dumps.size(), 2u);
    EXPECT_EQ(pageMessages(run).back(),
              json({{"type", "placeDone"}, {"counts", {{"budynki", 36}, {"dzialki", 36}}}}));

    std::map<int, int> types;
    for (const json& element : dumps[0].at("elements"))
        ++types[element.at("type").get<int>()];
    EXPECT_EQ(types,
              (std::map<int, int>{{API_HatchID, 36}, {API_TextID, 36}, {API_PolyLineID, 36}}));
    EXPECT_EQ(dumps[0].at("layers").size(), 3u) << "GIS_DZIALKI and GIS_BUDYNKI";
    EXPECT_EQ(dumps[0].at("undoDepth"), 1);
    EXPECT_EQ(dumps[1].at("elements"), json::array());
    EXPECT_EQ(dumps[1].at("layers").size(), 1u);
    EXPECT_EQ(dumps[1].at("undoDepth"), 0);

    const json& geo = dumps[1].at("geoLocation");
    const GisPoint centre = ProjConv::latLonToPl1992(lat, lon);
    const GisPoint inZone = ProjConv::pl1992ToPl2000(centre.x, centre.y, 2178);
    EXPECT_EQ(geo.at("crs").at("name"), "EPSG:2178");
    EXPECT_DOUBLE_EQ(geo.at("surveyPoint").at("eastings").get<double>(), inZone.x);
    EXPECT_DOUBLE_EQ(geo.at("surveyPoint").at("northings").get<double>(), inZone.y);
    EXPECT_NEAR(geo.at("surveyPoint").at("orthogonalHeight").get<double>(), demo.centreHeight,
                1e-6);
}

// Terrain, contours and map images of the built-in scenario, fetched and placed, each place in
// its own run side by side: the frame in Warsaw (terrain model, point clouds, orthophoto), Dynow
// (zoning-plan drawing, utility map) and Poznan (utility and 1:500 maps).
TEST(HostProgram, TerrainContoursAndMapImagesFetchedAndPlacedAgainstTheFakes) {
    const fakes::Scenario demo = fakes::demoScenario();
    fakes::Hosts hosts;
    fakes::serveScenario(hosts, demo);
    const fakes::LidarSheets lidar(demo.classifiedLidar);
    lidar.mount(hosts.geoportal);
    const auto fetchDoneOf = [](const std::vector<json>& messages) {
        for (const json& m : messages) {
            if (m.value("type", "") == "fetchDone")
                return m;
        }
        return json();
    };
    const auto run = [&hosts](const std::array<double, 4>& frame,
                              const std::vector<std::string>& keys) {
        const double lon = (frame[0] + frame[2]) / 2, lat = (frame[1] + frame[3]) / 2;
        const std::vector<std::string> script = {
            R"({"cmd":"menu","menu":32500,"item":1})",
            post(json{{"type", "setOrigin"}, {"lat", lat}, {"lon", lon}}.dump()),
            post(json{{"type", "fetch"}, {"bboxWgs84", frame}, {"layers", keys}}.dump()),
            R"({"cmd":"pump","ms":60000,"until":"fetchDone"})",
            post(R"({"type":"place"})"),
            R"({"cmd":"dump"})"};
        return std::async(std::launch::async, runHost, script, hosts.environment());
    };
    auto warsaw = run(demo.frameWgs84, {"teren", "poziomice2d", "poziomice3d", "terenchmura",
                                        "wodachmura", "poziomicechmura", "rastr"});
    auto dynow = run(demo.rasterPlaces.at(0).frameWgs84, {"mpzp", "gesut"});
    auto poznan = run(demo.rasterPlaces.at(1).frameWgs84, {"gesut", "bdot500"});
    // Elements of the project by host type.
    const auto placed = [](const HostRun& done) {
        std::map<int, int> types;
        for (const json& event : done.events) {
            if (!event.contains("project"))
                continue;
            for (const json& element : event.at("project").at("elements"))
                ++types[element.at("type").get<int>()];
        }
        return types;
    };

    const HostRun terrainRun = warsaw.get();
    const std::vector<json> terrain = pageMessages(terrainRun);
    const json fetched = fetchDoneOf(terrain);
    EXPECT_FALSE(fetched.contains("warning")) << fetched;
    std::vector<std::string> kinds;
    for (const auto& [key, count] : fetched.at("counts").items()) {
        kinds.push_back(key);
        EXPECT_GT(count.get<int>(), 0) << key;
    }
    EXPECT_EQ(kinds,
              (std::vector<std::string>{"poziomice (warstwice)", "poziomice z chmury (warstwice)",
                                        "rastry (rastr)", "teren (Siatka)",
                                        "teren z chmury (Siatka)", "woda z chmury (Siatka)"}));
    EXPECT_EQ(terrain.back().at("type"), "placeDone") << terrain.back();
    const std::map<int, int> elements = placed(terrainRun);
    EXPECT_EQ(elements.at(API_PictureID), 1);
    EXPECT_GT(elements.at(API_MeshID), 3) << "terrain, cloud terrain, water, 3D contours";
    EXPECT_GT(elements.at(API_PolyLineID), 0) << "2D contours";
    EXPECT_GT(elements.at(API_TextID), 0) << "their height labels";

    for (auto* place : {&dynow, &poznan}) {
        const HostRun mapsRun = place->get();
        const std::vector<json> maps = pageMessages(mapsRun);
        EXPECT_EQ(fetchDoneOf(maps).at("counts").size(), 2u);
        EXPECT_EQ(maps.back().at("type"), "placeDone") << maps.back();
        EXPECT_EQ(placed(mapsRun), (std::map<int, int>{{API_PictureID, 2}}));
    }
}

// Whether every polygon of a morph body in the dump runs round a closed ring of its edges (a
// negative edge index runs the edge backwards), and whether every edge borders two polygons.
struct BodyShape {
    bool ringsClosed = true;
    bool solid = true;
};
BodyShape shapeOf(const json& body) {
    BodyShape shape;
    const json& edges = body.at("edges");
    std::map<int, int> uses;
    for (const json& polygon : body.at("polygons")) {
        std::vector<std::pair<int, int>> ring;
        for (const json& signedEdge : polygon) {
            const int e = signedEdge.get<int>();
            const json& edge = edges.at(static_cast<std::size_t>(std::abs(e) - 1));
            ring.emplace_back(edge[e > 0 ? 0 : 1].get<int>(), edge[e > 0 ? 1 : 0].get<int>());
            ++uses[std::abs(e)];
        }
        for (std::size_t k = 0; k < ring.size(); ++k)
            shape.ringsClosed &= ring[k].second == ring[(k + 1) % ring.size()].first;
    }
    for (std::size_t e = 1; e <= edges.size(); ++e)
        shape.solid &= uses[static_cast<int>(e)] == 2;
    return shape;
}

// A fetch and placement of every building, roof, bridge and road kind against a scene of
// buildings whose roofs are known: two of the four LoD1 blocks are LoD2 buildings too.
TEST(HostProgram, EveryBuildingRoofBridgeAndRoadKindIsFetchedAndPlaced) {
    const fakes::Scenario demo = fakes::demoScenario();
    fakes::Hosts hosts;
    fakes::serveBoundaries(hosts, {fakes::municipality(demo.teryt, demo.municipalityArea)});
    const auto [lon, lat] = demo.centre;
    const fakes::BuildingScene scene =
        fakes::buildingScene("1465", ProjConv::latLonToPl1992(lat, lon));
    const auto lidar = fakes::serveBuildingScene(hosts, scene);
    const loopback::TempDir home;
    const HostRun run = hostprogram::runScript(
        TW_HOST_PROGRAM,
        {R"({"cmd":"menu","menu":32500,"item":1})",
         post(json{{"type", "setOrigin"}, {"lat", lat}, {"lon", lon}}.dump()),
         post(json{{"type", "fetch"},
                   {"bboxWgs84", demo.frameWgs84},
                   {"layers",
                    {"budynki3d", "budynkilod2", "budynkindsm", "mosty", "drogi", "dachychmura",
                     "budynkirekon"}}}
                  .dump()),
         R"({"cmd":"pump","ms":60000,"until":"fetchDone"})", post(R"({"type":"place"})"),
         R"({"cmd":"dump"})"},
        home.path(), hosts.environment());
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<json> messages = pageMessages(run);
    ASSERT_GE(messages.size(), 2u);
    const json& fetched = messages[messages.size() - 2];
    EXPECT_EQ(fetched.at("type"), "fetchDone");
    EXPECT_EQ(fetched.at("counts"), json({{"budynki3d", 4},
                                          {"budynkilod2", 2},
                                          {"dachychmura", 4},
                                          {"budynkindsm", 4},
                                          {"budynkirekon", 4},
                                          {"mosty", 1},
                                          {"drogi", 1}}));
    EXPECT_FALSE(fetched.contains("warning")) << fetched;
    const json& placed = messages.back();
    EXPECT_EQ(placed.at("type"), "placeDone");
    EXPECT_EQ(placed.at("counts"), json({{"budynki3d", 2},
                                         {"budynkilod2", 2},
                                         {"dachychmura", 4},
                                         {"budynkindsm", 4},
                                         {"budynkirekon", 4},
                                         {"mosty", 1},
                                         {"drogi", 1}}));
    const std::vector<std::string> lines = reports(run);
    for (const char* line :
         {"TERRAWEFT LOD1: pominieto 2 bryl dublujacych sie z dachami LOD2 (zostawiono LOD2); "
          "postawiono LOD1 tylko tam, gdzie brak LOD2.",
          "TERRAWEFT dachy z chmury: utworzono 4 (oznaczono do korekty: 0), pominieto 0",
          "TERRAWEFT budynki nMPT: utworzono 4 (oznaczono do korekty: 0), pominieto 0"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;

    // The slabs of the blocks without a LoD2 twin; morphs, every one of closed rings, the LoD2
    // and reconstructed buildings closed solids.
    const json& project = run.events.back().at("project");
    std::map<int, std::string> layers;
    for (const json& layer : project.at("layers"))
        layers[layer.at("index").get<int>()] = layer.at("name");
    std::vector<std::string> slabs;
    std::map<std::string, int> morphs;
    for (const json& element : project.at("elements")) {
        if (element.at("type") == API_SlabID)
            slabs.push_back(element.at("id"));
        if (element.at("type") != API_MorphID)
            continue;
        const std::string layer = layers.at(element.at("layer").get<int>());
        ++morphs[layer];
        const BodyShape shape = shapeOf(element.at("body"));
        EXPECT_TRUE(shape.ringsClosed) << layer;
        if (layer == "GIS_BUDYNKI_LOD2" || layer == "GIS_BUDYNKI_LOD2_REKON") {
            EXPECT_TRUE(shape.solid) << layer;
        }
    }
    EXPECT_EQ(slabs, (std::vector<std::string>{"dach.2", "dach.3"}));
    EXPECT_EQ(morphs, (std::map<std::string, int>{{"GIS_BUDYNKI_LOD2", 2},
                                                  {"GIS_BUDYNKI_LOD2_CHMURA", 4},
                                                  {"GIS_BUDYNKI_LOD2_REKON", 4},
                                                  {"GIS_BUDYNKI_NMPT", 4},
                                                  {"GIS_DROGI", 1},
                                                  {"GIS_MOSTY", 1}}));

    // The reconstructed roofs have the types the scene built them with.
    std::ifstream diagnostics(home.file("tovelmark_rekon_diag.txt"));
    const std::string rekon{std::istreambuf_iterator<char>(diagnostics),
                            std::istreambuf_iterator<char>()};
    for (std::size_t i = 0; i < scene.roofs.size(); ++i) {
        const std::string line = "  #" + std::to_string(i) + " " + scene.roofs[i].type + " [";
        EXPECT_NE(rekon.find(line), std::string::npos) << line << "\n" << rekon;
    }
}

}  // namespace
