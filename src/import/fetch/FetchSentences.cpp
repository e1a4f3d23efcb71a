// The sentences the stages share about services they could not reach and sheet indexes they
// could not read whole.

#include "import/fetch/FetchRun.h"

std::function<void(const std::string&)> ImportController::FetchRun::warnings() {
    return [this](const std::string& text) { appendWarning(text); };
}

namespace fetchstages {

ServiceReach capabilitiesReach(const WfsClient::HttpResult& answer) {
    return WfsClient::reachOf(answer, answer.status == 200 && !looksLikeWebPage(answer.body));
}

std::string lookupUnreachable(std::string_view prefix, const ServiceReach& reach,
                              bool municipality) {
    return unreachable(
        prefix, "granic administracyjnych (geoportal)",
        municipality ? "nie ustalono gminy dla widoku" : "nie ustalono powiatu dla widoku", reach);
}

std::string missingCells(std::string_view prefix, int missing, int total) {
    return std::string(prefix) + std::to_string(missing) + " z " + std::to_string(total) +
           " komorek pobierania nie przyszlo w calosci - dane moga byc niepelne.";
}

}  // namespace fetchstages
