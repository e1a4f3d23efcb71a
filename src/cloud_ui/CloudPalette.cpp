#include "cloud_ui/CloudPalette.h"

#include <array>

#include "ACAPinc.h"
#include "WebAssets.h"
#include "WebPalette.h"

namespace {

constexpr short kPaletteResId = 32600;
constexpr short kMenuItem = 2;
constexpr short kBrowserItem = 1;
constexpr short kShowAtDefaultPlace = -32768;

const GS::Guid paletteGuid("{BE37AFB8-AC68-44F2-A7CE-DB3CC77A178B}");
bool s_wasVisibleBeforeHide = false;

constexpr std::array<webasset::Resource, 5> webResources{{
    {200, "cloud.html"},
    {201, "cloud.js"},
    {202, "cloud.css"},
    {110, "leaflet.js"},
    {111, "leaflet.css"},
}};

const webasset::PageFiles pageFiles{"CloudPalette", "Tovelmark_Cloud",   "cloud.html",
                                    "1.8.0",        "Tovelmark Cloud: ", webResources};

GS::Ref<CloudPalette>& instance() {
    static GS::Ref<CloudPalette> palette;
    return palette;
}

GSErrCode NotificationHandler(API_NotifyEventID event, Int32 /*param*/) {
    if (event == APINotify_Quit)
        instance() = nullptr;
    return NoError;
}

}  // namespace

bool CloudPalette::HasInstance() {
    return instance() != nullptr;
}

void CloudPalette::CreateInstance() {
    instance() = GS::NewRef<CloudPalette>(Key());
    ACAPI_KeepInMemory(true);
}

CloudPalette& CloudPalette::GetInstance() {
    return *instance();
}

void CloudPalette::SendToBrowser(const std::string& type, const nlohmann::json& payload) {
    if (HasInstance())
        GetInstance().bridge.send(type, payload, Bridge::Utf8::Replace);
}

GSErrCode CloudPalette::PaletteControlCallBack(Int32 /*referenceID*/, API_PaletteMessageID message,
                                               GS::IntPtr param) {
    webpalette::controlPalette<CloudPalette>(message, param, s_wasVisibleBeforeHide);
    return NoError;
}

GSErrCode CloudPalette::RegisterPaletteControlCallBack() {
    return ACAPI_RegisterModelessWindow(webpalette::referenceOf(paletteGuid),
                                        PaletteControlCallBack, webpalette::kPaletteFlags,
                                        GSGuid2APIGuid(paletteGuid));
}

const GS::Guid& CloudPalette::Guid() {
    return paletteGuid;
}

CloudPalette::CloudPalette(Key)
    : DG::Palette(ACAPI_GetOwnResModule(), kPaletteResId, ACAPI_GetOwnResModule(), paletteGuid),
      browser(*this, kBrowserItem) {
    ACAPI_ProjectOperation_CatchProjectEvent(APINotify_Quit, NotificationHandler);
    Attach(*this);
    BeginEventProcessing();
    InitBrowserControl();
}

CloudPalette::~CloudPalette() {
    EndEventProcessing();
    Detach(*this);
}

void CloudPalette::Show() {
    DG::ModelessBase::Show(kShowAtDefaultPlace);
    webpalette::setMenuItemChecked(kMenuItem, true);
}

void CloudPalette::Hide() {
    DG::ModelessBase::Hide();
    webpalette::setMenuItemChecked(kMenuItem, false);
}

void CloudPalette::PanelResized(const DG::PanelResizeEvent& event) {
    BeginMoveResizeItems();
    browser.Resize(event.GetHorizontalChange(), event.GetVerticalChange());
    EndMoveResizeItems();
}

void CloudPalette::PanelCloseRequested(const DG::PanelCloseRequestEvent& /*event*/,
                                       bool* accepted) {
    Hide();
    *accepted = true;
}

void CloudPalette::InitBrowserControl() {
    RegisterBridgeHandlers();
    RegisterBridgeJSObject();
    webpalette::logLoadEvents(browser);
    if (const auto url = webasset::extract(pageFiles))
        browser.LoadURL(GS::UniString(*url));
}

void CloudPalette::RegisterBridgeHandlers() {
    bridge.on("ping", [](const nlohmann::json&) -> nlohmann::json {
        return {{"type", "pong"}, {"build", __DATE__ " " __TIME__}};
    });
    // The point-cloud controller's messages ("frameEstimate", "download", "cancel",
    // "setOrigin", "getInit") are registered here by CloudController::registerHandlers.
}

void CloudPalette::RegisterBridgeJSObject() {
    webpalette::connect(browser, bridge);
}
