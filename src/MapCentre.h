#pragma once
// The map's centre that a palette page sends to set the project's origin ("setOrigin"): its
// members "lat" and "lon", in degrees. The map page and the point-cloud page send it alike.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

struct MapCentre {
    double lat = 0.0;
    double lon = 0.0;
};

// The centre the message gives; nothing, with the sentence for the page in `error`, when a
// member is missing, the two are no position on the globe, or the position lies outside the
// reach of the Polish coordinate systems (geobounds::withinReach). A member that is not a number
// throws pagefield::Refusal naming it.
std::optional<MapCentre> mapCentreOf(const nlohmann::json& message, std::string& error);
