// The fetch pipeline's parts on plain records and against fake services on their own: zones
// against the frame, features repeated across cells, the utility lines of a county WFS, the
// municipality lookup, the reading of a "fetch" request and the failure record.

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "GSException.h"
#include "HostTestApi.h"
#include "fakes/Hosts.h"
#include "geodata/GmlParser.h"
#include "geodata/ProjConv.h"
#include "import/ImportController.h"
#include "import/fetch/FetchRun.h"
#include "import/fetch/ImportVectorStages.h"
#include "import/fetch/MunicipalityLookup.h"
#include "loopback/TempDir.h"

namespace {

using json = nlohmann::json;

GisFeature zone(std::vector<GisPoint> outer, std::vector<std::vector<GisPoint>> holes = {}) {
    GisFeature f;
    f.polygons.push_back({std::move(outer), std::move(holes)});
    return f;
}

std::vector<GisPoint> ring(double minx, double miny, double maxx, double maxy) {
    return {{minx, miny}, {maxx, miny}, {maxx, maxy}, {minx, maxy}};
}

TEST(ZoneMeetsFrame, ByLabelPointOrByAnyCommonPoint) {
    const Bbox frame{0, 0, 10, 10};
    struct Case {
        const char* what;
        GisFeature zone;
        bool meets;
    };
    GisFeature labelled = zone(ring(20, 20, 30, 30));
    labelled.hasPoint = true;
    labelled.point = {5, 5};
    const std::vector<Case> cases = {
        {"covers the frame, no vertex in it", zone(ring(-100, -100, 100, 100)), true},
        {"a vertex inside", zone(ring(5, 5, 50, 50)), true},
        {"an edge crosses, no vertex inside", zone({{-5, 5}, {15, 5}, {15, 20}, {-5, 20}}), true},
        {"a diagonal cuts a corner", zone({{-1, 3}, {3, -1}, {-10, -10}}), true},
        {"touches the edge", zone(ring(10, 0, 20, 10)), true},
        {"beside the frame", zone(ring(11, 0, 20, 10)), false},
        {"a triangle passing the corner", zone({{-1, 1.5}, {1.5, -1}, {-10, -10}}), true},
        {"a triangle missing the corner", zone({{-1, 0.5}, {-0.5, -1}, {-10, -10}}), false},
        {"the frame inside a hole", zone(ring(-100, -100, 100, 100), {ring(-20, -20, 20, 20)}),
         false},
        {"a hole's edge crosses the frame",
         zone(ring(-100, -100, 100, 100), {ring(5, -20, 20, 20)}), true},
        {"its label point inside", labelled, true},
        {"no polygon", GisFeature{}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vectorstages::zoneMeetsFrame(c.zone, frame), c.meets) << c.what;
}

TEST(DropRepeatedFeatures, KeepsTheFirstOfEqualFeaturesOnly) {
    GisFeature a = zone(ring(0, 0, 1, 1));
    a.props = {{"ID", "1"}};
    GisFeature otherProps = a;
    otherProps.props.insert_or_assign("ID", "2");
    GisFeature otherKind = a;
    otherKind.kind = 1;
    GisFeature moved = a;
    moved.polygons[0].outer[2].x = 1.000001;
    GisFeature holed = a;
    holed.polygons[0].holes.push_back(ring(0.2, 0.2, 0.4, 0.4));
    GisFeature line;
    line.lines = {{{0, 0}, {1, 1}}};

    std::vector<GisFeature> features = {a,     otherProps, a,     otherKind, moved,
                                        holed, line,       holed, line};
    vectorstages::dropRepeatedFeatures(features);
    ASSERT_EQ(features.size(), 6u);
    EXPECT_EQ(features[0].props.at("ID"), "1");
    EXPECT_EQ(features[1].props.at("ID"), "2");
    EXPECT_EQ(features[2].kind, 1);
    EXPECT_EQ(features[5].lines.size(), 1u);
}

class AgainstFakes : public ::testing::Test {
protected:
    void SetUp() override { services::setEndpoints(hosts.endpoints()); }
    void TearDown() override { services::resetEndpoints(); }

    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    fakes::Hosts hosts;
    WfsClient client;
};

TEST_F(AgainstFakes, UtilityLinesOfEveryLineTypeOnceEachTaggedWithItsType) {
    // 800 m wide: two download cells; the main crosses their border and has no identifier.
    const Bbox frame{500000, 300000, 500800, 300300};
    const fakes::Feature main =
        fakes::polyline("", {{500100, 300100}, {500700, 300100}}, {{"rodzajSieci", "stary"}});
    const fakes::Feature far = fakes::polyline("g2", {{600000, 300100}, {600100, 300100}});
    hosts.county.onRequest("/gesut", fakes::FeatureWfs({{"gesut:przewod_wodociagowy", {main, far}},
                                                        {"gesut:urzadzenia", {main}}}));
    std::vector<std::string> labels;
    const auto found = vectorstages::utilityLines(client, hosts.county.url("/gesut"), frame,
                                                  [&labels](const char* label) {
                                                      labels.emplace_back(label);
                                                      return WfsClient::CellProgress();
                                                  });
    EXPECT_TRUE(found.reach.reached);
    EXPECT_TRUE(found.shortfall.empty());
    const std::vector<GisFeature>& lines = found.lines;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].kind, static_cast<int>(DataType::Gesut));
    EXPECT_EQ(lines[0].props.at("rodzajSieci"), "gesut:przewod_wodociagowy");
    EXPECT_EQ(labels, std::vector<std::string>{"GESUT (WFS)"}) << "a stage for the line type only";
    EXPECT_EQ(fakes::param(hosts.county.requests().front().query, "request"), "GetCapabilities");

    hosts.openData.on("/down", loopback::status(404));
    const auto down =
        vectorstages::utilityLines(client, hosts.openData.url("/down"), frame,
                                   [](const char*) { return WfsClient::CellProgress(); });
    EXPECT_TRUE(down.lines.empty());
    EXPECT_FALSE(down.reach.reached);
    EXPECT_EQ(down.reach.reason, "Serwer zwrocil status 404.");
}

// A line type that did not come, or one of whose cells did not, is named; what came is kept.
TEST_F(AgainstFakes, UtilityLinesNameTheLineTypeOrTheCellsThatDidNotCome) {
    const Bbox frame{500000, 300000, 500800, 300300};  // two cells, the eastern from 500500
    const fakes::Feature west = fakes::polyline("w", {{500100, 300100}, {500200, 300100}});
    const fakes::Feature east = fakes::polyline("e", {{500600, 300100}, {500700, 300100}});
    const fakes::FeatureWfs wfs(
        {{"gesut:przewod_wodociagowy", {west, east}}, {"gesut:przewod_gazowy", {west}}});
    // The lines of a service whose requests of one type fail, in the eastern cell or in all;
    // a client of its own, as the rows run side by side.
    const auto failing = [&](std::string path, std::string type, bool eastOnly) {
        hosts.county.onRequest(path, [=](const loopback::Request& r) {
            const std::string box = fakes::param(r.query, "BBOX");  // northing first
            const bool inEast = !box.empty() && std::stod(box.substr(box.find(',') + 1)) > 500300;
            const bool fails = fakes::param(r.query, "TYPENAMES") == type && (inEast || !eastOnly);
            return fails ? loopback::status(404) : wfs(r);
        });
        WfsClient own;
        return vectorstages::utilityLines(own, hosts.county.url(path), frame,
                                          [](const char*) { return WfsClient::CellProgress(); });
    };
    auto cell = std::async(std::launch::async, failing, "/cell", "gesut:przewod_wodociagowy", true);
    auto type = std::async(std::launch::async, failing, "/type", "gesut:przewod_gazowy", false);
    const vectorstages::UtilityLines cut = cell.get();
    EXPECT_EQ(cut.lines.size(), 2u) << "the western water main and gas line";
    EXPECT_EQ(cut.shortfall, std::vector<std::string>{"GESUT (gesut:przewod_wodociagowy): 1 z 2 "
                                                      "komorek pobierania nie przyszlo w calosci "
                                                      "- dane moga byc niepelne."});
    const vectorstages::UtilityLines gasless = type.get();
    EXPECT_EQ(gasless.lines.size(), 2u) << "both water mains";
    EXPECT_EQ(gasless.shortfall,
              std::vector<std::string>{"GESUT (gesut:przewod_gazowy): usluga WFS GESUT powiatu nie "
                                       "odpowiada - nie pobrano przewodow tego rodzaju. Powod: "
                                       "Serwer zwrocil status 404."});
}

// A capabilities request is asked once more after any answer that is no capabilities document,
// a web page with status 200 included, but not after one that says nothing is at the address.
TEST_F(AgainstFakes, CapabilitiesAreAskedOnceMoreUnlessTheyCameOrNothingIsThere) {
    const loopback::Answer capabilities = loopback::ok("<WMS_Capabilities/>", "text/xml");
    const loopback::Answer page = loopback::ok("<html><body>Przerwa</body></html>", "text/html");
    struct Row {
        const char* path;
        std::vector<loopback::Answer> answers;
        std::size_t requests;
        bool reached;
    };
    const std::vector<Row> rows = {
        {"/at-once", {capabilities}, 1, true},
        {"/page-then", {page, capabilities}, 2, true},
        {"/error-then", {loopback::status(503), capabilities}, 2, true},
        {"/pages", {page}, 2, false},
        {"/nothing-there", {loopback::status(404)}, 1, false},
    };
    // One client and host a row, side by side: a second request waits for its host's second.
    std::vector<std::future<void>> asked;
    for (const Row& row : rows) {
        asked.push_back(std::async(std::launch::async, [&row] {
            loopback::LoopbackServer server;
            server.onSequence(row.path, row.answers);
            WfsClient own;
            const WfsClient::HttpResult answer =
                fetchstages::probeCapabilities(own, server.url(row.path), "WMS");
            EXPECT_EQ(fetchstages::capabilitiesReach(answer).reached, row.reached) << row.path;
            EXPECT_EQ(server.count(), row.requests) << row.path;
            EXPECT_EQ(fakes::param(server.requests().back().query, "request"), "GetCapabilities");
        }));
    }
    for (std::future<void>& row : asked)
        row.get();
}

TEST_F(AgainstFakes, AnUnansweredLookupIsKeptForTheFetchAndSpendsNoLayerSearch) {
    const Bbox frame{410000, 410000, 410100, 410100};
    MunicipalityLookup lookup;
    services::Endpoints down = hosts.endpoints();
    down.geoportalMaps = "http://127.0.0.1:" + std::to_string(loopback::unusedPort());
    services::setEndpoints(down);
    const MunicipalityLookup::Found first = lookup.find(client, frame);
    EXPECT_EQ(first.teryt, "");
    EXPECT_FALSE(first.reach.reached);
    EXPECT_TRUE(first.reach.silent);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(lookup.find(client, frame).reach.reason, first.reach.reason);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200))
        << "the other stages of the fetch do not ask again";

    // The next fetch asks again; the service now answers under another layer name, which the
    // one search of its capabilities still finds.
    services::setEndpoints(hosts.endpoints());
    fakes::serveBoundaries(hosts,
                           {fakes::municipality("0201011", {400000, 400000, 415000, 420000})},
                           "ms:A03_Granice_gmin_2024");
    lookup.forgetUnreached();
    const MunicipalityLookup::Found found = lookup.find(client, frame);
    EXPECT_EQ(found.teryt, "020101");
    EXPECT_TRUE(found.reach.reached);
}

TEST_F(AgainstFakes, MunicipalityByItsCodePropertyReusedWithin10KmAndOneLayerSearch) {
    const Bbox west{400000, 400000, 415000, 420000};
    fakes::Feature coded = fakes::rectangle("g", west, {{"JPT_KOD_JE", "0201011"}});
    coded.props["ID_TERYT_X"] = "12345";  // too short
    coded.props["AKOD"] = "02010a1";      // not only digits
    const Bbox east{415000, 400000, 440000, 420000};
    fakes::serveBoundaries(hosts, {coded, fakes::municipality("0202044", east)},
                           "ms:A03_Granice_gmin_2024");
    MunicipalityLookup lookup;

    // The usual layer is unknown: the capabilities are searched once and the better name taken.
    EXPECT_EQ(lookup.terytForBbox(client, {410000, 410000, 410100, 410100}), "020101");
    EXPECT_EQ(hosts.geoportal.count(), 3u) << "query, capabilities, query again";
    const std::string asked = fakes::param(hosts.geoportal.requests().back().query, "bbox");
    EXPECT_EQ(asked, "410049,410049,410051,410051,urn:ogc:def:crs:EPSG::2180") << "2 m, swapped";

    // Within 10 km of that centre: the same code without asking, even in the next municipality.
    EXPECT_EQ(lookup.terytForBbox(client, {419000, 410000, 419100, 410100}), "020101");
    EXPECT_EQ(hosts.geoportal.count(), 3u);
    EXPECT_EQ(lookup.terytForBbox(client, {430000, 410000, 430100, 410100}), "020204");
    EXPECT_EQ(lookup.terytForBbox(client, {0, 0, 10, 10}), "") << "outside every municipality";
    std::size_t searches = 0;
    for (const loopback::Request& r : hosts.geoportal.requests())
        searches += fakes::param(r.query, "request") == "GetCapabilities" ? 1 : 0;
    EXPECT_EQ(searches, 1u) << "the capabilities are searched once";

    EXPECT_EQ(MunicipalityLookup::municipalityTypename(
                  "<Name>ms:gminy_obrony</Name><Name>ms:Gminy</Name><wfs:Name>granice_gmin</"
                  "wfs:Name><Name>ms:GRANICE_GMIN</Name><Name>ms:granice_gmin_2</Name>"),
              "ms:GRANICE_GMIN");
}

TEST(FetchRequest, TheBoxOfTheCornersAndTheZoneOfTheProjectOrOfTheLongitude) {
    host::reset();
    const Bbox box = ImportController::bboxFromWgs84({21.0, 52.0, 21.2, 52.1});
    const Bbox swapped = ImportController::bboxFromWgs84({21.2, 52.1, 21.0, 52.0});
    EXPECT_EQ(std::tie(box.minx, box.miny, box.maxx, box.maxy),
              std::tie(swapped.minx, swapped.miny, swapped.maxx, swapped.maxy));
    const GisPoint northWest = ProjConv::latLonToPl1992(52.1, 21.0);
    EXPECT_EQ(box.maxy, std::max(northWest.y, ProjConv::latLonToPl1992(52.1, 21.2).y));

    const json message = {{"bboxWgs84", {17.0, 52.0, 17.2, 52.1}}};
    std::string error;
    const auto request = ImportController::readFetchRequest(message, error);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->zoneEpsg, 2177) << "the zone of the centre's longitude, 17.1";
    EXPECT_EQ(std::tie(request->rasterScale, request->terrainStep, request->poziomiceCiecie,
                       request->poziomiceWygladz, request->terenChmuraKrok),
              std::make_tuple(1000, 1, 1.0, false, 1.0));
    EXPECT_TRUE(request->keys.empty());

    API_GeoLocation geo{};
    geo.surveyPoint.geoReferenceData.name = "EPSG:2178";
    host::setGeoLocation(geo);
    EXPECT_EQ(ImportController::readFetchRequest(message, error)->zoneEpsg, 2178);
    geo.surveyPoint.geoReferenceData.name = "EPSG:2180";
    host::setGeoLocation(geo);
    EXPECT_EQ(ImportController::readFetchRequest(message, error)->zoneEpsg, 2177);
}

TEST(FetchFailure, AnyExceptionBecomesAnEmptyRecordWithItsText) {
    const auto failed = [](auto thrown) {
        return ImportController::fetchOrFailure(
            [&]() -> ImportController::FetchedData { throw thrown; });
    };
    EXPECT_EQ(failed(std::runtime_error("brak pamieci")).warning, "Blad pobierania: brak pamieci");
    EXPECT_EQ(failed(GS::GeneralException("host")).warning, "Blad pobierania: host");
    const ImportController::FetchedData unknown = failed(42);
    EXPECT_EQ(unknown.warning, "Blad pobierania: nieznany blad");
    EXPECT_FALSE(unknown.hasData());
}

}  // namespace
