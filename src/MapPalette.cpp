#include "MapPalette.h"

#include <array>

#include "PageFields.h"
#include "Platform.h"
#include "WebAssets.h"
#include "import/ImportController.h"

namespace {

constexpr const char* kVersion = "1.8.0";

const GS::Guid paletteGuid("{6B1C0A7E-92D4-4F7B-B1A9-3C58D2E4F016}");

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

using json = nlohmann::json;

json onPing(const json&) {
    return json{{"type", "pong"}, {"wersja", kVersion}, {"build", __DATE__ " " __TIME__}};
}

json onOpenExternal(const json& message) {
    const std::string url = pagefield::text(message, "url");
    if (url.starts_with("https://") || url.starts_with("http://"))
        Platform::openExternal(url);
    return json{{"type", "noop"}};
}

}  // namespace

const GS::Guid& MapPalette::Guid() {
    return paletteGuid;
}

const webasset::PageFiles& MapPalette::Pages() {
    return kPageFiles;
}

void MapPalette::RegisterBridgeHandlers(Bridge& bridge) {
    bridge.on("ping", onPing);
    bridge.on("openExternal", onOpenExternal);
    ImportController::Instance().registerHandlers(bridge);
}
