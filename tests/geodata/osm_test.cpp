// The OpenStreetMap ways client: width rules, reading Overpass answers, and the request against
// a loopback Overpass service (area limit, query text under any locale, failures).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geodata/OsmClient.h"
#include "geodata/ProjConv.h"
#include "geodata/ServiceConfig.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"
#include "support/CommaLocale.h"
#include "support/ScopedEndpoints.h"

namespace {

double width(const char* cls, const char* w, const char* lanes, bool bridge = false) {
    return OsmClient::widthFromTags(cls, w, lanes, bridge);
}

TEST(OsmWidth, WidthTagThenLanesThenClass) {
    EXPECT_EQ(width("primary", "7.5 m", "4"), 7.5) << "the leading number of the width tag";
    EXPECT_EQ(width("primary", "0.5", "2"), 8.0) << "0.5 is not a width: on to the lanes";
    EXPECT_EQ(width("primary", "60", ""), 10.0) << "nor is 60";
    EXPECT_EQ(width("primary", "59.9", ""), 59.9);
    EXPECT_EQ(width("primary", "szeroka", "3"), 11.5) << "not a number: on to the lanes";
    EXPECT_EQ(width("primary", "", "2"), 8.0);
    EXPECT_EQ(width("primary", "", "1"), 4.5);
    EXPECT_EQ(width("primary", "", "12"), 43.0);
    EXPECT_EQ(width("primary", "", "13"), 10.0) << "13 lanes: on to the class";
    EXPECT_EQ(width("primary", "", "0"), 10.0);
    EXPECT_EQ(width("primary", "", "dwa"), 10.0);
}

TEST(OsmWidth, ClassNamesAreExactAndOthersDependOnTheBridge) {
    EXPECT_EQ(width("motorway", "", ""), 14.0);
    EXPECT_EQ(width("living_street", "", "", true), 6.0);
    EXPECT_EQ(width("steps", "", "", true), 2.0) << "a listed class ignores the bridge";
    EXPECT_EQ(width("service", "", "", true), 6.0);
    EXPECT_EQ(width("service", "", ""), 5.0);
    EXPECT_EQ(width("Primary", "", ""), 5.0) << "case-sensitive";
    EXPECT_EQ(width("", "", "", true), 6.0);
}

// A way element with the given tags and geometry items.
std::string way(const std::string& tags, const std::string& geometry) {
    return R"({"type":"way","id":1,"tags":)" + tags + R"(,"geometry":[)" + geometry + "]}";
}

std::string answer(const std::vector<std::string>& elements) {
    std::string body = R"({"version":0.6,"elements":[)";
    for (std::size_t k = 0; k < elements.size(); ++k) {
        body += (k ? "," : "") + elements[k];
    }
    return body + "]}";
}

const std::string kTwoNodes = R"({"lat":52.1,"lon":21.0},{"lat":52.1005,"lon":21.001})";

TEST(OverpassAnswer, WaysWithTheirTagsAndProjectedPoints) {
    const auto ways =
        OsmClient::parseOverpass(
            answer({
                way(R"({"bridge":"yes","railway":"rail","name":"Most kolejowy"})", kTwoNodes),
                way(R"({"bridge":"viaduct","highway":"primary","lanes":"2"})", kTwoNodes),
                way(R"({"bridge":"Yes","highway":"","railway":"tram"})", kTwoNodes),
                way(R"({"highway":"residential","name":7,"width":4.5})", kTwoNodes),
            }))
            .ways;
    ASSERT_EQ(ways.size(), 4u);
    EXPECT_EQ(ways[0].wayClass, "rail");
    EXPECT_EQ(ways[0].name, "Most kolejowy");
    EXPECT_TRUE(ways[0].bridge);
    EXPECT_EQ(ways[0].width, 3.0);
    EXPECT_TRUE(ways[1].bridge);
    EXPECT_EQ(ways[1].width, 8.0);
    EXPECT_FALSE(ways[2].bridge) << "\"Yes\" is not \"yes\"";
    EXPECT_EQ(ways[2].wayClass, "tram") << "an empty highway tag gives way to railway";
    EXPECT_EQ(ways[3].name, "") << "a tag that is not text reads as empty";
    EXPECT_EQ(ways[3].width, 6.0);

    ASSERT_EQ(ways[0].points.size(), 2u);
    const GisPoint p = ProjConv::latLonToPl1992(52.1005, 21.001);
    EXPECT_EQ(ways[0].points[1].x, p.x);
    EXPECT_EQ(ways[0].points[1].y, p.y);
}

TEST(OverpassAnswer, SkipsWhatIsNotAUsableWay) {
    const auto ways =
        OsmClient::parseOverpass(answer({
                                     R"({"type":"node","lat":52.1,"lon":21.0})",
                                     R"({"type":"way","tags":{"highway":"primary"}})",
                                     R"({"type":"way","geometry":{"lat":52.1,"lon":21.0}})",
                                     R"("way")",
                                     way(R"({"highway":"primary"})", R"({"lat":52.1,"lon":21.0})"),
                                     way(R"({"highway":"primary"})",
                                         R"(null,{"lat":52.1},{"lat":52.1,"lon":21.0},[1,2])"),
                                     way(R"("not an object")", kTwoNodes),
                                     R"({"type":"way","geometry":[)" + kTwoNodes + "]}",
                                 }))
            .ways;
    ASSERT_EQ(ways.size(), 2u) << "no tags, or tags that are no object, still make a way";
    EXPECT_EQ(ways[0].wayClass, "");
    EXPECT_EQ(ways[0].width, 5.0);
    EXPECT_EQ(ways[1].points.size(), 2u);
}

TEST(OverpassAnswer, MalformedCoordinateDropsOnlyItsWay) {
    const OsmWays found = OsmClient::parseOverpass(answer({
        way(R"({"name":"A"})", kTwoNodes),
        way(R"({"name":"B"})", R"({"lat":"52.1","lon":21.0},{"lat":52.2,"lon":21.0})"),
        way(R"({"name":"C"})", R"({"lat":52.1,"lon":null},{"lat":52.2,"lon":21.0})"),
        way(R"({"name":"D"})", kTwoNodes),
    }));
    const auto& ways = found.ways;
    ASSERT_EQ(ways.size(), 2u);
    EXPECT_EQ(ways[0].name, "A");
    EXPECT_EQ(ways[1].name, "D");
    EXPECT_EQ(found.damaged, 2);
}

// A point off the globe would project to some 1e25 m and be shaped as a corridor that long: its
// way is left out and counted, the ways around it kept.
TEST(OverpassAnswer, APointOffTheGlobeDropsOnlyItsWayAndCountsIt) {
    for (const char* point : {R"({"lat":98.8,"lon":1101171})", R"({"lat":-90.5,"lon":21})",
                              R"({"lat":52.1,"lon":180.01})", R"({"lat":1e308,"lon":21})",
                              R"({"lat":52.1,"lon":-1e308})"}) {
        const OsmWays found = OsmClient::parseOverpass(answer({
            way(R"({"name":"A","bridge":"yes"})", kTwoNodes),
            way(R"({"name":"B","bridge":"yes"})",
                R"({"lat":52.1,"lon":21.0},)" + std::string(point)),
            way(R"({"name":"C","bridge":"yes"})", kTwoNodes),
        }));
        ASSERT_EQ(found.ways.size(), 2u) << point;
        EXPECT_EQ(found.ways[0].name, "A") << point;
        EXPECT_EQ(found.ways[1].name, "C") << point;
        EXPECT_EQ(found.damaged, 1) << point;
    }
    // The edges of the globe are positions.
    EXPECT_EQ(OsmClient::parseOverpass(
                  answer({way("{}", R"({"lat":90,"lon":-180},{"lat":-90,"lon":180})")}))
                  .ways.size(),
              1u);
}

// Text that is no answer gives no way, and is not read: it says nothing of the area. An answer
// that holds no way, or that the service cut short before any, is read.
TEST(OverpassAnswer, TextThatIsNoAnswerGivesNothing) {
    const std::string sound = answer({way("{}", kTwoNodes)});
    for (const std::string& text :
         {std::string(), std::string("<html>busy</html>"), std::string(R"({"elements":{}})"),
          std::string(R"([1,2])"), std::string(R"({"elements":[)"),
          sound.substr(0, sound.size() - 2), std::string(R"({"version":0.6})")}) {
        const OsmWays found = OsmClient::parseOverpass(text);
        EXPECT_TRUE(found.ways.empty()) << text;
        EXPECT_FALSE(found.read) << text;
    }
    EXPECT_TRUE(OsmClient::parseOverpass(answer({})).read);
    EXPECT_EQ(OsmClient::parseOverpass(R"({"remark":"runtime error"})").remark, "runtime error")
        << "an answer cut short before any way";
    EXPECT_TRUE(OsmClient::parseOverpass(R"({"remark":"runtime error"})").read);
    EXPECT_EQ(OsmClient::parseOverpass(answer({})).remark, std::nullopt);
}

std::string percentDecoded(const std::string& s) {
    std::string out;
    for (std::size_t k = 0; k < s.size(); ++k) {
        if (s[k] == '%' && k + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(k + 1, 2), nullptr, 16));
            k += 2;
        } else {
            out += s[k];
        }
    }
    return out;
}

class OverpassService : public ::testing::Test {
protected:
    void SetUp() override {
        server.on("/api/interpreter",
                  loopback::ok(answer({way(R"({"name":"A"})", kTwoNodes)}), "application/json"));
    }

    // The decoded query text of the only request.
    std::string sentQuery() {
        const auto log = server.requests("/api/interpreter");
        EXPECT_EQ(log.size(), 1u);
        if (log.empty()) {
            return {};
        }
        EXPECT_EQ(log[0].query.rfind("data=", 0), 0u);
        return percentDecoded(log[0].query.substr(5));
    }

    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    loopback::ScopedEnv home{"HOME", dir.path().c_str()};
    loopback::LoopbackServer server;
    loopback::ScopedEndpoints endpoints{{&services::Endpoints::overpass, server.url()}};
    WfsClient client;
    std::string error = "stale";
};

const Bbox kFiveKm{500000, 300000, 505000, 305000};

// South, west, north and east of kFiveKm, whose south-west corner lies on the central meridian.
const std::string kFiveKmBox = "50.567030,19.000000,50.612031,19.070689";

TEST_F(OverpassService, RoadsOnlyAskForTheHighwayClause) {
    const auto ways = OsmClient::fetchWays(kFiveKm, client, false, true, error).ways;
    EXPECT_EQ(error, "");
    ASSERT_EQ(ways.size(), 1u);
    EXPECT_EQ(ways[0].name, "A");
    EXPECT_EQ(sentQuery(),
              "[out:json][timeout:25];(way[\"highway\"~\"^(motorway|trunk|primary|secondary|"
              "tertiary|residential|unclassified|living_street)$\"](" +
                  kFiveKmBox + "););out geom;");
}

TEST_F(OverpassService, BridgeClauseComesFirst) {
    OsmClient::fetchWays(kFiveKm, client, true, true, error);
    const std::string q = sentQuery();
    const std::string& box = kFiveKmBox;
    EXPECT_EQ(q, "[out:json][timeout:25];(way[\"bridge\"~\"^(yes|viaduct)$\"](" + box +
                     ");way[\"highway\"~\"^(motorway|trunk|primary|secondary|tertiary|"
                     "residential|unclassified|living_street)$\"](" +
                     box + "););out geom;");
}

TEST_F(OverpassService, BoxKeepsItsDecimalPointsUnderACommaLocale) {
    const loopback::CommaLocale comma;
    if (!comma.active())
        GTEST_SKIP() << loopback::kCommaLocaleMissing;
    OsmClient::fetchWays(kFiveKm, client, true, false, error);
    EXPECT_EQ(sentQuery(), "[out:json][timeout:25];(way[\"bridge\"~\"^(yes|viaduct)$\"](" +
                               kFiveKmBox + "););out geom;");
}

TEST_F(OverpassService, AreaAboveTwentyFiveSquareKilometresIsRefused) {
    const Bbox tooLarge{500000, 300000, 505000, 305001};
    EXPECT_TRUE(OsmClient::fetchWays(tooLarge, client, true, false, error).ways.empty());
    EXPECT_EQ(error, "Mosty/drogi (OSM): kadr za duzy \u2014 przybliz mape (max ok. 5x5 km).");
    EXPECT_EQ(server.count(), 0u);

    EXPECT_EQ(OsmClient::fetchWays(kFiveKm, client, true, false, error).ways.size(), 1u)
        << "exactly 5 x 5 km passes";
    EXPECT_EQ(error, "");
}

TEST_F(OverpassService, NothingRequestedAsksNothing) {
    EXPECT_TRUE(OsmClient::fetchWays(kFiveKm, client, false, false, error).ways.empty());
    EXPECT_EQ(error, "");
    EXPECT_EQ(server.count(), 0u);
}

TEST_F(OverpassService, FailuresAreWordedWithTheStatus) {
    server.on("/api/interpreter", loopback::status(429));
    EXPECT_TRUE(OsmClient::fetchWays(kFiveKm, client, false, true, error).ways.empty());
    EXPECT_EQ(error, "OSM (Overpass): usluga nie odpowiada (status 429).");

    services::Endpoints e = services::endpoints();
    e.overpass = "http://127.0.0.1:" + std::to_string(loopback::unusedPort());
    services::setEndpoints(e);
    WfsClient fresh;
    EXPECT_TRUE(OsmClient::fetchWays(kFiveKm, fresh, false, true, error).ways.empty());
    EXPECT_EQ(error, "OSM (Overpass): usluga nie odpowiada (status 0).");
}

// A way on the globe but over a thousand kilometres from the area asked for cannot be part of
// its answer: it is left out and counted.
TEST_F(OverpassService, AWayFarFromTheAreaIsLeftOutAsDamaged) {
    const std::string near = R"({"lat":50.59,"lon":19.03},{"lat":50.6,"lon":19.04})";
    server.on("/api/interpreter",
              loopback::ok(answer({way(R"({"name":"near"})", near),
                                   way(R"({"name":"Lizbona"})",
                                       R"({"lat":50.59,"lon":19.03},{"lat":38.7,"lon":-9.1})"),
                                   way(R"({"name":"off"})", R"({"lat":91,"lon":19.03})")}),
                           "application/json"));
    const OsmWays found = OsmClient::fetchWays(kFiveKm, client, true, true, error);
    ASSERT_EQ(found.ways.size(), 1u);
    EXPECT_EQ(found.ways[0].name, "near");
    EXPECT_EQ(found.damaged, 2);
    EXPECT_EQ(error, "");
}

TEST_F(OverpassService, AnswerWithoutWaysIsNoError) {
    server.on("/api/interpreter", loopback::ok("<html>Overpass busy</html>"));
    EXPECT_TRUE(OsmClient::fetchWays(kFiveKm, client, true, true, error).ways.empty());
    EXPECT_EQ(error, "");
}

}  // namespace
