#include "import/ImportController.h"

#include <array>

ImportController& ImportController::Instance() {
    static ImportController controller;
    return controller;
}

void ImportController::registerHandlers(Bridge& bridge) {
    static constexpr std::array<const char*, 9> kTypes = {
        "searchAddress", "searchAddressSuggest", "fetch",   "place", "setOrigin",
        "getLayers",     "settingsChanged",      "getInit", "cancel"};
    for (const char* type : kTypes) {
        bridge.on(type, [type](const Bridge::json&) {
            return Bridge::json{
                {"type", "error"},
                {"msg", std::string("Funkcja niedostepna w tej wersji dodatku: ") + type}};
        });
    }
}
