#include "cloud_ui/CloudPalette.h"

#include <array>

#include "cloud/CloudController.h"

namespace {

const GS::Guid paletteGuid("{BE37AFB8-AC68-44F2-A7CE-DB3CC77A178B}");

constexpr std::array<webasset::Resource, 5> webResources{{
    {200, "cloud.html"},
    {201, "cloud.js"},
    {202, "cloud.css"},
    {110, "leaflet.js"},
    {111, "leaflet.css"},
}};

constexpr webasset::PageFiles kPageFiles{"CloudPalette", "Tovelmark_Cloud",   "cloud.html",
                                         "1.8.0",        "Tovelmark Cloud: ", webResources};

}  // namespace

const GS::Guid& CloudPalette::Guid() {
    return paletteGuid;
}

const webasset::PageFiles& CloudPalette::Pages() {
    return kPageFiles;
}

void CloudPalette::RegisterBridgeHandlers(Bridge& bridge) {
    bridge.on("ping", [](const nlohmann::json&) -> nlohmann::json {
        return {{"type", "pong"}, {"build", __DATE__ " " __TIME__}};
    });
    CloudController::Instance().registerHandlers(bridge);
}
