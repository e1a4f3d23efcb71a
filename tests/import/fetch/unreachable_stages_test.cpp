// A fetch whose services cannot be reached: every stage says which service did not answer and
// why, and none tells the user that the area has no data. Nothing listens at the services'
// addresses, so every refusal is immediate.

#include <ostream>
#include <string>
#include <vector>

#include "fakes/Lidar.h"
#include "fakes/Overpass.h"
#include "fakes/TerrainModel.h"
#include "geodata/ProjConv.h"
#include "import/ImportPage.h"
#include "support/fakes/Scenario.h"

namespace {

using importtest::json;

// The sentences that would tell of an area without data.
const std::vector<std::string> kNoDataWords = {
    "Brak dzialek",    "brak kafli",    "Brak POG",          "nie publikuje",  "Brak budynkow",
    "brak obrysow",    "brak pokrycia", "brak danych LiDAR", "brak punktow",   "akt jest, ale",
    "ustalic powiatu", "ustalic gminy", "brak paczki",       "nie ma rysunku", "Brak MPZP"};

constexpr const char* kRefused = "Powod: Brak polaczenia z 127.0.0.1";

// What still answers while everything else is down.
enum class Up {
    Nothing,
    Boundaries,  // the geoportal: the municipality lookup, and sheet indexes whose files are down
    Overpass,
};

struct Row {
    const char* name;
    Up up;
    // "warszawa", "dynow" or "poznan"; "krakow", where no other test of the controller has been
    // (its municipality lookup keeps the last code found for 10 km around)
    const char* place;
    std::vector<std::string> keys;
    std::vector<std::string> sentences;  // each found whole in the warning
};

// Test logs name a row, not its bytes.
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

std::string refusedAddress() {
    return "http://127.0.0.1:" + std::to_string(loopback::unusedPort());
}

class Unreachable : public importtest::ImportPage, public ::testing::WithParamInterface<Row> {
protected:
    // Every service at an address of its own where nothing listens, but the one that answers.
    void takeDown(Up up) {
        services::Endpoints e = hosts.endpoints();
        for (std::string* address :
             {&e.geoportalMaps, &e.openData, &e.planningRegister, &e.overpass, &e.countyOverride})
            *address = refusedAddress();
        if (up == Up::Boundaries) {
            e.geoportalMaps = hosts.geoportal.url();
            serveBoundaries();
        }
        if (up == Up::Overpass) {
            e.overpass = hosts.overpass.url();
            hosts.overpass.onRequest(fakes::Overpass::kPath, fakes::Overpass({aWay()}));
        }
        services::setEndpoints(e);
    }

    // The municipalities of the three places; the terrain and LiDAR indexes list a sheet whose
    // file is down; the rest of the geoportal fails with 503.
    void serveBoundaries() {
        std::vector<fakes::Feature> municipalities{
            fakes::municipality(demo.teryt, demo.municipalityArea)};
        for (const fakes::RasterPlace& place : demo.rasterPlaces)
            municipalities.push_back(fakes::municipality(place.teryt, place.area));
        fakes::serveBoundaries(hosts, municipalities);
        const Bbox everywhere{0, 0, 1e7, 1e7};
        hosts.geoportal.onRequest(
            fakes::kTerrainIndexPath,
            fakes::SheetIndexWfs(fakes::kTerrainIndexType,
                                 {{"N", everywhere, refusedAddress() + "/nmt.asc"}}));
        hosts.geoportal.onRequest(
            fakes::kLidarIndexPath,
            fakes::SheetIndexWfs("gugik:SkorowidzDanychPomiarowychLIDAR",
                                 {{"L", everywhere, refusedAddress() + "/lidar.laz"}}));
        hosts.geoportal.setFallback(loopback::status(503));
    }

    fakes::Feature aWay() const {
        const GisPoint c = ProjConv::latLonToPl1992(demo.centre.y, demo.centre.x);
        return fakes::polyline("w", {{c.x - 50, c.y}, {c.x + 50, c.y}},
                               {{"highway", "primary"}, {"bridge", "yes"}});
    }

    std::array<double, 4> frameOf(const std::string& place) const {
        if (place == "dynow")
            return demo.rasterPlaces.at(0).frameWgs84;
        if (place == "poznan")
            return demo.rasterPlaces.at(1).frameWgs84;
        if (place == "krakow")
            return {19.9346, 50.0602, 19.9386, 50.0626};
        return demo.frameWgs84;
    }

    const fakes::Scenario demo = fakes::demoScenario();
};

TEST_P(Unreachable, EveryStageNamesTheServiceAndTheReasonAndNeverAnAreaWithoutData) {
    const Row& row = GetParam();
    takeDown(row.up);
    const json done = fetch(frameOf(row.place), row.keys).back();
    const std::string warning = done.value("warning", "");
    for (const std::string& sentence : row.sentences)
        EXPECT_NE(warning.find(sentence), std::string::npos) << sentence << "\n in: " << warning;
    for (const std::string& words : kNoDataWords)
        EXPECT_EQ(warning.find(words), std::string::npos) << words << "\n in: " << warning;
    EXPECT_EQ(done.at("counts"), json::object());
}

// "<prefix>usluga <service> nie odpowiada - <consequence>. Powod: <reason>".
std::string down(const std::string& prefix, const std::string& service,
                 const std::string& consequence, const std::string& reason = kRefused) {
    return prefix + "usluga " + service + " nie odpowiada - " + consequence + ". " + reason;
}

std::string lookup(const std::string& prefix, const std::string& what = "powiatu") {
    return down(prefix, "granic administracyjnych (geoportal)",
                "nie ustalono " + what + " dla widoku");
}

std::string index(const std::string& prefix, const std::string& name) {
    return down(prefix, "skorowidza " + name + " (geoportal)",
                "nie sprawdzono, czy sa arkusze " + name + " dla tego obszaru");
}

const std::string kPackages = "paczek modeli 3D (opendata)";
const std::string kNoFootprints =
    "pominiete - obrysy budynkow (LOD1) nie zostaly pobrane, bo ich usluga nie odpowiada.";

// clang-format off
const std::vector<Row> kRows = {
    {"Cadastre", Up::Nothing, "krakow", {"dzialki", "budynki"},
     {lookup("Dzialki/budynki: "),
      down("Budynki: ", "BDOT10k NoweBudynki (geoportal)", "nie pobrano nowych budynkow")}},
    {"Zoning", Up::Nothing, "krakow", {"pog", "mpzp"}, {lookup("MPZP/POG: ", "gminy")}},
    {"CountyMaps", Up::Nothing, "krakow", {"gesut", "bdot500"},
     {lookup("GESUT: "), lookup("BDOT500: ")}},
    {"Orthophoto", Up::Nothing, "krakow", {"rastr"},
     {down("Ortofotomapa: ", "WMS ortofotomapy (geoportal)", "rastr pominiety")}},
    {"TerrainModel", Up::Nothing, "krakow", {"teren", "poziomice2d"},
     {index("Teren: ", "NMT"), index("Poziomice: ", "NMT")}},
    {"PointClouds", Up::Nothing, "krakow", {"terenchmura", "wodachmura"},
     {index("Teren z chmury: ", "LiDAR")}},
    {"BuildingsAndRoofs", Up::Nothing, "krakow",
     {"budynki3d", "budynkilod2", "dachychmura", "budynkirekon", "budynkindsm"},
     {lookup("Modele 3D: "), lookup("Budynki LOD2: "), "Dachy z chmury: " + kNoFootprints,
      "Rekonstrukcja LOD2: " + kNoFootprints}},
    {"Ways", Up::Nothing, "krakow", {"mosty", "drogi"},
     {down("Mosty/drogi: ", "Overpass (OSM)", "nie sprawdzono mostow ani drog")}},
    {"SurfaceModel", Up::Overpass, "warszawa", {"mosty"}, {index("Mosty/drogi: ", "NMPT")}},
    {"CountyCadastre", Up::Boundaries, "warszawa", {"dzialki", "budynki"},
     {down("Dzialki/budynki: ", "WFS EGiB powiatu 1465", "nie sprawdzono dzialek ani budynkow"),
      down("Budynki: ", "BDOT10k NoweBudynki (geoportal)", "nie pobrano nowych budynkow",
           "Powod: Serwer zwrocil status 503.")}},
    {"PlanningRegister", Up::Boundaries, "warszawa", {"pog"},
     {down("POG: ", "Rejestru Urbanistycznego",
           "nie sprawdzono, czy gmina 146501 ma Plan Ogolny")}},
    {"CommuneAndCountyWms", Up::Boundaries, "dynow", {"mpzp", "gesut"},
     {down("MPZP gminy 181601: ", "WMS gminy", "nie pobrano rysunku planu"),
      down("GESUT: ", "WMS GESUT powiatu", "nie pobrano mapy uzbrojenia")}},
    {"CountyMapWms", Up::Boundaries, "poznan", {"bdot500"},
     {down("BDOT500: ", "WMS BDOT500 powiatu", "nie pobrano mapy")}},
    {"BuildingPackages", Up::Boundaries, "warszawa", {"budynki3d", "budynkilod2"},
     {down("Modele 3D: ", kPackages, "nie sprawdzono, czy powiat 1465 ma paczke"),
      down("Budynki LOD2: ", kPackages, "nie sprawdzono, czy powiat 1465 ma paczke")}},
    {"TerrainSheets", Up::Boundaries, "warszawa", {"teren"},
     {down("Teren: ", "plikow NMT (geoportal)", "nie pobrano zadnego arkusza NMT")}},
    {"LidarSheets", Up::Boundaries, "warszawa", {"terenchmura", "dachychmura"},
     {down("Teren z chmury: ", "plikow LiDAR (geoportal)", "nie pobrano zadnego kafla LiDAR")}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Services, Unreachable, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
