// Placement of the fetched data into the project and the project's origin.

#include <string>

#include "import/ImportController.h"

namespace {

ImportController::json notAvailable(const std::string& type) {
    return {{"type", "error"}, {"msg", "Funkcja niedostepna w tej wersji dodatku: " + type}};
}

}  // namespace

ImportController::json ImportController::onPlace(const json& /*message*/) {
    return notAvailable("place");
}

ImportController::json ImportController::onSetOrigin(const json& /*message*/) {
    return notAvailable("setOrigin");
}
