// "fetch" end to end through the map page's bridge: the request checks, the worker and its
// progress, the vector stages against the fake services, the completion and the main thread's
// freedom while a fetch runs.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <mutex>
#include <thread>

#include "GSMessageLoop.h"
#include "fakes/BuildingPackages.h"
#include "fakes/Services.h"
#include "geodata/ProjConv.h"
#include "import/ImportController.h"
#include "import/ImportPage.h"
#include "support/fakes/Scenario.h"

namespace {

using importtest::json;
using importtest::ofType;
using importtest::slowly;
using namespace std::chrono_literals;

constexpr const char* kZabrze =
    "Powiatowa usluga zwraca dzialki, ale nie filtruje budynkow po obszarze (blad konfiguracji "
    "serwera powiatu - np. Zabrze).";
constexpr const char* kFallback = "Budynki z BDOT10k NoweBudynki (fallback - tylko nowe obiekty).";

// A frame of about 2 x half metres around a point, as the page sends it.
std::array<double, 4> frameAround(double lat, double lon, double half = 100.0) {
    const double dLat = half / 111200.0;
    const double dLon = dLat / std::cos(lat * M_PI / 180.0);
    return {lon - dLon, lat - dLat, lon + dLon, lat + dLat};
}

Bbox boxAround(double lat, double lon, double half) {
    const GisPoint c = ProjConv::latLonToPl1992(lat, lon);
    return {c.x - half, c.y - half, c.x + half, c.y + half};
}

std::vector<std::string> labelsOf(const std::vector<json>& messages) {
    std::vector<std::string> labels;
    for (const json& progress : ofType(messages, "progress"))
        labels.push_back(progress.at("label"));
    return labels;
}

class Fetch : public importtest::ImportPage {
protected:
    const fakes::Scenario demo = fakes::demoScenario();
};

TEST_F(Fetch, ParcelsAndBuildingsArriveWithProgressCountsAndAPreview) {
    fakes::serveScenario(hosts, demo);
    const auto messages = fetch(demo.frameWgs84, {"dzialki", "budynki"});
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(
        messages.front(),
        json({{"type", "progress"}, {"done", 0}, {"total", 1}, {"label", "Pobieranie warstw"}}));
    EXPECT_EQ(labelsOf(messages), (std::vector<std::string>{"Pobieranie warstw", "Import: dzialki",
                                                            "Import: budynki"}));
    const json& done = messages.back();
    EXPECT_EQ(done.at("counts"), json({{"dzialki", 36}, {"budynki", 36}}));
    EXPECT_FALSE(done.contains("warning"));

    const json preview = json::parse(done.at("geojson").get<std::string>());
    ASSERT_EQ(preview.at("features").size(), 72u);
    const json corner = preview["features"][0]["geometry"]["coordinates"][0][0];
    const auto [west, south, east, north] = demo.frameWgs84;
    EXPECT_TRUE(corner[0] > west && corner[0] < east && corner[1] > south && corner[1] < north)
        << corner;
    EXPECT_EQ(host::reportLines(),
              std::vector<std::string>{"TERRAWEFT EGiB [TERYT 146501] " + hosts.county.url() +
                                       "/geoserver/wfs/wfs | tn.dzialki='ms:dzialki' -> 36 | "
                                       "tn.budynki='ms:budynki' -> 36"});
}

TEST_F(Fetch, ACountyWithoutBuildingsFallsBackToTheNationalNewBuildings) {
    fakes::serveScenario(hosts, demo, {.countyBuildings = false});
    const auto both = fetch(demo.frameWgs84, {"dzialki", "budynki"});
    EXPECT_EQ(labelsOf(both).back(), "Import: budynki (BDOT10k)");
    EXPECT_EQ(both.back().at("counts"), json({{"dzialki", 36}, {"budynki", 3}}));
    const std::string warning = std::string(kZabrze) + " " + kFallback;
    EXPECT_EQ(both.back().at("warning"), warning);
    EXPECT_EQ(host::reportLines().back(), "TERRAWEFT: " + warning);

    // Without parcels asked for, nothing is said about them: the fallback follows at once.
    const json alone = fetch(demo.frameWgs84, {"budynki"}).back();
    EXPECT_EQ(alone.at("counts"), json({{"budynki", 3}}));
    EXPECT_EQ(alone.at("warning"), kFallback);
}

TEST_F(Fetch, WithoutCountyServiceOrMunicipalityParcelsAreMissedAndBuildingsFallBack) {
    const std::array<double, 4> noCounty = frameAround(50.5, 19.5);
    const std::array<double, 4> nowhere = frameAround(53.5, 16.5);
    fakes::serveBoundaries(hosts, {fakes::municipality("9999011", boxAround(50.5, 19.5, 5000))});
    fakes::serveNewBuildings(hosts, {fakes::square("a", ProjConv::latLonToPl1992(50.5, 19.5), 6),
                                     fakes::square("b", ProjConv::latLonToPl1992(53.5, 16.5), 6)});

    const json county = fetch(noCounty, {"dzialki", "budynki"}).back();
    EXPECT_EQ(county.at("warning"),
              std::string("Powiat (TERYT 9999) nie publikuje WFS EGiB w EZiU. Brak dzialek dla "
                          "tego obszaru. ") +
                  kFallback);
    EXPECT_EQ(county.at("counts"), json({{"budynki", 1}}));
    EXPECT_EQ(host::reportLines().size(), 1u) << "only the warning, no land-registry line";

    const json lookup = fetch(nowhere, {"dzialki", "budynki"}).back();
    EXPECT_EQ(lookup.at("warning"), std::string("Nie udalo sie ustalic powiatu dla widoku. Brak "
                                                "dzialek dla tego obszaru. ") +
                                        kFallback);
}

// A cell the county's service does not answer leaves its parcels out: the stage says so and
// keeps the parcels of the cell that came.
TEST_F(Fetch, ACellThatDoesNotComeIsToldAndTheOthersKept) {
    const double lat = 51.0, lon = 22.0;
    fakes::serveBoundaries(hosts, {fakes::municipality("1465011", boxAround(lat, lon, 5000))});
    const GisPoint c = ProjConv::latLonToPl1992(lat, lon);
    const fakes::FeatureWfs wfs(
        {{fakes::kParcelsTypename,
          {fakes::square("w", {c.x - 200, c.y}, 6), fakes::square("e", {c.x + 260, c.y}, 6)}}});
    // Northing first: the box's second number is its west edge; the eastern cell fails.
    hosts.county.onRequest(
        fakes::countyCadastrePath("1465011"), [wfs, east = c.x](const loopback::Request& r) {
            const std::string box = fakes::param(r.query, "BBOX");
            const auto comma = box.find(',');
            if (comma != std::string::npos && std::stod(box.substr(comma + 1)) > east)
                return loopback::status(503);
            return wfs(r);
        });
    // 600 m from west to east, 200 m from south to north: two cells of 500 m.
    const auto [west, south, eastEdge, north] = frameAround(lat, lon, 100.0);
    const double wider = 3.0 * (eastEdge - west);
    const double middle = (west + eastEdge) / 2.0;
    const json done =
        fetch({middle - wider / 2.0, south, middle + wider / 2.0, north}, {"dzialki"}).back();
    EXPECT_EQ(done.at("counts"), json({{"dzialki", 1}}));
    EXPECT_EQ(done.at("warning"),
              "Dzialki: 1 z 2 komorek pobierania nie przyszlo w calosci - dane moga byc "
              "niepelne.");
}

// A parcel or building whose ring reaches 1e12 m out would land in the project a continent wide:
// it is left out and counted, the features around it kept.
TEST_F(Fetch, ADamagedParcelOrBuildingIsLeftOutAndCounted) {
    fakes::Scenario damaged = demo;
    for (std::vector<fakes::Feature>* kind : {&damaged.parcels, &damaged.buildings}) {
        fakes::Feature spiked = kind->front();
        spiked.id += "-d";
        std::vector<GisPoint>& ring = spiked.polygons.at(0).outer;
        ring.insert(ring.begin() + 1, {ring[0].x, -1e12});
        kind->insert(kind->begin() + 1, spiked);
    }
    fakes::serveScenario(hosts, damaged);
    const json done = fetch(demo.frameWgs84, {"dzialki", "budynki"}).back();
    EXPECT_EQ(done.at("counts"), json({{"dzialki", 36}, {"budynki", 36}}));
    EXPECT_EQ(done.at("warning"),
              "Dzialki: pominieto uszkodzone obiekty: 1 (bledne wspolrzedne). Budynki: pominieto "
              "uszkodzone obiekty: 1 (bledne wspolrzedne).");
}

TEST_F(Fetch, GeneralPlanZonesThatMeetTheFrameAndThePlansThatGiveNone) {
    fakes::serveScenario(hosts, demo);
    // The first zone covers the frame with no corner in it; the second lies 6 km away.
    const json found = fetch(demo.frameWgs84, {"pog", "mpzp"}).back();
    EXPECT_EQ(found.at("counts"), json({{"pog", 1}}));
    EXPECT_EQ(found.at("warning"), "Brak MPZP dla gminy 146501: brak uslugi WMS w EZiU.");
    const json zone = json::parse(found.at("geojson").get<std::string>())["features"][0];
    EXPECT_EQ(zone["properties"]["symbol"], "SW");

    fakes::PlanAct local = demo.plans.front();
    local.planType = "LOCAL_SPATIAL_DEVELOPMENT_PLAN";
    fakes::PlanningRegister({local}).mount(hosts.registry);
    EXPECT_EQ(fetch(demo.frameWgs84, {"pog"}).back().at("warning"),
              "Brak POG dla gminy 146501 (Plan Ogolny jeszcze nieuchwalony w Rejestrze "
              "Urbanistycznym).");

    fakes::PlanAct far = demo.plans.front();
    far.zones.erase(far.zones.begin());
    fakes::PlanningRegister({far}).mount(hosts.registry);
    const json none = fetch(demo.frameWgs84, {"pog"}).back();
    EXPECT_EQ(none.at("warning"), "POG gminy 146501: akt jest, ale zadna strefa nie wpada w kadr.");
    EXPECT_EQ(none.at("counts"), json::object());
    EXPECT_FALSE(none.contains("geojson"));
}

TEST_F(Fetch, StagesRunInTheirOrderOnExactKeys) {
    fakes::serveScenario(hosts, demo);
    const fakes::LidarSheets lidar(demo.classifiedLidar);
    lidar.mount(hosts.geoportal);
    // A LoD1 package without a building in the frame; no LoD2 package, no Overpass answer.
    fakes::serveLod1Package(hosts, "1465", 2024, {{"empty.gml", {0, 0, 1, 1}, {}}});
    const json done = fetch(demo.frameWgs84,
                            {"poziomice2d", "budynkirekon", "dachychmura", "budynkilod2", "mosty",
                             "budynkindsm", "budynki3d", "terenchmura", "teren", "rastr", "bdot500",
                             "gesut", "rastry", "poziomicechmura2d", "DZIALKI"})
                          .back();
    // Warsaw publishes neither a utility nor a 1:500 map; the orthophoto, terrain and contours
    // come; without footprints the surface-model buildings say nothing, the roof stages say why.
    const std::vector<std::string> sentences = {
        "GESUT: powiat nie publikuje uslugi w EZiU.",
        "BDOT500: powiat nie publikuje uslugi w EZiU.",
        "Mosty/drogi: usluga Overpass (OSM) nie odpowiada - nie sprawdzono mostow ani drog. "
        "Powod: Serwer zwrocil status 404.",
        "Budynki LOD2: Serwer zwrocil status 404",
        "Brak budynkow LOD2 dla tego obszaru (pokrycie GUGiK ~236/380 powiatow).",
        "Dachy z chmury: brak obrysow budynkow (Building3D) dla tego kadru - nie ma na czym oprzec "
        "dachu.",
        "Rekonstrukcja LOD2: brak obrysow budynkow (Building3D) dla tego kadru."};
    std::string expected;
    for (const std::string& sentence : sentences)
        expected += (expected.empty() ? "" : " ") + sentence;
    EXPECT_EQ(done.at("warning"), expected);
    std::vector<std::string> keys;
    for (const auto& [key, count] : done.at("counts").items())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"poziomice (warstwice)", "rastry (rastr)",
                                              "teren (Siatka)", "teren z chmury (Siatka)"}));
}

TEST_F(Fetch, BadRequestsStartNothingAndARunningFetchRefusesAnotherButHearsCancel) {
    const std::array<double, 4> frame = frameAround(51.0, 22.0);
    fakes::serveBoundaries(hosts, {fakes::municipality("1465011", boxAround(51.0, 22.0, 5000))});
    const fakes::FeatureWfs county(
        {{"ms:dzialki", {fakes::square("d", ProjConv::latLonToPl1992(51.0, 22.0), 10)}}});
    hosts.county.onRequest(fakes::countyCadastrePath("1465011"), slowly(county, 1500ms));

    const auto refused = [&](const json& bbox) {
        return page.ask(json{{"type", "fetch"}, {"bboxWgs84", bbox}}.dump());
    };
    const json badBox = {{"type", "error"}, {"msg", "Nieprawidlowy bbox"}};
    EXPECT_EQ(page.ask(R"({"type":"fetch"})"), badBox);
    EXPECT_EQ(refused({21.0, 52.0, 21.1}), badBox);
    EXPECT_EQ(refused({21.0, 52.0, 21.0, 52.1}), badBox) << "no width";
    EXPECT_EQ(refused({21.0, 95.0, 21.1, 96.0}), badBox) << "beyond the pole";
    EXPECT_EQ(refused({21.0, 52.0, 181.0, 52.1}), badBox);
    // Members of the wrong type or out of range, and frames the data do not reach: each is told
    // at once, and nothing is asked of any service.
    const std::string outOfReach =
        "Obszar poza zasiegiem ukladow PL-1992/PL-2000 - dane obejmuja tylko Polske.";
    const std::pair<const char*, std::string> bad[] = {
        {R"({"type":"fetch","bboxWgs84":{"w":1,"s":2,"e":3,"n":4}})",
         "Pole \"bboxWgs84\" musi byc lista 4 liczb."},
        {R"({"type":"fetch","bboxWgs84":[21,"52",21.1,52.1]})",
         "Pole \"bboxWgs84\" musi byc lista 4 liczb."},
        {R"({"type":"fetch","bboxWgs84":[21,52,21.1,52.1],"rasterScale":"1000"})",
         "Pole \"rasterScale\" musi byc liczba calkowita."},
        {R"({"type":"fetch","bboxWgs84":[21,52,21.1,52.1],"terrainStep":1.5})",
         "Pole \"terrainStep\" musi byc liczba calkowita."},
        {R"({"type":"fetch","bboxWgs84":[21,52,21.1,52.1],"terrainStep":1e12})",
         "Pole \"terrainStep\" ma wartosc spoza zakresu."},
        {R"({"type":"fetch","bboxWgs84":[21,52,21.1,52.1],"poziomiceWygladz":1})",
         "Pole \"poziomiceWygladz\" musi byc wartoscia true albo false."},
        {R"({"type":"fetch","bboxWgs84":[21,52,21.1,52.1],"terenChmuraKrok":-1})",
         "Pole \"terenChmuraKrok\" nie moze byc ujemne."},
        {R"({"type":"fetch","bboxWgs84":[21,52,21.1,52.1],"layers":["dzialki",5]})",
         "Pole \"layers\" musi byc lista tekstow."},
        // A grid step beyond the frame's longer side, for a kind that uses it, leaves no cell.
        {R"({"type":"fetch","bboxWgs84":[21,52,21.1,52.1],"layers":["poziomice2d"],)"
         R"("terrainStep":2147483647})",
         "Pole \"terrainStep\" ma wartosc 2.14748e+09 m, wieksza niz dluzszy bok kadru (11311 m) - "
         "zmniejsz krok albo powieksz kadr."},
        {R"({"type":"fetch","bboxWgs84":[21,52,21.1,52.1],"layers":["poziomicechmura"],)"
         R"("terenChmuraKrok":1e308})",
         "Pole \"terenChmuraKrok\" ma wartosc 1e+308 m, wieksza niz dluzszy bok kadru (11311 m) - "
         "zmniejsz krok albo powieksz kadr."},
        {R"({"type":"fetch","bboxWgs84":[-74.05,40.65,-73.9,40.8],"layers":["dzialki"]})",
         outOfReach},  // New York
        {R"({"type":"fetch","bboxWgs84":[13.5,52,13.7,52.1],"layers":["dzialki"]})",
         outOfReach},  // across the western edge of the reach
    };
    for (const auto& [message, sentence] : bad) {
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_EQ(page.ask(message), json({{"type", "error"}, {"msg", sentence}})) << message;
        EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s) << message;
    }
    host::pumpFor(200ms);
    EXPECT_EQ(hosts.geoportal.count() + hosts.county.count() + hosts.openData.count() +
                  hosts.overpass.count(),
              0u)
        << "nothing asked";

    // A step no kind asked for uses is not looked at.
    const auto started = page.post(json{{"type", "fetch"},
                                        {"bboxWgs84", frame},
                                        {"layers", {"dzialki"}},
                                        {"terrainStep", 2147483647}});
    ASSERT_EQ(started.size(), 1u) << "the first progress, no reply";
    EXPECT_EQ(page.ask(json{{"type", "fetch"}, {"bboxWgs84", frame}}.dump()),
              json({{"type", "error"}, {"msg", "Trwa pobieranie danych - sprobuj za chwile"}}));
    EXPECT_EQ(refused({21.0, 52.0, 21.1}), badBox) << "the box is checked first";
    // The cancel comes while the frame's only cell is asked for, the download's last request:
    // the request is broken off, and the parcels are cut short.
    const auto cellAsked = [&] {
        const auto asked = hosts.county.requests(fakes::countyCadastrePath("1465011"));
        return std::any_of(asked.begin(), asked.end(), [](const loopback::Request& r) {
            return !fakes::param(r.query, "bbox").empty();
        });
    };
    ASSERT_TRUE(host::pumpUntil(cellAsked, 30s));
    const auto done = postUntil({{"type", "cancel"}}, "fetchDone");
    EXPECT_EQ(done.front(), json({{"type", "cancelled"}}));
    EXPECT_EQ(done.back().at("counts"), json::object());
    EXPECT_EQ(done.back().at("warning"), "Dzialki: przerwano przez uzytkownika.");

    const json nothing = fetch(frame, {}).back();
    EXPECT_EQ(nothing, json({{"type", "fetchDone"},
                             {"counts", json::object()},
                             {"warning", "Nic nie pobrano dla tego obszaru."}}));
    for (const std::string& line : host::reportLines())
        EXPECT_EQ(line.find("Nic nie pobrano"), std::string::npos) << "not written to the report";
}

// A frame of 50 by 50 km is 10,000 cells of the tiled download, over an hour at a cell a
// second: a cancel after a few cells ends the stage at once, says so, and no later stage runs.
TEST_F(Fetch, ACancelStopsATiledDownloadOfALargeFrameBetweenTwoCells) {
    struct Case {
        const char* kind;
        double lat, lon;
        const char* teryt;
        loopback::LoopbackServer fakes::Hosts::*host;  // of the slow feature service
        std::string path;
        const char* typeName;
        const char* label;
        std::string warning;
    };
    const std::vector<Case> cases = {
        {"dzialki", 51.0, 22.0, "1465011", &fakes::Hosts::county,
         fakes::countyCadastrePath("1465011"), fakes::kParcelsTypename, "Import: dzialki",
         "Dzialki: przerwano przez uzytkownika."},
        {"budynki", 50.5, 19.5, "9999011", &fakes::Hosts::geoportal, fakes::kNewBuildingsPath,
         fakes::kNewBuildingsTypename, "Import: budynki (BDOT10k)",
         "Powiat (TERYT 9999) nie publikuje WFS EGiB w EZiU. Budynki: przerwano przez "
         "uzytkownika."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        fakes::serveBoundaries(hosts,
                               {fakes::municipality(c.teryt, boxAround(c.lat, c.lon, 5000))});
        loopback::LoopbackServer& service = hosts.*c.host;
        const fakes::Feature one = fakes::square("a", ProjConv::latLonToPl1992(c.lat, c.lon), 6);
        service.onRequest(c.path, slowly(fakes::FeatureWfs({{c.typeName, {one}}}), 200ms));

        int cellsDone = 0;
        const auto cancelled =
            cancelWhen(frameAround(c.lat, c.lon, 25000), {c.kind, "pog"}, [&](const json& m) {
                if (m.value("label", "") == c.label)
                    cellsDone = m.at("done");
                return cellsDone >= 2;
            });
        const json& done = cancelled.messages.back();
        EXPECT_LT(cancelled.afterCancel, 2s);
        EXPECT_EQ(done.at("warning"),
                  c.warning +
                      " Pobieranie przerwane przez uzytkownika - pozostale dane nie zostaly "
                      "pobrane.");
        EXPECT_EQ(done.at("counts"), json::object()) << "the cut download brings nothing";
        EXPECT_EQ(hosts.registry.count(), 0u) << "the zoning stage does not run";
        std::size_t cellRequests = 0;
        for (const loopback::Request& r : service.requests(c.path))
            cellRequests += fakes::param(r.query, "bbox").empty() ? 0 : 1;
        EXPECT_LE(cellRequests, static_cast<std::size_t>(cellsDone) + 2);
    }
}

// The pages the process has mapped, as the kernel counts them against RLIMIT_AS.
rlim_t mappedBytes() {
    std::ifstream statm("/proc/self/statm");
    rlim_t pages = 0;
    statm >> pages;
    return pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

TEST_F(Fetch, AWorkerThatCannotStartLeavesTheControllerIdle) {
    if (kSanitized)
        GTEST_SKIP() << "the sanitizer's own mappings do not bear an address-space limit";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::array<double, 4> frame = frameAround(49.5, 20.0);
    // No room for a thread's stack: the thread cannot start.
    const auto underLimit = [&] {
        rlimit old{};
        getrlimit(RLIMIT_AS, &old);
        const rlimit tight{mappedBytes() + (2u << 20), old.rlim_max};
        setrlimit(RLIMIT_AS, &tight);
        const json reply = page.ask(json{{"type", "fetch"}, {"bboxWgs84", frame}}.dump());
        setrlimit(RLIMIT_AS, &old);
        return reply;
    };
    EXPECT_EXIT(
        {
            const json refused = underLimit();
            const auto again = fetch(frame, {});
            const bool idle =
                refused.value("msg", "") == "Blad wewnetrzny: Resource temporarily unavailable" &&
                labelsOf(again).front() == "Pobieranie warstw" &&
                again.back().at("type") == "fetchDone";
            std::exit(idle ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Fetch, PostedTasksRunWithin50MsWhileTenThousandParcelsArrive) {
    constexpr double kLat = 50.0, kLon = 21.5;
    const GisPoint c = ProjConv::latLonToPl1992(kLat, kLon);
    std::vector<fakes::Feature> parcels;
    for (int i = 0; i < 100; ++i) {
        for (int j = 0; j < 100; ++j) {
            parcels.push_back(fakes::square("p" + std::to_string(i * 100 + j),
                                            {c.x - 198 + 4 * i, c.y - 198 + 4 * j}, 1.9));
        }
    }
    fakes::serveBoundaries(hosts, {fakes::municipality("1465011", boxAround(kLat, kLon, 5000))});
    fakes::serveCountyCadastre(hosts, "1465011", std::move(parcels), std::nullopt,
                               {.paging = false});

    // The completion's own work (the preview of 10,000 parcels for the page) is not the
    // worker's: only tasks that ran before "fetchDone" was sent count.
    bool completed = false;
    host::setScriptListener([&completed](const GS::Guid&, const std::string& script) {
        completed = completed || script.find("\"type\":\"fetchDone\"") != std::string::npos;
    });
    // A poster thread hands a task to the main loop every 5 ms; each notes how long it waited.
    std::vector<std::chrono::steady_clock::duration> waits;
    std::atomic<bool> posting{true};
    std::thread poster([&] {
        while (posting) {
            const auto posted = std::chrono::steady_clock::now();
            runOnMainThread([&waits, &completed, posted] {
                if (!completed)
                    waits.push_back(std::chrono::steady_clock::now() - posted);
            });
            std::this_thread::sleep_for(5ms);
        }
    });
    page.post(json{
        {"type", "fetch"}, {"bboxWgs84", frameAround(kLat, kLon, 200)}, {"layers", {"dzialki"}}});
    const bool done = host::pumpUntil([&completed] { return completed; }, 30s);
    posting = false;
    poster.join();
    host::pump();
    host::setScriptListener({});

    ASSERT_TRUE(done);
    EXPECT_EQ(ofType(page.received(), "fetchDone").at(0).at("counts"), json({{"dzialki", 10000}}));
    ASSERT_GT(waits.size(), 100u);
    const auto longest = *std::max_element(waits.begin(), waits.end());
    EXPECT_LT(longest, 50ms) << std::chrono::duration<double, std::milli>(longest).count() << " ms";
}

}  // namespace
