// "place" through the map page's bridge into the stand-in project: the fetched parcels and
// buildings, records of the other kinds as a fetch would leave them, the one undoable step, the
// steps that must be taken back whole, the refusals, the height anchor and the report lines.

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <tuple>

#include "ProjectDump.h"
#include "Settings.h"
#include "geodata/ProjConv.h"
#include "import/ImportController.h"
#include "import/ImportPage.h"
#include "support/fakes/Scenario.h"

namespace {

using importtest::json;
using Fetched = ImportController::FetchedData;

constexpr GSErrCode kRefused = APIERR_GENERAL;
const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(100, '\0');

class Placement : public importtest::ImportPage {
protected:
    void SetUp() override {
        ImportPage::SetUp();
        ImportController::Instance().reloadSettingsForTest();
    }

    // Keeps the record as a finished fetch of the keys over the frame would.
    void adopt(Fetched data, std::vector<std::string> keys = {}) {
        ImportController::FetchRequest request;
        request.bbox = frame;
        request.keys = std::move(keys);
        request.zoneEpsg = 2178;
        ImportController::Instance().adoptFetchForTest(request, std::move(data));
    }

    // A survey point at the frame's centre moved by (dx, dy) metres, in zone 2178 (or in PL-1992
    // when the system's name gives no zone).
    void surveyPoint(double height, double dx = 0, double dy = 0, const char* crs = "EPSG:2178") {
        const GisPoint p = ProjConv::epsgFromName(crs) == 2178
                               ? ProjConv::pl1992ToPl2000(centre.x + dx, centre.y + dy, 2178)
                               : GisPoint{centre.x + dx, centre.y + dy};
        API_GeoLocation geo{};
        geo.surveyPoint.eastings = p.x;
        geo.surveyPoint.northings = p.y;
        geo.surveyPoint.orthogonalHeight = height;
        geo.surveyPoint.geoReferenceData.name = crs;
        host::setGeoLocation(geo);
    }

    json place() { return page.ask(R"({"type":"place"})"); }

    static std::vector<json> dumped(int type) {
        std::vector<json> found;
        const auto project = host::projectJson();
        for (const auto& e : project.at("elements")) {
            if (e.at("type") == type)
                found.push_back(json::parse(e.dump()));
        }
        return found;
    }

    static API_AttributeIndex layerNamed(const std::string& name) {
        for (const API_Attribute& a : host::attributes(API_LayerID)) {
            if (a.header.name == name)
                return a.header.index;
        }
        return 0;
    }

    std::string diagnostics(const std::string& name) const {
        std::ifstream in(dir.file(name));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The project holds nothing of the add-on and no step can be undone.
    static void expectUntouched() {
        EXPECT_EQ(host::elementCount(), 0u);
        EXPECT_EQ(host::undoDepth(), 0u);
        EXPECT_EQ(host::attributes(API_LayerID).size(), 1u) << "layers made in the step went too";
    }

    const GisPoint centre = ProjConv::latLonToPl1992(52.2297, 21.0122);
    const Bbox frame{centre.x - 200, centre.y - 200, centre.x + 200, centre.y + 200};
};

GisFeature parcel(const GisPoint& c, const std::string& number) {
    GisFeature f;
    f.kind = static_cast<std::int32_t>(DataType::Dzialki);
    f.polygons = {
        {{{c.x - 5, c.y - 5}, {c.x + 5, c.y - 5}, {c.x + 5, c.y + 5}, {c.x - 5, c.y + 5}}, {}}};
    f.point = c;
    f.hasPoint = true;
    f.props = {{"NUMER_DZIALKI", number}};
    return f;
}

TerrainTile tile(const GisPoint& c, std::vector<double> heights) {
    TerrainTile t{{c.x, c.y, c.x + 10, c.y + 10}, {}};
    for (std::size_t i = 0; i < heights.size(); ++i)
        t.pts.push_back({c.x + 2.0 * static_cast<double>(i), c.y + 1, heights[i]});
    return t;
}

// A flat roof face (as a builder gives it) over a 10 m square at the height.
RoofModel roof(const GisPoint& c, double z, int flag) {
    return {{{{{c.x, c.y, z}, {c.x + 10, c.y, z}, {c.x + 10, c.y + 10, z}, {c.x, c.y + 10, z}}}},
            flag,
            1.0};
}

TEST_F(Placement, FetchedParcelsAndBuildingsGoOnTheirLayersInOneUndoableStep) {
    const fakes::Scenario demo = fakes::demoScenario();
    fakes::serveScenario(hosts, demo);
    fetch(demo.frameWgs84, {"dzialki", "budynki"});
    surveyPoint(100.0);  // at the frame's centre: the parcels lie around project zero

    EXPECT_EQ(place(),
              json({{"type", "placeDone"}, {"counts", {{"budynki", 36}, {"dzialki", 36}}}}));
    const auto outlines = dumped(API_PolyLineID), labels = dumped(API_TextID);
    const auto fills = dumped(API_HatchID);
    ASSERT_EQ(outlines.size(), 36u);
    ASSERT_EQ(labels.size(), 36u);
    ASSERT_EQ(fills.size(), 36u);
    EXPECT_EQ(outlines[0].at("layer"), layerNamed("GIS_DZIALKI"));
    EXPECT_EQ(outlines[0].at("pen"), 10);
    EXPECT_EQ(labels[0].at("text"), "1");
    EXPECT_EQ(labels[0].at("pen"), 10);
    EXPECT_EQ(labels[0].at("size"), 1.5);
    EXPECT_EQ(fills[0].at("layer"), layerNamed("GIS_BUDYNKI"));
    EXPECT_EQ(fills[0].at("pens").at("contour"), 6);
    // The first parcel, 38 m square, 100 m west and south of the centre: sizes and distances
    // survive the move into the project's zone.
    const json corners = outlines[0].at("coords");
    const double side = std::hypot(corners[1][0].get<double>() - corners[0][0].get<double>(),
                                   corners[1][1].get<double>() - corners[0][1].get<double>());
    EXPECT_NEAR(side, 38.0, 0.05);
    double x = 0, y = 0;
    for (int i = 0; i < 4; ++i) {
        x += corners[i][0].get<double>() / 4;
        y += corners[i][1].get<double>() / 4;
    }
    EXPECT_NEAR(std::hypot(x, y), std::hypot(100, 100), 0.1);
    EXPECT_EQ(host::reportLines().back(),
              "TERRAWEFT: wektory w lokalnych wsp. X[-122..122] Y[-122..122] m od zera projektu.");
    EXPECT_EQ(host::undoNames(), std::vector<std::string>{"Import GIS"});
    ASSERT_TRUE(host::undo());
    expectUntouched();
}

TEST_F(Placement, AStepThatMustEndIsTakenBackWhole) {
    Fetched data;
    for (int i = 0; i < 3; ++i)
        data.rasters.push_back({DataType::Rastry, kPng, frame, 2180});
    data.features = {parcel(centre, "7")};
    data.terrain = {tile(centre, {100, 101, 102})};
    adopt(data);
    surveyPoint(100.0);

    // The third picture is refused: the two before it go too, and no feature is drawn.
    host::failCalls("ACAPI_Element_Create", kRefused, 1, 2);
    EXPECT_EQ(place(), json({{"type", "error"},
                             {"msg", "Blad wstawiania rastra (kod -2130313216) dla: rastry"}}));
    expectUntouched();

    // Pictures, parcel outline and label are made, then the terrain mesh is refused.
    host::failCalls("ACAPI_Element_Create", kRefused, 1, 5);
    EXPECT_EQ(place().at("msg"), "Blad tworzenia Siatki terenu (kod -2130313216)");
    expectUntouched();

    // Anything thrown inside the step ends it the same way, never through the host.
    data.lod2 = {{"LOD2.1",
                  {{{{centre.x, centre.y}, {centre.x + 5, centre.y}, {centre.x, centre.y + 5}},
                    {100, 100, 100}}},
                  0}};
    adopt(data);
    host::refuseBodies([](const host::MorphBody&) -> bool { throw std::bad_alloc(); });
    EXPECT_EQ(place().at("msg"), "Import nieudany (transakcja wycofana): std::bad_alloc");
    expectUntouched();
    EXPECT_EQ(host::liveBodyBuilders(), 0u);
    host::refuseBodies({});
}

TEST_F(Placement, RefusedWithoutDataWhileFetchingAndWithoutAUsableGeoreference) {
    adopt({});
    EXPECT_EQ(place(),
              json({{"type", "error"}, {"msg", "Najpierw kliknij \"1. Pobierz elementy\"."}}));

    // While a fetch runs (its first service answers late).
    adopt(Fetched{.features = {parcel(centre, "7")}});
    hosts.geoportal.onRequest(fakes::kBoundariesPath, [](const loopback::Request&) {
        loopback::Answer slow = loopback::status(404);
        slow.delay = std::chrono::milliseconds(500);
        return slow;
    });
    double lat = 0, lon = 0;
    ProjConv::pl1992ToLatLon(centre.x, centre.y, lat, lon);
    page.post(json{{"type", "fetch"},
                   {"bboxWgs84", {lon - 0.001, lat - 0.001, lon + 0.001, lat + 0.001}},
                   {"layers", {"dzialki"}}});
    EXPECT_EQ(place(),
              json({{"type", "error"}, {"msg", "Trwa pobieranie danych - sprobuj za chwile"}}));
    postUntil({{"type", "cancel"}}, "fetchDone");
    adopt(Fetched{.features = {parcel(centre, "7")}});

    EXPECT_EQ(place().at("msg").get<std::string>().substr(0, 36),
              "Projekt nie ma georeferencji. Klikni");

    // Only the project's location: approximate, placed up to 2 km from the area.
    const auto located = [&](double dy) {
        API_GeoLocation geo{};
        ProjConv::pl1992ToLatLon(centre.x, centre.y + dy, geo.placeInfo.latitude,
                                 geo.placeInfo.longitude);
        host::setGeoLocation(geo);
        return place();
    };
    EXPECT_EQ(located(2100).at("msg"),
              "Georeferencja projektu jest przyblizona i lezy 2 km od pobranego obszaru. Kliknij "
              "\"Ustaw lokalizacje projektu wg mapy\" i sprobuj ponownie.");
    EXPECT_EQ(located(1990), json({{"type", "placeDone"}, {"counts", {{"dzialki", 1}}}}))
        << "the approximation is not mentioned";

    // A survey point far away, or in a system the import does not know, only warns.
    surveyPoint(1.0, 0, 50900);
    EXPECT_EQ(place().at("warning"),
              "Uwaga: pobrany obszar lezy 50 km od Survey Pointu projektu - elementy beda daleko "
              "od zera projektu.");
    surveyPoint(1.0, 0, 49900);
    EXPECT_FALSE(place().contains("warning"));
    surveyPoint(1.0, 0, 0, "Lokalny");
    EXPECT_EQ(place().at("warning").get<std::string>().substr(0, 44),
              "Uwaga: nieobslugiwany CRS projektu \"Lokalny\"");

    // A survey point beyond the reach of the Polish systems (as an origin over New York once
    // left it, or a local system's small numbers read as PL-1992) would put everything that far
    // from project zero.
    const std::tuple<double, double, const char*> farAway[] = {{1.37e27, 5.8e6, "EPSG:2179"},
                                                               {1000.0, 2000.0, "Lokalny"}};
    for (const auto& [easting, northing, crs] : farAway) {
        API_GeoLocation geo{};
        geo.surveyPoint.eastings = easting;
        geo.surveyPoint.northings = northing;
        geo.surveyPoint.geoReferenceData.name = crs;
        host::setGeoLocation(geo);
        EXPECT_EQ(place(), json({{"type", "error"},
                                 {"msg",
                                  "Survey Point projektu lezy poza zasiegiem ukladow "
                                  "PL-1992/PL-2000 - dane obejmuja tylko Polske. Kliknij \"Ustaw "
                                  "lokalizacje projektu wg mapy\" i sprobuj ponownie."}}))
            << crs;
    }
    EXPECT_EQ(host::undoDepth(), 4u) << "a step for each placement, none for a refusal";
}

// A survey point that is no number (written by an earlier origin off the globe) placed nothing
// and still answered with counts: it counts as none, and the project's location stands in for
// it where it is a position.
TEST_F(Placement, ASurveyPointThatIsNoNumberIsNoGeoreference) {
    adopt(Fetched{.features = {parcel(centre, "7")}});
    for (const double broken : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        API_GeoLocation geo{};
        geo.surveyPoint.eastings = broken;
        geo.surveyPoint.northings = 5800000.0;
        geo.surveyPoint.geoReferenceData.name = "EPSG:2178";
        host::setGeoLocation(geo);
        EXPECT_EQ(place().at("msg").get<std::string>().substr(0, 36),
                  "Projekt nie ma georeferencji. Klikni")
            << broken;
        geo.placeInfo.latitude = 1e308;
        geo.placeInfo.longitude = 21.0;
        host::setGeoLocation(geo);
        EXPECT_EQ(place().at("type"), "error") << "nor is a location off the globe";
        ProjConv::pl1992ToLatLon(centre.x, centre.y, geo.placeInfo.latitude,
                                 geo.placeInfo.longitude);
        host::setGeoLocation(geo);
        EXPECT_EQ(place(), json({{"type", "placeDone"}, {"counts", {{"dzialki", 1}}}})) << broken;
    }
    EXPECT_EQ(dumped(API_PolyLineID).size(), 2u);
}

TEST_F(Placement, TheLowestTerrainPointBecomesProjectZeroAndIsKept) {
    Fetched data;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    data.terrain = {tile(centre, {97, 95, nan, -inf})};  // no height: never the lowest
    data.cloudTerrain = {tile({centre.x + 20, centre.y}, {96, 94.5})};
    data.water = {tile({centre.x + 40, centre.y}, {94.5})};
    data.cloudTerrainStatus = "Teren z chmury: 2 pkt.";
    adopt(data, {"teren", "terenchmura", "wodachmura"});
    surveyPoint(0.0);

    const json placed = place();
    EXPECT_EQ(placed.at("counts"), json({{"teren (Siatka)", 1},
                                         {"teren z chmury (Siatka)", 1},
                                         {"woda z chmury (Siatka)", 1}}));
    EXPECT_EQ(placed.at("warning"),
              "Rzedna projektu = najnizszy punkt terenu (94 m npm) = 0 projektu; zapisana w "
              "ustawieniach. Kolejne importy spojne Z. Teren z chmury: 2 pkt.");
    EXPECT_EQ(diagnostics("tovelmark_z_diag.txt"),
              "ohZ_georef_start=94.5 minZ_liczony=94.5 zAnchor(settings)=94.5 hasZAnchor=1 "
              "SetGeoLocation_ok=1 ohAfterSet=94.5 terrainZOffset=94.5 terenNMT=1 terenChmura=1\n");
    EXPECT_EQ(host::geoLocation().surveyPoint.orthogonalHeight, 94.5);
    EXPECT_EQ(Settings::load().zAnchor, 94.5);
    const auto meshes = dumped(API_MeshID);
    ASSERT_EQ(meshes.size(), 3u);
    EXPECT_EQ(meshes[0].at("levelPoints")[0][2], 2.5) << "97 m above the anchor";
    EXPECT_EQ(meshes[2].at("levelPoints")[0][2], 0.0) << "water at the point clouds' anchor";
    EXPECT_EQ(meshes[2].at("layer"), layerNamed("GIS_WODA_CHMURA"));

    // The next placement finds the anchor in the survey point; a refused cloud mesh is skipped.
    host::failCalls("ACAPI_Element_Create", kRefused, 1, 1);
    const json again = place();
    EXPECT_EQ(again.at("counts"), json({{"teren (Siatka)", 1}, {"woda z chmury (Siatka)", 1}}));
    EXPECT_EQ(again.at("warning"), "Pominieto 1 wadliwych geometrii lub bryl. " +
                                       placed.at("warning").get<std::string>());
    EXPECT_TRUE(diagnostics("tovelmark_z_diag.txt")
                    .starts_with("ohZ_georef_start=94.5 minZ_liczony=0 zAnchor(settings)=94.5"));
}

TEST_F(Placement, BuildingsAndRoofsAreSlabsAndMorphsWithReportLinesAndDiagnostics) {
    const auto at = [this](double dx, double dy) { return GisPoint{centre.x + dx, centre.y + dy}; };
    const auto square = [&](double dx) {
        return std::vector<GisPoint>{at(dx, 0), at(dx + 8, 0), at(dx + 8, 8), at(dx, 8)};
    };
    Fetched data;
    data.lod1 = {
        {"B1", square(0), 101, 6}, {"lod2.a", square(20), 101, 6}, {"B3", square(40), 101, 0}};
    data.lod1Requested = true;
    Lod2Face floor{square(20), {100, 100, 100, 100}};
    data.lod2 = {{"LOD2.A", {floor}, 0}, {"LOD2.B", {{{at(0, 0), at(1, 0)}, {100, 100}}}, 0}};
    data.roofsCloud = {roof(at(0, 0), 107, 0), roof(at(20, 0), 107, 1), {}};
    data.roofsCloudStatus = "Dachy z chmury: 1 kafli.";
    data.bridges = {roof(at(60, 0), 103, 0)};
    data.bridgesStatus = "Mosty: 1.";
    data.roads = {roof(at(80, 0), 0, 0)};
    data.roadsStatus = "Drogi: 1.";
    adopt(data, {"budynki3d", "budynkilod2", "dachychmura", "mosty", "drogi"});
    surveyPoint(100.0);
    host::refuseBodies([](const host::MorphBody& body) { return body.vertices[0].z < -50; });

    const json placed = place();
    host::refuseBodies({});
    EXPECT_EQ(placed.at("counts"), json({{"budynki3d", 1},
                                         {"budynkilod2", 1},
                                         {"dachychmura", 2},
                                         {"drogi", 0},
                                         {"mosty", 1}}));
    EXPECT_EQ(placed.at("warning"), "Pominieto 4 wadliwych geometrii lub bryl.");
    const std::vector<std::string> lines = host::reportLines();
    const std::string lod2Line =
        "TERRAWEFT LOD2: utworzono 1 (czyste: 1, triangulacja: 0, zupa: 0), pominieto 1 "
        "(zdegenerowane: 1)";
    const std::string roadLine =
        "TERRAWEFT drogi: utworzono 0 (oznaczono do korekty: 0), pominieto 1; blad Morph kod "
        "-2130317 x1";
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "TERRAWEFT LOD1: pominieto 1 bryl dublujacych sie z dachami LOD2 "
                         "(zostawiono LOD2); postawiono LOD1 tylko tam, gdzie brak LOD2.",
                         lod2Line,
                         "TERRAWEFT dachy z chmury: utworzono 2 (oznaczono do korekty: 1), "
                         "pominieto 1",
                         "TERRAWEFT mosty: utworzono 1 (oznaczono do korekty: 0), pominieto 0",
                         roadLine, "TERRAWEFT: " + placed.at("warning").get<std::string>()}));

    const auto slabs = dumped(API_SlabID);
    ASSERT_EQ(slabs.size(), 1u);
    EXPECT_EQ(slabs[0].at("level"), 1.0) << "101 m less the survey point's 100";
    EXPECT_EQ(slabs[0].at("id"), "B1");
    const auto morphs = dumped(API_MorphID);
    ASSERT_EQ(morphs.size(), 4u);
    EXPECT_NEAR(morphs[0].at("body").at("vertices")[0][2].get<double>(), 0.15, 1e-9)
        << "LoD2 buildings stand 0.15 m higher";
    EXPECT_EQ(morphs[1].at("layer"), layerNamed("GIS_BUDYNKI_LOD2_CHMURA"));
    EXPECT_STREQ(host::attributes(API_MaterialID)[1].header.name, "GIS Dach z chmury - POPRAW");
    EXPECT_EQ(morphs[2].at("body").at("materials")[0], 2) << "a flagged roof is to be corrected";

    EXPECT_TRUE(diagnostics("tovelmark_lod2_diag.txt")
                    .starts_with("pobrano(fetch)=2\n" + lod2Line + "\n-- TRIANGULACJA"));
    EXPECT_EQ(diagnostics("tovelmark_ndsm_diag.txt"),
              "mosty(fetch)=1, Mosty: 1.\nTERRAWEFT mosty: utworzono 1 (oznaczono do korekty: 0), "
              "pominieto 0\ndrogi(fetch)=1, Drogi: 1.\n" +
                  roadLine + "\n");
    EXPECT_TRUE(diagnostics("tovelmark_roofgen_diag.txt")
                    .starts_with("budynkow(fetch)=3, Dachy z chmury: 1 kafli.\nTERRAWEFT dachy"));
    EXPECT_NE(diagnostics("tovelmark_z_diag.txt")
                  .find("\nLOD1: zOff=100 (buildingZOffset) budynkow=3\n  LOD1 #0 groundZ_npm=101 "
                        "height=6 bazaLokalna=1\n  LOD1 #1 "),
              std::string::npos);
}

TEST_F(Placement, ARoadHeldAsAMeshIsTheMorphOfItsTrianglesGivenFaceByFace) {
    // Two cells of a road on a slope, their triangles over six shared corners.
    RoofModel shared;
    for (const auto& [dx, dy, z] : {std::tuple{0.0, 0.0, 101.0},
                                    {0.5, 0.0, 101.1},
                                    {0.5, 0.5, 101.2},
                                    {0.0, 0.5, 101.1},
                                    {1.0, 0.0, 101.3},
                                    {1.0, 0.5, 101.4}})
        shared.mesh.vertices.push_back({centre.x + dx, centre.y + dy, z});
    shared.mesh.triangles = {{0, 1, 2}, {0, 2, 3}, {1, 4, 5}, {1, 5, 2}};
    RoofModel separate;
    for (const auto& [a, b, c] : shared.mesh.triangles) {
        const std::vector<Pt3>& v = shared.mesh.vertices;
        separate.faces.push_back({{v[a], v[b], v[c]}});
    }
    Fetched data;
    data.roads = {shared, separate};
    data.roadsStatus = "Drogi: 2.";
    adopt(data, {"drogi"});
    surveyPoint(100.0);

    EXPECT_EQ(place().at("counts"), json({{"drogi", 2}}));
    const auto morphs = dumped(API_MorphID);
    ASSERT_EQ(morphs.size(), 2u);
    EXPECT_EQ(morphs[0].at("body"), morphs[1].at("body"));
    EXPECT_EQ(morphs[0].at("body").at("vertices").size(), 6u) << "corners welded as before";
}

TEST_F(Placement, ContourLinesLabelsAndMeshesAllStandOnTheStoredAnchor) {
    {
        Settings stored = Settings::defaults();
        stored.zAnchor = 100.0;
        stored.hasZAnchor = true;
        ASSERT_TRUE(stored.save());
        ImportController::Instance().reloadSettingsForTest();
    }
    const auto at = [this](double dx, double dy) { return GisPoint{centre.x + dx, centre.y + dy}; };
    Fetched data;
    data.contours = {{105, true, {at(-30, 0), at(30, 0)}},
                     {101, false, {at(-30, 10), at(30, 10)}},
                     {102, false, {at(0, 20)}}};
    data.cloudContours = {{104, false, {at(-30, 30), at(30, 30)}},
                          {103, false, {at(-30, 40), at(30, 40), at(30, 50)}}};
    adopt(data, {"poziomice2d", "poziomice3d", "poziomicechmura"});
    surveyPoint(0.0);

    EXPECT_EQ(place(), json({{"type", "placeDone"},
                             {"counts",
                              {{"podpisy rzednych", 1},
                               {"poziomice2d", 2},
                               {"poziomice3d", 1},
                               {"poziomicechmura3d", 1}}},
                             {"warning", "Pominieto 1 wadliwych geometrii lub bryl."}}));
    const auto lines = dumped(API_PolyLineID), labels = dumped(API_TextID);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].at("pen"), 2) << "index contour";
    EXPECT_EQ(lines[1].at("pen"), 1);
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels[0].at("text"), "105,00");
    EXPECT_EQ(labels[0].at("layer"), layerNamed("GIS_POZIOMICE_2D"));
    const auto meshes = dumped(API_MeshID);
    ASSERT_EQ(meshes.size(), 2u);
    EXPECT_EQ(meshes[0].at("levelPoints")[0][2], 5.0);
    EXPECT_EQ(meshes[1].at("levelPoints")[0][2], 4.0)
        << "point-cloud contours stand on the same anchor as the other kinds";
    EXPECT_EQ(meshes[1].at("layer"), layerNamed("GIS_POZIOMICE_CHMURA_3D"));

    // Both meshes refused: two more skipped, and only the point clouds' sentence stays.
    host::failCalls("ACAPI_Element_Create", kRefused, 2, 3);
    const json again = place();
    EXPECT_FALSE(again.at("counts").contains("poziomice3d"));
    EXPECT_EQ(again.at("warning"),
              "Pominieto 3 wadliwych geometrii lub bryl. Poziomice z chmury: nie udalo sie "
              "utworzyc Siatki 3D.");
}

}  // namespace
