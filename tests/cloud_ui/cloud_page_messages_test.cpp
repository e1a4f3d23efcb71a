// The point-cloud page's messages through the palette's bridge to the one point-cloud
// controller, and its answers back in the page.

#include <gtest/gtest.h>

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
    const json typeError =
        page.ask(R"({"type":"frameEstimate","bboxWgs84":{"a":1,"b":2,"c":3,"d":4}})");
    EXPECT_EQ(typeError.at("msg").get<std::string>().rfind("Blad wewnetrzny: ", 0), 0u)
        << typeError;

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
