// Address search: one hit from Nominatim, asked on the main thread, and suggestions from Photon
// while the user types, each asked on a detached thread of its own.

#include <charconv>
#include <stdexcept>
#include <thread>

#include "MapPalette.h"
#include "PageFields.h"
#include "geodata/Geocoder.h"
#include "geodata/ServiceConfig.h"
#include "import/ImportController.h"

namespace {

constexpr std::size_t kMinSuggestQuery = 3;  // bytes
constexpr int kSuggestionLimit = 5;
constexpr int kSuggestTimeoutMs = 4000;

// A coordinate as Nominatim writes it, a decimal text, whatever the process's locale.
double coordinateOf(const ImportController::json& hit, const char* key) {
    const std::string text = hit.value(key, std::string("0"));
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        throw std::invalid_argument("Nieprawidlowa wspolrzedna z Nominatim: " + text);
    return value;
}

// The suggestions of a Photon answer: features with two numeric coordinates and a label.
ImportController::json suggestionsOf(const std::string& body) {
    using json = ImportController::json;
    json items = json::array();
    const json answer = json::parse(body, nullptr, false);
    if (!answer.is_object() || !answer.contains("features") || !answer["features"].is_array())
        return items;
    for (const json& feature : answer["features"]) {
        if (!feature.is_object() || !feature.contains("geometry") ||
            !feature["geometry"].is_object())
            continue;
        const json& geometry = feature["geometry"];
        const auto coordinates = geometry.find("coordinates");
        if (coordinates == geometry.end() || !coordinates->is_array() || coordinates->size() < 2 ||
            !(*coordinates)[0].is_number() || !(*coordinates)[1].is_number())
            continue;
        const std::string label =
            Geocoder::buildSuggestionLabel(feature.value("properties", json()));
        if (label.empty())
            continue;
        items.push_back({{"lat", (*coordinates)[1]}, {"lon", (*coordinates)[0]}, {"label", label}});
    }
    return items;
}

}  // namespace

ImportController::json ImportController::onSearchAddress(const json& message) {
    const std::string query = pagefield::text(message, "query");
    if (query.empty())
        return {{"type", "addressResults"}};
    const std::string url =
        services::endpoints().nominatim +
        "/search?format=json&limit=1&countrycodes=pl&q=" + WfsClient::urlEncode(query);
    const WfsClient::HttpResult answer = client_.get(url);
    if (answer.status != 200)
        return {{"type", "error"}, {"msg", "Wyszukiwarka adresow nie odpowiada (Nominatim)"}};
    const json hits = json::parse(answer.body, nullptr, false);
    if (!hits.is_array() || hits.empty())
        return {{"type", "addressResults"}};
    const json& first = hits[0];
    return {{"type", "addressResults"},
            {"lat", coordinateOf(first, "lat")},
            {"lon", coordinateOf(first, "lon")},
            {"label", first.value("display_name", std::string())}};
}

ImportController::json ImportController::onSearchAddressSuggest(const json& message) {
    std::string query = pagefield::text(message, "query");
    if (query.size() < kMinSuggestQuery)
        return nullptr;
    std::thread(suggestWorker, std::move(query)).detach();
    return nullptr;
}

// Whatever happens, one "addressSuggestions" event answers the query; nothing escapes the thread.
void ImportController::suggestWorker(const std::string& query) {
    json items = json::array();
    try {
        WfsClient own;
        const WfsClient::HttpResult answer =
            own.get(Geocoder::buildPhotonUrl(query, kSuggestionLimit), kSuggestTimeoutMs);
        if (answer.status == 200)
            items = suggestionsOf(answer.body);
    } catch (...) {
        // A failed request or answer leaves the list empty.
    }
    try {
        runOnMainThread([query, items = std::move(items)] { onSuggestResult(query, items); });
    } catch (...) {
        // Nothing can reach the page without the main loop.
    }
}

void ImportController::onSuggestResult(const std::string& query, const json& items) {
    MapPalette::SendToBrowser("addressSuggestions", {{"query", query}, {"items", items}});
}
