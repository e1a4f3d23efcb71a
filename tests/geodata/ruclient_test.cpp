// RuClient: the query body byte for byte, the answer's acts, the choice of the best act, and
// the query and download against a loopback register with its retries.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geodata/RuClient.h"
#include "geodata/ServiceConfig.h"
#include "gml_fixtures.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"
#include "support/ScopedEndpoints.h"

namespace {

using Act = RuClient::RuAct;

constexpr const char* kQueryPath = "/api/public/published/query";

TEST(RuQueryBody, CommuneQueryByteForByte) {
    EXPECT_EQ(RuClient::buildQueryBody("", "0201011"),
              "{\"criteria\":{\"levelList\":null,\"parcelIdentifier\":null,\"planTypeList\":["
              "\"MUNICIPAL_GENERAL_PLAN\",\"LOCAL_SPATIAL_DEVELOPMENT_PLAN\"],\"planValidFrom\":"
              "null,\"planValidTo\":null,\"plansGroup\":\"ALL\",\"publishDateFrom\":null,"
              "\"publishDateTo\":null,\"publishedActVersions\":\"CURRENT\",\"query\":null,"
              "\"statusList\":[],\"tercCodeList\":[\"0201011\"]},\"page\":{\"number\":1,\"size\":"
              "10,\"sort\":{\"direction\":\"desc\",\"sortBy\":\"publishDate\"}}}");
}

TEST(RuQueryBody, NoneIsNullAndTextIsUnescapedUtf8) {
    const std::string both = RuClient::buildQueryBody("", "");
    EXPECT_NE(both.find("\"parcelIdentifier\":null"), std::string::npos);
    EXPECT_NE(both.find("\"tercCodeList\":null"), std::string::npos);
    const std::string parcel = RuClient::buildQueryBody("146501_1.0001.12/3 \xC5\x82", "");
    EXPECT_NE(parcel.find("\"parcelIdentifier\":\"146501_1.0001.12/3 \xC5\x82\""),
              std::string::npos);
    EXPECT_NO_THROW(RuClient::buildQueryBody("\xFF", "\xC5")) << "invalid UTF-8 is replaced";
}

TEST(RuAnswer, ActsWithTheirMembers) {
    const auto acts = RuClient::parseQueryResponse(
        "{\"publishedActs\":[{\"publishedActId\":123456,\"title\":\"Plan\",\"planType\":"
        "\"MUNICIPAL_GENERAL_PLAN\",\"spatialPlanningActStatus\":\"obowiazujacy\","
        "\"publishDate\":\"2025-01-02\",\"tercCode\":\"0201011\"},{\"title\":\"no id\"},"
        "{\"publishedActId\":\"A-1\",\"title\":5},{\"publishedActId\":7.0},"
        "{\"publishedActId\":7.5},{\"publishedActId\":null}]}");
    ASSERT_EQ(acts.size(), 3u);
    EXPECT_EQ(acts[0].publishedActId, "123456");
    EXPECT_EQ(acts[0].title, "Plan");
    EXPECT_EQ(acts[0].planType, "MUNICIPAL_GENERAL_PLAN");
    EXPECT_EQ(acts[0].spatialPlanningActStatus, "obowiazujacy");
    EXPECT_EQ(acts[0].publishDate, "2025-01-02");
    EXPECT_EQ(acts[0].tercCode, "0201011");
    EXPECT_EQ(acts[1].publishedActId, "A-1");
    EXPECT_TRUE(acts[1].title.empty()) << "a member that is no text stays empty";
    EXPECT_EQ(acts[2].publishedActId, "7");
}

TEST(RuAnswer, MalformedAnswersAndElements) {
    EXPECT_TRUE(RuClient::parseQueryResponse("").empty());
    EXPECT_TRUE(RuClient::parseQueryResponse("{\"publishedActs\":[").empty());
    EXPECT_TRUE(RuClient::parseQueryResponse("[{\"publishedActId\":1}]").empty());
    EXPECT_TRUE(RuClient::parseQueryResponse("{\"acts\":[{\"publishedActId\":1}]}").empty());
    EXPECT_TRUE(RuClient::parseQueryResponse("{\"publishedActs\":null}").empty());
    // Elements that are no objects are skipped; the others still count.
    std::vector<Act> acts;
    ASSERT_NO_THROW(acts = RuClient::parseQueryResponse(
                        "{\"publishedActs\":[1,\"x\",null,[2],{\"publishedActId\":9}]}"));
    ASSERT_EQ(acts.size(), 1u);
    EXPECT_EQ(acts[0].publishedActId, "9");
    ASSERT_NO_THROW(acts = RuClient::parseQueryResponse("{\"publishedActs\":5}"));
    EXPECT_TRUE(acts.empty());
    // An object of acts is walked by its member values.
    acts = RuClient::parseQueryResponse(
        "{\"publishedActs\":{\"b\":{\"publishedActId\":\"2\"},\"a\":{\"publishedActId\":\"1\"}}}");
    EXPECT_EQ(acts.size(), 2u);
}

Act act(std::string id, std::string type, std::string status, std::string date) {
    return {std::move(id), "", std::move(type), std::move(status), std::move(date), ""};
}

std::string picked(const std::vector<Act>& acts, std::string_view type) {
    Act out = act("untouched", "", "", "");
    const bool found = RuClient::pickBest(acts, out, type);
    return found ? out.publishedActId : "false:" + out.publishedActId;
}

TEST(RuPickBest, StatusGroupsThenLatestDate) {
    constexpr const char* kGeneral = "MUNICIPAL_GENERAL_PLAN";
    EXPECT_EQ(picked({}, kGeneral), "false:untouched");
    EXPECT_EQ(picked({act("a", kGeneral, "w opracowaniu", "2025-06-01"),
                      act("b", kGeneral, "obowiazujacy wiazacy", "2024-01-01")},
                     kGeneral),
              "b");
    EXPECT_EQ(picked({act("a", kGeneral, "w opracowaniu", "2025-06-01"),
                      act("b", kGeneral, "w trakcie przyjmowania", "2024-01-01")},
                     kGeneral),
              "b");
    EXPECT_EQ(picked({act("a", kGeneral, "uchylony", "2025-06-01"),
                      act("b", kGeneral, "w opracowaniu", "2024-01-01")},
                     kGeneral),
              "b");
    EXPECT_EQ(
        picked({act("a", kGeneral, "uchylony", "2023"), act("b", kGeneral, "", "2024")}, kGeneral),
        "b");
    EXPECT_EQ(picked({act("first", kGeneral, "wi", "2024-01-01"),
                      act("second", kGeneral, "wi", "2024-01-01")},
                     kGeneral),
              "first")
        << "equal dates: the first stays";
    EXPECT_EQ(
        picked({act("short", kGeneral, "wi", "2024-01"), act("long", kGeneral, "wi", "2024-01-01")},
               kGeneral),
        "long")
        << "a prefix counts as earlier";
    EXPECT_EQ(picked({act("a", "LOCAL_SPATIAL_DEVELOPMENT_PLAN", "wi", "2026")}, kGeneral),
              "false:untouched");
    EXPECT_EQ(picked({act("a", "LOCAL_SPATIAL_DEVELOPMENT_PLAN", "wi", "2026"),
                      act("b", kGeneral, "wi", "2020")},
                     ""),
              "a")
        << "an empty plan type considers every act";
}

// A register on the loopback kit, with its own download cache.
class RuService : public ::testing::Test {
protected:
    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    loopback::LoopbackServer server;
    loopback::ScopedEndpoints endpoints{{&services::Endpoints::planningRegister, server.url()}};
    WfsClient client;
    RuClient ru{client};
};

TEST_F(RuService, QueryPostsTheBodyAndReadsTheActs) {
    server.on(kQueryPath,
              loopback::ok("{\"publishedActs\":[{\"publishedActId\":1}]}", "application/json"));
    const auto acts = ru.queryByTeryt("0201011");
    ASSERT_EQ(acts.size(), 1u);
    ASSERT_EQ(server.count(kQueryPath), 1u);
    const loopback::Request request = server.requests(kQueryPath).front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.body, RuClient::buildQueryBody("", "0201011"));
    EXPECT_EQ(request.header("Content-Type"), "application/json");
}

TEST_F(RuService, AnswersWithoutActsAreAskedThreeTimes) {
    server.onSequence(kQueryPath, {loopback::ok("{\"error\":\"busy\"}"), loopback::status(502),
                                   loopback::ok("{\"publishedActs\":[{\"publishedActId\":2}]}")});
    EXPECT_EQ(ru.queryByParcel("146501_1.0001.1").size(), 1u);
    EXPECT_EQ(server.count(kQueryPath), 3u);

    server.clearLog();
    server.on(kQueryPath, loopback::ok("{\"publishedActs2\":[]}"));
    EXPECT_TRUE(ru.queryByTeryt("0201011").empty());
    const auto posts = server.requests(kQueryPath);
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_GE(posts[1].arrival - posts[0].arrival, std::chrono::milliseconds(340));
    EXPECT_GE(posts[2].arrival - posts[1].arrival, std::chrono::milliseconds(890));
}

TEST_F(RuService, ZonesAfterAFailedFirstAnswer) {
    const std::string gml = gmlfix::collection(gmlfix::member(gmlfix::parcel(
        "z1", gmlfix::polygon("250000 500000 250000 500010 250010 500010", "EPSG:2180"),
        "<ms:symbol>MN</ms:symbol>")));
    const std::string path = "/api/public/published/77/download";
    server.onSequence(path, {loopback::status(503), loopback::ok(gml, "application/xml")});
    const auto zones = ru.downloadZones(act("77", "", "", ""), DataType::Pog);
    ASSERT_EQ(zones.size(), 1u);
    EXPECT_EQ(zones[0].kind, static_cast<int>(DataType::Pog));
    EXPECT_EQ(zones[0].props.at("symbol"), "MN");
    EXPECT_EQ(server.count(path), 2u);
}

TEST_F(RuService, ActIdentifierIsPercentEncodedInTheDownloadPath) {
    server.setFallback(loopback::status(404));
    EXPECT_TRUE(ru.downloadZones(act("12/../x y?", "", "", ""), DataType::Pog).empty());
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u) << "three attempts";
    EXPECT_EQ(requests[0].target, "/api/public/published/12%2F..%2Fx%20y%3F/download");
    EXPECT_TRUE(ru.downloadZones(act("", "", "", ""), DataType::Pog).empty());
    EXPECT_EQ(server.count(), 3u) << "an act without identifier asks nothing";
}

}  // namespace
