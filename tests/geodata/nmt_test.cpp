// Terrain and surface-model sheet indexes: the index answer, the newest-year search against a
// loopback index, and sheet downloads through the cache.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "geodata/AscGrid.h"
#include "geodata/NmptClient.h"
#include "geodata/NmtClient.h"
#include "geodata/ServiceConfig.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"
#include "support/ScopedEndpoints.h"

namespace {

constexpr const char* kNmtPath = "/wss/service/PZGIK/NumerycznyModelTerenuEVRF2007/WFS/Skorowidze";
constexpr const char* kNmptPath =
    "/wss/service/PZGIK/NumerycznyModelPokryciaTerenuEVRF2007/WFS/Skorowidze";

std::string member(const std::string& godlo, const std::string& url) {
    std::string m = "<wfs:member><gugik:SkorowidzNMT2025 gml:id=\"x\">";
    if (!godlo.empty()) {
        m += "<gugik:godlo>" + godlo + "</gugik:godlo>";
    }
    m += "<gugik:url_do_pobrania>" + url + "</gugik:url_do_pobrania>";
    return m + "</gugik:SkorowidzNMT2025></wfs:member>";
}

std::string collection(const std::string& members) {
    return "<?xml version=\"1.0\"?><wfs:FeatureCollection>" + members + "</wfs:FeatureCollection>";
}

loopback::Answer xml(const std::string& body) {
    return loopback::ok(body, "application/xml");
}

TEST(SheetIndexAnswer, SheetsWithTrimmedFieldsAndOnlyHttpAddresses) {
    const auto tiles = NmtClient::parseSkorowidz(
        collection(member("\n  N-34-139-A-c-1-1\r\n", "https://h/1.asc") +
                   member("N-34-139-A-c-1-2", "ftp://h/2.asc") + member("", "http://h/3.asc")));
    ASSERT_EQ(tiles.size(), 2u);
    EXPECT_EQ(tiles[0].godlo, "N-34-139-A-c-1-1");
    EXPECT_EQ(tiles[0].url, "https://h/1.asc");
    EXPECT_EQ(tiles[1].godlo, "") << "a dropped member's identifier is not returned";
    EXPECT_EQ(tiles[1].url, "http://h/3.asc");
    EXPECT_TRUE(NmptClient::parseSkorowidz("").empty());
    EXPECT_TRUE(NmptClient::parseSkorowidz("<gugik:url_do_pobrania>http://x").empty());
}

TEST(SheetIndexAnswer, LongAnswersWithoutMemberMarkersAreReadInOnePass) {
    // Addresses outside any member, members left open, fields without their closing tag: each
    // is read without searching the whole answer again for every address.
    const std::string bare = "<gugik:url_do_pobrania>http://h/s.asc</gugik:url_do_pobrania>";
    const std::string open = "<wfs:member><gugik:godlo>G</gugik:godlo>" + bare;
    const std::string unclosed = "<gugik:url_do_pobrania>http://h/u.asc";
    constexpr int kCopies = 40000;
    for (const std::string* unit : {&bare, &open, &unclosed}) {
        std::string answer;
        for (int i = 0; i < kCopies; ++i)
            answer += *unit;
        const auto started = std::chrono::steady_clock::now();
        const auto tiles = NmtClient::parseSkorowidz(answer);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        if (unit == &unclosed) {
            EXPECT_TRUE(tiles.empty());
        } else {
            ASSERT_EQ(tiles.size(), static_cast<std::size_t>(kCopies));
            EXPECT_EQ(tiles.back().url, "http://h/s.asc");
            EXPECT_EQ(tiles.back().godlo, unit == &open ? "G" : "");
        }
    }
}

TEST(SheetIndexAnswer, PredefinedEntitiesAreDecoded) {
    const auto tiles = NmtClient::parseSkorowidz(collection(
        member("A&amp;B", "https://h/get?id=7&amp;format=asc&amp;q=&quot;x&quot;&lt;&gt;&apos;")));
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0].godlo, "A&B");
    EXPECT_EQ(tiles[0].url, "https://h/get?id=7&format=asc&q=\"x\"<>'");
    // One pass: an escaped entity stays an entity; unknown ones stay as written.
    EXPECT_EQ(sheetindex::decodeEntities("&amp;lt; &copy; &amp &#38;"), "&lt; &copy; &amp &#38;");
}

class SheetIndexService : public ::testing::Test {
protected:
    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    loopback::ScopedEnv home{"HOME", dir.path().c_str()};
    loopback::LoopbackServer server;
    loopback::ScopedEndpoints endpoints{{&services::Endpoints::geoportalMaps, server.url()}};
    WfsClient client;
    NmtClient nmt{client};
    NmptClient nmpt{client};
    const Bbox area{500000.0, 300000.0, 501000.0, 301000.0};
};

TEST_F(SheetIndexService, NewestYearWithSheetsWins) {
    // Next year's index does not exist yet; this year's has the sheets; last year's is not asked.
    server.on(kNmtPath, loopback::status(404));
    server.on(kNmtPath, "SkorowidzNMT2026", xml(collection(member("A", "https://h/2026.asc"))));
    server.on(kNmtPath, "SkorowidzNMT2025", xml(collection(member("B", "https://h/2025.asc"))));
    const auto tiles = nmt.tilesFor(area, 2026);
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0].url, "https://h/2026.asc");
    const auto asked = server.requests(kNmtPath);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[0].query.find("SkorowidzNMT2027"), std::string::npos) << asked[0].query;
    EXPECT_NE(asked[1].query.find("COUNT=20"), std::string::npos) << asked[1].query;
    EXPECT_NE(asked[1].query.find("version=2.0.0"), std::string::npos) << asked[1].query;
}

TEST_F(SheetIndexService, YearsWithoutSheetsAreSkipped) {
    server.on(kNmptPath, xml(collection("")));
    server.on(kNmptPath, "SkorowidzNMPT2019", xml(collection(member("C", "https://h/c.asc"))));
    const auto tiles = nmpt.tilesFor(area, 2019);
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0].godlo, "C");
    EXPECT_EQ(server.count(kNmptPath), 2u);  // 2020 empty, 2019
}

TEST_F(SheetIndexService, NoIndexBeforeItsFirstYear) {
    server.on(kNmtPath, xml(collection(member("A", "https://h/a.asc"))));
    server.on(kNmptPath, xml(collection(member("A", "https://h/a.asc"))));
    EXPECT_TRUE(nmt.tilesFor(area, 2016).empty());
    EXPECT_TRUE(nmpt.tilesFor(area, 2016).empty());
    EXPECT_TRUE(nmpt.tilesFor(area, 2017).empty());
    EXPECT_EQ(server.count(), 0u);

    // In 2017 the terrain index of 2018 is the only one asked.
    EXPECT_EQ(nmt.tilesFor(area, 2017).size(), 1u);
    ASSERT_EQ(server.count(kNmtPath), 1u);
    EXPECT_NE(server.requests(kNmtPath)[0].query.find("SkorowidzNMT2018"), std::string::npos);
}

TEST_F(SheetIndexService, SheetsComeThroughTheCache) {
    const std::string sheet =
        "ncols 2\nnrows 1\nxllcorner 500000\nyllcorner 300000\n"
        "cellsize 1\nnodata_value -9999\n101.5 102.5\n";
    server.on("/sheet.asc", loopback::ok(sheet));
    const NmtClient::Tile tile{"A", server.url("/sheet.asc")};
    EXPECT_EQ(nmt.download(tile), sheet);
    EXPECT_EQ(nmpt.download(tile), sheet);
    EXPECT_EQ(server.count("/sheet.asc"), 1u) << "the second download is a cache hit";

    AscGrid grid;
    ASSERT_TRUE(grid.parse(nmt.download(tile)));
    double z = 0.0;
    ASSERT_TRUE(grid.sampleZ(500001.0, 300000.5, z));
    EXPECT_DOUBLE_EQ(z, 102.0);

    server.on("/missing.asc", loopback::status(404));
    EXPECT_EQ(nmt.download({"B", server.url("/missing.asc")}), "");
}

}  // namespace
