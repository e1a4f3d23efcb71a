// GmlParser::toGeoJSON: the exact text, geometry choice, kind names, rings as stored, positions
// in WGS84, and texts that are not valid UTF-8.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "geodata/GmlParser.h"
#include "geodata/ProjConv.h"
#include "support/CommaLocale.h"

namespace {

using nlohmann::json;

const std::vector<GisPoint> kRing = {{500000, 250000}, {500010, 250000}, {500010, 250010}};

GisFeature featureOf(int kind) {
    GisFeature f;
    f.kind = kind;
    return f;
}

GisFeature polygonFeature(int polygons) {
    GisFeature f = featureOf(0);
    for (int i = 0; i < polygons; ++i)
        f.polygons.push_back({kRing, {}});
    f.point = {500005, 250005};
    f.hasPoint = true;
    return f;
}

json preview(const std::vector<GisFeature>& features) {
    return json::parse(GmlParser::toGeoJSON(features));
}

json geometryOf(const GisFeature& feature) {
    return preview({feature})["features"].at(0)["geometry"];
}

TEST(GeoJsonPreview, EmptyListGivesTheEmptyCollectionText) {
    EXPECT_EQ(GmlParser::toGeoJSON({}), "{\"features\":[],\"type\":\"FeatureCollection\"}");
}

TEST(GeoJsonPreview, CompactTextWithKeysInByteOrder) {
    GisFeature f = featureOf(1);
    f.hasPoint = true;
    f.point = {500000, 250000};
    f.props.insert_or_assign("b", "2");
    f.props.insert_or_assign("a", "1");
    const std::string text = GmlParser::toGeoJSON({f});
    EXPECT_EQ(text.find(' '), std::string::npos);
    EXPECT_EQ(text.rfind("{\"features\":[{\"geometry\":{\"coordinates\":[", 0), 0u) << text;
    EXPECT_NE(text.find("\"properties\":{\"_kind\":\"budynek\",\"a\":\"1\",\"b\":\"2\"},\"type\":"
                        "\"Feature\"}],\"type\":\"FeatureCollection\"}"),
              std::string::npos)
        << text;
}

TEST(GeoJsonPreview, GeometryFollowsTheRecordsContent) {
    const json one = geometryOf(polygonFeature(1));
    EXPECT_EQ(one["type"], "Polygon");
    EXPECT_EQ(one["coordinates"].size(), 1u);

    const json two = geometryOf(polygonFeature(2));
    EXPECT_EQ(two["type"], "MultiPolygon") << "the label point is not written";
    EXPECT_EQ(two["coordinates"].size(), 2u);

    GisFeature line = featureOf(4);
    line.lines = {kRing};
    line.hasPoint = true;
    EXPECT_EQ(geometryOf(line)["type"], "LineString");
    line.lines.push_back(kRing);
    EXPECT_EQ(geometryOf(line)["type"], "MultiLineString");
    EXPECT_EQ(geometryOf(line)["coordinates"].size(), 2u);

    GisFeature point = featureOf(0);
    point.hasPoint = true;
    point.point = kRing[0];
    const json p = geometryOf(point);
    EXPECT_EQ(p["type"], "Point");
    EXPECT_EQ(p["coordinates"].size(), 2u);
}

TEST(GeoJsonPreview, RecordsWithoutGeometryAreLeftOut) {
    GisFeature empty = featureOf(0);
    empty.props.insert_or_assign("x", "1");
    const json out = preview({empty, polygonFeature(1), empty});
    EXPECT_EQ(out["features"].size(), 1u);
}

TEST(GeoJsonPreview, KindNames) {
    const auto kindOf = [](int kind) {
        GisFeature f = polygonFeature(1);
        f.kind = kind;
        f.props.insert_or_assign("_kind", "own");
        return preview({f})["features"][0]["properties"]["_kind"].get<std::string>();
    };
    EXPECT_EQ(kindOf(0), "dzialka");
    EXPECT_EQ(kindOf(1), "budynek");
    EXPECT_EQ(kindOf(2), "mpzp");
    EXPECT_EQ(kindOf(3), "pog");
    EXPECT_EQ(kindOf(4), "gesut");
    EXPECT_EQ(kindOf(5), "inne");
    EXPECT_EQ(kindOf(6), "inne");
    EXPECT_EQ(kindOf(7), "rastr");
    EXPECT_EQ(kindOf(12), "inne");
    EXPECT_EQ(kindOf(-1), "inne");
}

TEST(GeoJsonPreview, RingsAsStoredInLongitudeLatitude) {
    GisFeature f = polygonFeature(1);
    f.polygons[0].holes = {{}, {{500002, 250002}, {500003, 250002}, {500003, 250003}}};
    const json rings = geometryOf(f)["coordinates"];
    ASSERT_EQ(rings.size(), 3u);
    EXPECT_EQ(rings[0].size(), 3u) << "an open ring stays open";
    EXPECT_TRUE(rings[1].is_array());
    EXPECT_TRUE(rings[1].empty()) << "an empty hole is an empty array";
    double lat = 0.0;
    double lon = 0.0;
    ProjConv::pl1992ToLatLon(kRing[1].x, kRing[1].y, lat, lon);
    EXPECT_EQ(rings[0][1][0].get<double>(), lon) << "shortest text that reads back exactly";
    EXPECT_EQ(rings[0][1][1].get<double>(), lat);
}

TEST(GeoJsonPreview, InvalidUtf8IsReplacedNotThrown) {
    GisFeature f = polygonFeature(1);
    f.props.insert_or_assign("nazwa",
                             "ul. \xC5\x81\xC3\xB3"
                             "dzka \xFF\xFE koniec \xC5");
    f.props.insert_or_assign(
        "\xC0"
        "key",
        "v");
    std::string text;
    ASSERT_NO_THROW(text = GmlParser::toGeoJSON({f}));
    const json out = json::parse(text);
    const json props = out["features"][0]["properties"];
    EXPECT_EQ(props["nazwa"],
              "ul. \xC5\x81\xC3\xB3"
              "dzka \xEF\xBF\xBD\xEF\xBF\xBD koniec \xEF\xBF\xBD");
    EXPECT_NE(text.find("\xC5\x81\xC3\xB3"), std::string::npos) << "valid UTF-8 is not escaped";
}

TEST(GeoJsonPreview, NumbersKeepTheirPointUnderACommaLocale) {
    const std::string before = GmlParser::toGeoJSON({polygonFeature(1)});
    const loopback::CommaLocale comma;
    if (!comma.active())
        GTEST_SKIP() << loopback::kCommaLocaleMissing;
    EXPECT_EQ(GmlParser::toGeoJSON({polygonFeature(1)}), before);
}

}  // namespace
