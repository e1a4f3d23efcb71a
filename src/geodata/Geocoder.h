#pragma once
// The service side of the address suggestions: the Photon request and the one-line label of
// each suggestion. Reading the answer's features belongs to the caller.

#include <nlohmann/json.hpp>
#include <string>

class Geocoder {
public:
    // The geocoder's base address + "/api/?q=" + the percent-encoded query + "&limit=" + limit,
    // restricted to a box around Poland.
    static std::string buildPhotonUrl(const std::string& query, int limit);

    // name, street with house number, city and county of a feature's "properties", the empty
    // ones left out, joined by ", ". Members that are not texts, or properties that are not an
    // object, count as empty.
    static std::string buildSuggestionLabel(const nlohmann::json& properties);
};
