#include "cloud_ui/CloudPalette.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "ACAPinc.h"
#include "AddOnResources.h"
#include "HostTestApi.h"
#include "loopback/TempDir.h"

namespace {

const std::vector<std::pair<GSResID, std::string>> kPageFiles{
    {200, "cloud.html"}, {201, "cloud.js"},    {202, "cloud.css"},
    {110, "leaflet.js"}, {111, "leaflet.css"},
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CloudPaletteTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::reset();
        host::installResources(addOnResources());
        ASSERT_EQ(ACAPI_MenuItem_RegisterMenu(32500, 0, MenuCode_UserDef, 0), NoError);
    }
    void TearDown() override { host::projectEvent(APINotify_Quit); }

    std::string pageFolder() const { return dir_.path() + "/Tovelmark_Cloud/web"; }
    static host::RecordingBrowser& page() { return *host::recorderOf(CloudPalette::Guid()); }
    static GSErrCode message(API_PaletteMessageID id, GS::IntPtr param = 0) {
        return CloudPalette::PaletteControlCallBack(0, id, param);
    }
    static bool checked() { return (host::menuItemFlags(32500, 2) & API_MenuItemChecked) != 0; }

    // The message the page received last, as JSON.
    static nlohmann::json lastMessageToPage() {
        const auto& scripts = page().Scripts();
        if (scripts.empty())
            return nullptr;
        const std::string& s = scripts.back();
        const std::string head = "GISBridge.receive(";
        EXPECT_EQ(s.rfind(head, 0), 0u);
        EXPECT_EQ(s.substr(s.size() - 2), ");");
        return nlohmann::json::parse(s.substr(head.size(), s.size() - head.size() - 2));
    }
    static void postFromPage(GS::Ref<JS::Base> argument) {
        host::browserOf(CloudPalette::Guid())
            ->CallFromPage("GIS", "postMessage", std::move(argument));
    }

private:
    loopback::TempDir dir_;
    loopback::ScopedEnv tmp_{"TMPDIR", dir_.path().c_str()};
    loopback::ScopedEnv home_{"HOME", dir_.path().c_str()};
};

TEST_F(CloudPaletteTest, WritesItsOwnPageFilesAndLoadsCloudHtml) {
    CloudPalette::CreateInstance();
    ASSERT_TRUE(CloudPalette::HasInstance());
    EXPECT_TRUE(host::keptInMemory());
    EXPECT_FALSE(CloudPalette::GetInstance().IsVisible()) << "the caller shows it";

    const auto& resources = host::installedResources();
    for (const auto& [id, name] : kPageFiles) {
        const auto resource = resources.data.find({RSTypeData, id});
        ASSERT_NE(resource, resources.data.end()) << id;
        EXPECT_EQ(readFile(pageFolder() + "/" + name), resource->second) << name;
    }
    EXPECT_EQ(page().LoadedUrls(),
              (std::vector<std::string>{"file://" + pageFolder() + "/cloud.html"}));
    EXPECT_TRUE(host::reportLines().empty());

    const std::string html = readFile(pageFolder() + "/cloud.html");
    EXPECT_NE(html.find("cloud.js"), std::string::npos);
    EXPECT_NE(readFile(pageFolder() + "/cloud.js").find("GISBridge"), std::string::npos);
}

TEST_F(CloudPaletteTest, AnswersPingWithTheBuildAndRoutesOtherMessagesThroughItsBridge) {
    CloudPalette::CreateInstance();
    postFromPage(GS::NewRef<JS::Value>("{\"type\":\"ping\"}"));
    const nlohmann::json pong = lastMessageToPage();
    EXPECT_EQ(pong["type"], "pong");
    EXPECT_FALSE(pong.contains("wersja"));
    EXPECT_TRUE(std::regex_match(pong["build"].get<std::string>(),
                                 std::regex(R"([A-Z][a-z]{2} [ \d]\d \d{4} \d\d:\d\d:\d\d)")))
        << pong["build"];

    postFromPage(GS::NewRef<JS::Value>(Int32(7)));
    EXPECT_EQ(lastMessageToPage(),
              (nlohmann::json{{"type", "error"}, {"msg", "Nieprawidlowa wiadomosc z UI (JSON)"}}));

    CloudPalette::SendToBrowser("progress", {{"pct", 40}});
    EXPECT_EQ(lastMessageToPage(), (nlohmann::json{{"type", "progress"}, {"pct", 40}}));
}

TEST_F(CloudPaletteTest, AMissingOrUnwritableFileLeavesThePaletteEmpty) {
    host::ResourceSet withoutScript = addOnResources();
    withoutScript.data.erase({RSTypeData, 201});
    host::installResources(withoutScript);
    CloudPalette::CreateInstance();
    EXPECT_TRUE(page().LoadedUrls().empty());
    EXPECT_EQ(host::reportLines(),
              (std::vector<std::string>{"Tovelmark Cloud: nie udalo sie wypakowac zasobow web."}));

    host::clearReport();
    host::installResources(addOnResources());
    std::filesystem::remove(pageFolder() + "/cloud.html");
    std::filesystem::create_directories(pageFolder() + "/cloud.html");  // cannot be written
    CloudPalette::CreateInstance();
    EXPECT_TRUE(page().LoadedUrls().empty());
    EXPECT_EQ(host::reportLines(),
              (std::vector<std::string>{
                  "Tovelmark Cloud: nie udalo sie zapisac zasobow web na dysku (paleta bylaby "
                  "pusta).",
                  "Tovelmark Cloud: nie udalo sie wypakowac zasobow web."}));
}

TEST_F(CloudPaletteTest, RegistersItselfWithTheHostUnderItsOwnGuid) {
    ASSERT_EQ(CloudPalette::RegisterPaletteControlCallBack(), NoError);
    const auto windows = host::modelessWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].guid, APIGuidFromString("{BE37AFB8-AC68-44F2-A7CE-DB3CC77A178B}"));
    EXPECT_EQ(windows[0].flags, 1015u);
    EXPECT_EQ(windows[0].referenceID, -887249522) << "sum of the GUID's four words";

    host::failCalls("ACAPI_RegisterModelessWindow", APIERR_REFUSEDCMD);
    EXPECT_EQ(CloudPalette::RegisterPaletteControlCallBack(), APIERR_REFUSEDCMD);
}

TEST_F(CloudPaletteTest, FollowsTheHostsPaletteMessagesAndKeepsItsCheckMark) {
    bool visible = true;
    EXPECT_EQ(message(APIPalMsg_IsPaletteVisible, reinterpret_cast<GS::IntPtr>(&visible)), NoError);
    EXPECT_FALSE(visible);
    EXPECT_FALSE(CloudPalette::HasInstance()) << "asking does not create";

    message(APIPalMsg_OpenPalette);
    ASSERT_TRUE(CloudPalette::HasInstance());
    CloudPalette& palette = CloudPalette::GetInstance();
    EXPECT_TRUE(palette.IsVisible());
    EXPECT_TRUE(checked());
    EXPECT_FALSE(host::menuItemFlags(32500, 1) & API_MenuItemChecked) << "item 1 is the map's";

    message(APIPalMsg_HidePalette_Begin);
    EXPECT_FALSE(palette.IsVisible());
    EXPECT_FALSE(checked());
    message(APIPalMsg_HidePalette_End);
    EXPECT_TRUE(palette.IsVisible());

    palette.Hide();
    message(APIPalMsg_HidePalette_Begin);
    message(APIPalMsg_HidePalette_End);
    EXPECT_FALSE(palette.IsVisible()) << "hidden before, hidden after";

    palette.Show();
    EXPECT_TRUE(host::findPalette(CloudPalette::Guid())->HostRequestClose());
    EXPECT_FALSE(palette.IsVisible());
    EXPECT_FALSE(checked());
    EXPECT_TRUE(CloudPalette::HasInstance()) << "closing only hides";

    const short width = host::findPalette(CloudPalette::Guid())->Items()[0]->GetWidth();
    host::findPalette(CloudPalette::Guid())->HostResize(30, 12);
    EXPECT_EQ(host::findPalette(CloudPalette::Guid())->Items()[0]->GetWidth(), width + 30);
}

TEST_F(CloudPaletteTest, IsReleasedWhenTheHostQuits) {
    CloudPalette::CreateInstance();
    host::projectEvent(APINotify_Close);
    EXPECT_TRUE(CloudPalette::HasInstance());
    host::projectEvent(APINotify_Quit);
    EXPECT_FALSE(CloudPalette::HasInstance());
    EXPECT_EQ(host::findPalette(CloudPalette::Guid()), nullptr);
    CloudPalette::SendToBrowser("progress", {{"pct", 1}});  // dropped
    EXPECT_THROW(CloudPalette::GetInstance(), GS::NullReferenceException);
}

}  // namespace
