#include "fakes/Overpass.h"

#include <nlohmann/json.hpp>

#include "fakes/Wfs.h"
#include "geodata/ProjConv.h"

namespace fakes {
namespace {

using json = nlohmann::json;

bool tagged(const Feature& way, const std::string& key) {
    return way.props.count(key) > 0;
}

bool isBridge(const Feature& way) {
    const auto bridge = way.props.find("bridge");
    return bridge != way.props.end() && (bridge->second == "yes" || bridge->second == "viaduct");
}

json element(const Feature& way, std::size_t id) {
    json geometry = json::array();
    for (const GisPoint& p : way.lines.empty() ? std::vector<GisPoint>() : way.lines.front()) {
        double lat = 0.0;
        double lon = 0.0;
        ProjConv::pl1992ToLatLon(p.x, p.y, lat, lon);
        geometry.push_back({{"lat", lat}, {"lon", lon}});
    }
    return {{"type", "way"}, {"id", id}, {"tags", way.props}, {"geometry", std::move(geometry)}};
}

}  // namespace

Overpass::Overpass(std::vector<Feature> ways)
    : ways_(std::make_shared<const std::vector<Feature>>(std::move(ways))) {}

loopback::Answer Overpass::operator()(const loopback::Request& request) const {
    const std::string query = param(request.query, "data");
    const bool bridges = query.find("way[\"bridge\"") != std::string::npos;
    const bool roads = query.find("way[\"highway\"") != std::string::npos;
    json elements = json::array();
    for (std::size_t i = 0; i < ways_->size(); ++i) {
        const Feature& way = (*ways_)[i];
        if ((bridges && isBridge(way)) || (roads && tagged(way, "highway")))
            elements.push_back(element(way, i + 1));
    }
    return loopback::ok(json{{"version", 0.6}, {"elements", std::move(elements)}}.dump(),
                        "application/json");
}

}  // namespace fakes
