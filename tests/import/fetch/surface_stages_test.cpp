// The surface-model stages: one grid over every sheet of a model, and buildings, bridges and
// roads from the normalised surface model through the map page against the fake geoportal,
// open-data host and Overpass endpoint.

#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <span>

#include "fakes/BuildingPackages.h"
#include "fakes/Overpass.h"
#include "fakes/TerrainModel.h"
#include "geodata/ProjConv.h"
#include "import/ImportController.h"
#include "import/ImportPage.h"
#include "import/fetch/SheetMosaic.h"
#include "support/fakes/Scenario.h"

namespace {

using importtest::json;
using importtest::ofType;

// A sheet's text over the area in cells of `cell` metres.
std::string sheetText(const Bbox& area, double cell, const fakes::HeightField& z) {
    return fakes::ascGrid({"",
                           {area.minx, area.miny},
                           cell,
                           static_cast<int>(std::lround((area.maxx - area.minx) / cell)),
                           static_cast<int>(std::lround((area.maxy - area.miny) / cell)),
                           z});
}

// More cells than any grid of these tests holds.
constexpr std::int64_t kManyCells = 1 << 24;

// The mosaic of the sheets, each of which must read.
FloatGrid mosaicOf(const std::vector<std::string>& sheets, const Bbox& keep) {
    SheetMosaic mosaic(keep, kManyCells);
    for (const std::string& sheet : sheets)
        EXPECT_TRUE(mosaic.add(sheet));
    return mosaic.take();
}

double at(const FloatGrid& grid, double x, double y) {
    double z = std::nan("");
    grid.sampleZ(x, y, z);
    return z;
}

const auto level = [](double z) { return [z](double, double) { return z; }; };

TEST(SheetMosaic, EveryCellFromTheFirstSheetThatCoversItCutToTheKeptArea) {
    const auto holed = [](double x, double y) {
        return x > 4 && x < 6 && y > 4 && y < 6 ? std::nan("") : 10.0;
    };
    const FloatGrid one =
        mosaicOf({sheetText({0, 0, 10, 10}, 1, holed), sheetText({10, 0, 20, 10}, 1, level(20)),
                  sheetText({0, 0, 20, 10}, 1, level(30))},
                 {-100, -100, 100, 100});
    EXPECT_EQ(std::tie(one.ncols, one.nrows, one.xll, one.yll, one.cellsize),
              std::make_tuple(20, 10, 0.0, 0.0, 1.0));
    EXPECT_EQ(at(one, 2.5, 2.5), 10.0);
    EXPECT_EQ(at(one, 15.5, 8.5), 20.0) << "the second sheet beside the first";
    EXPECT_EQ(at(one, 5.5, 5.5), 30.0) << "a hole of the first filled by the third";

    // Cut to whole cells around the kept area and the ring of cells around them; a coarser
    // second sheet sampled at the centres.
    const FloatGrid cut =
        mosaicOf({sheetText({0, 0, 10, 10}, 1, level(1)), sheetText({10, 0, 30, 10}, 5, level(2))},
                 {8.5, 2.2, 12.5, 3.1});
    EXPECT_EQ(std::tie(cut.ncols, cut.nrows, cut.xll, cut.yll), std::make_tuple(7, 4, 7.0, 1.0));
    EXPECT_EQ(at(cut, 9.5, 2.5), 1.0);
    EXPECT_EQ(at(cut, 12.5, 2.5), 2.0);

    const FloatGrid none = mosaicOf({sheetText({0, 0, 10, 10}, 1, level(1))}, {50, 50, 60, 60});
    double z = 0.0;
    EXPECT_FALSE(none.sampleZ(55, 55, z));
}

TEST(SheetMosaic, ASheetThatDoesNotReadLeavesTheGridAsItWas) {
    SheetMosaic mosaic({0, 0, 20, 10}, kManyCells);
    EXPECT_FALSE(mosaic.add("<html><body>Limit pobran</body></html>"));
    EXPECT_FALSE(mosaic.add(""));
    // Cells of a micrometre cannot set the grid's: over the kept area they would be 10^14.
    EXPECT_FALSE(
        mosaic.add("ncols 2 nrows 2 xllcorner 0 yllcorner 0 cellsize 1e-6 "
                   "nodata_value -9999 1 2 3 4"));
    // The first sheet that reads sets the cells; a sheet one value short does not read at all.
    EXPECT_TRUE(mosaic.add(sheetText({0, 0, 10, 10}, 0.5, level(1))));
    std::string shortSheet = sheetText({10, 0, 20, 10}, 1, level(2));
    shortSheet.erase(shortSheet.find_last_of('2'));
    EXPECT_FALSE(mosaic.add(shortSheet));
    const FloatGrid grid = mosaic.take();
    EXPECT_EQ(std::tie(grid.ncols, grid.nrows, grid.cellsize), std::make_tuple(20, 20, 0.5));
    EXPECT_EQ(at(grid, 5, 5), 1.0);
    EXPECT_TRUE(std::isnan(at(grid, 15, 5))) << "nothing of the short sheet";
}

TEST(SheetMosaic, CellsStayInPlaceWhereverTheKeptAreaCutsTheLattice) {
    // Sheets at map coordinates that no double holds exactly, cut by kept areas at odd places:
    // the grid holds the plane the sheets sample, inside the area the sheets cover.
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto plane = [](double x, double y) { return (x - 500000.0) + 0.5 * (y - 300000.0); };
    for (int trial = 0; trial < 100; ++trial) {
        const double cell = 0.3 + 0.7 * unit(rng);
        const double x0 = 500000.1 + unit(rng);
        const double y0 = 300000.7 + unit(rng);
        const Bbox first{x0, y0, x0 + 40 * cell, y0 + 30 * cell};
        const Bbox second{first.maxx, y0, first.maxx + 40 * cell, y0 + 30 * cell};
        const Bbox keep{x0 + 60 * cell * unit(rng), y0 + 10 * cell * unit(rng),
                        x0 + 80 * cell * (0.8 + 0.2 * unit(rng)),
                        y0 + 30 * cell * (0.7 + 0.3 * unit(rng))};
        const FloatGrid grid =
            mosaicOf({sheetText(first, cell, plane), sheetText(second, cell, plane)}, keep);
        ASSERT_FALSE(grid.z.empty()) << "trial " << trial;
        for (int k = 0; k < 20; ++k) {
            const double x = keep.minx + cell + (keep.maxx - keep.minx - 2 * cell) * unit(rng);
            const double y = keep.miny + cell + (keep.maxy - keep.miny - 2 * cell) * unit(rng);
            ASSERT_NEAR(at(grid, x, y), plane(x, y), 1e-3) << "trial " << trial;
        }
    }
}

// A sheet's text with the header values given as written.
std::string headerSheet(const std::string& cellsize, const std::string& xll = "0") {
    return "ncols 2 nrows 2 xllcorner " + xll + " yllcorner 0 cellsize " + cellsize +
           " nodata_value -9999 7 7 7 7";
}

TEST(SheetMosaic, ASheetWithCellsNoModelHasIsRefusedWhereverItComesAndTheOthersKept) {
    struct Case {
        const char* what;
        std::string sheet;
        bool reads;
    };
    const Case cases[] = {
        {"cells of 1e300 m: their extent overflows any cell index", headerSheet("1e300"), false},
        {"cells of a micrometre", headerSheet("1e-6"), false},
        {"cells just finer than a quarter metre", headerSheet("0.2499"), false},
        {"cells of a quarter metre", headerSheet("0.25"), true},
        {"cells of a kilometre", headerSheet("1000"), true},
        {"cells just coarser than a kilometre", headerSheet("1000.01"), false},
        {"a sheet far beyond any map", headerSheet("1", "1e300"), true},
        {"a sheet far before any map", headerSheet("1", "-1e300"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // As the first sheet, and after the sheets that set the grid: the same answer, and the
        // sound sheets' heights stay. A refused sheet leaves the grid as it was.
        SheetMosaic first({0, 0, 20, 10}, kManyCells);
        EXPECT_EQ(first.add(c.sheet), c.reads);
        SheetMosaic later({0, 0, 20, 10}, kManyCells);
        ASSERT_TRUE(later.add(sheetText({0, 0, 10, 10}, 1, level(1))));
        ASSERT_TRUE(later.add(sheetText({10, 0, 20, 10}, 1, level(2))));
        EXPECT_EQ(later.add(c.sheet), c.reads);
        const FloatGrid grid = later.take();
        if (!c.reads) {
            EXPECT_EQ(std::tie(grid.ncols, grid.nrows, grid.cellsize),
                      std::make_tuple(20, 10, 1.0));
        }
        EXPECT_EQ(at(grid, 5.5, 5.5), 1.0);
        EXPECT_EQ(at(grid, 15.5, 5.5), 2.0);
    }
}

TEST(SheetMosaic, TheBudgetCountsTheCellsWhateverTheirSize) {
    // Over 100 x 100 m the budget of 1 m cells: a first sheet of half-metre cells would need four
    // times as many and is refused; the next sheet of metre cells sets the grid.
    const Bbox keep{0, 0, 100, 100};
    const auto budget = static_cast<std::int64_t>(SheetMosaic::cellsOver(keep, 1.0));
    SheetMosaic mosaic(keep, budget);
    EXPECT_FALSE(mosaic.add(sheetText({-10, -10, 110, 110}, 0.5, level(3))));
    EXPECT_TRUE(mosaic.add(sheetText({-10, -10, 110, 110}, 1.0, level(4))));
    const FloatGrid grid = mosaic.take();
    EXPECT_EQ(grid.cellsize, 1.0);
    EXPECT_EQ(at(grid, 50, 50), 4.0);

    // The estimate bounds the grid over any area, wherever the sheet's lattice cuts it.
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 100; ++trial) {
        const double cell = 0.25 + 2.0 * unit(rng);
        const Bbox area{10 * unit(rng), 10 * unit(rng), 20 + 20 * unit(rng), 20 + 20 * unit(rng)};
        const double cells = SheetMosaic::cellsOver(area, cell);
        SheetMosaic exact(area, static_cast<std::int64_t>(cells));
        ASSERT_TRUE(exact.add(sheetText({-5, -5, 50, 50}, cell, level(1)))) << trial;
        const FloatGrid taken = exact.take();
        EXPECT_LE(static_cast<double>(taken.ncols) * taken.nrows, cells) << trial;
    }
}

// The grid samples as the sheets do anywhere in the kept area, its edges included: a sheet that
// reaches beyond them lends the ring of cells that sampling there takes.
TEST(SheetMosaic, SamplingAnywhereInTheKeptAreaGivesTheSheetsHeights) {
    const auto bumpy = [](double x, double y) { return 100.0 + std::sin(x) * std::cos(0.7 * y); };
    const Bbox keep{3.3, 2.6, 17.2, 8.9};
    const std::string west = sheetText({0, 0, 10, 12}, 1, bumpy);
    const std::string east = sheetText({10, 0, 20, 12}, 1, bumpy);
    const FloatGrid grid = mosaicOf({west, east}, keep);
    FloatGrid whole;
    ASSERT_TRUE(whole.parse(sheetText({0, 0, 20, 12}, 1, bumpy)));
    for (const GisPoint p :
         {GisPoint{keep.minx, keep.miny}, GisPoint{keep.maxx, keep.maxy}, GisPoint{keep.minx, 5.0},
          GisPoint{12.0, keep.maxy}, GisPoint{9.9, 4.1}, GisPoint{10.1, 7.7}}) {
        EXPECT_NEAR(at(grid, p.x, p.y), at(whole, p.x, p.y), 1e-4) << p.x << " " << p.y;
    }
}

class SurfaceStages : public importtest::ImportPage {
protected:
    void SetUp() override {
        ImportPage::SetUp();
        fakes::serveBoundaries(hosts, {fakes::municipality(demo.teryt, demo.municipalityArea)});
    }

    // Terrain sloping gently to the east from 100 m at the frame's centre.
    double terrain(double x, double /*y*/) const { return 100.0 + 0.01 * (x - c.x); }

    // A block of 16 x 12 m, 9 m high, whose south-west corner lies at (dx, dy) from the centre.
    Building3D block(const std::string& id, double dx, double dy) const {
        const double x = c.x + dx;
        const double y = c.y + dy;
        return {id, {{x, y}, {x + 16, y}, {x + 16, y + 12}, {x, y + 12}, {x, y}}, 100.0, 9.0};
    }

    // The blocks standing 9 m, the bridge deck 6 m above the terrain.
    double surface(double x, double y) const {
        for (const Building3D& b : blocks) {
            if (x > b.footprint[0].x && x < b.footprint[2].x && y > b.footprint[0].y &&
                y < b.footprint[2].y)
                return terrain(x, y) + 9.0;
        }
        const bool deck = x > c.x - 80 && x < c.x - 20 && std::abs(y - (c.y - 40)) < 4;
        return terrain(x, y) + (deck ? 6.0 : 0.0);
    }

    Bbox box(double dx0, double dy0, double dx1, double dy1) const {
        return {c.x + dx0, c.y + dy0, c.x + dx1, c.y + dy1};
    }

    // A sheet of 1 m cells over the area, of the surface or of the terrain.
    fakes::GridSheet sheet(const std::string& godlo, const Bbox& area, bool raised) const {
        return {
            godlo,
            {area.minx, area.miny},
            1.0,
            static_cast<int>(area.maxx - area.minx),
            static_cast<int>(area.maxy - area.miny),
            [this, raised](double x, double y) { return raised ? surface(x, y) : terrain(x, y); }};
    }

    // Each model in one sheet, or in two: west of the centre, then east of it.
    void serveModels(bool split) {
        if (!split) {
            fakes::serveSurfaceModel(hosts, {sheet("A", box(-100, -60, 100, 60), true)});
            fakes::serveTerrainModel(hosts, {sheet("A", box(-100, -60, 100, 60), false)});
            return;
        }
        const Bbox west = box(-100, -60, 0, 60);
        const Bbox east = box(0, -60, 100, 60);
        fakes::serveSurfaceModel(hosts, {sheet("W", west, true), sheet("E", east, true)});
        fakes::serveTerrainModel(hosts, {sheet("W", west, false), sheet("E", east, false)});
    }

    void serveBlocks() {
        fakes::serveLod1Package(hosts, "1465", 2024,
                                {{"lod1.gml", box(-500, -500, 500, 500), blocks}});
    }

    // A bridge on a primary road west of the centre and a residential road across both sheets;
    // the service that answers with them.
    fakes::Overpass serveWays() {
        const fakes::Feature bridge =
            fakes::polyline("", {{c.x - 75, c.y - 40}, {c.x - 25, c.y - 40}},
                            {{"highway", "primary"}, {"bridge", "yes"}, {"width", "6"}});
        const fakes::Feature road = fakes::polyline(
            "", {{c.x - 90, c.y + 40}, {c.x + 90, c.y + 40}}, {{"highway", "residential"}});
        const fakes::Overpass service({bridge, road});
        hosts.overpass.onRequest(fakes::Overpass::kPath, service);
        return service;
    }

    json fetchDone(const std::vector<std::string>& keys) {
        return fetch(demo.frameWgs84, keys).back();
    }

    static const ImportController::FetchedData& fetched() {
        return ImportController::Instance().lastFetch();
    }

    const fakes::Scenario demo = fakes::demoScenario();
    const GisPoint c = ProjConv::latLonToPl1992(52.2297, 21.0122);
    const std::vector<Building3D> blocks = {block("w", -60, -20), block("e", 40, 0)};
};

// The highest corner of a model's faces.
double topOf(const RoofModel& model) {
    double top = -1e9;
    model.forEachFace([&top](std::span<const Pt3> corners) {
        for (const Pt3& p : corners)
            top = std::max(top, p.z);
    });
    return top;
}

TEST_F(SurfaceStages, BuildingsBridgesAndRoadsFromEverySheetOfTheFrameReadOnce) {
    serveBlocks();
    serveModels(true);
    serveWays();
    const json done = fetchDone({"budynkindsm", "mosty", "drogi"});
    EXPECT_EQ(done.at("counts"),
              json({{"budynki3d", 2}, {"budynkindsm", 2}, {"mosty", 1}, {"drogi", 1}}));
    EXPECT_FALSE(done.contains("warning")) << done;

    const ImportController::FetchedData& data = fetched();
    EXPECT_FALSE(data.lod1Requested);
    ASSERT_EQ(data.roofsNdsm.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);  // the second block stands on the second sheet only
        EXPECT_EQ(data.roofsNdsm[i].flag, 0);
        const double ground = terrain(blocks[i].footprint[0].x, 0);
        EXPECT_NEAR(data.roofsNdsm[i].faces.at(0).pts.at(0).z, ground + 9.0, 0.2);
    }
    EXPECT_EQ(data.roofsNdsmStatus, "Budynki nMPT: 2 obrysow.");
    EXPECT_EQ(data.bridges.at(0).flag, 0);
    EXPECT_NEAR(topOf(data.bridges[0]), terrain(c.x - 25, 0) + 6.0, 0.3);
    EXPECT_EQ(data.roads.at(0).flag, 0);
    EXPECT_NEAR(topOf(data.roads[0]), terrain(c.x + 90, 0), 0.1) << "on the terrain";
    EXPECT_EQ(data.bridgesStatus, "Mosty (OSM): 1 w kadrze.");
    EXPECT_EQ(data.roadsStatus, "Drogi (OSM): 1 w kadrze.");

    // Both stages use the one model: every index asked and every sheet fetched once.
    EXPECT_EQ(hosts.geoportal.count(fakes::kSurfaceIndexPath), 1u);
    EXPECT_EQ(hosts.geoportal.count(fakes::kTerrainIndexPath), 1u);
    for (const char* godlo : {"W", "E"}) {
        EXPECT_EQ(hosts.openData.count(fakes::surfaceSheetPath(godlo)), 1u) << godlo;
        EXPECT_EQ(hosts.openData.count(fakes::terrainSheetPath(godlo)), 1u) << godlo;
    }
}

// A block whose footprint reaches 1e12 m south once hung the roof sampling, and a bridge with a
// node off the globe took many times the stage's time and became a bridge of its own: both are
// left out where they are read and counted, and every sound element comes as without them.
TEST_F(SurfaceStages, DamagedFootprintsAndWaysAreLeftOutAndCounted) {
    Building3D spiked = block("d", 10, -50);
    spiked.footprint.insert(spiked.footprint.begin() + 1, {c.x + 15, -1e12});
    std::vector<Building3D> withDamaged = blocks;
    withDamaged.push_back(spiked);
    fakes::serveLod1Package(hosts, "1465", 2024,
                            {{"lod1.gml", box(-500, -500, 500, 500), withDamaged}});
    serveModels(false);
    // The fake's answer and one more bridge that starts in the frame and ends off the globe.
    const fakes::Overpass sound = serveWays();
    hosts.overpass.onRequest(fakes::Overpass::kPath, [sound](const loopback::Request& r) {
        loopback::Answer answer = sound(r);
        json body = json::parse(answer.body);
        body["elements"].push_back(
            {{"type", "way"},
             {"id", 99},
             {"tags", {{"highway", "primary"}, {"bridge", "yes"}}},
             {"geometry",
              {{{"lat", 52.2297}, {"lon", 21.0122}}, {{"lat", 98.8}, {"lon", 1101171}}}}});
        answer.body = body.dump();
        return answer;
    });
    const json done = fetchDone({"budynki3d", "budynkindsm", "mosty", "drogi"});
    EXPECT_EQ(done.at("warning"),
              "Modele 3D: pominieto uszkodzone budynki: 1 (bledne wspolrzedne). Mosty/drogi: "
              "pominieto uszkodzone obiekty OSM: 1 (bledne wspolrzedne).");
    EXPECT_EQ(done.at("counts"),
              json({{"budynki3d", 2}, {"budynkindsm", 2}, {"mosty", 1}, {"drogi", 1}}));
    const ImportController::FetchedData& data = fetched();
    ASSERT_EQ(data.roofsNdsm.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_NEAR(topOf(data.roofsNdsm[i]), terrain(blocks[i].footprint[0].x, 0) + 9.0, 0.2);
    EXPECT_NEAR(topOf(data.bridges.at(0)), terrain(c.x - 25, 0) + 6.0, 0.3);
}

// Overpass stops a query that runs out of time or memory and answers, with status 200, the ways
// found so far and a remark: they are kept, and the stage says so in the service's first words.
// An answer that breaks off mid-way, or whose elements are no list, is told as an answer that
// could not be read, never as an area without bridges or roads.
TEST_F(SurfaceStages, WaysOfAnAnswerTheServiceCutShortAreKeptAndItIsTold) {
    serveModels(false);
    const fakes::Overpass sound = serveWays();
    const std::string said =
        "Mosty/drogi: usluga Overpass (OSM) przerwala odpowiedz - dane moga "
        "byc niepelne. Uwaga uslugi: ";
    const std::string unread =
        "Mosty/drogi: usluga Overpass (OSM) nie odpowiada - nie sprawdzono mostow ani drog. "
        "Powod: Serwer zwrocil odpowiedz innego rodzaju niz oczekiwana.";
    const std::string timeout =
        "runtime error: Query timed out in \"query\" at line 1 after 26 seconds.";
    const std::string memory =
        "runtime error: Query ran out of memory in \"query\" at line 1. It "
        "would need at least 0 MB of RAM to continue.";
    const auto remarked = [](const std::string& remark) {
        return [remark](json& body) { body["remark"] = remark; };
    };
    const auto elements = [](json value) {
        return [value](json& body) { body["elements"] = value; };
    };
    struct Case {
        const char* key;
        std::function<void(json&)> edit;  // of the sound answer
        bool cut;                         // the answer breaks off half-way
        json counts;
        std::string warning;
    };
    const Case cases[] = {
        {"mosty", remarked(timeout), false, {{"mosty", 1}}, said + timeout},
        {"drogi",
         remarked(memory),
         false,
         {{"drogi", 2}},
         said + memory.substr(0, memory.find(" continue")) + "..."},
        {"drogi", [](json&) {}, true, json::object(), unread},
        {"mosty", elements(json::object()), false, json::object(), unread},
        {"mosty", elements(json::array()), false, json::object(),
         "Nic nie pobrano dla tego obszaru."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.warning);
        hosts.overpass.onRequest(fakes::Overpass::kPath, [&sound, c](const loopback::Request& r) {
            loopback::Answer answer = sound(r);
            json body = json::parse(answer.body);
            c.edit(body);
            answer.body = body.dump();
            if (c.cut)
                answer.body.resize(answer.body.size() / 2);
            return answer;
        });
        const json done = fetchDone({c.key});
        EXPECT_EQ(done.at("counts"), c.counts);
        EXPECT_EQ(done.value("warning", ""), c.warning);
    }
}

TEST_F(SurfaceStages, WhichWaysAreBridgesDependsOnTheKeysAndBothStatusesAreWritten) {
    serveModels(false);
    serveWays();
    EXPECT_EQ(fetchDone({"mosty"}).at("counts"), json({{"mosty", 1}}));
    EXPECT_EQ(fetched().roadsStatus, "Drogi (OSM): 0 w kadrze.");

    // The bridge is a road too: without "mosty" it is shaped and counted as one.
    EXPECT_EQ(fetchDone({"drogi"}).at("counts"), json({{"drogi", 2}}));
    EXPECT_EQ(fetched().bridgesStatus, "Mosty (OSM): 0 w kadrze.");
    EXPECT_NEAR(topOf(fetched().roads[0]), terrain(c.x - 25, 0), 0.1) << "on the terrain";
}

TEST_F(SurfaceStages, AFrameWithoutSurfaceModelIsReportedByEachStageThatNeedsIt) {
    serveBlocks();
    serveWays();
    fakes::serveTerrainModel(hosts, {sheet("A", box(-100, -60, 100, 60), false)});
    fakes::serveSurfaceModel(hosts, {});  // the index answers, with no sheet
    const json done = fetchDone({"budynkindsm", "drogi"});
    EXPECT_EQ(done.at("warning"),
              "Budynki (nMPT): brak pokrycia nMPT lub NMT dla tego kadru. Mosty/drogi: brak "
              "pokrycia nMPT lub NMT dla tego kadru.");
    EXPECT_EQ(done.at("counts"), json({{"budynki3d", 2}}));
    EXPECT_EQ(fetched().roofsNdsmStatus, "");
    EXPECT_EQ(hosts.openData.count(fakes::terrainSheetPath("A")), 0u);
}

TEST_F(SurfaceStages, ASheetThatDoesNotReadIsReportedByEachStageThatNeedsIt) {
    serveBlocks();
    serveWays();
    serveModels(false);
    hosts.openData.on(fakes::terrainSheetPath("A"), loopback::ok("ncols 1\n"));
    EXPECT_EQ(fetchDone({"budynkindsm", "mosty"}).at("warning"),
              "Budynki (nMPT): nie udalo sie sparsowac kafli nMPT/NMT. Mosty/drogi: nie udalo sie "
              "sparsowac kafli nMPT/NMT.");
    EXPECT_EQ(hosts.openData.count(fakes::terrainSheetPath("A")), 1u)
        << "read once for both stages";
}

// A frame of some 7.5 x 7.5 km would need grids of over a gigabyte: the stage says so and asks
// for no sheet.
TEST_F(SurfaceStages, AFrameTooLargeForTheGridsIsRefusedBeforeAnySheet) {
    serveBlocks();
    serveModels(false);
    const std::array<double, 4> district{21.0122 - 0.055, 52.2297 - 0.0337, 21.0122 + 0.055,
                                         52.2297 + 0.0337};
    const json done = fetch(district, {"budynkindsm"}).back();
    const std::string warning = done.at("warning");
    EXPECT_TRUE(warning.starts_with("Budynki (nMPT): kadr za duzy dla modelu nMPT/NMT ("))
        << warning;
    EXPECT_TRUE(warning.ends_with(" km2 z marginesem, najwyzej 40 km2) - zmniejsz kadr."))
        << warning;
    EXPECT_EQ(hosts.geoportal.count(fakes::kSurfaceIndexPath), 0u);
    EXPECT_EQ(hosts.geoportal.count(fakes::kTerrainIndexPath), 0u);
}

TEST_F(SurfaceStages, WithoutFootprintsTheBuildingsStageIsSilent) {
    fakes::serveLod1Package(hosts, "1465", 2024, {{"empty.gml", box(-500, -500, 500, 500), {}}});
    const json done = fetchDone({"budynkindsm"});
    EXPECT_FALSE(done.contains("counts") && done.at("counts").contains("budynkindsm"));
    EXPECT_EQ(done.at("warning"), "Nic nie pobrano dla tego obszaru.");
    EXPECT_EQ(hosts.geoportal.count(fakes::kSurfaceIndexPath), 0u) << "nothing to place a roof on";
}

TEST_F(SurfaceStages, SheetsThatDoNotComeOrReadAreNamedAndTheOthersUsed) {
    serveBlocks();
    serveWays();
    fakes::serveSurfaceModel(hosts, {sheet("A", box(-100, -60, 100, 60), true)});
    // The terrain in quadrants: the download-limit page comes for the north-west one, nothing
    // for the south-east one. The bridge and the blocks stand on the other two.
    fakes::serveTerrainModel(
        hosts, {sheet("SW", box(-100, -60, 0, 0), false), sheet("SE", box(0, -60, 100, 0), false),
                sheet("NW", box(-100, 0, 0, 60), false), sheet("NE", box(0, 0, 100, 60), false)});
    hosts.openData.on(
        fakes::terrainSheetPath("NW"),
        loopback::ok("<html><body>Przekroczono limit pobran</body></html>", "text/html"));
    hosts.openData.on(fakes::terrainSheetPath("SE"), loopback::status(404));
    const json done = fetchDone({"budynkindsm", "mosty", "drogi"});
    EXPECT_EQ(done.at("warning"), "nMPT/NMT: pominieto 2 kafle nie do uzycia (NMT SE, NMT NW).");
    EXPECT_EQ(done.at("counts"),
              json({{"budynki3d", 2}, {"budynkindsm", 2}, {"mosty", 1}, {"drogi", 1}}));

    const ImportController::FetchedData& data = fetched();
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(data.roofsNdsm.at(i).flag, 0);
        EXPECT_NEAR(topOf(data.roofsNdsm[i]), terrain(blocks[i].footprint[0].x, 0) + 9.0, 0.2);
    }
    EXPECT_EQ(data.bridges.at(0).flag, 0);
    EXPECT_NEAR(topOf(data.bridges[0]), terrain(c.x - 25, 0) + 6.0, 0.3);
    // The road crosses the missing north-west sheet: it lies on the terrain east of it only.
    const RoofModel& road = data.roads.at(0);
    EXPECT_EQ(road.flag, 0);
    double west = 1e300;
    road.forEachFace([&west](std::span<const Pt3> corners) {
        for (const Pt3& p : corners)
            west = std::min(west, p.x);
    });
    EXPECT_GE(west, c.x - 0.5);
    EXPECT_NEAR(topOf(road), terrain(c.x + 90, 0), 0.1);
}

TEST_F(SurfaceStages, WithoutASurfaceSheetTheTerrainIsNotDownloaded) {
    serveBlocks();
    serveModels(false);
    hosts.openData.on(fakes::surfaceSheetPath("A"), loopback::status(404));
    EXPECT_EQ(fetchDone({"budynkindsm"}).at("warning"),
              "Budynki (nMPT): nie udalo sie sparsowac kafli nMPT/NMT.");
    EXPECT_EQ(hosts.openData.count(fakes::terrainSheetPath("A")), 0u);
}

TEST_F(SurfaceStages, ACancelBetweenSheetsStopsTheStageThatReadsThem) {
    using namespace std::chrono_literals;
    serveBlocks();
    serveWays();
    serveModels(true);
    // Slow surface sheets: the cancel comes while one of them does.
    for (const auto& [godlo, area] :
         {std::pair{"W", box(-100, -60, 0, 60)}, std::pair{"E", box(0, -60, 100, 60)}}) {
        loopback::Answer slow = loopback::ok(fakes::ascGrid(sheet(godlo, area, true)));
        slow.delay = 800ms;
        hosts.openData.on(fakes::surfaceSheetPath(godlo), slow);
    }
    const std::string label = "nMPT/NMT: pobieranie kafli";
    const auto buildings = cancelAt(demo.frameWgs84, {"budynkindsm", "drogi"}, label);
    EXPECT_EQ(buildings.back().at("warning"),
              "Budynki (nMPT): przerwano przez uzytkownika. Pobieranie przerwane przez "
              "uzytkownika - pozostale dane nie zostaly pobrane.");
    EXPECT_EQ(buildings.back().at("counts"), json({{"budynki3d", 2}}));
    EXPECT_EQ(hosts.openData.count(fakes::surfaceSheetPath("E")), 0u) << "no sheet after it";
    EXPECT_EQ(hosts.openData.count(fakes::terrainSheetPath("W")), 0u);
    for (const json& m : buildings) {
        if (m.value("label", "") == label) {
            EXPECT_EQ(m.value("cancellable", false), true);
        }
    }

    // The first sheet now comes from the cache, the cancel while the second does.
    const auto roads = cancelAt(demo.frameWgs84, {"drogi"}, label);
    EXPECT_EQ(roads.back().at("warning"), "Mosty/drogi: przerwano przez uzytkownika.");
    EXPECT_TRUE(fetched().roads.empty());
    EXPECT_EQ(fetched().roadsStatus, "");
    EXPECT_EQ(hosts.openData.count(fakes::terrainSheetPath("W")), 0u);
}

}  // namespace
