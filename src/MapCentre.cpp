#include "MapCentre.h"

#include "PageFields.h"
#include "geodata/GeoBounds.h"

std::optional<MapCentre> mapCentreOf(const nlohmann::json& message, std::string& error) {
    if (!message.is_object() || !message.contains("lat") || !message.contains("lon")) {
        error = "Brak wspolrzednych srodka mapy";
        return std::nullopt;
    }
    const MapCentre centre{pagefield::number(message, "lat", 0.0),
                           pagefield::number(message, "lon", 0.0)};
    if (!geobounds::isLatLon(centre.lat, centre.lon)) {
        error = "Nieprawidlowe wspolrzedne srodka mapy";
        return std::nullopt;
    }
    if (!geobounds::withinReach(centre.lat, centre.lon)) {
        error = geobounds::kPointOutOfReach;
        return std::nullopt;
    }
    return centre;
}
