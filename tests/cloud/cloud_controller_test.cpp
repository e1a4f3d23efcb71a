// CloudController: the page's messages, the estimate workers and their generations, and the
// download from "download" to "downloadDone", with events read from the point-cloud page.

#include "cloud/CloudController.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <limits>
#include <thread>

#include "ACAPinc.h"
#include "AddOnResources.h"
#include "CloudFixtures.h"
#include "E57File.h"
#include "HostTestApi.h"
#include "PageFields.h"
#include "WebE57.h"
#include "builders/LasBuilder.h"
#include "cloud_ui/CloudPalette.h"
#include "fakes/TerrainModel.h"
#include "geodata/ServiceConfig.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"
#include "support/PalettePage.h"
#include "support/ScopedEndpoints.h"

namespace {

using json = nlohmann::json;
using namespace cloudtest;

json frameMessage(const std::vector<double>& corners, const char* detail = nullptr) {
    json m{{"type", "frameEstimate"}, {"bboxWgs84", corners}};
    if (detail != nullptr)
        m["detail"] = detail;
    return m;
}

class CloudControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::reset();
        host::installResources(addOnResources());
        controller.setThreadLauncher(workers.launcher());
        CloudPalette::CreateInstance();
        page.received();
    }
    void TearDown() override {
        workers.join();
        host::pump();
        CloudPalette::DestroyInstance();
    }

    // Lets the workers finish and delivers what they posted; the page's messages meanwhile.
    std::vector<json> settle() {
        workers.join();
        host::pump();
        return page.received();
    }

    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", (dir.path() + "/data").c_str()};
    loopback::ScopedEnv home{"HOME", dir.path().c_str()};
    loopback::ScopedEnv tmp{"TMPDIR", dir.path().c_str()};
    Workers workers;
    CloudController controller;
    pagekit::PalettePage page{CloudPalette::Guid()};
};

// ---- Estimates ----------------------------------------------------------------------------------

class Estimates : public CloudControllerTest {
protected:
    loopback::LoopbackServer index;
    loopback::ScopedEndpoints endpoints{{&services::Endpoints::geoportalMaps, index.url()}};

    void indexDensities(const std::vector<std::string>& densities) {
        std::vector<loopback::Answer> answers;
        for (const std::string& d : densities) {
            answers.push_back(loopback::ok(fakes::lidarIndexAnswer(fakes::lidarIndexMember(
                                               "A", "http://127.0.0.1:9/a.laz", d, "PL-1992")),
                                           "application/xml"));
        }
        index.onSequence(fakes::kLidarIndexPath, answers);
    }
};

TEST_F(Estimates, AnswerAtOnceThenRefineFromTheSheetIndex) {
    indexDensities({"4"});
    const std::vector<double> corners = wgs84Around(kFrame);
    const Bbox frame = controller.bboxFromWgs84(corners);
    const double area = (frame.maxx - frame.minx) * (frame.maxy - frame.miny);

    const json first = controller.onFrameEstimate(frameMessage(corners, "full"));
    EXPECT_EQ(first.at("type"), "estimateDone");
    EXPECT_EQ(first.at("density"), 12.0);
    EXPECT_EQ(first.at("points"), std::llround(12.0 * area));
    EXPECT_TRUE(first.at("points").is_number_integer());
    EXPECT_DOUBLE_EQ(first.at("sizeMB").get<double>(), first.at("points").get<double>() * 16e-6);
    EXPECT_EQ(first.at("overLimit"), false);

    const std::vector<json> refined = settle();
    ASSERT_EQ(refined.size(), 1u);
    EXPECT_EQ(refined[0].at("type"), "estimateDone");
    EXPECT_EQ(refined[0].at("density"), 4.0);
    EXPECT_EQ(refined[0].at("points"), std::llround(4.0 * area));

    const json next = controller.onFrameEstimate(frameMessage(corners, "full"));
    EXPECT_EQ(next.at("density"), 4.0) << "the density found is kept";
    EXPECT_TRUE(settle().empty()) << "the same density again: no second answer";
}

TEST_F(Estimates, OnlyTheNewestRequestMayRefine) {
    // The second request's worker asks the index first (and finds 30 per m2), then the first's
    // (which would find 4).
    indexDensities({"30", "4"});
    workers.hold();
    const std::vector<double> corners = wgs84Around(kFrame);
    controller.onFrameEstimate(frameMessage(corners));
    controller.onFrameEstimate(frameMessage(corners));
    ASSERT_EQ(workers.heldCount(), 2u);
    workers.release(1);
    workers.join();
    workers.release(0);
    const std::vector<json> refined = settle();
    ASSERT_EQ(refined.size(), 1u);
    EXPECT_EQ(refined[0].at("density"), 30.0);
    EXPECT_EQ(index.count(), 2u);
    EXPECT_EQ(controller.onFrameEstimate(frameMessage(corners)).at("density"), 30.0)
        << "the older worker stored nothing";
}

TEST_F(Estimates, ARefinementWithinOneHundredthIsStoredButNotSent) {
    indexDensities({"12.005"});
    const std::vector<double> corners = wgs84Around(kFrame);
    controller.onFrameEstimate(frameMessage(corners));
    EXPECT_TRUE(settle().empty());
    EXPECT_EQ(controller.onFrameEstimate(frameMessage(corners)).at("density"), 12.005);
}

TEST_F(Estimates, AFrameOfZeroWidthWeighsNothing) {
    indexDensities({"0"});
    const json reply = controller.onFrameEstimate(frameMessage({21.0, 52.0, 21.0, 52.0}));
    EXPECT_EQ(reply.at("points"), 0);
    EXPECT_EQ(reply.at("sizeMB"), 0.0);
    EXPECT_EQ(reply.at("overLimit"), false);
    EXPECT_TRUE(settle().empty()) << "no density in the index: nothing refined";
}

TEST_F(Estimates, BadFramesAreRefusedAndStartNoWorker) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const json bad[] = {
        json::object(),
        json{{"bboxWgs84", {21.0, 52.0, 21.1}}},
        json{{"bboxWgs84", {21.0, 52.0, 21.1, 52.1, 0.0}}},
        json{{"bboxWgs84", "21,52,21.1,52.1"}},
        json{{"bboxWgs84", nullptr}},
        json::array({1, 2, 3, 4}),
        json{{"bboxWgs84", {kNan, 52.0, 21.1, 52.1}}},
        json{{"bboxWgs84", {21.0, 52.0, kInf, 52.1}}},
        json{{"bboxWgs84", {21.0, 95.0, 21.1, 52.1}}},
        json{{"bboxWgs84", {21.0, 52.0, 190.0, 52.1}}},
    };
    for (const json& message : bad) {
        EXPECT_EQ(controller.onFrameEstimate(message),
                  json({{"type", "error"}, {"msg", "Nieprawidlowy bbox"}}))
            << message.dump();
        EXPECT_EQ(controller.onDownload(message),
                  json({{"type", "error"}, {"msg", "Nieprawidlowy bbox"}}));
    }
    EXPECT_TRUE(settle().empty());
    EXPECT_EQ(index.count(), 0u);

    const json fourMembers{{"bboxWgs84", {{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}}}};
    EXPECT_THROW(controller.onFrameEstimate(fourMembers), pagefield::Refusal);
    EXPECT_THROW(controller.onFrameEstimate(json{{"bboxWgs84", {21.0, 52.0, "x", 52.1}}}),
                 pagefield::Refusal);
    json numberDetail = frameMessage({21.0, 52.0, 21.1, 52.1});
    numberDetail["detail"] = 2;
    EXPECT_THROW(controller.onFrameEstimate(numberDetail), pagefield::Refusal);
}

TEST(CloudDetail, OnlyTheExactNamesChooseLightAndFull) {
    using cloudui::Detail;
    const std::pair<const char*, Detail> cases[] = {
        {"lekki", Detail::Light},    {"full", Detail::Full},     {"standard", Detail::Standard},
        {"Lekki", Detail::Standard}, {"FULL", Detail::Standard}, {"", Detail::Standard},
        {"full ", Detail::Standard}};
    for (const auto& [text, detail] : cases)
        EXPECT_EQ(CloudController::detailFromString(text), detail) << text;
    EXPECT_EQ(cloudui::detailVoxelSize(Detail::Light), 0.5);
    EXPECT_EQ(cloudui::detailVoxelSize(Detail::Standard), 0.2);
    EXPECT_EQ(cloudui::detailVoxelSize(Detail::Full), 0.0);
}

// ---- Origin and start position -------------------------------------------------------------

TEST_F(CloudControllerTest, SetOriginWritesThePl2000GeoreferenceOfTheMapCentre) {
    API_GeoLocation before{};
    before.placeInfo.altitude = 120.0;
    before.surveyPoint.geoReferenceData.verticalDatum = "PL-EVRF2007-NH";
    before.surveyPoint.geoReferenceData.mapZone = "6";
    host::setGeoLocation(before);

    const json reply = controller.onSetOrigin({{"lat", 52.0}, {"lon", 18.0}});
    ASSERT_EQ(reply.at("type"), "originSet");
    const GisPoint expected = ProjConv::latLonToPl2000(52.0, 18.0, 2177);
    EXPECT_NEAR(reply.at("e").get<double>(), expected.x, 0.01);
    EXPECT_NEAR(reply.at("n").get<double>(), expected.y, 0.01);

    const API_GeoLocation geo = host::geoLocation();
    EXPECT_EQ(geo.placeInfo.latitude, 52.0);
    EXPECT_EQ(geo.placeInfo.longitude, 18.0);
    EXPECT_EQ(geo.placeInfo.altitude, 120.0) << "the rest stays as read";
    const API_SurveyPoint& s = geo.surveyPoint;
    EXPECT_EQ(s.eastings, reply.at("e").get<double>());
    EXPECT_EQ(s.northings, reply.at("n").get<double>());
    EXPECT_EQ(s.geoReferenceData.name.ToUtf8(), "EPSG:2177");
    EXPECT_EQ(s.geoReferenceData.geodeticDatum.ToUtf8(), "ETRF2000 (PL-ETRF2000)");
    EXPECT_EQ(s.geoReferenceData.mapProjection.ToUtf8(), "PL-2000");
    EXPECT_EQ(s.geoReferenceData.verticalDatum.ToUtf8(), "PL-EVRF2007-NH");
    EXPECT_EQ(s.geoReferenceData.mapZone.ToUtf8(), "6");
    EXPECT_EQ(std::make_tuple(s.xAxisAbscissa, s.xAxisOrdinate, s.scale, s.orthogonalHeight),
              std::make_tuple(1.0, 0.0, 1.0, 0.0));

    char text[160];
    std::snprintf(text, sizeof text,
                  "Tovelmark Cloud: ustawiono georeferencje projektu: E=%.6f N=%.6f (EPSG:2177)",
                  s.eastings, s.northings);
    EXPECT_EQ(host::reportLines(), std::vector<std::string>{text});
    EXPECT_EQ(host::undoDepth(), 0u) << "no undoable step";
}

TEST_F(CloudControllerTest, SetOriginRefusesWhatItCannotWrite) {
    const auto error = [](const char* msg) { return json{{"type", "error"}, {"msg", msg}}; };
    EXPECT_EQ(controller.onSetOrigin({{"lat", 52.0}}), error("Brak wspolrzednych srodka mapy"));
    EXPECT_EQ(controller.onSetOrigin(json::array()), error("Brak wspolrzednych srodka mapy"));
    EXPECT_EQ(
        controller.onSetOrigin({{"lat", std::numeric_limits<double>::infinity()}, {"lon", 18.0}}),
        error("Nieprawidlowe wspolrzedne srodka mapy"));
    EXPECT_EQ(controller.onSetOrigin({{"lat", 52.0}, {"lon", 200.0}}),
              error("Nieprawidlowe wspolrzedne srodka mapy"));
    EXPECT_THROW(controller.onSetOrigin({{"lat", "52"}, {"lon", 18.0}}), pagefield::Refusal);

    host::failCalls("ACAPI_GeoLocation_GetGeoLocation", APIERR_GENERAL);
    EXPECT_EQ(controller.onSetOrigin({{"lat", 52.0}, {"lon", 18.0}}),
              error("Nie mozna odczytac georeferencji projektu"));
    host::failCalls("ACAPI_GeoLocation_SetGeoLocation", APIERR_GENERAL);
    EXPECT_EQ(controller.onSetOrigin({{"lat", 52.0}, {"lon", 18.0}}),
              error("Nie udalo sie zapisac georeferencji projektu"));
    EXPECT_EQ(host::geoLocation(), API_GeoLocation{});
    EXPECT_TRUE(host::reportLines().empty());
}

TEST_F(CloudControllerTest, GetInitOpensTheMapAtTheSurveyPoint) {
    EXPECT_TRUE(controller.onGetInit(json::object()).is_null()) << "no georeference";

    API_GeoLocation geo{};
    const GisPoint zone = ProjConv::latLonToPl2000(52.25, 21.0, 2178);
    geo.surveyPoint.eastings = zone.x;
    geo.surveyPoint.northings = zone.y;
    geo.surveyPoint.geoReferenceData.name = "ETRF2000-PL / CS2000/21 (EPSG:2178)";
    host::setGeoLocation(geo);
    json init = controller.onGetInit(json::object());
    EXPECT_EQ(init.at("type"), "init");
    EXPECT_NEAR(init.at("lat").get<double>(), 52.25, 1e-7);
    EXPECT_NEAR(init.at("lon").get<double>(), 21.0, 1e-7);
    EXPECT_EQ(init.at("zoom"), 17);
    EXPECT_TRUE(init.at("zoom").is_number_integer());

    const GisPoint p1992 = ProjConv::latLonToPl1992(50.0, 19.5);
    geo.surveyPoint.eastings = p1992.x;
    geo.surveyPoint.northings = p1992.y;
    geo.surveyPoint.geoReferenceData.name = "uklad lokalny";  // names no zone: PL-1992
    host::setGeoLocation(geo);
    init = controller.onGetInit(json::object());
    EXPECT_NEAR(init.at("lat").get<double>(), 50.0, 1e-6);
    EXPECT_NEAR(init.at("lon").get<double>(), 19.5, 1e-6);
}

// ---- Downloads ----------------------------------------------------------------------------------

class Downloads : public CloudControllerTest {
protected:
    json downloadMessage(const char* detail = "full") const {
        return {{"type", "download"}, {"bboxWgs84", wgs84Around(kFrame)}, {"detail", detail}};
    }
    std::string dest() const { return dir.path() + "/data/Tovelmark_Cloud/ostatnia_chmura.e57"; }

    // The last message of a settled download, and the labels of its progress events.
    json finish(std::vector<std::string>* labels = nullptr) {
        const std::vector<json> messages = settle();
        for (const json& m : messages) {
            if (labels != nullptr && m.at("type") == "progress")
                labels->push_back(m.at("label"));
        }
        return messages.empty() ? json() : messages.back();
    }
};

TEST_F(Downloads, FromTheIndexToTheKeptCopyWithProgressOnTheWay) {
    fakes::LidarService lidar({sheet(gridInside(6)), sheet(inZone(gridInside(5)), "PL-2000:S7")});
    const loopback::ScopedEndpoints endpoints{
        {&services::Endpoints::geoportalMaps, lidar.indexBase()}};
    EXPECT_TRUE(controller.onDownload(downloadMessage()).is_null());
    EXPECT_EQ(page.received(),
              std::vector<json>{json::parse(
                  R"({"type":"progress","label":"Pobieranie skorowidza LiDAR","pct":0})")});

    std::vector<std::string> labels;
    const std::vector<json> messages = settle();
    ASSERT_FALSE(messages.empty());
    std::vector<double> processed;
    for (const json& m : messages) {
        if (m.at("type") != "progress")
            continue;
        const std::string label = m.at("label");
        if (label == "Przetwarzanie kafli LiDAR") {
            processed.push_back(m.at("pct"));
            EXPECT_FALSE(m.contains("cancellable"));
        } else {
            EXPECT_EQ(label.rfind("Kafel ", 0), 0u) << label;
            EXPECT_EQ(m.at("cancellable"), true);
        }
    }
    EXPECT_EQ(processed, (std::vector<double>{50.0, 100.0}));
    EXPECT_EQ(messages.back(),
              json({{"type", "downloadDone"},
                    {"ok", true},
                    {"msg", "Chmura zapisana: " + dest() +
                                " - zaimportuj: Plik > Interoperacyjnosc > Chmura punktow."}}));
    ASSERT_EQ(host::alerts().size(), 1u);
    EXPECT_EQ(host::alerts()[0].title, "Tovelmark Cloud");
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/Tovelmark_Cloud/import.e57"))
        << "the temporary file is gone";

    const std::string diag = fixtures::readBytes(dir.path() + "/tovelmark_cloud_diag.txt");
    EXPECT_EQ(diag.rfind("=== Tovelmark Cloud \u2014 diagnostyka zgrania ===\npunktow=61 "
                         "placeEpsg=2178\n[CHMURA] offset(rog kadru PL-2000) offE=",
                         0),
              0u)
        << diag;
    EXPECT_NE(diag.find("\n[PROJEKT] survey point quality=0 east=0 north=0 rot(rad)=0 "
                        "epsg=2180\n[PROJEKT] orthogonalHeight=0\n--- oczekiwany rozjazd"),
              std::string::npos)
        << diag;

    if (const std::string why = webe57::unavailable(); !why.empty())
        GTEST_SKIP() << "web-e57 cannot run: " << why;
    const json read = webe57::read(dest());
    EXPECT_EQ(read.at("count"), 61) << read.dump();
}

TEST_F(Downloads, TheProjectsZoneAndSurveyPointPlaceTheCloud) {
    fakes::LidarService lidar({sheet(gridInside(3))});
    const loopback::ScopedEndpoints endpoints{
        {&services::Endpoints::geoportalMaps, lidar.indexBase()}};
    API_GeoLocation geo{};
    geo.surveyPoint.eastings = 7500000.0;
    geo.surveyPoint.northings = 5790000.0;
    geo.surveyPoint.orthogonalHeight = 100.0;
    geo.surveyPoint.geoReferenceData.name = "EPSG:2178";
    host::setGeoLocation(geo);
    controller.onDownload(downloadMessage());
    EXPECT_EQ(finish().at("ok"), true);
    const std::string diag = fixtures::readBytes(dir.path() + "/tovelmark_cloud_diag.txt");
    EXPECT_NE(diag.find("offE=7.5e+06 offN=5.79e+06\n"), std::string::npos) << diag;
    EXPECT_NE(diag.find("Z bezwzgledne(npm) z[10..12]"), std::string::npos) << diag;
    EXPECT_NE(diag.find("quality=2 east=7.5e+06 north=5.79e+06 rot(rad)=0 epsg=2178"),
              std::string::npos);
    EXPECT_NE(diag.find("[PROJEKT] orthogonalHeight=100\n"), std::string::npos);

    // A survey point of the same zone far beyond Poland anchors nothing: the points are placed
    // as without a georeference, from the frame's corner, rather than a continent away.
    geo.surveyPoint.northings = 1.0e9;
    host::setGeoLocation(geo);
    controller.onDownload(downloadMessage());
    EXPECT_EQ(finish().at("ok"), true);
    const std::string far = fixtures::readBytes(dir.path() + "/tovelmark_cloud_diag.txt");
    EXPECT_NE(far.find("[CHMURA] offset(rog kadru PL-2000)"), std::string::npos) << far;
}

// A project as "setOrigin" leaves it: the survey point at the map's centre in that place's zone,
// at project zero, with the terrain's height there. Both kinds of sheet come out around it.
TEST_F(Downloads, AProjectGeoreferencedAtTheMapCentreGetsTheCloudAroundItsSurveyPoint) {
    fakes::LidarService lidar({sheet(gridInside(3)), sheet(inZone(gridInside(3)), "PL-2000:S7")});
    const loopback::ScopedEndpoints endpoints{
        {&services::Endpoints::geoportalMaps, lidar.indexBase()}};
    double lat = 0.0, lon = 0.0;
    ProjConv::pl1992ToLatLon((kFrame.minx + kFrame.maxx) / 2, (kFrame.miny + kFrame.maxy) / 2, lat,
                             lon);
    ASSERT_EQ(controller.onSetOrigin({{"lat", lat}, {"lon", lon}}).at("type"), "originSet");
    API_GeoLocation geo = host::geoLocation();
    ASSERT_EQ(geo.surveyPoint.geoReferenceData.name.ToUtf8(), "EPSG:2178");
    geo.surveyPoint.orthogonalHeight = 100.0;  // as the terrain model's answer writes it
    host::setGeoLocation(geo);

    controller.onDownload(downloadMessage());
    ASSERT_EQ(finish().at("ok"), true);
    e57check::File file;
    e57check::read(dest(), file);
    const std::vector<ColouredPoint> grid = gridInside(3);
    ASSERT_EQ(file.records.size(), 2 * grid.size()) << "full detail keeps both sheets' points";
    for (std::size_t k = 0; k < file.records.size(); ++k) {
        const ColouredPoint& p = grid[k % grid.size()];
        const GisPoint zone = ProjConv::pl1992ToPl2000(p.x, p.y, kZone);
        const e57check::Record& r = file.records[k];
        EXPECT_NEAR(r.x, zone.x - geo.surveyPoint.eastings, 0.01) << k;
        EXPECT_NEAR(r.y, zone.y - geo.surveyPoint.northings, 0.01) << k;
        EXPECT_FLOAT_EQ(r.z, static_cast<float>(p.z - 100.0)) << k;
    }
}

TEST_F(Downloads, OneAtATimeAndTwoInARow) {
    std::vector<ColouredPoint> twice = gridInside(4);
    twice.insert(twice.end(), twice.begin(), twice.end());  // light detail keeps one of each
    fakes::LidarService lidar({sheet(twice)});
    const loopback::ScopedEndpoints endpoints{
        {&services::Endpoints::geoportalMaps, lidar.indexBase()}};
    workers.hold();
    EXPECT_TRUE(controller.onDownload(downloadMessage()).is_null());
    EXPECT_EQ(controller.onDownload(downloadMessage()),
              json({{"type", "error"}, {"msg", "Trwa pobieranie danych - sprobuj za chwile"}}));
    ASSERT_EQ(workers.heldCount(), 1u) << "the running one is left alone";
    workers.release(0);
    EXPECT_EQ(finish().at("ok"), true);
    e57check::File first;
    e57check::read(dest(), first);
    EXPECT_EQ(first.records.size(), 32u);

    EXPECT_TRUE(controller.onDownload(downloadMessage("lekki")).is_null()) << "idle again";
    workers.release(1);
    EXPECT_EQ(finish().at("ok"), true);
    e57check::File second;
    e57check::read(dest(), second);
    EXPECT_EQ(second.records.size(), 16u) << "the second cloud replaced the first";
    EXPECT_EQ(host::alerts().size(), 2u);
}

TEST_F(Downloads, AWorkerThatCannotStartLeavesTheControllerIdle) {
    fakes::LidarService lidar({sheet(gridInside(3))});
    const loopback::ScopedEndpoints endpoints{
        {&services::Endpoints::geoportalMaps, lidar.indexBase()}};
    controller.setThreadLauncher([](std::function<void()>) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "thread constructor failed");
    });
    EXPECT_THROW(controller.onDownload(downloadMessage()), std::system_error);
    EXPECT_THROW(controller.onFrameEstimate(frameMessage(wgs84Around(kFrame))), std::system_error);
    controller.setThreadLauncher(workers.launcher());
    EXPECT_TRUE(controller.onDownload(downloadMessage()).is_null()) << "not left busy";
    EXPECT_EQ(finish().at("ok"), true);
}

TEST_F(Downloads, CancelDuringASheetsTransfer) {
    fakes::LidarOptions slow;
    slow.chunkSize = 200;
    slow.chunkDelay = std::chrono::milliseconds(20);
    fakes::LidarService lidar({sheet(gridInside(8)), sheet(gridInside(8))}, slow);
    const loopback::ScopedEndpoints endpoints{
        {&services::Endpoints::geoportalMaps, lidar.indexBase()}};
    controller.onDownload(downloadMessage());
    page.received();
    ASSERT_TRUE(host::pumpUntil(
        [&] {
            for (const json& m : page.received()) {
                if (m.value("cancellable", false))
                    return true;
            }
            return false;
        },
        std::chrono::seconds(10)));
    EXPECT_EQ(controller.onCancel(json::object()), json({{"type", "cancelled"}}));
    EXPECT_EQ(finish(), json({{"type", "downloadDone"}, {"ok", false}, {"msg", "Anulowano."}}));
    EXPECT_EQ(lidar.fileRequests(1), 0u);
    EXPECT_TRUE(host::alerts().empty());
}

// A cancel while the index's answer or a sheet is held a minute, or while every sheet comes
// 1.5 s late: "downloadDone" within 3 s, and no request after the cancel but the one in flight.
TEST_F(Downloads, ACancelWhileARequestWaitsEndsTheDownloadWithinThreeSeconds) {
    using namespace std::chrono_literals;
    struct Row {
        const char* what;
        const char* path;  // of the request kept waiting, on the index's server or the sheets'
        bool held;         // else answered after 1.5 s
    };
    for (const Row& row :
         {Row{"index page held", fakes::kLidarIndexPath, true}, Row{"sheet held", "/a.laz", true},
          Row{"every sheet late", "/a.laz", false}}) {
        loopback::LoopbackServer index;
        loopback::LoopbackServer files;
        const Bbox everywhere{0, 0, 1e7, 1e7};
        index.onRequest(fakes::kLidarIndexPath,
                        fakes::SheetIndexWfs("gugik:SkorowidzDanychPomiarowychLIDAR",
                                             {{"A", everywhere, files.url("/a.laz")},
                                              {"B", everywhere, files.url("/b.laz")}}));
        loopback::Answer waiting = loopback::ok(sheet(gridInside(3)).file);
        waiting.delay = row.held ? std::chrono::milliseconds(60s) : 1500ms;
        loopback::LoopbackServer& kept = row.path == std::string("/a.laz") ? files : index;
        kept.on(row.path, waiting);
        files.on("/b.laz", waiting);
        const loopback::ScopedEndpoints endpoints{
            {&services::Endpoints::geoportalMaps, index.url()}};

        controller.onDownload(downloadMessage());
        ASSERT_TRUE(host::pumpUntil([&] { return kept.count(row.path) > 0; }, 10s)) << row.what;
        std::this_thread::sleep_for(400ms);  // the request well under way
        const auto cancelled = loopback::Clock::now();
        controller.onCancel(json::object());
        const json done = finish();
        const auto after = loopback::Clock::now() - cancelled;
        std::cout << "cancel to downloadDone, " << row.what << ": "
                  << std::chrono::duration_cast<std::chrono::milliseconds>(after).count()
                  << " ms\n";
        EXPECT_LT(after, 3s) << row.what;
        EXPECT_EQ(done, json({{"type", "downloadDone"}, {"ok", false}, {"msg", "Anulowano."}}))
            << row.what;
        for (const loopback::LoopbackServer* server : {&index, &files}) {
            for (const loopback::Request& r : server->requests())
                EXPECT_LE(r.arrival, cancelled) << row.what << ": " << r.target;
        }
    }
}

// A cloud that lacks a sheet is kept, and both the page and the alert say what it lacks, the
// alert in its headline too.
TEST_F(Downloads, ACloudWithoutOneOfItsSheetsIsKeptAndToldAsAWarning) {
    fakes::LidarSheet unavailable = sheet(gridInside(5));
    unavailable.godlo = "N-34-2";
    unavailable.status = 503;
    fakes::LidarService lidar({sheet(gridInside(6)), unavailable});
    const loopback::ScopedEndpoints endpoints{
        {&services::Endpoints::geoportalMaps, lidar.indexBase()}};
    controller.onDownload(downloadMessage());
    const std::string lacking = "Chmura punktow: pominieto 1 kafel nie do uzycia (LiDAR N-34-2).";
    EXPECT_EQ(finish(), json({{"type", "downloadDone"},
                              {"ok", true},
                              {"msg", "Chmura zapisana: " + dest() +
                                          " - zaimportuj: Plik > Interoperacyjnosc > Chmura "
                                          "punktow. " +
                                          lacking},
                              {"warning", true}}));
    ASSERT_EQ(host::alerts().size(), 1u);
    EXPECT_EQ(
        host::alerts()[0].largeText,
        "Chmura punktow zgrana z projektem, ale niepelna - czesc kadru moze byc bez punktow.");
    EXPECT_TRUE(host::alerts()[0].smallText.ends_with(dest() + "\n\n" + lacking))
        << host::alerts()[0].smallText;
}

TEST_F(Downloads, FailuresReachThePageAndLeaveNoFileBehind) {
    fakes::LidarService lidar({sheet(gridInside(3))});
    const loopback::ScopedEndpoints endpoints{
        {&services::Endpoints::geoportalMaps, lidar.indexBase()}};
    {
        fixtures::writeBytes(dir.file("plik"), "to nie folder");
        const loopback::ScopedEnv notAFolder("TMPDIR", dir.file("plik").c_str());
        controller.onDownload(downloadMessage());
        EXPECT_EQ(finish(), json({{"type", "downloadDone"},
                                  {"ok", false},
                                  {"msg", "Blad zapisu E57: Nie mozna zapisac pliku e57."}}));
    }

    std::filesystem::create_directories(dest());  // the copy cannot take its place
    controller.onDownload(downloadMessage());
    EXPECT_EQ(finish(), json({{"type", "downloadDone"},
                              {"ok", false},
                              {"msg", "Nie udalo sie zapisac chmury punktow w " + dest() + "."}}));
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/Tovelmark_Cloud/import.e57"));
    EXPECT_TRUE(host::alerts().empty());
}

}  // namespace
