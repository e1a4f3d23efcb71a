// A cancel while a stage waits for an answer: every stage ends within 3 s of it, says that the
// cancel cut it short and keeps nothing of its own, and no request leaves after the cancel but the
// one in flight. The request is held a minute, or, where a stage asks many, every one of them is
// answered after 1.5 s.

#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <iostream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "fakes/BuildingPackages.h"
#include "fakes/Lidar.h"
#include "fakes/Overpass.h"
#include "fakes/TerrainModel.h"
#include "fakes/Wms.h"
#include "geodata/ProjConv.h"
#include "import/ImportPage.h"
#include "support/fakes/BuildingScene.h"
#include "support/fakes/Scenario.h"

namespace {

using importtest::json;
using namespace std::chrono_literals;

// How long the request is under way when the cancel comes.
constexpr auto kInFlight = 400ms;

const fakes::Scenario& scenario() {
    static const fakes::Scenario demo = fakes::demoScenario();
    return demo;
}

enum class Host { Geoportal, OpenData, Registry, Overpass, County, Files };
enum class Frame { Warsaw, Dynow, Poznan, WarsawWide, PoznanWide };

// The request the cancel comes during: held a minute, or answered with delayedBody after 1.5 s
// (every request that matches, so that a stage asking many would wait for each).
struct Wait {
    Host host;
    std::string path;
    std::string query;        // the raw query holds this
    std::string delayedBody;  // empty: held
};

struct Row {
    const char* name;
    std::vector<std::string> keys;
    Frame frame;
    Wait wait;
    std::string sentence;  // found whole in the warning
    std::string countKey;  // absent from the counts
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

// One row's outside world: fresh servers and download cache, so that no answer of another row
// is reused and the held requests end with the row.
struct World {
    World() {
        fakes::serveScenario(hosts, scenario());
        lidar = fakes::serveBuildingScene(
            hosts, fakes::buildingScene("1465", ProjConv::latLonToPl1992(52.2297, 21.0122)));
        services::setEndpoints(hosts.endpoints());
        // The LiDAR index points at a file of the test's own server.
        files.on("/lidar.laz", loopback::ok(fakes::classifiedLas({})));
        hosts.geoportal.onRequest(
            fakes::kLidarIndexPath,
            fakes::SheetIndexWfs("gugik:SkorowidzDanychPomiarowychLIDAR",
                                 {{"L", {0, 0, 1e7, 1e7}, files.url("/lidar.laz")}}));
    }

    loopback::LoopbackServer& server(Host host) {
        switch (host) {
            case Host::Geoportal:
                return hosts.geoportal;
            case Host::OpenData:
                return hosts.openData;
            case Host::Registry:
                return hosts.registry;
            case Host::Overpass:
                return hosts.overpass;
            case Host::County:
                return hosts.county;
            case Host::Files:
                break;
        }
        return files;
    }

    void hold(const Wait& wait) {
        loopback::Answer answer =
            wait.delayedBody.empty() ? loopback::status(200) : loopback::ok(wait.delayedBody);
        answer.delay = wait.delayedBody.empty() ? std::chrono::milliseconds(60s) : 1500ms;
        server(wait.host).on(wait.path, wait.query, answer);
    }

    std::size_t arrived(const Wait& wait) {
        std::size_t count = 0;
        for (const loopback::Request& r : server(wait.host).requests(wait.path))
            count += r.query.find(wait.query) != std::string::npos ? 1 : 0;
        return count;
    }

    // The requests of every server that arrived after the moment.
    std::size_t arrivedAfter(loopback::Clock::time_point moment) {
        std::size_t late = 0;
        for (const Host host : {Host::Geoportal, Host::OpenData, Host::Registry, Host::Overpass,
                                Host::County, Host::Files}) {
            for (const loopback::Request& r : server(host).requests())
                late += r.arrival > moment ? 1 : 0;
        }
        return late;
    }

    loopback::TempDir cache;
    loopback::ScopedEnv data{"XDG_DATA_HOME", cache.path().c_str()};
    fakes::Hosts hosts;
    loopback::LoopbackServer files;
    std::unique_ptr<fakes::LidarSheets> lidar;
};

class CancelledStage : public importtest::ImportPage, public ::testing::WithParamInterface<Row> {
protected:
    static std::array<double, 4> around(double lat, double lon, double halfMetres) {
        const double dLat = halfMetres / 111200.0;
        const double dLon = dLat / std::cos(lat * M_PI / 180.0);
        return {lon - dLon, lat - dLat, lon + dLon, lat + dLat};
    }

    static std::array<double, 4> frameOf(Frame frame) {
        const fakes::Scenario& demo = scenario();
        const auto middle = [](const fakes::RasterPlace& place, double half) {
            const auto& f = place.frameWgs84;
            return around((f[1] + f[3]) / 2, (f[0] + f[2]) / 2, half);
        };
        switch (frame) {
            case Frame::Dynow:
                return demo.rasterPlaces.at(0).frameWgs84;
            case Frame::Poznan:
                return demo.rasterPlaces.at(1).frameWgs84;
            case Frame::WarsawWide:
                return around(demo.centre.y, demo.centre.x, 1500);
            case Frame::PoznanWide:
                return middle(demo.rasterPlaces.at(1), 1500);
            case Frame::Warsaw:
                break;
        }
        return demo.frameWgs84;
    }
};

TEST_P(CancelledStage, EndsWithinThreeSecondsWithItsSentenceAndNoRequestAfterTheCancel) {
    const Row& row = GetParam();
    World world;
    world.hold(row.wait);
    page.post(json{{"type", "fetch"}, {"bboxWgs84", frameOf(row.frame)}, {"layers", row.keys}});
    ASSERT_TRUE(host::pumpUntil([&] { return world.arrived(row.wait) > 0; }, 30s))
        << "the request to hold never came";
    // Past libcurl's first timers, while only its once-a-second look at the transfer is left.
    host::pumpUntil([] { return false; }, kInFlight);
    const auto cancelled = loopback::Clock::now();
    const json done = postUntil({{"type", "cancel"}}, "fetchDone").back();
    const auto afterCancel = loopback::Clock::now() - cancelled;

    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(afterCancel).count();
    std::cout << "cancel to fetchDone, " << row.name << ": " << ms << " ms\n";
    EXPECT_LT(afterCancel, 3s);
    const std::string warning = done.value("warning", "");
    EXPECT_NE(warning.find(row.sentence), std::string::npos) << warning;
    EXPECT_FALSE(done.at("counts").contains(row.countKey)) << done.at("counts");
    EXPECT_EQ(world.arrivedAfter(cancelled), 0u) << "requests after the cancel";
}

const std::string kImage = fakes::pngImage(4, 4);

// clang-format off
const std::vector<Row> kRows = {
    {"Parcels", {"dzialki"}, Frame::Warsaw,
     {Host::County, fakes::countyCadastrePath("1465011"), "ms%3Adzialki"},
     "Dzialki: przerwano przez uzytkownika.", "dzialki"},
    {"Buildings", {"budynki"}, Frame::Warsaw,
     {Host::County, fakes::countyCadastrePath("1465011"), "ms%3Abudynki"},
     "Budynki: przerwano przez uzytkownika.", "budynki"},
    {"GeneralPlan", {"pog"}, Frame::Warsaw,
     {Host::Registry, "/api/public/published/POG-1465011-1/download", ""},
     "POG: przerwano przez uzytkownika.", "pog"},
    {"ZoningPlanMap", {"mpzp"}, Frame::Dynow,
     {Host::County, fakes::localWmsPath(DataType::Mpzp, "1816011"), "GetMap"},
     "MPZP: przerwano przez uzytkownika.", "mpzp (rastr)"},
    {"UtilityMap", {"gesut"}, Frame::Dynow,
     {Host::County, fakes::localWmsPath(DataType::Gesut, "1816011"), "GetCapabilities"},
     "GESUT: przerwano przez uzytkownika.", "gesut (rastr)"},
    {"CountyMap", {"bdot500"}, Frame::PoznanWide,
     {Host::County, fakes::localWmsPath(DataType::Bdot500, "3064011"), "GetMap", kImage},
     "BDOT500: przerwano przez uzytkownika.", "bdot500 (rastr)"},
    {"Orthophoto", {"rastr"}, Frame::WarsawWide,
     {Host::Geoportal, fakes::kOrthophotoPath, "GetMap", fakes::jpegImage()},
     "Ortofotomapa: przerwano przez uzytkownika.", "rastry (rastr)"},
    {"TerrainSheet", {"teren"}, Frame::Warsaw,
     {Host::OpenData, fakes::terrainSheetPath("S"), ""},
     "Teren: przerwano przez uzytkownika.", "teren (Siatka)"},
    {"ContourIndex", {"poziomice2d"}, Frame::Warsaw,
     {Host::Geoportal, fakes::kTerrainIndexPath, ""},
     "Poziomice: przerwano przez uzytkownika.", "poziomice (warstwice)"},
    {"SurfaceSheet", {"budynkindsm"}, Frame::Warsaw,
     {Host::OpenData, fakes::surfaceSheetPath("S"), ""},
     "Budynki (nMPT): przerwano przez uzytkownika.", "budynkindsm"},
    {"SurfaceIndex", {"drogi"}, Frame::Warsaw,
     {Host::Geoportal, fakes::kSurfaceIndexPath, ""},
     "Mosty/drogi: przerwano przez uzytkownika.", "drogi"},
    {"Ways", {"mosty"}, Frame::Warsaw,
     {Host::Overpass, fakes::Overpass::kPath, ""},
     "Mosty/drogi: przerwano przez uzytkownika.", "mosty"},
    {"CloudTerrainSheet", {"terenchmura"}, Frame::Warsaw,
     {Host::Files, "/lidar.laz", ""},
     "Teren z chmury: przerwano przez uzytkownika.", "teren z chmury (Siatka)"},
    {"CloudRoofIndex", {"dachychmura"}, Frame::Warsaw,
     {Host::Geoportal, fakes::kLidarIndexPath, ""},
     "Dachy z chmury: przerwano przez uzytkownika.", "dachychmura"},
    {"ReconstructionSheet", {"budynkirekon"}, Frame::Warsaw,
     {Host::Files, "/lidar.laz", ""},
     "Rekonstrukcja LOD2: przerwano przez uzytkownika.", "budynkirekon"},
    {"Lod1Package", {"budynki3d"}, Frame::Warsaw,
     {Host::OpenData, fakes::lod1PackagePath("1465", 2024), ""},
     "Modele 3D: przerwano przez uzytkownika.", "budynki3d"},
    {"Lod2Package", {"budynkilod2"}, Frame::Warsaw,
     {Host::OpenData, fakes::lod2PackagePath("1465"), ""},
     "Budynki LOD2: przerwano przez uzytkownika.", "budynkilod2"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Stages, CancelledStage, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
