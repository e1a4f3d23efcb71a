#include "MapPalette.h"

#include <array>

#include "Platform.h"
#include "WebAssets.h"
#include "WebPalette.h"
#include "import/ImportController.h"

namespace {

constexpr short kPaletteResId = 32500;
constexpr short kMenuItem = 1;
constexpr short kBrowserItem = 1;
constexpr const char* kVersion = "1.8.0";

const GS::Guid paletteGuid("{6B1C0A7E-92D4-4F7B-B1A9-3C58D2E4F016}");
GS::Ref<MapPalette> instance;
bool s_wasVisibleBeforeHide = false;

constexpr std::array<webasset::Resource, 8> webResources = {{
    {100, "map.html"},
    {101, "map.js"},
    {102, "map.css"},
    {110, "leaflet.js"},
    {111, "leaflet.css"},
    {112, "maplibre-gl.js"},
    {113, "maplibre-gl.css"},
    {114, "leaflet-maplibre-gl.js"},
}};

constexpr webasset::PageFiles kPageFiles{"MapPalette", "TERRAWEFT",   "map.html",
                                         kVersion,     "TERRAWEFT: ", webResources};

GSErrCode NotificationHandler(API_NotifyEventID event, Int32) {
    if (event == APINotify_Quit)
        instance = nullptr;
    return NoError;
}

using json = nlohmann::json;

json onPing(const json&) {
    return json{{"type", "pong"}, {"wersja", kVersion}, {"build", __DATE__ " " __TIME__}};
}

json onOpenExternal(const json& message) {
    if (message.contains("url")) {
        const std::string url = message["url"].get<std::string>();
        if (url.starts_with("https://") || url.starts_with("http://"))
            Platform::openExternal(url);
    }
    return json{{"type", "noop"}};
}

}  // namespace

bool MapPalette::HasInstance() {
    return instance != nullptr;
}

void MapPalette::CreateInstance() {
    instance = GS::NewRef<MapPalette>(Key());
    ACAPI_KeepInMemory(true);
}

MapPalette& MapPalette::GetInstance() {
    return *instance;
}

void MapPalette::DestroyInstance() {
    instance = nullptr;
}

void MapPalette::SendToBrowser(const std::string& type, const nlohmann::json& payload) {
    if (HasInstance())
        instance->bridge.send(type, payload, Bridge::Utf8::Replace);
}

GSErrCode MapPalette::PaletteControlCallBack(Int32, API_PaletteMessageID message,
                                             GS::IntPtr param) {
    webpalette::controlPalette<MapPalette>(message, param, s_wasVisibleBeforeHide);
    return NoError;
}

GSErrCode MapPalette::RegisterPaletteControlCallBack() {
    return ACAPI_RegisterModelessWindow(webpalette::referenceOf(paletteGuid),
                                        PaletteControlCallBack, webpalette::kPaletteFlags,
                                        GSGuid2APIGuid(paletteGuid));
}

const GS::Guid& MapPalette::Guid() {
    return paletteGuid;
}

MapPalette::MapPalette(Key)
    : DG::Palette(ACAPI_GetOwnResModule(), kPaletteResId, ACAPI_GetOwnResModule(), paletteGuid),
      browser(*this, kBrowserItem) {
    ACAPI_ProjectOperation_CatchProjectEvent(APINotify_Quit, NotificationHandler);
    Attach(*this);
    BeginEventProcessing();
    InitBrowserControl();
}

MapPalette::~MapPalette() {
    EndEventProcessing();
    Detach(*this);
}

void MapPalette::Show() {
    DG::ModelessBase::Show(-32768);
    SetMenuItemCheckedState(true);
}

void MapPalette::Hide() {
    DG::ModelessBase::Hide();
    SetMenuItemCheckedState(false);
}

void MapPalette::SetMenuItemCheckedState(bool checked) {
    webpalette::setMenuItemChecked(kMenuItem, checked);
}

void MapPalette::PanelResized(const DG::PanelResizeEvent& event) {
    BeginMoveResizeItems();
    browser.Resize(event.GetHorizontalChange(), event.GetVerticalChange());
    EndMoveResizeItems();
}

void MapPalette::PanelCloseRequested(const DG::PanelCloseRequestEvent&, bool* accepted) {
    Hide();
    *accepted = true;
}

void MapPalette::InitBrowserControl() {
    RegisterBridgeHandlers();
    RegisterBridgeJSObject();
    webpalette::logLoadEvents(browser);
    if (const auto url = webasset::extract(kPageFiles))
        browser.LoadURL(GS::UniString(*url));
}

void MapPalette::RegisterBridgeHandlers() {
    bridge.on("ping", onPing);
    bridge.on("openExternal", onOpenExternal);
    ImportController::Instance().registerHandlers(bridge);
}

void MapPalette::RegisterBridgeJSObject() {
    webpalette::connect(browser, bridge);
}
