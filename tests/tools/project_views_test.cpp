// The server of terraweft-host's views of the project: its pages and nothing else, the project by
// revision, the revisions as events after every change and undo, pictures by GUID, and nothing
// for other sites; driven with plain HTTP clients while the test's main loop plays the host.

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "ACAPinc.h"
#include "HostTestApi.h"
#include "ProjectViews.h"
#include "import/creators/AcImporter.h"
#include "loopback/TempDir.h"
#include "support/EventStream.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using loopback::EventStream;
using namespace std::chrono_literals;

constexpr const char* kSecret = "tajne";
const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + "obraz";

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// A polyline created as add-on code creates it, in an undoable command.
GSErrCode placePolyline() {
    return ACAPI_CallUndoableCommand("polyline", [] {
        API_Element element{};
        element.header.type = API_PolyLineID;
        ACAPI_Element_GetDefaults(&element, nullptr);
        element.polyLine.poly.nCoords = 2;
        API_ElementMemo memo{};
        memo.coords = BMAllocateTypedHandle<API_Coord>(3);
        (*memo.coords)[1] = {0, 0};
        (*memo.coords)[2] = {10, 5};
        const GSErrCode err = ACAPI_Element_Create(&element, &memo);
        ACAPI_DisposeElemMemoHdls(&memo);
        return err;
    });
}

// A PNG picture over a box, created in an undoable command; its GUID.
API_Guid placePicture() {
    API_Element element{};
    element.header.type = API_PictureID;
    ACAPI_Element_GetDefaults(&element, nullptr);
    element.picture.destBox = {0, 0, 20, 10};
    std::snprintf(element.picture.mimeType, sizeof element.picture.mimeType, "image/png");
    API_ElementMemo memo{};
    memo.pictHdl = BMAllocateHandle(static_cast<GSSize>(kPng.size()));
    std::memcpy(*memo.pictHdl, kPng.data(), kPng.size());
    EXPECT_EQ(
        ACAPI_CallUndoableCommand("picture", [&] { return ACAPI_Element_Create(&element, &memo); }),
        NoError);
    ACAPI_DisposeElemMemoHdls(&memo);
    return element.header.guid;
}

class ProjectViewsTest : public ::testing::Test {
protected:
    ProjectViewsTest() {
        host::reset();
        writeFile(web() / "plan.html", "<!DOCTYPE html><title>plan</title>");
        writeFile(web() / "3d.html", "<!DOCTYPE html><title>3d</title>");
        writeFile(web() / "lib" / "three.module.js", "export const x = 1;\n");
        writeFile(fs::path(dir_.path()) / "secret.txt", kSecret);
        fs::create_symlink(fs::path(dir_.path()) / "secret.txt", web() / "link.txt");
        views_.emplace(web());
    }

    fs::path web() const { return fs::path(dir_.path()) / "web"; }
    int port() const {
        const std::string address = views_->planAddress();
        return std::stoi(address.substr(address.rfind(':') + 1));
    }
    httplib::Client client() const { return httplib::Client("127.0.0.1", port()); }

    // GET of the path while this (main) thread plays the host's main loop.
    httplib::Result get(const std::string& path, httplib::Headers headers = {}) {
        auto result = std::async(std::launch::async, [port = port(), path, headers] {
            return httplib::Client("127.0.0.1", port).Get(path, headers);
        });
        host::pumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }, 20s);
        return result.get();
    }

    json project() {
        const auto res = get("/project.json");
        EXPECT_TRUE(res && res->status == 200);
        return res ? json::parse(res->body, nullptr, false) : json();
    }

    loopback::TempDir dir_;
    std::optional<twhost::ProjectViews> views_;
};

TEST_F(ProjectViewsTest, ServesItsPagesAndNothingOutsideTheirFolderToItsOwnHostOnly) {
    EXPECT_EQ(views_->error(), "");
    EXPECT_EQ(views_->planAddress(), "http://127.0.0.1:" + std::to_string(port()) + "/plan.html");
    EXPECT_EQ(views_->sceneAddress(), "http://127.0.0.1:" + std::to_string(port()) + "/3d.html");
    auto cli = client();
    for (const char* path : {"/plan.html", "/3d.html", "/lib/three.module.js"}) {
        const auto res = cli.Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200) << path;
    }
    for (const char* path : {"/../secret.txt", "/%2e%2e/secret.txt", "/lib/../../secret.txt",
                             "/link.txt", "/lib", "/missing.js"}) {
        const auto res = cli.Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 404) << path;
        EXPECT_EQ(res->body.find(kSecret), std::string::npos) << path;
    }
    for (const char* path : {"/plan.html", "/project.json", "/events"}) {
        const auto res = cli.Get(path, {{"Host", "evil.example:" + std::to_string(port())}});
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 403) << path;
    }
}

TEST_F(ProjectViewsTest, TheProjectAndItsPicturesAreForItsOwnPagesOnly) {
    const API_Guid picture = placePicture();
    const std::string guid = APIGuidToString(picture).ToUtf8();
    const std::string own = "http://127.0.0.1:" + std::to_string(port());
    for (const std::string& path : {std::string("/project.json"), "/picture?guid=" + guid}) {
        const auto ours = get(path, {{"Origin", own}});
        ASSERT_TRUE(ours) << path;
        EXPECT_EQ(ours->status, 200) << path;
        for (const std::string& origin :
             {std::string("http://evil.example"), own + ".evil.example"}) {
            const auto res = get(path, {{"Origin", origin}});
            ASSERT_TRUE(res) << path;
            EXPECT_EQ(res->status, 403) << path << " for " << origin;
        }
    }
    const EventStream foreign(port(), "/events", {{"Origin", "http://evil.example"}});
    EXPECT_TRUE(foreign.waitForEnd());
    EXPECT_EQ(foreign.status(), 403);
}

// The views reload on every revision the events announce, and what they load must be that
// revision: after a placement, after an undo, never for a command that failed.
TEST_F(ProjectViewsTest, EveryChangeAndUndoIsAnnouncedAndTheDumpIsOfTheLatestRevision) {
    const std::uint64_t start = host::projectRevision();
    json dump = project();
    EXPECT_EQ(dump["revision"], start);
    EXPECT_TRUE(dump["project"]["elements"].empty());

    const EventStream page(port(), "/events");
    ASSERT_TRUE(page.waitFor("retry:"));
    ASSERT_EQ(placePolyline(), NoError);
    EXPECT_EQ(ACAPI_CallUndoableCommand("failed", [] { return GSErrCode(APIERR_GENERAL); }),
              APIERR_GENERAL);
    ASSERT_TRUE(page.waitFor("data: " + std::to_string(start + 1) + "\n"));
    dump = project();
    EXPECT_EQ(dump["revision"], start + 1);
    ASSERT_EQ(dump["project"]["elements"].size(), 1u);
    EXPECT_EQ(dump["project"]["elements"][0]["coords"], json::parse("[[0.0,0.0],[10.0,5.0]]"));

    ASSERT_TRUE(host::undo());
    ASSERT_TRUE(page.waitFor("data: " + std::to_string(start + 2) + "\n"));
    EXPECT_EQ(loopback::occurrences(page.text(), "data: "), 2u) << page.text();
    dump = project();
    EXPECT_EQ(dump["revision"], start + 2);
    EXPECT_TRUE(dump["project"]["elements"].empty());
}

TEST_F(ProjectViewsTest, AnUnchangedProjectIsSentAgainWithoutTheMainThread) {
    const json first = project();
    // Nobody plays the main loop now: only the dump made for this revision can answer.
    const auto again = client().Get("/project.json");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 200);
    EXPECT_EQ(json::parse(again->body), first);
}

// A browser takes Brotli, which the server's library would use at its highest quality: tens of
// seconds for the dump of a large placement. Nothing goes out compressed, empty files included.
TEST_F(ProjectViewsTest, TheProjectAndThePagesGoOutUncompressedToABrowser) {
    writeFile(web() / "lib" / "empty.js", "");
    const httplib::Headers browser{{"Accept-Encoding", "gzip, deflate, br"}};
    for (const char* path :
         {"/project.json", "/plan.html", "/lib/three.module.js", "/lib/empty.js"}) {
        const auto res = get(path, browser);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200) << path;
        EXPECT_FALSE(res->has_header("Content-Encoding")) << path;
        EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(res->body.size()))
            << path;
    }
    EXPECT_EQ(get("/lib/three.module.js", browser)->body, "export const x = 1;\n");
}

TEST_F(ProjectViewsTest, APictureIsServedInItsImageTypeByItsGuidOnly) {
    const std::string guid = APIGuidToString(placePicture()).ToUtf8();
    const auto res = get("/picture?guid=" + httplib::detail::encode_query_param(guid));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, kPng);
    EXPECT_EQ(res->get_header_value("Content-Type"), "image/png");
    EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff");

    ASSERT_EQ(placePolyline(), NoError);
    const std::string polyline = project()["project"]["elements"][1]["guid"];
    for (const std::string& other :
         {polyline, APIGuidToString(GSGuid2APIGuid(GS::Guid::Generate())).ToUtf8(),
          std::string("{nie-guid}"), std::string()}) {
        const auto refused = get("/picture?guid=" + other);
        ASSERT_TRUE(refused) << other;
        EXPECT_EQ(refused->status, 404) << other;
    }
}

TEST_F(ProjectViewsTest, APictureInsideADrawingIsServedByItsGuid) {
    ASSERT_EQ(ACAPI_CallUndoableCommand(
                  "drawing",
                  [] {
                      return AcImporter::createDrawingRaster(kPng, {0, 0, 20, 10}, {}, 1);
                  }),
              NoError);
    const json drawing = project()["project"]["elements"][0];
    ASSERT_EQ(drawing["content"].size(), 1u);
    const std::string guid = drawing["content"][0]["guid"];
    const auto res = get("/picture?guid=" + httplib::detail::encode_query_param(guid));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, kPng);
    const auto own = get("/picture?guid=" + std::string(drawing["guid"]));
    ASSERT_TRUE(own);
    EXPECT_EQ(own->status, 404) << "the drawing is no picture";
}

TEST(ProjectViews, ABusyPortOrAFolderWithoutThePagesIsReported) {
    loopback::TempDir dir;
    const twhost::ProjectViews empty(dir.path());
    EXPECT_NE(empty.error().find("Nie ma stron widokow projektu"), std::string::npos)
        << empty.error();
    const std::string address = empty.planAddress();
    const int busy = std::stoi(address.substr(address.rfind(':') + 1));
    const twhost::ProjectViews second(dir.path(), busy);
    EXPECT_NE(second.error().find("port zajety"), std::string::npos) << second.error();
}

}  // namespace
