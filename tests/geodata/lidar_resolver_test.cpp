// LidarResolver: the index answer (sheet fields, density, coordinate system), the year loop
// against a loopback index, and sheet downloads through the cache.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fakes/Lidar.h"
#include "geodata/LidarResolver.h"
#include "geodata/ServiceConfig.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"
#include "support/ScopedEndpoints.h"

namespace {

constexpr const char* kIndexPath = fakes::kLidarIndexPath;

std::string member(const std::string& godlo, const std::string& url, const std::string& density,
                   const std::string& uklad) {
    return fakes::lidarIndexMember(godlo, url, density, uklad);
}

std::string collection(const std::string& members) {
    return fakes::lidarIndexAnswer(members);
}

std::int32_t epsgFor(const std::string& uklad) {
    const auto tiles =
        LidarResolver::parseSkorowidz(collection(member("A", "https://h/a.laz", "4", uklad)));
    return tiles.empty() ? -1 : tiles.front().epsg;
}

double densityFor(const std::string& text) {
    const auto tiles =
        LidarResolver::parseSkorowidz(collection(member("A", "https://h/a.laz", text, "PL-1992")));
    return tiles.empty() ? -1.0 : tiles.front().density;
}

TEST(LidarIndexAnswer, CoordinateSystemFromTheUkladText) {
    EXPECT_EQ(epsgFor("PL-2000:S7"), 2178);
    EXPECT_EQ(epsgFor("PL-2000 strefa S5"), 2176);
    EXPECT_EQ(epsgFor("PL-2000:S8"), 2179);
    EXPECT_EQ(epsgFor("PL-1992"), 2180);
    EXPECT_EQ(epsgFor("uklad PL-1992"), 2180);
    EXPECT_EQ(epsgFor("PL-2000"), 0) << "no zone mark";
    EXPECT_EQ(epsgFor("PL-2000:S9"), 0);
    EXPECT_EQ(epsgFor("PL-1992"), 2180);
    EXPECT_EQ(epsgFor("PL-92"), 0) << "fewer than 7 characters";
    EXPECT_EQ(epsgFor(""), 0);
    EXPECT_EQ(epsgFor("Strefa PL-2000 S7"), 0) << "the first S stands before the zone";
    EXPECT_EQ(epsgFor("EPSG:2177 inny"), 0);
}

TEST(LidarIndexAnswer, DensityIsTheLeadingNumber) {
    EXPECT_DOUBLE_EQ(densityFor("4"), 4.0);
    EXPECT_DOUBLE_EQ(densityFor(" 12.5 pkt/m2 "), 12.5);
    EXPECT_DOUBLE_EQ(densityFor("12,5"), 12.0) << "a decimal comma ends the number";
    EXPECT_DOUBLE_EQ(densityFor(""), 0.0);
    EXPECT_DOUBLE_EQ(densityFor("brak"), 0.0);
    EXPECT_DOUBLE_EQ(densityFor("nan"), 0.0) << "no finite number is no density";
    EXPECT_DOUBLE_EQ(densityFor("inf pkt/m2"), 0.0);
    EXPECT_DOUBLE_EQ(densityFor("1e999"), 0.0);
}

TEST(LidarIndexAnswer, SheetsInOrderWithTrimmedFieldsAndOnlyHttpAddresses) {
    const std::string xml =
        collection(member("\n  N-34-139-A-c-1-1\r\n", "https://h/1.laz", "4", "PL-1992") +
                   member("N-34-139-A-c-1-2", "ftp://h/2.laz", "4", "PL-1992") +
                   member("", "http://h/3.laz", "12", "PL-2000:S6") +
                   member("N-34-139-A-c-1-4", " https://h/4.laz?a=1&amp;b=2 ", "", "x"));
    const auto tiles = LidarResolver::parseSkorowidz(xml);
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_EQ(tiles[0].godlo, "N-34-139-A-c-1-1");
    EXPECT_EQ(tiles[0].url, "https://h/1.laz");
    EXPECT_EQ(tiles[0].epsg, 2180);
    EXPECT_EQ(tiles[1].godlo, "") << "a member without a sheet name does not borrow the next one";
    EXPECT_EQ(tiles[1].url, "http://h/3.laz");
    EXPECT_EQ(tiles[1].epsg, 2177);
    EXPECT_DOUBLE_EQ(tiles[1].density, 12.0);
    EXPECT_EQ(tiles[2].url, "https://h/4.laz?a=1&b=2") << "XML entities are decoded";
    EXPECT_DOUBLE_EQ(tiles[2].density, 0.0);
    EXPECT_EQ(tiles[2].epsg, 0);

    EXPECT_TRUE(LidarResolver::parseSkorowidz("").empty());
    EXPECT_TRUE(LidarResolver::parseSkorowidz("<gugik:url_do_pobrania>").empty());
}

class LidarService : public ::testing::Test {
protected:
    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    loopback::ScopedEnv home{"HOME", dir.path().c_str()};
    loopback::LoopbackServer server;
    loopback::ScopedEndpoints endpoints{{&services::Endpoints::geoportalMaps, server.url()}};
    WfsClient client;
    LidarResolver resolver{client};
    const Bbox area{500000.0, 300000.0, 501000.0, 301000.0};
};

TEST_F(LidarService, TheNewestYearWithSheetsWins) {
    server.on(kIndexPath, loopback::ok(collection(""), "application/xml"));
    server.on(kIndexPath, "LIDAR2020",
              loopback::ok(collection(member("B", "https://h/2020.laz", "4", "PL-1992")),
                           "application/xml"));
    server.on(kIndexPath, "LIDAR2019",
              loopback::ok(collection(member("C", "https://h/2019.laz", "4", "PL-1992")),
                           "application/xml"));
    const auto tiles = resolver.tilesFor(area, 2019);
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0].url, "https://h/2020.laz");
    ASSERT_EQ(server.count(kIndexPath), 1u);
    const std::string q = server.requests(kIndexPath)[0].query;
    EXPECT_NE(q.find("COUNT=20"), std::string::npos) << q;
    EXPECT_NE(q.find("version=2.0.0"), std::string::npos) << q;
}

TEST_F(LidarService, MissingYearsAreSkippedAndNoIndexMeansNoSheets) {
    server.on(kIndexPath, loopback::status(404));
    server.on(kIndexPath, "LIDAR2018",
              loopback::ok(collection(member("D", "https://h/2018.laz", "4", "PL-1992")),
                           "application/xml"));
    const auto tiles = resolver.tilesFor(area, 2019);
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0].godlo, "D");
    EXPECT_EQ(server.count(kIndexPath), 3u);  // 2020, 2019, 2018

    server.clearLog();
    EXPECT_TRUE(resolver.tilesFor(area, 2016).empty());
    EXPECT_EQ(server.count(), 0u) << "no index exists before 2017";
    EXPECT_EQ(resolver.tilesFor(area, 2017).size(), 1u);
    ASSERT_EQ(server.count(kIndexPath), 1u) << "in 2017 only the 2018 index is asked";
    EXPECT_NE(server.requests(kIndexPath)[0].query.find("LIDAR2018"), std::string::npos);
}

TEST_F(LidarService, DownloadsThroughTheCacheAndStopsWhenTold) {
    const std::string body(200000, 'L');
    loopback::Answer slow = loopback::ok(body, "application/octet-stream");
    slow.chunkSize = 20000;
    slow.chunkDelay = std::chrono::milliseconds(5);
    server.on("/sheet.laz", slow);
    server.on("/other.laz", slow);

    LidarResolver::LidarTile tile;
    tile.url = server.url("/sheet.laz");
    const std::string path = resolver.download(tile, nullptr);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(std::filesystem::file_size(path), body.size());

    int calls = 0;
    EXPECT_EQ(resolver.download(tile, [&](long long, long long) { return ++calls, true; }), path);
    EXPECT_EQ(calls, 0) << "a cached sheet is returned without progress";
    EXPECT_EQ(server.count("/sheet.laz"), 1u);

    tile.url = server.url("/other.laz");
    EXPECT_EQ(resolver.download(tile, [](long long, long long) { return false; }), "");
    tile.url = server.url("/missing.laz");
    EXPECT_EQ(resolver.download(tile, nullptr), "");
}

}  // namespace
