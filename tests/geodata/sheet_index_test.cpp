// The sheet indexes read page by page, what a listing keeps when a page fails, and an index that
// was not reached told from one that lists nothing.

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "fakes/Lidar.h"
#include "fakes/TerrainModel.h"
#include "fakes/Wfs.h"
#include "geodata/LidarResolver.h"
#include "geodata/NmptClient.h"
#include "geodata/NmtClient.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"
#include "support/ScopedEndpoints.h"

namespace {

constexpr int kYear = 2025;
const Bbox kArea{500000.0, 300000.0, 505000.0, 305000.0};

// count sheets over the whole area, each with an address of its own.
std::vector<fakes::IndexedSheet> sheets(int count) {
    std::vector<fakes::IndexedSheet> out;
    for (int i = 0; i < count; ++i)
        out.push_back({"S-" + std::to_string(i), kArea, "https://h/" + std::to_string(i)});
    return out;
}

template <class Sheet>
std::size_t distinctAddresses(const std::vector<Sheet>& listed) {
    std::set<std::string> urls;
    for (const Sheet& sheet : listed)
        urls.insert(sheet.url);
    return urls.size();
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
        int count;
        bool countsMatched;    // the answer says how many sheets match
        std::size_t requests;  // a full page asks for the next, unless the count is reached
    };
    for (const Case c : {Case{20, false, 2}, Case{21, false, 2}, Case{36, false, 2},
                         Case{20, true, 1}, Case{21, true, 2}, Case{36, true, 2}}) {
        const std::string what = std::to_string(c.count) + (c.countsMatched ? " counted" : "");
        server.clearLog();
        server.onRequest(
            fakes::kTerrainIndexPath,
            fakes::SheetIndexWfs(fakes::kTerrainIndexType, sheets(c.count), c.countsMatched));
        WfsClient client;
        const auto listing = NmtClient(client).listFor(kArea, kYear);
        EXPECT_EQ(distinctAddresses(listing.sheets), static_cast<std::size_t>(c.count)) << what;
        EXPECT_EQ(listing.sheets.size(), static_cast<std::size_t>(c.count)) << what;
        EXPECT_TRUE(listing.complete && listing.reach.reached) << what;
        const auto asked = server.requests(fakes::kTerrainIndexPath);
        ASSERT_EQ(asked.size(), c.requests) << what;
        EXPECT_EQ(fakes::param(asked.back().query, "STARTINDEX"), c.requests > 1 ? "20" : "");
        EXPECT_EQ(fakes::param(asked.back().query, "typenames"), "gugik:SkorowidzNMT2026");
    }
    // The surface-model and LiDAR indexes are read alike.
    server.onRequest(fakes::kSurfaceIndexPath,
                     fakes::SheetIndexWfs(fakes::kSurfaceIndexType, sheets(21)));
    server.onRequest(fakes::kLidarIndexPath,
                     fakes::SheetIndexWfs("gugik:SkorowidzDanychPomiarowychLIDAR", sheets(36)));
    WfsClient client;
    EXPECT_EQ(NmptClient(client).tilesFor(kArea, kYear).size(), 21u);
    EXPECT_EQ(distinctAddresses(LidarResolver(client).tilesFor(kArea, kYear)), 36u);
}

TEST_F(SheetIndexPages, APageThatFailsOrRepeatsKeepsWhatCameAndLeavesTheListingIncomplete) {
    server.onRequest(fakes::kTerrainIndexPath,
                     fakes::SheetIndexWfs(fakes::kTerrainIndexType, sheets(36)));
    server.on(fakes::kTerrainIndexPath, "STARTINDEX=20", loopback::status(503));
    WfsClient client;
    auto listing = NmtClient(client).listFor(kArea, kYear);
    EXPECT_EQ(listing.sheets.size(), 20u) << "the first page stays";
    EXPECT_FALSE(listing.complete);
    EXPECT_TRUE(listing.reach.reached);

    // A service that ignores the start index gives the first page again.
    std::vector<std::string> members;
    for (const fakes::IndexedSheet& sheet : sheets(36))
        members.push_back(fakes::lidarIndexMember(sheet.godlo, sheet.url, "1", "PL-1992"));
    server.on(fakes::kTerrainIndexPath,
              loopback::ok(fakes::pagedMembers(members, "COUNT=20", false)));
    listing = NmtClient(client).listFor(kArea, kYear);
    EXPECT_EQ(listing.sheets.size(), 20u);
    EXPECT_FALSE(listing.complete);
}

TEST_F(SheetIndexPages, AnIndexNotReachedIsToldFromOneThatListsNothing) {
    const loopback::Answer empty = loopback::ok(fakes::pagedMembers({}, "", true));
    struct Case {
        const char* what;
        std::vector<loopback::Answer> answers;  // to the years asked, newest first
        std::string reason;                     // "" when reached
    };
    const std::vector<Case> cases = {
        {"no sheet", {empty}, ""},
        {"next year not published yet", {loopback::status(404), empty}, ""},
        {"an error status every year", {loopback::status(404)}, "Serwer zwrocil status 404."},
        {"a web page",
         {loopback::ok("<!DOCTYPE html><html>Przerwa</html>")},
         "Serwer zwrocil strone WWW zamiast danych."},
        {"an exception report",
         {loopback::ok(fakes::exceptionReport())},
         "Serwer zwrocil odpowiedz innego rodzaju niz oczekiwana."},
    };
    for (const Case& c : cases) {
        server.onSequence(fakes::kTerrainIndexPath, c.answers);
        WfsClient client;
        // In 2018 the terrain index has two years: 2019 and 2018.
        const auto listing = NmtClient(client).listFor(kArea, 2018);
        EXPECT_TRUE(listing.sheets.empty()) << c.what;
        EXPECT_EQ(listing.reach.reached, c.reason.empty()) << c.what;
        EXPECT_EQ(listing.reach.reason, c.reason) << c.what;
    }

    // Nothing listens: the first year's failure ends the search, as no older year can answer.
    const loopback::ScopedEndpoints refused{
        {&services::Endpoints::geoportalMaps,
         "http://127.0.0.1:" + std::to_string(loopback::unusedPort())}};
    WfsClient client;
    const auto started = std::chrono::steady_clock::now();
    const auto listing = NmtClient(client).listFor(kArea, kYear);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4))
        << "one year asked, not ten";
    EXPECT_FALSE(listing.reach.reached);
    EXPECT_TRUE(listing.reach.silent);
    EXPECT_TRUE(listing.reach.reason.starts_with("Brak polaczenia z 127.0.0.1"))
        << listing.reach.reason;
}

// The year whose sheets are listed, and the newest year before it whose index could not be read
// (a server error, a broken answer, a web page) as against one that does not exist yet.
TEST_F(SheetIndexPages, TheYearUsedAndANewerOneThatFailedAreKept) {
    const loopback::Answer sheetsOf = loopback::ok(fakes::pagedMembers(
        {fakes::lidarIndexMember("S-1", "https://h/1", "1", "PL-1992")}, "", true));
    const loopback::Answer page = loopback::ok("<!DOCTYPE html><html>Przerwa</html>");
    struct Case {
        const char* what;
        std::vector<std::pair<int, loopback::Answer>> years;  // the others list no sheet
        int year;                                             // of the sheets listed
        int failed;  // the newer year that could not be read
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"the newest year lists sheets", {{2026, sheetsOf}}, 2026, 0, ""},
        {"next year not published yet",
         {{2026, loopback::status(404)}, {2025, sheetsOf}},
         2025,
         0,
         ""},
        {"next year unknown to the service",
         {{2026, loopback::ok(fakes::exceptionReport())}, {2025, sheetsOf}},
         2025,
         0,
         ""},
        {"next year's index answers 503",
         {{2026, loopback::status(503)}, {2025, sheetsOf}},
         2025,
         2026,
         "Serwer zwrocil status 503."},
        {"a web page in place of next year's index",
         {{2026, page}, {2025, sheetsOf}},
         2025,
         2026,
         "Serwer zwrocil strone WWW zamiast danych."},
        {"the newest failure is kept",
         {{2026, loopback::status(503)}, {2025, loopback::status(502)}, {2023, sheetsOf}},
         2023,
         2026,
         "Serwer zwrocil status 503."},
        {"no older year lists any sheet",
         {{2026, loopback::status(500)}},
         0,
         2026,
         "Serwer zwrocil status 500."},
    };
    const auto serve = [this](const char* path, const Case& c) {
        server.on(path, loopback::ok(fakes::pagedMembers({}, "", true)));
        for (const auto& [year, answer] : c.years)
            server.on(path, std::to_string(year), answer);
    };
    const auto check = [](const Case& c, const sheetindex::Reading& listing) {
        EXPECT_TRUE(listing.reach.reached);
        EXPECT_EQ(listing.year, c.year);
        EXPECT_EQ(listing.newerFailed.year, c.failed);
        EXPECT_EQ(listing.newerFailed.reach.reason, c.reason);
    };
    WfsClient client;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        serve(fakes::kTerrainIndexPath, c);
        check(c, NmtClient(client).listFor(kArea, kYear));
    }
    // The LiDAR index is read by the same steps.
    serve(fakes::kLidarIndexPath, cases[3]);
    check(cases[3], LidarResolver(client).listFor(kArea, kYear));
}

}  // namespace
