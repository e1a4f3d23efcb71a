#include "AddOnMain.h"

#include "ACAPinc.h"
#include "MapPalette.h"
#include "Platform.h"
#include "PolylineCleaner.h"
#include "cloud_ui/CloudPalette.h"

namespace {

constexpr short kInfoStrings = 32000;
constexpr short kMenu = 32500;

enum MenuItem : short {
    kMapPaletteItem = 1,
    kCloudPaletteItem = 2,
    kRemoveDuplicatesItem = 3,
    kMakerSiteItem = 4,
};

// Hides the palette when it is shown; otherwise creates it on first use and shows it.
template <class Palette>
void togglePalette() {
    if (Palette::HasInstance() && Palette::GetInstance().IsVisible()) {
        Palette::GetInstance().Hide();
        return;
    }
    if (!Palette::HasInstance())
        Palette::CreateInstance();
    Palette::GetInstance().Show();
}

}  // namespace

API_AddonType CheckEnvironment(API_EnvirParams* envir) {
    const GSResModule module = ACAPI_GetOwnResModule();
    RSGetIndString(&envir->addOnInfo.name, kInfoStrings, 1, module);
    RSGetIndString(&envir->addOnInfo.description, kInfoStrings, 2, module);
    return APIAddon_Normal;
}

GSErrCode RegisterInterface() {
    return ACAPI_MenuItem_RegisterMenu(kMenu, 0, MenuCode_UserDef, 0);
}

GSErrCode Initialize() {
    GSErrCode err = ACAPI_MenuItem_InstallMenuHandler(kMenu, MenuCommandHandler);
    if (err == NoError)
        err = MapPalette::RegisterPaletteControlCallBack();
    if (err == NoError)
        err = CloudPalette::RegisterPaletteControlCallBack();
    return err;
}

GSErrCode FreeData() {
    return NoError;
}

GSErrCode MenuCommandHandler(const API_MenuParams* menuParams) {
    if (menuParams == nullptr || menuParams->menuItemRef.menuResID != kMenu)
        return NoError;
    switch (menuParams->menuItemRef.itemIndex) {
        case kMapPaletteItem:
            togglePalette<MapPalette>();
            break;
        case kCloudPaletteItem:
            togglePalette<CloudPalette>();
            break;
        case kRemoveDuplicatesItem:
            PolylineCleaner::RunRemoveDuplicatesCommand();
            break;
        case kMakerSiteItem:
            Platform::openExternal(kMakerSite);
            break;
        default:
            break;
    }
    return NoError;
}
