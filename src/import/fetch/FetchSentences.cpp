// The sentences the stages share about services they could not reach, sheet indexes they could
// not read whole, records they left out as damaged, and model sheets they could not reach or
// hold.

#include <cmath>

#include "import/fetch/FetchRun.h"

std::function<void(const std::string&)> ImportController::FetchRun::warnings() {
    return [this](const std::string& text) { appendWarning(text); };
}

namespace {

std::string km2(double m2) {
    return std::to_string(std::lround(m2 / 1e6));
}

}  // namespace

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

std::string damagedRecords(std::string_view prefix, std::string_view records, int count) {
    return std::string(prefix) + "pominieto uszkodzone " + std::string(records) + ": " +
           std::to_string(count) + " (bledne wspolrzedne).";
}

std::string sheetFilesUnreachable(std::string_view prefix, std::string_view model,
                                  const ServiceReach& reach) {
    const std::string name(model);
    return unreachable(prefix, "plikow " + name + " (geoportal)",
                       "nie pobrano zadnego arkusza " + name, reach);
}

std::string tooLargeForModel(std::string_view prefix, std::string_view model, double area,
                             std::string_view kept, double mostArea) {
    return std::string(prefix) + "kadr za duzy dla modelu " + std::string(model) + " (" +
           km2(area) + " km2" + std::string(kept) + ", najwyzej " + km2(mostArea) +
           " km2) - zmniejsz kadr.";
}

}  // namespace fetchstages
