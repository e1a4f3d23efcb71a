#include "geodata/OsmClient.h"

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "geodata/CityGmlReader.h"
#include "geodata/GeoBounds.h"
#include "geodata/NumberText.h"
#include "geodata/ProjConv.h"
#include "geodata/ServiceConfig.h"

namespace {

using nlohmann::json;

constexpr double kLargestArea = 2.5e7;  // square metres: 5 km by 5 km
constexpr const char* kAreaTooLarge =
    "Mosty/drogi (OSM): kadr za duzy \xE2\x80\x94 przybliz mape (max ok. 5x5 km).";
constexpr int kOk = 200;

constexpr const char* kBridgeClause = "way[\"bridge\"~\"^(yes|viaduct)$\"](";
constexpr const char* kRoadClause =
    "way[\"highway\"~\"^(motorway|trunk|primary|secondary|tertiary|residential|unclassified|"
    "living_street)$\"](";

struct ClassWidth {
    std::string_view wayClass;
    double width;
};

constexpr ClassWidth kClassWidths[] = {
    {"motorway", 14.0}, {"trunk", 14.0},      {"primary", 10.0},     {"secondary", 8.0},
    {"tertiary", 7.0},  {"residential", 6.0}, {"unclassified", 6.0}, {"living_street", 6.0},
    {"tram", 3.0},      {"rail", 3.0},        {"cycleway", 2.5},     {"path", 2.5},
    {"footway", 2.0},   {"pedestrian", 2.0},  {"steps", 2.0},
};

// "south,west,north,east" in degrees: the extent of the area's four corners.
std::string boxText(const Bbox& area) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    double south = kInf, west = kInf, north = -kInf, east = -kInf;
    for (const GisPoint& c : {GisPoint{area.minx, area.miny}, GisPoint{area.minx, area.maxy},
                              GisPoint{area.maxx, area.miny}, GisPoint{area.maxx, area.maxy}}) {
        double lat = 0.0;
        double lon = 0.0;
        ProjConv::pl1992ToLatLon(c.x, c.y, lat, lon);
        south = std::min(south, lat);
        north = std::max(north, lat);
        west = std::min(west, lon);
        east = std::max(east, lon);
    }
    return numbertext::fixed(south, 6) + "," + numbertext::fixed(west, 6) + "," +
           numbertext::fixed(north, 6) + "," + numbertext::fixed(east, 6);
}

std::string queryText(const Bbox& area, bool bridges, bool roads) {
    const std::string box = boxText(area);
    std::string query = "[out:json][timeout:25];(";
    if (bridges) {
        query += kBridgeClause + box + ");";
    }
    if (roads) {
        query += kRoadClause + box + ");";
    }
    return query + ");out geom;";
}

// A tag's text; "" when the tags are not an object, the tag is absent or not a string.
std::string tag(const json& tags, const char* key) {
    if (!tags.is_object()) {
        return {};
    }
    const auto it = tags.find(key);
    return it != tags.end() && it->is_string() ? it->get<std::string>() : std::string{};
}

// The way's points, or false when a geometry item holds a coordinate that is not a number or a
// latitude and longitude that are no position on the globe. Items that are not objects with
// both "lat" and "lon" are skipped.
bool readPoints(const json& geometry, std::vector<GisPoint>& points) {
    for (const json& item : geometry) {
        if (!item.is_object() || !item.contains("lat") || !item.contains("lon")) {
            continue;
        }
        const json& lat = item["lat"];
        const json& lon = item["lon"];
        if (!lat.is_number() || !lon.is_number() ||
            !geobounds::isLatLon(lat.get<double>(), lon.get<double>())) {
            return false;
        }
        points.push_back(ProjConv::latLonToPl1992(lat.get<double>(), lon.get<double>()));
    }
    return true;
}

bool isWay(const json& element) {
    if (!element.is_object()) {
        return false;
    }
    const auto type = element.find("type");
    const auto geometry = element.find("geometry");
    return type != element.end() && *type == "way" && geometry != element.end() &&
           geometry->is_array();
}

}  // namespace

OsmWays OsmClient::fetchWays(const Bbox& area, WfsClient& client, bool bridges, bool roads,
                             std::string& error) {
    ServiceReach ignored;
    return fetchWays(area, client, bridges, roads, error, ignored);
}

OsmWays OsmClient::fetchWays(const Bbox& area, WfsClient& client, bool bridges, bool roads,
                             std::string& error, ServiceReach& reach) {
    error.clear();
    reach = {};
    if (!bridges && !roads) {
        return {};
    }
    if ((area.maxx - area.minx) * (area.maxy - area.miny) > kLargestArea) {
        error = kAreaTooLarge;
        return {};
    }
    const std::string url = services::endpoints().overpass + "/api/interpreter?data=" +
                            WfsClient::urlEncode(queryText(area, bridges, roads));
    const WfsClient::HttpResult answer = client.get(url);
    OsmWays found = answer.status == kOk ? parseOverpass(answer.body) : OsmWays{};
    reach = WfsClient::reachOf(answer, found.read);
    if (answer.status != kOk) {
        error =
            "OSM (Overpass): usluga nie odpowiada (status " + std::to_string(answer.status) + ").";
        return {};
    }
    found.damaged += static_cast<int>(std::erase_if(found.ways, [&area](const OsmWay& way) {
        return !geobounds::allNearFrame(way.points, area);
    }));
    return found;
}

OsmWays OsmClient::parseOverpass(std::string_view text) {
    const json root = json::parse(text, nullptr, false);
    if (!root.is_object()) {
        return {};
    }
    OsmWays found;
    if (const auto remark = root.find("remark"); remark != root.end()) {
        found.remark = remark->is_string() ? remark->get<std::string>() : std::string{};
    }
    const auto elements = root.find("elements");
    const bool listed = elements != root.end() && elements->is_array();
    found.read = listed || found.remark.has_value();
    if (!listed) {
        return found;
    }
    for (const json& element : *elements) {
        if (!isWay(element)) {
            continue;
        }
        const json tags = element.value("tags", json::object());
        OsmWay way;
        const std::string highway = tag(tags, "highway");
        way.wayClass = highway.empty() ? tag(tags, "railway") : highway;
        way.name = tag(tags, "name");
        const std::string bridge = tag(tags, "bridge");
        way.bridge = bridge == "yes" || bridge == "viaduct";
        way.width = widthFromTags(way.wayClass, tag(tags, "width"), tag(tags, "lanes"), way.bridge);
        if (!readPoints(element["geometry"], way.points)) {
            ++found.damaged;
        } else if (way.points.size() >= 2) {
            found.ways.push_back(std::move(way));
        }
    }
    return found;
}

double OsmClient::widthFromTags(std::string_view wayClass, std::string_view widthTag,
                                std::string_view lanesTag, bool bridge) {
    // A tag that does not start with a number reads as 0 and falls through.
    const double width = citygml::leadingNumber(std::string(widthTag).c_str());
    if (width > 0.5 && width < 60.0) {
        return width;
    }
    const std::int32_t lanes = citygml::leadingInteger(std::string(lanesTag).c_str());
    if (lanes >= 1 && lanes <= 12) {
        return lanes * 3.5 + 1.0;
    }
    for (const ClassWidth& c : kClassWidths) {
        if (c.wayClass == wayClass) {
            return c.width;
        }
    }
    return bridge ? 6.0 : 5.0;
}
