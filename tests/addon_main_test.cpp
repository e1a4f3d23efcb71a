// The entry points and the menu: what the host sees of the add-on.

#include "AddOnMain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ACAPinc.h"
#include "AddOnResources.h"
#include "HostTestApi.h"
#include "MapPalette.h"
#include "Platform.h"
#include "cloud_ui/CloudPalette.h"
#include "loopback/TempDir.h"

namespace {

class AddOnMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        freshHost();
        Platform::setOpenExternalHook([this](const std::string& url) { opened_.push_back(url); });
    }
    void TearDown() override {
        host::projectEvent(APINotify_Quit);
        Platform::setOpenExternalHook(nullptr);
    }

    static void freshHost() {
        host::reset();
        host::installResources(addOnResources());
    }
    // The host loads the add-on: registration, then initialisation.
    static void load() {
        ASSERT_EQ(RegisterInterface(), NoError);
        ASSERT_EQ(Initialize(), NoError);
    }
    static GSErrCode choose(short item) { return host::chooseMenu(32500, item); }
    static bool checked(short item) {
        return (host::menuItemFlags(32500, item) & API_MenuItemChecked) != 0;
    }

    std::vector<std::string> opened_;

private:
    loopback::TempDir dir_;
    loopback::ScopedEnv tmp_{"TMPDIR", dir_.path().c_str()};
    loopback::ScopedEnv home_{"HOME", dir_.path().c_str()};
};

TEST_F(AddOnMainTest, TellsTheHostItsNameAndRegistersItsMenu) {
    API_EnvirParams envir{};
    EXPECT_EQ(CheckEnvironment(&envir), APIAddon_Normal);
    const auto& info = host::installedResources().stringLists.at(32000);
    EXPECT_EQ(envir.addOnInfo.name.ToUtf8(), info.at(0));
    EXPECT_EQ(envir.addOnInfo.description.ToUtf8(), info.at(1));
    EXPECT_FALSE(envir.addOnInfo.name.IsEmpty());

    EXPECT_EQ(host::installedResources().stringLists.at(32500).size(), 4u) << "four menu items";
    EXPECT_EQ(RegisterInterface(), NoError);
    EXPECT_TRUE(host::menuRegistered(32500));
    EXPECT_EQ(FreeData(), NoError);
}

TEST_F(AddOnMainTest, InitializeRegistersBothPalettesInOrderAndStopsAtTheFirstError) {
    load();
    const auto windows = host::modelessWindows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0].guid, GSGuid2APIGuid(MapPalette::Guid()));
    EXPECT_EQ(windows[1].guid, GSGuid2APIGuid(CloudPalette::Guid()));
    EXPECT_FALSE(MapPalette::HasInstance() || CloudPalette::HasInstance()) << "none built yet";

    freshHost();
    ASSERT_EQ(RegisterInterface(), NoError);
    host::failCalls("ACAPI_MenuItem_InstallMenuHandler", APIERR_MENUEXIST);
    EXPECT_EQ(Initialize(), APIERR_MENUEXIST);
    EXPECT_TRUE(host::modelessWindows().empty());

    freshHost();
    ASSERT_EQ(RegisterInterface(), NoError);
    host::failCalls("ACAPI_RegisterModelessWindow", APIERR_REFUSEDCMD);
    EXPECT_EQ(Initialize(), APIERR_REFUSEDCMD);
    EXPECT_TRUE(host::modelessWindows().empty()) << "the point-cloud palette is not registered";
    EXPECT_EQ(host::callCount("ACAPI_RegisterModelessWindow"), 1);
}

TEST_F(AddOnMainTest, ItemsOneAndTwoToggleTheirOwnPalette) {
    load();
    EXPECT_EQ(choose(1), NoError);
    ASSERT_TRUE(MapPalette::HasInstance());
    MapPalette* const map = &MapPalette::GetInstance();
    EXPECT_TRUE(map->IsVisible());
    EXPECT_TRUE(checked(1));
    EXPECT_FALSE(CloudPalette::HasInstance());

    EXPECT_EQ(choose(2), NoError);
    ASSERT_TRUE(CloudPalette::HasInstance());
    EXPECT_TRUE(CloudPalette::GetInstance().IsVisible());
    EXPECT_TRUE(checked(2));

    choose(1);
    EXPECT_FALSE(map->IsVisible());
    EXPECT_FALSE(checked(1));
    EXPECT_TRUE(CloudPalette::GetInstance().IsVisible()) << "independent of the map palette";

    choose(1);
    EXPECT_EQ(&MapPalette::GetInstance(), map) << "shown again, not built again";
    EXPECT_TRUE(map->IsVisible());

    choose(2);
    EXPECT_FALSE(CloudPalette::GetInstance().IsVisible());
    EXPECT_FALSE(checked(2));
}

TEST_F(AddOnMainTest, OtherMenusAndItemsAreIgnored) {
    load();
    for (const short item : {0, 5, -1})
        EXPECT_EQ(choose(item), NoError);
    const API_MenuParams foreign{{32501, 1}};
    EXPECT_EQ(MenuCommandHandler(&foreign), NoError);
    EXPECT_EQ(MenuCommandHandler(nullptr), NoError);
    EXPECT_FALSE(MapPalette::HasInstance() || CloudPalette::HasInstance());
    EXPECT_TRUE(host::alerts().empty());
    EXPECT_TRUE(opened_.empty());
}

TEST_F(AddOnMainTest, ItemThreeCleansUpAndItemFourOpensTheMakersSite) {
    load();
    host::addPolyline({{0, 0}, {1, 1}});
    host::addPolyline({{1, 1}, {0, 0}});
    EXPECT_EQ(choose(3), NoError);
    EXPECT_EQ(host::elementCount(API_PolyLineID), 1u);
    EXPECT_EQ(host::alerts().front().largeText, "Czyszczenie duplikatow");

    EXPECT_EQ(choose(4), NoError);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0].rfind("https://", 0), 0u);
    EXPECT_EQ(opened_[0].size(), 20u);
}

}  // namespace
