// The point-cloud palette in terraweft-host's scripted mode, end to end against the fake LiDAR
// services: an estimate and its refinement, a download cancelled while a sheet arrives, and a
// download of two LAZ sheets whose E57 copy web-e57 reads back.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "WebE57.h"
#include "fakes/Lidar.h"
#include "loopback/TempDir.h"
#include "support/HostProgram.h"
#include "support/PalettePage.h"

namespace {

using json = nlohmann::json;

constexpr double kLat = 52.23;
constexpr double kLon = 21.01;

std::string post(const json& message) {
    return json{{"cmd", "post"}, {"palette", "cloud"}, {"text", message.dump()}}.dump();
}

std::string pumpUntil(const char* type) {
    return json{{"cmd", "pump"}, {"ms", 30000}, {"until", type}}.dump();
}

// The messages the point-cloud page received, and the alerts, in order.
struct Seen {
    std::vector<json> messages;
    std::vector<json> alerts;
};

Seen seenIn(const hostprogram::Run& run) {
    Seen seen;
    for (const json& event : run.events) {
        if (event.contains("palette") && event.at("palette") == "cloud")
            seen.messages.push_back(pagekit::messageOf(event.at("js")));
        else if (event.contains("alert"))
            seen.alerts.push_back(event.at("alert"));
        else
            ADD_FAILURE() << event.dump();
    }
    return seen;
}

std::vector<json> ofType(const std::vector<json>& messages, const std::string& type) {
    std::vector<json> out;
    for (const json& m : messages) {
        if (m.at("type") == type)
            out.push_back(m);
    }
    return out;
}

TEST(CloudHostProgram, EstimateCancelAndDownloadOfTwoSheets) {
    const fakes::SampleSheets samples =
        fakes::sampleSheetsAt(kLat, kLon, TW_SHARED_TESTDATA "/laz");
    if (!samples.laz)
        std::cout << "[ note ] shared LAZ sample absent: the sheets are LAS files\n";
    fakes::LidarOptions slow;
    slow.chunkSize = 1000;
    slow.chunkDelay = std::chrono::milliseconds(15);
    const fakes::LidarService lidar(samples.sheets, slow);

    const json frame = {kLon - 0.01, kLat - 0.006, kLon + 0.01, kLat + 0.006};
    const json download = {{"type", "download"}, {"bboxWgs84", frame}, {"detail", "full"}};
    const loopback::TempDir dir;
    const hostprogram::Run run = hostprogram::runScript(
        TW_HOST_PROGRAM,
        {R"({"cmd":"menu","menu":32500,"item":2})",
         post({{"type", "frameEstimate"}, {"bboxWgs84", frame}, {"detail", "full"}}),
         pumpUntil("estimateDone"), post(download), pumpUntil("progress"),
         post({{"type", "cancel"}}), pumpUntil("downloadDone"), post(download),
         pumpUntil("downloadDone"), R"({"cmd":"projectEvent","event":64})"},
        dir.path(), {"TERRAWEFT_GEOPORTAL_URL=" + lidar.indexBase()});
    EXPECT_EQ(run.exitCode, 0);
    const Seen seen = seenIn(run);

    const std::vector<json> estimates = ofType(seen.messages, "estimateDone");
    ASSERT_EQ(estimates.size(), 2u);
    EXPECT_EQ(estimates[0].at("density"), 12.0);
    EXPECT_EQ(estimates[1].at("density"), 4.0) << "refined from the sheet index";
    EXPECT_LT(estimates[1].at("points"), estimates[0].at("points"));

    EXPECT_EQ(ofType(seen.messages, "cancelled").size(), 1u);
    const std::vector<json> done = ofType(seen.messages, "downloadDone");
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0], json({{"type", "downloadDone"}, {"ok", false}, {"msg", "Anulowano."}}));
    const std::string copy = dir.path() + "/Tovelmark_Cloud/ostatnia_chmura.e57";
    EXPECT_EQ(done[1],
              json({{"type", "downloadDone"},
                    {"ok", true},
                    {"msg", "Chmura zapisana: " + copy +
                                " - zaimportuj: Plik > Interoperacyjnosc > Chmura punktow."}}));

    ASSERT_EQ(seen.alerts.size(), 1u);
    EXPECT_EQ(seen.alerts[0].at("title"), "Tovelmark Cloud");
    EXPECT_EQ(seen.alerts[0].at("type"), -3);
    EXPECT_EQ(seen.alerts[0].at("text"), "Chmura punktow gotowa i zgrana z projektem.");
    EXPECT_EQ(seen.alerts[0].at("small"),
              "Zaimportuj ja: Plik > Interoperacyjnosc > Chmura punktow -> wskaz plik:\n" + copy);

    if (const std::string why = webe57::unavailable(); !why.empty())
        GTEST_SKIP() << "web-e57 cannot run: " << why;
    const json read = webe57::read(copy);
    EXPECT_EQ(samples.points, samples.laz ? 2 * 1065u : 2 * 900u);
    EXPECT_EQ(read.value("count", 0u), samples.points) << "full detail keeps every point";
}

}  // namespace
