// The point-cloud page's messages through the palette's bridge to the one point-cloud
// controller, and its answers back in the page.

#include <gtest/gtest.h>

#include <chrono>

#include "ACAPinc.h"
#include "AddOnResources.h"
#include "HostTestApi.h"
#include "cloud/CloudFixtures.h"
#include "cloud_ui/CloudPalette.h"
#include "geodata/ServiceConfig.h"
#include "loopback/TempDir.h"
#include "support/PalettePage.h"
#include "support/ScopedEndpoints.h"

namespace {

using json = nlohmann::json;
using namespace cloudtest;

class CloudPageMessages : public ::testing::Test {
protected:
    void SetUp() override {
        host::reset();
        host::installResources(addOnResources());
        CloudController::Instance().setThreadLauncher(workers.launcher());
        CloudPalette::CreateInstance();
    }
    void TearDown() override {
        workers.join();
        host::pump();
        CloudController::Instance().setThreadLauncher({});
        host::projectEvent(APINotify_Quit);
    }

    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    loopback::ScopedEnv home{"HOME", dir.path().c_str()};
    loopback::ScopedEnv tmp{"TMPDIR", dir.path().c_str()};
    fakes::LidarService lidar{{sheet(gridInside(5))}};
    loopback::ScopedEndpoints endpoints{{&services::Endpoints::geoportalMaps, lidar.indexBase()}};
    Workers workers;
    pagekit::PalettePage page{CloudPalette::Guid()};
};

TEST_F(CloudPageMessages, ReachTheControllerAndComeBackInThePage) {
    const json frame = wgs84Around(kFrame);
    const json estimate = page.ask(json{{"type", "frameEstimate"}, {"bboxWgs84", frame}}.dump());
    EXPECT_EQ(estimate.at("type"), "estimateDone");
    EXPECT_TRUE(estimate.contains("points"));

    EXPECT_EQ(page.ask(R"({"type":"cancel"})"), json({{"type", "cancelled"}}))
        << "with no download running";
    EXPECT_TRUE(page.post(R"({"type":"getInit"})").empty()) << "no georeference: no answer";
    // Members of the wrong type are named, frames and points far from Poland refused: at once,
    // with nothing asked of the sheet index and the project's georeference as it was.
    const std::string frameAway =
        "Obszar poza zasiegiem ukladow PL-1992/PL-2000 - dane obejmuja tylko Polske.";
    const std::string pointAway =
        "Punkt poza zasiegiem ukladow PL-1992/PL-2000 - dane obejmuja tylko Polske.";
    const std::pair<const char*, std::string> refused[] = {
        {R"({"type":"frameEstimate","bboxWgs84":{"a":1,"b":2,"c":3,"d":4}})",
         "Pole \"bboxWgs84\" musi byc lista 4 liczb."},
        {R"({"type":"download","bboxWgs84":[21,52,null,52.1]})",
         "Pole \"bboxWgs84\" musi byc lista 4 liczb."},
        {R"({"type":"frameEstimate","bboxWgs84":[21,52,21.1,52.1],"detail":2})",
         "Pole \"detail\" musi byc tekstem."},
        {R"({"type":"setOrigin","lat":"52","lon":21})", "Pole \"lat\" musi byc liczba."},
        {R"({"type":"frameEstimate","bboxWgs84":[-74.05,40.65,-73.9,40.8]})", frameAway},
        {R"({"type":"download","bboxWgs84":[-74.05,40.65,-73.9,40.8]})", frameAway},
        {R"({"type":"frameEstimate","bboxWgs84":[13.5,52,13.7,52.1]})", frameAway},  // in part
        {R"({"type":"setOrigin","lat":0,"lon":180})", pointAway},
        {R"({"type":"setOrigin","lat":40.7128,"lon":-74.006})", pointAway},
    };
    workers.join();
    const std::size_t indexAsked = lidar.indexRequests();
    for (const auto& [message, sentence] : refused) {
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_EQ(page.ask(message), json({{"type", "error"}, {"msg", sentence}})) << message;
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
    }
    workers.join();
    EXPECT_EQ(lidar.indexRequests(), indexAsked);
    EXPECT_EQ(host::geoLocation(), API_GeoLocation{});

    EXPECT_EQ(page.post(json{{"type", "download"}, {"bboxWgs84", frame}, {"detail", "full"}}),
              std::vector<json>{json::parse(
                  R"({"type":"progress","label":"Pobieranie skorowidza LiDAR","pct":0})")});
    workers.join();
    host::pump();
    const std::vector<json> events = page.received();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().at("type"), "downloadDone");
    EXPECT_EQ(events.back().at("ok"), true) << events.back();
}

}  // namespace
