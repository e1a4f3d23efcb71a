// GmlParser's GeoJSON preview: features as a FeatureCollection in WGS84 for the map page.

#include <nlohmann/json.hpp>

#include "geodata/GmlParser.h"
#include "geodata/ProjConv.h"

namespace {

using nlohmann::json;

// The preview's own names of the kinds; they differ from the request keys.
const char* kindName(std::int32_t kind) {
    switch (kind) {
        case 0:
            return "dzialka";
        case 1:
            return "budynek";
        case 2:
            return "mpzp";
        case 3:
            return "pog";
        case 4:
            return "gesut";
        case 7:
            return "rastr";
        default:
            return "inne";
    }
}

json position(const GisPoint& p) {
    double lat = 0.0;
    double lon = 0.0;
    ProjConv::pl1992ToLatLon(p.x, p.y, lat, lon);
    return json::array({lon, lat});
}

// Points in stored order: a ring is closed exactly when the record repeats its first point.
json positions(const std::vector<GisPoint>& points) {
    json list = json::array();
    for (const GisPoint& p : points)
        list.push_back(position(p));
    return list;
}

json rings(const GisPolygon& polygon) {
    json list = json::array({positions(polygon.outer)});
    for (const std::vector<GisPoint>& hole : polygon.holes)
        list.push_back(positions(hole));
    return list;
}

// Polygons before lines before the point; null for a record with none of them.
json geometryOf(const GisFeature& feature) {
    if (feature.polygons.size() == 1)
        return {{"type", "Polygon"}, {"coordinates", rings(feature.polygons.front())}};
    if (!feature.polygons.empty()) {
        json polygons = json::array();
        for (const GisPolygon& polygon : feature.polygons)
            polygons.push_back(rings(polygon));
        return {{"type", "MultiPolygon"}, {"coordinates", std::move(polygons)}};
    }
    if (feature.lines.size() == 1)
        return {{"type", "LineString"}, {"coordinates", positions(feature.lines.front())}};
    if (!feature.lines.empty()) {
        json lines = json::array();
        for (const std::vector<GisPoint>& line : feature.lines)
            lines.push_back(positions(line));
        return {{"type", "MultiLineString"}, {"coordinates", std::move(lines)}};
    }
    if (feature.hasPoint)
        return {{"type", "Point"}, {"coordinates", position(feature.point)}};
    return nullptr;
}

}  // namespace

// The collection is written feature by feature, so that only one feature's JSON value is held at
// a time; the text is the same as that of the whole collection dumped at once.
std::string GmlParser::toGeoJSON(const std::vector<GisFeature>& features) {
    std::string text = "{\"features\":[";
    bool first = true;
    for (const GisFeature& feature : features) {
        json geometry = geometryOf(feature);
        if (geometry.is_null())
            continue;
        json properties = json::object();
        for (const auto& [key, value] : feature.props)
            properties[key] = value;
        properties["_kind"] = kindName(feature.kind);
        const json object = {{"type", "Feature"},
                             {"properties", std::move(properties)},
                             {"geometry", std::move(geometry)}};
        if (!first)
            text += ',';
        first = false;
        text += object.dump(-1, ' ', false, json::error_handler_t::replace);
    }
    // Appended in place: the text plus its end would be a second copy of the whole preview.
    text += "],\"type\":\"FeatureCollection\"}";
    return text;
}
