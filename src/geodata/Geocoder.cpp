#include "geodata/Geocoder.h"

#include "geodata/ServiceConfig.h"
#include "geodata/WfsClient.h"

namespace {

// Minimum longitude, minimum latitude, maximum longitude, maximum latitude of Poland.
const char* const kPolandBox = "14.1,49.0,24.2,54.9";

std::string textProperty(const nlohmann::json& properties, const char* key) {
    if (!properties.is_object())
        return {};
    const auto it = properties.find(key);
    if (it == properties.end() || !it->is_string())
        return {};
    return it->get<std::string>();
}

std::string streetWithNumber(const nlohmann::json& properties) {
    std::string street = textProperty(properties, "street");
    if (street.empty())
        return street;  // a house number alone says nothing
    const std::string number = textProperty(properties, "housenumber");
    if (!number.empty())
        street += " " + number;
    return street;
}

}  // namespace

std::string Geocoder::buildPhotonUrl(const std::string& query, int limit) {
    return services::endpoints().photon + "/api/?q=" + WfsClient::urlEncode(query) +
           "&limit=" + std::to_string(limit) + "&bbox=" + kPolandBox;
}

std::string Geocoder::buildSuggestionLabel(const nlohmann::json& properties) {
    std::string label;
    for (const std::string& part :
         {textProperty(properties, "name"), streetWithNumber(properties),
          textProperty(properties, "city"), textProperty(properties, "county")}) {
        if (part.empty())
            continue;
        if (!label.empty())
            label += ", ";
        label += part;
    }
    return label;
}
