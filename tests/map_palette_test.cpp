// The map palette: page files out of the resources, the page channel, its own handlers, the
// palette messages and the single instance's life.

#include "MapPalette.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "AddOnResources.h"
#include "HostTestApi.h"
#include "Platform.h"
#include "WebAssets.h"
#include "WebPalette.h"
#include "loopback/TempDir.h"
#include "support/PalettePage.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class MapPaletteTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::reset();
        resources_ = addOnResources();
        host::installResources(resources_);
        ASSERT_EQ(ACAPI_MenuItem_RegisterMenu(32500, 0, MenuCode_UserDef, 0), NoError);
    }
    void TearDown() override {
        MapPalette::DestroyInstance();
        Platform::setOpenExternalHook(nullptr);
    }

    std::string webDir() const { return tmp_.path() + "/TERRAWEFT/web"; }
    std::vector<std::string> diagLines() const {
        return linesOf(readFile(home_.file("TERRAWEFT_diag.txt")));
    }
    // Posts as the page does; the one message the page received in answer.
    template <class Argument>
    json post(const Argument& argument) {
        const auto messages = page_.post(argument);
        EXPECT_EQ(messages.size(), 1u);
        return messages.empty() ? json() : messages.back();
    }

    loopback::TempDir tmp_, home_;
    loopback::ScopedEnv tmpEnv_{"TMPDIR", tmp_.path().c_str()};
    loopback::ScopedEnv homeEnv_{"HOME", home_.path().c_str()};
    host::ResourceSet resources_;
    pagekit::PalettePage page_{MapPalette::Guid()};
};

TEST_F(MapPaletteTest, BuildingWritesEveryPageFileLogsItAndLoadsThePage) {
    MapPalette::CreateInstance();
    ASSERT_TRUE(MapPalette::HasInstance());
    EXPECT_TRUE(host::keptInMemory());
    const std::vector<std::pair<int, std::string>> files = {
        {100, "map.html"},        {101, "map.js"},
        {102, "map.css"},         {110, "leaflet.js"},
        {111, "leaflet.css"},     {112, "maplibre-gl.js"},
        {113, "maplibre-gl.css"}, {114, "leaflet-maplibre-gl.js"}};
    std::vector<std::string> expected = {"=== MapPalette ExtractWebResources v1.8.0 ===",
                                         "webDir=" + webDir()};
    for (const auto& [id, name] : files) {
        const std::string& bytes = resources_.data.at({RSTypeData, static_cast<GSResID>(id)});
        EXPECT_EQ(readFile(webDir() + "/" + name), bytes) << name;
        const std::string size = std::to_string(bytes.size());
        expected.push_back("id=" + std::to_string(id) + " file=" + name + " res=" + size +
                           "B open=1 disk=" + size + "B path=" + webDir() + "/" + name);
    }
    expected.push_back("LoadURL=file://" + webDir() + "/map.html");
    EXPECT_EQ(diagLines(), expected);
    EXPECT_EQ(page_.loadedUrls(), std::vector<std::string>{"file://" + webDir() + "/map.html"});
    EXPECT_TRUE(host::reportLines().empty());
    EXPECT_FALSE(host::findPalette(MapPalette::Guid())->IsVisible());  // the caller shows it
}

TEST_F(MapPaletteTest, TheShippedPageDefinesTheReceiverAndPingsOnLoad) {
    const std::string script = resources_.data.at({RSTypeData, 101});
    EXPECT_NE(script.find("receive:"), std::string::npos);
    EXPECT_NE(script.find("GISBridge.send({ type: \"ping\" })"), std::string::npos);
    EXPECT_NE(resources_.data.at({RSTypeData, 100}).find("<div id=\"map\">"), std::string::npos);
    EXPECT_GT(resources_.data.at({RSTypeData, 112}).size(), 100000u);  // the real library
}

TEST_F(MapPaletteTest, PingAndOpenExternalAnswerThePage) {
    std::vector<std::string> opened;
    Platform::setOpenExternalHook([&](const std::string& url) { opened.push_back(url); });
    MapPalette::CreateInstance();

    const json pong = post(R"({"type":"ping"})");
    EXPECT_EQ(pong["type"], "pong");
    EXPECT_EQ(pong["wersja"], "1.8.0");
    EXPECT_TRUE(std::regex_match(
        pong["build"].get<std::string>(),
        std::regex("[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}")));

    for (const char* text : {R"({"type":"openExternal","url":"https://example.org/a"})",
                             R"({"type":"openExternal","url":"http://example.org/b"})",
                             R"({"type":"openExternal","url":"mailto:a@example.org"})",
                             R"({"type":"openExternal","url":"HTTPS://example.org/c"})",
                             R"({"type":"openExternal"})"}) {
        EXPECT_EQ(post(text), json({{"type", "noop"}})) << text;
    }
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/a", "http://example.org/b"}));
    EXPECT_EQ(post(R"({"type":"openExternal","url":5})"),
              json({{"type", "error"}, {"msg", "Pole \"url\" musi byc tekstem."}}));
}

TEST_F(MapPaletteTest, ThePageChannelTakesOnlyStringsAndKeepsExceptionsFromTheHost) {
    MapPalette::CreateInstance();
    const json invalid =
        json::parse(R"j({"msg":"Nieprawidlowa wiadomosc z UI (JSON)","type":"error"})j");
    EXPECT_EQ(post(GS::Ref<JS::Base>()), invalid);              // no argument
    EXPECT_EQ(post(GS::NewRef<JS::Value>(Int32(5))), invalid);  // a number
    EXPECT_EQ(post(GS::NewRef<JS::Value>(true)), invalid);
    EXPECT_EQ(post(GS::NewRef<JS::Object>("x")), invalid);  // not a script value
    EXPECT_EQ(post(GS::NewRef<JS::Array>()), invalid);
    EXPECT_EQ(post(R"({"type":"nieznany"})"),
              json({{"type", "error"}, {"msg", "Brak obslugi wiadomosci: nieznany"}}));
    // The import messages reach the import controller.
    EXPECT_EQ(post(R"({"type":"cancel"})"), json({{"type", "cancelled"}}));
    EXPECT_EQ(post(R"({"type":"fetch"})"),
              json({{"type", "error"}, {"msg", "Nieprawidlowy bbox"}}));
    EXPECT_EQ(post(R"({"type":"place"})"),
              json({{"type", "error"}, {"msg", "Najpierw kliknij \"1. Pobierz elementy\"."}}));
    EXPECT_EQ(post(R"({"type":"setOrigin"})"),
              json({{"type", "error"}, {"msg", "Brak wspolrzednych srodka mapy"}}));
    // A member of the wrong type is named; the JSON library's own text never reaches the page.
    const std::pair<const char*, const char*> wrongTypes[] = {
        {R"({"type":"setOrigin","lat":"52","lon":21})", "Pole \"lat\" musi byc liczba."},
        {R"({"type":"setOrigin","lat":null,"lon":21})", "Pole \"lat\" musi byc liczba."},
        {R"({"type":"setOrigin","lat":52,"lon":[21]})", "Pole \"lon\" musi byc liczba."},
        {R"({"type":"searchAddress","query":5})", "Pole \"query\" musi byc tekstem."},
        {R"({"type":"searchAddressSuggest","query":["abc"]})", "Pole \"query\" musi byc tekstem."},
        {R"({"type":"settingsChanged","mapping":"GIS"})", "Pole \"mapping\" musi byc obiektem."},
    };
    for (const auto& [message, sentence] : wrongTypes)
        EXPECT_EQ(post(message), json({{"type", "error"}, {"msg", sentence}})) << message;
}

// The page channel on a bare palette, with handlers that throw what the bridge lets through.
TEST(PageChannel, ExceptionsOfAnyKindStayOnTheProgramsSide) {
    host::reset();
    DG::Palette palette(1, 1, 1, GS::Guid("{0F0F0F0F-0000-4000-8000-000000000001}"));
    DG::Browser browser(palette, 1);
    Bridge bridge;
    bridge.on("gs", [](const json&) -> json { throw GS::GeneralException("awaria hosta"); });
    bridge.on("int", [](const json&) -> json { throw 42; });
    // The bridge's own internal-error message cannot carry this text and throws from dispatch.
    bridge.on("bytes", [](const json&) -> json { throw std::runtime_error("zle \xFF"); });
    webpalette::connect(browser, bridge);
    auto& page = dynamic_cast<host::RecordingBrowser&>(browser.GetBackend());
    const auto call = [&](const char* text) {
        page.ClearScripts();
        const auto result = page.CallFromPage("GIS", "postMessage", GS::NewRef<JS::Value>(text));
        EXPECT_TRUE(GS::DynamicCast<JS::Value>(result)->GetBool());
        return page.Scripts();
    };
    EXPECT_EQ(call(R"({"type":"gs"})"),
              std::vector<std::string>{
                  R"(GISBridge.receive({"msg":"Blad wewnetrzny: awaria hosta","type":"error"});)"});
    EXPECT_EQ(
        call(R"({"type":"int"})"),
        std::vector<std::string>{
            R"(GISBridge.receive({"msg":"Blad wewnetrzny: nieznany wyjatek","type":"error"});)"});
    const auto bytes = call(R"({"type":"bytes"})");
    ASSERT_EQ(bytes.size(), 1u);
    EXPECT_EQ(pagekit::messageOf(bytes[0])["msg"].get<std::string>().rfind("Blad wewnetrzny: ", 0),
              0u);
}

TEST_F(MapPaletteTest, SendToBrowserNeedsAPaletteAndRepairsInvalidText) {
    EXPECT_NO_THROW(MapPalette::SendToBrowser("progress", json{{"done", 1}}));
    MapPalette::CreateInstance();
    page_.received();
    MapPalette::SendToBrowser("progress", json{{"label", "dzia\xC5\x82ki \xFF"}});
    EXPECT_EQ(host::recorderOf(MapPalette::Guid())->Scripts(),  // the exact text
              std::vector<std::string>{
                  R"(GISBridge.receive({"label":"dzia\u0142ki \ufffd","type":"progress"});)"});

    host::projectEvent(APINotify_New);
    EXPECT_TRUE(MapPalette::HasInstance());
    host::projectEvent(APINotify_Quit);
    EXPECT_FALSE(MapPalette::HasInstance());
    EXPECT_EQ(host::findPalette(MapPalette::Guid()), nullptr);
    EXPECT_NO_THROW(MapPalette::SendToBrowser("progress", json{{"done", 2}}));
    try {
        MapPalette::GetInstance();
        FAIL() << "no exception";
    } catch (const GS::NullReferenceException& e) {
        EXPECT_EQ(e.GetMessage(), "Null reference.");
    }
}

TEST_F(MapPaletteTest, AMissingResourceStopsTheExtractionAtThatFile) {
    resources_.data.erase({RSTypeData, 111});
    host::installResources(resources_);
    MapPalette::CreateInstance();
    ASSERT_TRUE(MapPalette::HasInstance());
    const auto lines = diagLines();
    ASSERT_EQ(lines.size(), 2u + 4u + 1u);
    EXPECT_EQ(lines.back(), "RSLoadResource NULL id=111 file=leaflet.css");
    EXPECT_TRUE(fs::exists(webDir() + "/leaflet.js"));
    EXPECT_FALSE(fs::exists(webDir() + "/maplibre-gl.js"));
    EXPECT_EQ(host::reportLines(),
              std::vector<std::string>{"TERRAWEFT: nie udalo sie wypakowac zasobow web."});
    EXPECT_TRUE(page_.loadedUrls().empty());
}

TEST_F(MapPaletteTest, AnEmptyResourceIsWrittenAsAnEmptyFile) {
    resources_.data[{RSTypeData, 102}] = "";
    host::installResources(resources_);
    MapPalette::CreateInstance();
    EXPECT_TRUE(fs::exists(webDir() + "/map.css"));
    EXPECT_EQ(fs::file_size(webDir() + "/map.css"), 0u);
    EXPECT_EQ(page_.loadedUrls().size(), 1u);
    EXPECT_TRUE(host::reportLines().empty());
}

TEST_F(MapPaletteTest, AFileThatCannotBeWrittenGivesBothReportsAndNoPage) {
    // A link where the file belongs: the page files are never written through links.
    fs::create_directories(webDir());
    const std::string target = tmp_.file("elsewhere.js");
    fs::create_symlink(target, webDir() + "/map.js");
    MapPalette::CreateInstance();
    const auto lines = diagLines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[3], "id=101 file=map.js res=" +
                            std::to_string(resources_.data.at({RSTypeData, 101}).size()) +
                            "B open=0 disk=-1B path=" + webDir() + "/map.js");
    EXPECT_EQ(lines[4], "ZAPIS NIEUDANY id=101 -> przerywam");
    EXPECT_EQ(lines.size(), 5u);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(host::reportLines(),
              (std::vector<std::string>{
                  "TERRAWEFT: nie udalo sie zapisac zasobow web na dysku (paleta bylaby pusta).",
                  "TERRAWEFT: nie udalo sie wypakowac zasobow web."}));
    EXPECT_TRUE(page_.loadedUrls().empty());
}

TEST_F(MapPaletteTest, APlantedLinkAsThePageFolderIsNotFollowed) {
    const std::string foreign = tmp_.file("foreign");
    fs::create_directories(foreign + "/web");
    fs::create_directory_symlink(foreign, tmp_.path() + "/TERRAWEFT");
    MapPalette::CreateInstance();
    EXPECT_TRUE(fs::is_empty(foreign + "/web"));
    EXPECT_EQ(host::reportLines(),
              std::vector<std::string>{"TERRAWEFT: nie udalo sie wypakowac zasobow web."});
    EXPECT_TRUE(page_.loadedUrls().empty());
}

TEST_F(MapPaletteTest, BrowserEventsAreOnlyLoggedAndLogFailuresAreSilent) {
    MapPalette::CreateInstance();
    auto* browser =
        dynamic_cast<DG::Browser*>(host::findPalette(MapPalette::Guid())->Items().at(0));
    ASSERT_NE(browser, nullptr);
    browser->onLoadError.Fire(-6, GS::UniString("file:///x/mapa ł.html"));
    browser->onLoadingStateChange.Fire(true);
    browser->onLoadingStateChange.Fire(false);
    const auto lines = diagLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(
        std::vector<std::string>(lines.end() - 3, lines.end()),
        (std::vector<std::string>{"onLoadError code=-6 url=file:///x/mapa ł.html",
                                  "onLoadingState isLoading=1", "onLoadingState isLoading=0"}));

    const loopback::ScopedEnv noHome("HOME", (home_.path() + "/brak/katalogu").c_str());
    MapPalette::CreateInstance();  // a new palette replaces the old one; nothing can be logged
    EXPECT_TRUE(MapPalette::HasInstance());
    EXPECT_EQ(page_.loadedUrls().size(), 1u);
    EXPECT_FALSE(fs::exists(home_.path() + "/brak"));
}

TEST_F(MapPaletteTest, PaletteMessagesFollowTheHostsProtocol) {
    const API_Guid guid = GSGuid2APIGuid(MapPalette::Guid());
    ASSERT_EQ(MapPalette::RegisterPaletteControlCallBack(), NoError);
    const auto window = host::modelessWindows().at(0);
    EXPECT_EQ(window.flags, 1015u);
    // 0x6B1C0A7E + 0x4F7B92D4 + 0x583CA9B1 + 0x16F0E4D2, modulo 2^32
    EXPECT_EQ(static_cast<UInt32>(window.referenceID),
              0x6B1C0A7Eu + 0x4F7B92D4u + 0x583CA9B1u + 0x16F0E4D2u);

    bool visible = true;
    const auto isVisible = [&] {
        host::paletteMessage(guid, APIPalMsg_IsPaletteVisible,
                             reinterpret_cast<GS::IntPtr>(&visible));
        return visible;
    };
    for (auto m : {APIPalMsg_ClosePalette, APIPalMsg_HidePalette_Begin, APIPalMsg_HidePalette_End,
                   APIPalMsg_DisableItems_Begin, APIPalMsg_DisableItems_End}) {
        host::paletteMessage(guid, m);
    }
    EXPECT_FALSE(isVisible());
    EXPECT_FALSE(MapPalette::HasInstance());  // nothing above builds a palette

    host::paletteMessage(guid, APIPalMsg_OpenPalette);
    ASSERT_TRUE(MapPalette::HasInstance());
    EXPECT_TRUE(isVisible());
    EXPECT_EQ(host::menuItemFlags(32500, 1), API_MenuItemChecked);

    host::paletteMessage(guid, APIPalMsg_DisableItems_Begin);
    EXPECT_FALSE(MapPalette::GetInstance().AreItemsEnabled());
    host::paletteMessage(guid, APIPalMsg_DisableItems_End);
    EXPECT_TRUE(MapPalette::GetInstance().AreItemsEnabled());

    host::paletteMessage(guid, APIPalMsg_HidePalette_Begin);
    EXPECT_FALSE(isVisible());
    EXPECT_EQ(host::menuItemFlags(32500, 1), 0u);
    host::paletteMessage(guid, APIPalMsg_HidePalette_End);
    EXPECT_TRUE(isVisible());

    host::paletteMessage(guid, APIPalMsg_ClosePalette);
    EXPECT_FALSE(isVisible());
    host::paletteMessage(guid, APIPalMsg_HidePalette_Begin);  // hidden already: remembers that
    host::paletteMessage(guid, APIPalMsg_HidePalette_End);
    EXPECT_FALSE(isVisible());

    MapPalette& palette = MapPalette::GetInstance();
    host::paletteMessage(guid, APIPalMsg_OpenPalette);
    EXPECT_EQ(&MapPalette::GetInstance(), &palette);  // the same palette again
    EXPECT_TRUE(host::findPalette(MapPalette::Guid())->HostRequestClose());
    EXPECT_FALSE(isVisible());
    EXPECT_EQ(host::menuItemFlags(32500, 1), 0u);
    EXPECT_TRUE(MapPalette::HasInstance());  // closing only hides
}

TEST_F(MapPaletteTest, TheBrowserFollowsThePalettesSize) {
    MapPalette::CreateInstance();
    DG::ModelessBase* palette = host::findPalette(MapPalette::Guid());
    const auto* browser = dynamic_cast<DG::Browser*>(palette->Items().at(0));
    ASSERT_NE(browser, nullptr);
    const short width = browser->GetWidth(), height = browser->GetHeight();
    palette->HostResize(40, -20);
    EXPECT_EQ(browser->GetWidth(), width + 40);
    EXPECT_EQ(browser->GetHeight(), height - 20);
    EXPECT_FALSE(palette->IsMovingItems());
}

TEST(WebAsset, FileUrlsUseForwardSlashesAndAnAbsolutePath) {
    EXPECT_EQ(webasset::fileUrl("/var/t/TERRAWEFT/web", "map.html"),
              "file:///var/t/TERRAWEFT/web/map.html");
    EXPECT_EQ(webasset::fileUrl("C:\\Temp\\TERRAWEFT\\web", "map.html"),
              "file:///C:/Temp/TERRAWEFT/web/map.html");
    EXPECT_EQ(webasset::fileUrl("tmp/web", "a.js"), "file:///tmp/web/a.js");
    EXPECT_EQ(webasset::fileUrl("", "a.js"), "file:////a.js");
    EXPECT_EQ(webasset::diskPath("/x", "a.js"), "/x/a.js");
}

}  // namespace
