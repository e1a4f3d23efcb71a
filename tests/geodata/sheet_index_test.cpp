// The terrain, surface-model and LiDAR sheet indexes read page by page, what a listing keeps when
// a page fails, and an index that was not reached told from one that lists nothing.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "geodata/LidarResolver.h"
#include "geodata/NmptClient.h"
#include "geodata/NmtClient.h"
#include "support/LoopbackServer.h"
#include "support/ScopedEndpoints.h"
#include "support/TempDir.h"
#include "support/fakes/Lidar.h"
#include "support/fakes/TerrainModel.h"
#include "support/fakes/Wfs.h"

namespace {

constexpr int kYear = 2025;
const Bbox kArea{500000.0, 300000.0, 505000.0, 305000.0};

// What a listing came to, whatever the index.
struct Listed {
    std::set<std::string> urls;
    std::size_t sheets = 0;
    bool complete = false;
    ServiceReach reach;
};

template <class Sheet>
Listed listedOf(const sheetindex::Listing<Sheet>& listing) {
    Listed out{{}, listing.sheets.size(), listing.complete, listing.reach};
    for (const Sheet& sheet : listing.sheets)
        out.urls.insert(sheet.url);
    return out;
}

// One of the three indexes: where it is asked and how its client lists an area.
struct Index {
    const char* name;
    const char* path;
    const char* typePrefix;
    std::function<Listed(WfsClient&, int year)> list;
};

const Index kTerrain{
    fakes::kTerrainIndexPath, fakes::kTerrainIndexPath, fakes::kTerrainIndexType,
    [](WfsClient& c, int year) { return listedOf(NmtClient(c).listFor(kArea, year)); }};
const Index kSurface{
    fakes::kSurfaceIndexPath, fakes::kSurfaceIndexPath, fakes::kSurfaceIndexType,
    [](WfsClient& c, int year) { return listedOf(NmptClient(c).listFor(kArea, year)); }};
const Index kLidar{
    fakes::kLidarIndexPath, fakes::kLidarIndexPath, "gugik:SkorowidzDanychPomiarowychLIDAR",
    [](WfsClient& c, int year) { return listedOf(LidarResolver(c).listFor(kArea, year)); }};

// count sheets over the whole area, each with an address of its own.
std::vector<fakes::IndexedSheet> sheets(int count) {
    std::vector<fakes::IndexedSheet> out;
    for (int i = 0; i < count; ++i) {
        const std::string godlo = "S-" + std::to_string(i);
        out.push_back({godlo, kArea, "https://h/" + godlo + ".asc"});
    }
    return out;
}

class SheetIndexPages : public ::testing::Test {
protected:
    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    loopback::LoopbackServer server;
    loopback::ScopedEndpoints endpoints{{&services::Endpoints::geoportalMaps, server.url()}};
};

TEST_F(SheetIndexPages, EverySheetOfTheNewestYearIsListedWhateverItsCount) {
    struct Case {
        const Index& index;
        int count;
        bool countsMatched;  // the answer says how many sheets match
        std::size_t requests;
    };
    // A full page asks for the next; with the count given, the pages stop when it is reached.
    const std::vector<Case> cases = {
        {kTerrain, 20, false, 2}, {kTerrain, 21, false, 2}, {kTerrain, 36, false, 2},
        {kTerrain, 20, true, 1},  {kTerrain, 21, true, 2},  {kTerrain, 36, true, 2},
        {kSurface, 21, false, 2}, {kLidar, 36, true, 2},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.index.name) + " " + std::to_string(c.count) +
                                 (c.countsMatched ? "+" : "");
        server.clearLog();
        server.onRequest(c.index.path, fakes::SheetIndexWfs(c.index.typePrefix, sheets(c.count),
                                                            c.countsMatched));
        WfsClient client;
        const Listed listed = c.index.list(client, kYear);
        EXPECT_EQ(listed.sheets, static_cast<std::size_t>(c.count)) << what;
        EXPECT_EQ(listed.urls.size(), static_cast<std::size_t>(c.count)) << what << ": each once";
        EXPECT_TRUE(listed.complete) << what;
        EXPECT_TRUE(listed.reach.reached) << what;
        const auto asked = server.requests(c.index.path);
        ASSERT_EQ(asked.size(), c.requests) << what;
        EXPECT_EQ(fakes::param(asked[0].query, "STARTINDEX"), "") << what;
        if (asked.size() > 1) {
            EXPECT_EQ(fakes::param(asked[1].query, "STARTINDEX"), "20") << what;
        }
        EXPECT_NE(asked.back().query.find(std::to_string(kYear + 1)), std::string::npos)
            << what << ": every page of the newest year";
    }
}

TEST_F(SheetIndexPages, APageThatFailsOrRepeatsKeepsWhatCameAndLeavesTheListingIncomplete) {
    server.onRequest(fakes::kTerrainIndexPath,
                     fakes::SheetIndexWfs(fakes::kTerrainIndexType, sheets(36)));
    server.on(fakes::kTerrainIndexPath, "STARTINDEX=20", loopback::status(503));
    WfsClient client;
    Listed listed = kTerrain.list(client, kYear);
    EXPECT_EQ(listed.sheets, 20u) << "the first page stays";
    EXPECT_FALSE(listed.complete);
    EXPECT_TRUE(listed.reach.reached);

    // A service that ignores the start index gives the first page again.
    std::vector<std::string> members;
    for (const fakes::IndexedSheet& sheet : sheets(36))
        members.push_back(fakes::lidarIndexMember(sheet.godlo, sheet.url, "1", "PL-1992"));
    server.on(fakes::kTerrainIndexPath,
              loopback::ok(fakes::pagedMembers(members, "COUNT=20", false)));
    listed = kTerrain.list(client, kYear);
    EXPECT_EQ(listed.sheets, 20u);
    EXPECT_FALSE(listed.complete);
}

TEST_F(SheetIndexPages, AnIndexNotReachedIsToldFromOneThatListsNothing) {
    const std::string empty =
        "<?xml version=\"1.0\"?><wfs:FeatureCollection numberMatched=\"0\" "
        "numberReturned=\"0\"></wfs:FeatureCollection>";
    struct Case {
        const char* what;
        std::vector<loopback::Answer> answers;  // to the years asked, newest first
        bool reached;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"no sheet", {loopback::ok(empty)}, true, ""},
        {"next year not published yet", {loopback::status(404), loopback::ok(empty)}, true, ""},
        {"an error status every year",
         {loopback::status(404)},
         false,
         "Serwer zwrocil status 404."},
        {"a web page",
         {loopback::ok("<!DOCTYPE html><html>Przerwa</html>")},
         false,
         "Serwer zwrocil strone WWW zamiast danych."},
        {"an exception report",
         {loopback::ok(fakes::exceptionReport())},
         false,
         "Serwer zwrocil odpowiedz innego rodzaju niz oczekiwana."},
    };
    for (const Case& c : cases) {
        server.onSequence(fakes::kTerrainIndexPath, c.answers);
        WfsClient client;
        // In 2018 the terrain index has two years: 2019 and 2018.
        const Listed listed = kTerrain.list(client, 2018);
        EXPECT_EQ(listed.sheets, 0u) << c.what;
        EXPECT_EQ(listed.reach.reached, c.reached) << c.what;
        EXPECT_EQ(listed.reach.reason, c.reason) << c.what;
    }

    // Nothing listens: the first year's failure ends the search at once, as no other year of the
    // host can answer.
    loopback::ScopedEndpoints refused{
        {&services::Endpoints::geoportalMaps,
         "http://127.0.0.1:" + std::to_string(loopback::unusedPort())}};
    WfsClient client;
    const auto started = std::chrono::steady_clock::now();
    const Listed listed = kTerrain.list(client, kYear);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4))
        << "one year asked, not ten";
    EXPECT_FALSE(listed.reach.reached);
    EXPECT_TRUE(listed.reach.silent);
    EXPECT_TRUE(listed.reach.reason.starts_with("Brak polaczenia z 127.0.0.1"))
        << listed.reach.reason;
}

}  // namespace
