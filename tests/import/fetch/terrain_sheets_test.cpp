// The terrain-model sheets as the stages that read them meet them - terrain ("teren"), contours
// ("poziomice2d") and the surface-model buildings ("budynkindsm") - against the fake geoportal
// and open-data host: one bad sheet or index page among sound ones, a host that does not answer,
// a frame too large for the grid, and a terrain cut to 4 x 4 tiles that reads only the sheets
// under them.

#include <cmath>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "fakes/BuildingPackages.h"
#include "fakes/TerrainModel.h"
#include "fakes/Wfs.h"
#include "geodata/NumberText.h"
#include "geodata/SheetIndex.h"
#include "import/ImportController.h"
#include "import/ImportPage.h"
#include "import/fetch/ModelSheets.h"
#include "support/fakes/Scenario.h"

namespace {

using importtest::json;

const ImportController::FetchedData& fetched() {
    return ImportController::Instance().lastFetch();
}

class TerrainSheets : public importtest::ImportPage {
protected:
    void SetUp() override {
        ImportPage::SetUp();
        fakes::serveBoundaries(hosts, {fakes::municipality(demo.teryt, demo.municipalityArea)});
    }

    // A plane falling to the south-west, some 6 m across the frame.
    double terrain(double x, double y) const {
        return 100.0 + 0.01 * (x - mid.x) + 0.005 * (y - mid.y);
    }

    Bbox box(double dx0, double dy0, double dx1, double dy1) const {
        return {mid.x + dx0, mid.y + dy0, mid.x + dx1, mid.y + dy1};
    }

    // A sheet of 1 m cells over the area: the terrain, or the surface with the blocks on it.
    fakes::GridSheet sheet(const std::string& godlo, const Bbox& area, bool raised = false) const {
        return {godlo,
                {area.minx, area.miny},
                1.0,
                static_cast<int>(std::lround(area.maxx - area.minx)),
                static_cast<int>(std::lround(area.maxy - area.miny)),
                [this, raised](double x, double y) {
                    return terrain(x, y) + (raised && onBlock(x, y) ? 9.0 : 0.0);
                }};
    }

    bool onBlock(double x, double y) const {
        for (const Building3D& b : blocks) {
            if (x > b.footprint[0].x && x < b.footprint[2].x && y > b.footprint[0].y &&
                y < b.footprint[2].y)
                return true;
        }
        return false;
    }

    Building3D block(const std::string& id, double dx, double dy) const {
        const double x = mid.x + dx;
        const double y = mid.y + dy;
        return {id, {{x, y}, {x + 16, y}, {x + 16, y + 12}, {x, y + 12}, {x, y}}, 100.0, 9.0};
    }

    // The blocks, the surface model in one sheet over the frame and the margin its stage keeps,
    // and the given terrain sheets.
    void serveModels(const std::vector<fakes::GridSheet>& terrainSheets) {
        fakes::serveLod1Package(hosts, "1465", 2024,
                                {{"lod1.gml", box(-500, -500, 500, 500), blocks}});
        fakes::serveSurfaceModel(hosts, {sheet("S", box(-450, -450, 450, 450), true)});
        fakes::serveTerrainModel(hosts, terrainSheets);
    }

    // The terrain in four sheets split at the frame's middle, reaching 250 m beyond the frame.
    void serveQuadrants() {
        serveModels({sheet("SW", box(-450, -450, 0, 0)), sheet("SE", box(0, -450, 450, 0)),
                     sheet("NW", box(-450, 0, 0, 450)), sheet("NE", box(0, 0, 450, 450))});
    }

    // The terrain in 36 sheets of 80 m over the frame, row by row from the south: more than one
    // answer of the index lists.
    void serveSmallSheets() {
        std::vector<fakes::GridSheet> sheets;
        for (int row = 0; row < 6; ++row) {
            for (int column = 0; column < 6; ++column) {
                const double x = -240.0 + 80.0 * column;
                const double y = -240.0 + 80.0 * row;
                sheets.push_back(sheet("T" + std::to_string(row) + std::to_string(column),
                                       box(x, y, x + 80, y + 80)));
            }
        }
        serveModels(sheets);
    }

    json fetchStages() {
        return fetch(demo.frameWgs84, {"teren", "poziomice2d", "budynkindsm"}).back();
    }

    // Every stage brought what the sheets it read give.
    void expectEveryStageBuilt(const json& done) {
        const json counts = done.at("counts");
        EXPECT_GT(counts.value("teren (Siatka)", 0), 0) << done;
        EXPECT_GT(counts.value("poziomice (warstwice)", 0), 0) << done;
        EXPECT_EQ(counts.value("budynkindsm", 0), 2) << done;
        for (const TerrainTile& tile : fetched().terrain) {
            for (const TerrainPoint& p : tile.pts)
                ASSERT_NEAR(p.z, terrain(p.x, p.y), 1e-3) << p.x << " " << p.y;
        }
    }

    const fakes::Scenario demo = fakes::demoScenario();
    const Bbox frame = ImportController::bboxFromWgs84(demo.frameWgs84);
    const GisPoint mid{(frame.minx + frame.maxx) / 2, (frame.miny + frame.maxy) / 2};
    // South-west and south-east of the middle.
    const std::vector<Building3D> blocks = {block("w", -60, -20), block("e", 40, -60)};
};

// Whether the point lies in the north-east quadrant, a cell or more from its edges.
bool deepInNorthEast(double x, double y, const GisPoint& mid) {
    return x > mid.x + 1.5 && y > mid.y + 1.5;
}

struct BadSheet {
    const char* name;
    loopback::Answer answer;
};

void PrintTo(const BadSheet& bad, std::ostream* out) {
    *out << bad.name;
}

class OneBadSheet : public TerrainSheets, public ::testing::WithParamInterface<BadSheet> {};

TEST_P(OneBadSheet, EveryStageNamesItAndBuildsFromTheOthers) {
    serveQuadrants();
    hosts.openData.on(fakes::terrainSheetPath("NE"), GetParam().answer);
    const json done = fetchStages();
    EXPECT_EQ(done.value("warning", ""),
              "Teren: pominieto 1 kafel nie do uzycia (NMT NE). nMPT/NMT: pominieto 1 kafel nie "
              "do uzycia (NMT NE). Poziomice: pominieto 1 kafel nie do uzycia (NMT NE).");
    expectEveryStageBuilt(done);
    // The terrain and the contours of the three other quadrants, nothing where the bad sheet
    // lies.
    int quadrants[4] = {0, 0, 0, 0};
    for (const TerrainTile& tile : fetched().terrain) {
        for (const TerrainPoint& p : tile.pts) {
            ASSERT_FALSE(deepInNorthEast(p.x, p.y, mid)) << p.x << " " << p.y;
            ++quadrants[(p.x > mid.x ? 1 : 0) + (p.y > mid.y ? 2 : 0)];
        }
    }
    EXPECT_GT(quadrants[0], 0);
    EXPECT_GT(quadrants[1], 0);
    EXPECT_GT(quadrants[2], 0);
    for (const Warstwica& line : fetched().contours) {
        for (const GisPoint& p : line.pts)
            ASSERT_FALSE(deepInNorthEast(p.x, p.y, mid)) << p.x << " " << p.y;
    }
    for (const RoofModel& roof : fetched().roofsNdsm)
        EXPECT_EQ(roof.flag, 0);
}

// A grid whose header announces more values than it holds, and one whose cells are so large that
// their extent leaves every number a map can hold.
std::string damagedGrid() {
    return "ncols 450\nnrows 450\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n1 2 "
           "3\n";
}
std::string absurdCells() {
    return "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1e300\nnodata_value -9999\n"
           "1 2\n3 4\n";
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, OneBadSheet,
    ::testing::Values(
        BadSheet{"DownloadLimitPage",
                 loopback::ok("<!DOCTYPE html><html><body>Przekroczono limit pobran</body></html>",
                              "text/html")},
        BadSheet{"NotFound", loopback::status(404)}, BadSheet{"Unavailable", loopback::status(503)},
        BadSheet{"DamagedGrid", loopback::ok(damagedGrid())},
        BadSheet{"AbsurdCellSize", loopback::ok(absurdCells())}),
    [](const ::testing::TestParamInfo<BadSheet>& info) { return info.param.name; });

TEST_F(TerrainSheets, AHostThatDoesNotAnswerIsNamedWithItsStatusNotBlamedOnParsing) {
    serveQuadrants();
    for (const char* godlo : {"SW", "SE", "NW", "NE"})
        hosts.openData.on(fakes::terrainSheetPath(godlo), loopback::status(503));
    const json done = fetchStages();
    const std::string down =
        "usluga plikow NMT (geoportal) nie odpowiada - nie pobrano zadnego arkusza NMT. Powod: "
        "Serwer zwrocil status 503.";
    EXPECT_EQ(done.value("warning", ""),
              "Teren: " + down + " Budynki (nMPT): " + down + " Poziomice: " + down);
    EXPECT_EQ(done.at("counts"), json({{"budynki3d", 2}}));

    // Sheets that came but do not read are still told as such.
    for (const char* godlo : {"SW", "SE", "NW", "NE"})
        hosts.openData.on(fakes::terrainSheetPath(godlo), loopback::ok(damagedGrid()));
    EXPECT_EQ(fetch(demo.frameWgs84, {"budynkindsm"}).back().value("warning", ""),
              "Budynki (nMPT): nie udalo sie sparsowac kafli nMPT/NMT.");
}

// What one bad answer of the terrain model's index does to every stage that reads the index.
struct BadIndex {
    const char* name;
    bool smallSheets;  // the terrain in 36 sheets, else in four
    std::function<void(fakes::Hosts&)> spoil;
    std::function<std::string(const std::string& prefix)> sentence;
};

void PrintTo(const BadIndex& bad, std::ostream* out) {
    *out << bad.name;
}

class OneBadIndexAnswer : public TerrainSheets, public ::testing::WithParamInterface<BadIndex> {};

TEST_P(OneBadIndexAnswer, EveryStageSaysWhatItUsedAndBuildsFromIt) {
    const BadIndex& bad = GetParam();
    if (bad.smallSheets)
        serveSmallSheets();
    else
        serveQuadrants();
    bad.spoil(hosts);
    const json done = fetchStages();
    EXPECT_EQ(done.value("warning", ""), bad.sentence("Teren: ") + " " +
                                             bad.sentence("Budynki (nMPT): ") + " " +
                                             bad.sentence("Poziomice: "));
    expectEveryStageBuilt(done);
}

// The index's year asked first: the one after the current year.
std::string newestYear() {
    return std::to_string(sheetindex::currentUtcYear() + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Index, OneBadIndexAnswer,
    ::testing::Values(
        BadIndex{"APageFailsPartWay", true,
                 [](fakes::Hosts& hosts) {
                     hosts.geoportal.on(fakes::kTerrainIndexPath, "STARTINDEX=20",
                                        loopback::status(503));
                 },
                 [](const std::string& prefix) {
                     return prefix +
                            "skorowidz NMT nie podal wszystkich arkuszy kadru (odczytano 20) - "
                            "kadr moze byc pokryty tylko czesciowo.";
                 }},
        BadIndex{"TheNewestYearFailsAndAnOlderIsUsed", false,
                 [](fakes::Hosts& hosts) {
                     hosts.geoportal.on(fakes::kTerrainIndexPath, "SkorowidzNMT" + newestYear(),
                                        loopback::status(503));
                 },
                 [](const std::string& prefix) {
                     return prefix + "usluga skorowidza NMT z roku " + newestYear() +
                            " (geoportal) nie odpowiada - uzyto arkuszy z roku " +
                            std::to_string(sheetindex::currentUtcYear()) +
                            ". Powod: Serwer zwrocil status 503.";
                 }}),
    [](const ::testing::TestParamInfo<BadIndex>& info) { return info.param.name; });

// A frame whose grid the budget cannot hold is refused before the index is asked; the terrain at
// a step that keeps it to 4 x 4 tiles samples a small part of the same frame and goes on.
TEST_F(TerrainSheets, AnAreaTooLargeForTheGridIsRefusedBeforeAnySheet) {
    serveQuadrants();
    struct Case {
        const char* key;
        int step;
        const char* prefix;  // of the refusal; nullptr when the stage goes on
    };
    // Some 11 x 11 km around the middle.
    const std::array<double, 4> district{21.0122 - 0.081, 52.2297 - 0.0495, 21.0122 + 0.081,
                                         52.2297 + 0.0495};
    for (const Case c : {Case{"poziomice2d", 1, "Poziomice: "}, Case{"teren", 20, "Teren: "},
                         Case{"teren", 1, nullptr}}) {
        SCOPED_TRACE(std::string(c.key) + " at " + std::to_string(c.step) + " m");
        hosts.geoportal.clearLog();
        const json done = postUntil({{"type", "fetch"},
                                     {"bboxWgs84", district},
                                     {"layers", {c.key}},
                                     {"terrainStep", c.step}},
                                    "fetchDone")
                              .back();
        const std::string warning = done.value("warning", "");
        if (c.prefix == nullptr) {
            EXPECT_EQ(warning.find("za duzy dla modelu"), std::string::npos) << warning;
            EXPECT_GT(hosts.geoportal.count(fakes::kTerrainIndexPath), 0u);
            continue;
        }
        EXPECT_TRUE(warning.starts_with(std::string(c.prefix) + "kadr za duzy dla modelu NMT ("))
            << warning;
        EXPECT_TRUE(warning.ends_with(" km2, najwyzej 100 km2) - zmniejsz kadr.")) << warning;
        EXPECT_EQ(hosts.geoportal.count(fakes::kTerrainIndexPath), 0u);
    }
}

// A frame of some 1.2 km at a step of 1 m keeps 4 x 4 tiles of 800 m: of its nine sheets of
// 500 m only the four under the tiles are read, the part of the frame they serve is told by area,
// and the index is asked for that part alone.
TEST_F(TerrainSheets, ATerrainCutToItsTilesReadsOnlyTheSheetsUnderThemAndTellsTheOthers) {
    const std::array<double, 4> wide{21.0122 - 0.0088, 52.2297 - 0.0054, 21.0122 + 0.0088,
                                     52.2297 + 0.0054};
    const Bbox large = ImportController::bboxFromWgs84(wide);
    ASSERT_GT(large.maxx - large.minx, 1100.0);
    ASSERT_LT(large.maxx - large.minx, 1300.0);
    ASSERT_LT(large.maxy - large.miny, 1300.0);
    std::vector<fakes::GridSheet> sheets;
    std::vector<std::string> names;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const double x = large.minx - 100.0 + 500.0 * column;
            const double y = large.miny - 100.0 + 500.0 * row;
            names.push_back("K" + std::to_string(row) + std::to_string(column));
            sheets.push_back(sheet(names.back(), {x, y, x + 500, y + 500}));
        }
    }
    fakes::serveTerrainModel(hosts, sheets);
    hosts.geoportal.clearLog();
    const json done = fetch(wide, {"teren"}).back();
    const std::string frameArea = numbertext::fixed(modelsheets::areaOf(large) / 1e6, 2);
    EXPECT_EQ(done.value("warning", ""),
              "Teren: arkusze NMT pobrano tylko pod probkowana czescia kadru (0.64 z " + frameArea +
                  " km2). Kadr za duzy dla kroku 1 m - teren ograniczony do 4x4 platek. Zwieksz "
                  "krok do >= 2 m, aby pokryc caly kadr.");
    EXPECT_EQ(hosts.geoportal.count(fakes::kTerrainIndexPath), 1u);
    EXPECT_EQ(done.at("counts").value("teren (Siatka)", 0), 16);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool underTiles = names[i][1] != '2' && names[i][2] != '2';
        EXPECT_EQ(hosts.openData.count(fakes::terrainSheetPath(names[i])), underTiles ? 1u : 0u)
            << names[i];
    }
    for (const TerrainTile& tile : fetched().terrain) {
        for (const TerrainPoint& p : tile.pts)
            ASSERT_NEAR(p.z, terrain(p.x, p.y), 1e-3);
    }
}

}  // namespace
