// The controller's life, its registration on the map page's bridge, and the small handlers: the
// layer mapping, the page's start position and the cancel request.

#include "import/ImportController.h"

#include <map>

#include "ACAPinc.h"
#include "LayerMapper.h"
#include "PageFields.h"
#include "geodata/GeoTransform.h"

namespace {

constexpr int kInitialZoom = 17;

using pagefield::errorReply;

}  // namespace

ImportController& ImportController::Instance() {
    // Never destroyed: detached workers may still hold it while the process ends.
    static ImportController* const controller = new ImportController();
    return *controller;
}

ImportController::ImportController() : settings_(Settings::load()) {
    if (!settings_.upgToken.empty())
        client_.setAuthToken(settings_.upgToken);
}

void ImportController::registerHandlers(Bridge& bridge) {
    using Member = json (ImportController::*)(const json&);
    const std::pair<const char*, Member> handlers[] = {
        {"searchAddress", &ImportController::onSearchAddress},
        {"searchAddressSuggest", &ImportController::onSearchAddressSuggest},
        {"fetch", &ImportController::onFetch},
        {"place", &ImportController::onPlace},
        {"setOrigin", &ImportController::onSetOrigin},
        {"getLayers", &ImportController::onGetLayers},
        {"settingsChanged", &ImportController::onSettingsChanged},
        {"getInit", &ImportController::onGetInit},
        {"cancel", &ImportController::onCancel},
    };
    for (const auto& [type, member] : handlers)
        bridge.on(type,
                  [this, call = member](const json& message) { return (this->*call)(message); });
}

ImportController::json ImportController::onGetLayers(const json& /*message*/) {
    json mapping = json::object();
    for (const DataType type : Settings::wszystkieTypy())
        mapping[Settings::keyOf(type)] = settings_.layerFor(type);
    return {{"type", "layerList"},
            {"layers", LayerMapper::listProjectLayers()},
            {"mapping", std::move(mapping)}};
}

// The whole mapping is read before anything changes, so a value that is no text leaves the
// settings as they were. A name is kept as the project keeps it: a longer one is cut to the
// layer's length in the settings file too.
ImportController::json ImportController::onSettingsChanged(const json& message) {
    if (!message.contains("mapping"))
        return nullptr;
    const json& mapping = message["mapping"];
    if (!mapping.is_object())
        pagefield::refuse("mapping", "musi byc obiektem");
    std::map<DataType, std::string> changes;
    for (const DataType type : Settings::wszystkieTypy()) {
        const char* key = Settings::keyOf(type);
        if (!mapping.contains(key))
            continue;
        if (!mapping[key].is_string()) {
            return errorReply(std::string("Nieprawidlowe mapowanie warstw: wartosc dla \"") + key +
                              "\" nie jest nazwa warstwy. Nic nie zmieniono.");
        }
        changes[type] = LayerMapper::storedName(mapping[key].get<std::string>());
    }
    for (auto& [type, layer] : changes)
        settings_.layers[type] = std::move(layer);
    settings_.save();
    return nullptr;
}

ImportController::json ImportController::onGetInit(const json& /*message*/) {
    double lat = 0.0;
    double lon = 0.0;
    if (!projectSurveyPointLatLon(lat, lon))
        return nullptr;
    return {{"type", "init"}, {"lat", lat}, {"lon", lon}, {"zoom", kInitialZoom}};
}

ImportController::json ImportController::onCancel(const json& /*message*/) {
    cancel_.exchange(true);
    return {{"type", "cancelled"}};
}
