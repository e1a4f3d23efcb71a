// The host's interface side: menus, palette messages, project events, alerts, resources, the
// main-thread loop and its guard, palettes with their browser controls.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ACAPinc.h"
#include "DG.h"
#include "HostTestApi.h"

namespace {

using namespace std::chrono_literals;

class Interface : public ::testing::Test {
protected:
    void SetUp() override {
        host::reset();
        host::ResourceSet set;
        set.stringLists[32500] = {"Pierwsza", "Druga"};
        set.data[{RSTypeData, 100}] = "<html>";
        set.data[{RSTypeData, 101}] = "";
        host::installResources(set);
    }
};

std::vector<std::pair<short, short>> g_chosen;
GSErrCode recordMenu(const API_MenuParams* params) {
    g_chosen.emplace_back(params->menuItemRef.menuResID, params->menuItemRef.itemIndex);
    return 7;
}

TEST_F(Interface, MenusRouteChoicesAndKeepItemFlags) {
    EXPECT_EQ(ACAPI_MenuItem_InstallMenuHandler(32500, recordMenu),
              APIERR_BADID);  // not registered
    EXPECT_EQ(ACAPI_MenuItem_RegisterMenu(32501, 0, MenuCode_UserDef, 0), APIERR_BADID);
    ASSERT_EQ(ACAPI_MenuItem_RegisterMenu(32500, 0, MenuCode_UserDef, 0), NoError);
    ASSERT_EQ(ACAPI_MenuItem_InstallMenuHandler(32500, recordMenu), NoError);
    g_chosen.clear();
    EXPECT_EQ(host::chooseMenu(32500, 2), 7);
    EXPECT_EQ(host::chooseMenu(32000, 1), APIERR_BADID);
    EXPECT_EQ(g_chosen, (std::vector<std::pair<short, short>>{{32500, 2}}));

    API_MenuItemRef ref{32500, 1};
    GSFlags flags = 0;
    ASSERT_EQ(ACAPI_MenuItem_GetMenuItemFlags(&ref, &flags), NoError);
    flags |= API_MenuItemChecked;
    ASSERT_EQ(ACAPI_MenuItem_SetMenuItemFlags(&ref, &flags), NoError);
    EXPECT_EQ(host::menuItemFlags(32500, 1), API_MenuItemChecked);
    EXPECT_EQ(host::menuItemFlags(32500, 2), 0u);
    ref.itemIndex = 3;
    EXPECT_EQ(ACAPI_MenuItem_GetMenuItemFlags(&ref, &flags), APIERR_BADID);
}

std::vector<std::pair<Int32, Int32>> g_palette;
GSErrCode recordPalette(Int32 ref, API_PaletteMessageID message, GS::IntPtr param) {
    g_palette.emplace_back(ref, message);
    if (message == APIPalMsg_IsPaletteVisible)
        *reinterpret_cast<bool*>(param) = true;
    return NoError;
}
std::vector<Int32> g_events;
GSErrCode recordEvent(API_NotifyEventID event, Int32) {
    g_events.push_back(event);
    return NoError;
}

TEST_F(Interface, PaletteMessagesAndProjectEventsReachTheirRegistrations) {
    const API_Guid guid = APIGuidFromString("{6B1C0A7E-92D4-4F7B-B1A9-3C58D2E4F016}");
    ASSERT_EQ(ACAPI_RegisterModelessWindow(42, recordPalette, 1015, guid), NoError);
    EXPECT_EQ(ACAPI_RegisterModelessWindow(43, recordPalette, 1015, guid), APIERR_NAMEALREADYUSED);
    g_palette.clear();
    bool visible = false;
    EXPECT_EQ(host::paletteMessage(guid, APIPalMsg_IsPaletteVisible,
                                   reinterpret_cast<GS::IntPtr>(&visible)),
              NoError);
    EXPECT_TRUE(visible);
    EXPECT_EQ(host::paletteMessage(APINULLGuid, APIPalMsg_OpenPalette), APIERR_BADID);
    EXPECT_EQ(g_palette, (std::vector<std::pair<Int32, Int32>>{{42, APIPalMsg_IsPaletteVisible}}));
    EXPECT_EQ(host::modelessWindows().at(0).flags, 1015u);

    g_events.clear();
    ASSERT_EQ(ACAPI_ProjectOperation_CatchProjectEvent(APINotify_Quit, recordEvent), NoError);
    host::projectEvent(APINotify_New);
    host::projectEvent(APINotify_Quit);
    EXPECT_EQ(g_events, std::vector<Int32>{APINotify_Quit});

    EXPECT_FALSE(host::keptInMemory());
    ACAPI_KeepInMemory(true);
    EXPECT_TRUE(host::keptInMemory());
}

TEST_F(Interface, ReportsAlertsAndResources) {
    std::vector<std::string> heard;
    host::setReportListener([&](const std::string& line) { heard.push_back(line); });
    ACAPI_WriteReport("TERRAWEFT: ł", false);
    host::setReportListener(nullptr);
    EXPECT_EQ(host::reportLines(), std::vector<std::string>{"TERRAWEFT: ł"});
    EXPECT_EQ(heard, host::reportLines());

    host::scriptAlertAnswers({2});
    EXPECT_EQ(DG::WarningAlert("Duzy", "maly", "Uruchom", "Anuluj"), 2);
    EXPECT_EQ(DG::InformationAlert("Info", "", "OK"), 1);
    const auto alerts = host::alerts();
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[0].kind, "warning");
    EXPECT_EQ(alerts[0].buttons, (std::vector<std::string>{"Uruchom", "Anuluj"}));
    EXPECT_EQ(alerts[1].largeText, "Info");

    GS::UniString item;
    EXPECT_TRUE(RSGetIndString(&item, 32500, 2, ACAPI_GetOwnResModule()));
    EXPECT_EQ(item.ToUtf8(), "Druga");
    EXPECT_FALSE(RSGetIndString(&item, 32500, 3, ACAPI_GetOwnResModule()));
    EXPECT_TRUE(item.IsEmpty());

    GSHandle page = RSLoadResource(RSTypeData, ACAPI_GetOwnResModule(), 100);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(std::string(*page, BMGetHandleSize(page)), "<html>");
    BMKillHandle(&page);
    GSHandle empty = RSLoadResource(RSTypeData, ACAPI_GetOwnResModule(), 101);
    ASSERT_NE(empty, nullptr);  // a zero-size resource exists
    EXPECT_EQ(BMGetHandleSize(empty), 0);
    BMKillHandle(&empty);
    EXPECT_EQ(RSLoadResource(RSTypeData, ACAPI_GetOwnResModule(), 102), nullptr);
}

TEST_F(Interface, TheMainLoopRunsTasksFromAnyThreadInPostingOrder) {
    std::vector<int> order;
    std::atomic<int> posted = 0;
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            GS::MessageLoopExecutor().Execute(GS::NewRef<GS::FunctionRunnable>([&order, i] {
                order.push_back(i);
                if (i == 49) {  // a task may post another one
                    GS::MessageLoopExecutor().Execute(
                        GS::NewRef<GS::FunctionRunnable>([&order] { order.push_back(99); }));
                }
            }));
            ++posted;
        }
    });
    EXPECT_TRUE(host::pumpUntil([&] { return order.size() == 51; }, 5s));
    worker.join();
    ASSERT_EQ(order.size(), 51u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_EQ(order.back(), 99);
    EXPECT_EQ(host::pendingTasks(), 0u);
    EXPECT_FALSE(host::pumpUntil([] { return false; }, 20ms));
}

TEST_F(Interface, AHostCallOffTheMainThreadIsReported) {
    std::vector<std::string> offenders;
    host::setOffMainThreadHandler([&](const std::string& f) { offenders.push_back(f); });
    std::thread([] { ACAPI_WriteReport("z watku", false); }).join();
    host::setOffMainThreadHandler(nullptr);
    EXPECT_EQ(offenders, std::vector<std::string>{"ACAPI_WriteReport"});
}

TEST(InterfaceDeath, AHostCallOffTheMainThreadStopsTheProcessByDefault) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(std::thread([] { ACAPI_KeepInMemory(true); }).join(),
                 "ACAPI_KeepInMemory called off the main thread");
}

class TestPalette : public DG::Palette, public DG::PanelObserver {
public:
    TestPalette()
        : DG::Palette(1, 32500, 1, GS::Guid("{11111111-2222-3333-4444-555555555555}")),
          browser(*this, 1) {
        Attach(*this);
    }
    ~TestPalette() override { Detach(*this); }
    void PanelResized(const DG::PanelResizeEvent& e) override {
        resized += e.GetHorizontalChange();
    }
    void PanelCloseRequested(const DG::PanelCloseRequestEvent&, bool* accepted) override {
        *accepted = true;
    }

    DG::Browser browser;
    int resized = 0;
};

TEST_F(Interface, PalettesReceiveHostEventsOnlyWhileProcessingAndTheirPagesCanCallIn) {
    const GS::Guid guid("{11111111-2222-3333-4444-555555555555}");
    {
        TestPalette palette;
        DG::ModelessBase* found = host::findPalette(guid);
        ASSERT_EQ(found, &palette);
        found->HostResize(10, 0);
        EXPECT_EQ(palette.resized, 0);
        EXPECT_FALSE(found->HostRequestClose());
        palette.BeginEventProcessing();
        found->HostResize(10, 0);
        EXPECT_EQ(palette.resized, 10);
        EXPECT_TRUE(found->HostRequestClose());

        auto object = GS::NewRef<JS::Object>("GIS");
        object->AddItem(GS::NewRef<JS::Function>(
            "echo", [](GS::Ref<JS::Base> arg) -> GS::Ref<JS::Base> { return arg; }));
        palette.browser.RegisterAsynchJSObject(object);
        palette.browser.LoadURL("file:///x/map.html");
        palette.browser.ExecuteJS("f();");
        host::RecordingBrowser* recorder = host::recorderOf(guid);
        ASSERT_NE(recorder, nullptr);
        EXPECT_EQ(recorder->LoadedUrls(), std::vector<std::string>{"file:///x/map.html"});
        EXPECT_EQ(recorder->Scripts(), std::vector<std::string>{"f();"});
        const auto answer = GS::DynamicCast<JS::Value>(
            recorder->CallFromPage("GIS", "echo", GS::NewRef<JS::Value>("hej")));
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(answer->GetString().ToUtf8(), "hej");
        EXPECT_EQ(recorder->CallFromPage("GIS", "missing", nullptr), nullptr);
        palette.EndEventProcessing();
    }
    EXPECT_EQ(host::findPalette(guid), nullptr);
}

}  // namespace
