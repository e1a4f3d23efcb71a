// The sentences the stages share about services they could not reach, sheet indexes they could
// not read whole, and model sheets they left out or could not hold.

#include <cmath>

#include "import/fetch/FetchRun.h"

std::function<void(const std::string&)> ImportController::FetchRun::warnings() {
    return [this](const std::string& text) { appendWarning(text); };
}

namespace {

// "kafel", "kafle" or "kafli": the form of the word after a count.
const char* sheetsWord(std::size_t count) {
    if (count == 1)
        return "kafel";
    const std::size_t units = count % 10;
    const std::size_t tens = count % 100;
    return units >= 2 && units <= 4 && (tens < 12 || tens > 14) ? "kafle" : "kafli";
}

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

std::string indexIncomplete(std::string_view prefix, std::string_view index, std::size_t listed) {
    return std::string(prefix) + "skorowidz " + std::string(index) +
           " nie podal wszystkich arkuszy kadru (odczytano " + std::to_string(listed) +
           ") - kadr moze byc pokryty tylko czesciowo.";
}

std::string sheetsLeftOut(std::string_view prefix, const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    return std::string(prefix) + "pominieto " + std::to_string(names.size()) + " " +
           sheetsWord(names.size()) + " nie do uzycia (" + list + ").";
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
