#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <future>
#include <limits>
#include <string>
#include <vector>

#include "geodata/WfsClient.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"
#include "tiled_fixtures.h"

using loopback::LoopbackServer;
using tiled::collection110;
using tiled::collection20;
using tiled::featureIds;
using Ids = std::vector<std::string>;

namespace {

// The BBOX parameter of a logged request, decoded: "minx,miny,maxx,maxy,urn:...".
std::string bboxOf(const std::string& query) {
    const auto at = query.find("BBOX=");
    std::string text = query.substr(at + 5, query.find('&', at) - at - 5);
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded.substr(0, decoded.find(",urn"));
}

std::string cellName(const loopback::Request& r) {
    return "f" + bboxOf(r.query).substr(0, bboxOf(r.query).find(','));
}

int startIndexOf(const std::string& query) {
    const auto at = query.find("STARTINDEX=");
    return at == std::string::npos ? 0 : std::stoi(query.substr(at + 11));
}

struct Calls {
    std::vector<std::pair<int, int>> list;
    WfsClient::CellProgress callback() {
        return [this](int done, int total) { list.emplace_back(done, total); };
    }
};

struct CacheScope {
    loopback::TempDir data;
    loopback::ScopedEnv env{"XDG_DATA_HOME", data.path().c_str()};
    size_t files() const {
        const auto dir = data.path() + "/TERRAWEFT/cache";
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir),
                                                 std::filesystem::directory_iterator()));
    }
};

}  // namespace

TEST(TiledDownload, ThreeCellsSplicedOnceEachAndRepeatedFromTheCache) {
    const CacheScope cache;
    LoopbackServer server;
    // Every cell holds a feature of its own and one that crosses all cell borders.
    server.onRequest("/wfs", [](const loopback::Request& r) {
        return loopback::ok(collection20({cellName(r), "border"}), "application/xml");
    });
    const Bbox box{0, 0, 1200, 400};

    Calls first;
    const auto result = WfsClient().getFeaturesTiled(server.url("/wfs"), "ms:dzialki", box,
                                                     first.callback(), false, false, 2180);
    EXPECT_TRUE(result.complete());
    EXPECT_EQ(result.cells, 3);
    EXPECT_EQ(first.list, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    const auto log = server.requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(bboxOf(log[0].query), "0,0,500,400");
    EXPECT_EQ(bboxOf(log[1].query), "500,0,1000,400");
    EXPECT_EQ(bboxOf(log[2].query), "1000,0,1200,400");
    EXPECT_NE(log[0].query.find("COUNT=1000"), std::string::npos);
    EXPECT_EQ(featureIds(result.document), (Ids{"f0", "border", "f500", "f1000"}));
    EXPECT_EQ(cache.files(), 3u);

    Calls again;
    const std::string repeated = WfsClient().getFeaturesCached(
        server.url("/wfs"), "ms:dzialki", box, again.callback(), false, false, 2180);
    EXPECT_EQ(repeated, result.document);
    EXPECT_EQ(server.count(), 3u);
    EXPECT_EQ(again.list.size(), 3u);
}

TEST(TiledDownload, OneCellBoxAndBoxesWithoutArea) {
    const CacheScope cache;
    LoopbackServer server;
    server.on("/wfs", loopback::ok(collection20({"a"})));
    Calls one;
    EXPECT_EQ(featureIds(WfsClient().getFeaturesCached(server.url("/wfs"), "T", {0, 0, 500, 500},
                                                       one.callback(), false, false, 0)),
              Ids{"a"});
    EXPECT_EQ(one.list, (std::vector<std::pair<int, int>>{{1, 1}}));

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const Bbox& refused :
         {Bbox{0, 0, 0, 10}, Bbox{0, 0, 10, -5}, Bbox{nan, 0, 10, 10}, Bbox{0, 0, inf, 10},
          Bbox{-inf, 0, 10, 10}, Bbox{0, 0, 1e300, 1e300}}) {
        Calls none;
        const auto result = WfsClient().getFeaturesTiled(server.url("/wfs"), "T", refused,
                                                         none.callback(), false, false, 0);
        EXPECT_EQ(result.document, "");
        EXPECT_EQ(result.cells, 0);
        EXPECT_TRUE(none.list.empty());
    }
    EXPECT_EQ(server.count(), 1u);
}

TEST(TiledDownload, FailedCellsAreReportedAndAskedAgainNextTime) {
    const CacheScope cache;
    LoopbackServer server;
    std::atomic<bool> healthy = false;
    server.onRequest("/wfs", [&](const loopback::Request& r) {
        const std::string cell = cellName(r);
        if (!healthy && cell == "f0")
            return loopback::ok("<html>Blad serwera</html>", "text/html");
        if (!healthy && cell == "f500")
            return loopback::status(503);
        return loopback::ok(collection20({cell}));
    });
    const Bbox box{0, 0, 1500, 500};

    const auto broken =
        WfsClient().getFeaturesTiled(server.url("/wfs"), "T", box, {}, false, false, 0);
    EXPECT_EQ(broken.failedCells, 2);
    EXPECT_FALSE(broken.complete());
    EXPECT_EQ(featureIds(broken.document), Ids{"f1000"});
    EXPECT_EQ(cache.files(), 1u);
    EXPECT_EQ(server.count(), 4u);  // the 503 was asked twice

    healthy = true;
    server.clearLog();
    const auto mended =
        WfsClient().getFeaturesTiled(server.url("/wfs"), "T", box, {}, false, false, 0);
    EXPECT_TRUE(mended.complete());
    EXPECT_EQ(server.count(), 2u);
    EXPECT_EQ(featureIds(mended.document), (Ids{"f0", "f500", "f1000"}));
}

// Scenarios on servers of their own run side by side.
TEST(TiledDownload, FullPagesAreFollowedOrReportedAsCut) {
    const CacheScope cache;
    const Bbox cell{0, 0, 500, 500};

    const auto pagedThrough = [&] {
        LoopbackServer server;
        server.on("/wfs", loopback::ok(collection20(tiled::numbered("p", 0, 1000))));
        server.on("/wfs", "STARTINDEX=1000",
                  loopback::ok(collection20(tiled::numbered("p", 1000, 5))));
        const auto result =
            WfsClient().getFeaturesTiled(server.url("/wfs"), "T", cell, {}, false, false, 0);
        EXPECT_TRUE(result.complete());
        EXPECT_EQ(featureIds(result.document).size(), 1005u);
        EXPECT_EQ(server.count(), 2u);
    };
    const auto startIndexIgnored = [&] {
        LoopbackServer server;
        server.on("/wfs", loopback::ok(collection20(tiled::numbered("s", 0, 1000))));
        const auto result =
            WfsClient().getFeaturesTiled(server.url("/wfs"), "T", cell, {}, false, false, 0);
        EXPECT_EQ(result.truncatedCells, 1);
        EXPECT_EQ(featureIds(result.document).size(), 1000u);
        EXPECT_EQ(server.count(), 2u);
    };
    const auto wfs110HasNoPages = [&] {
        LoopbackServer server;
        server.on("/wfs", loopback::ok(collection110(tiled::numbered("v", 0, 1000), false)));
        const auto result =
            WfsClient().getFeaturesTiled(server.url("/wfs"), "T", cell, {}, false, true, 0);
        EXPECT_EQ(result.truncatedCells, 1);
        EXPECT_EQ(server.count(), 1u);
        EXPECT_NE(server.requests()[0].query.find("maxFeatures=1000"), std::string::npos);
    };
    auto a = std::async(std::launch::async, pagedThrough);
    auto b = std::async(std::launch::async, startIndexIgnored);
    auto c = std::async(std::launch::async, wfs110HasNoPages);
    a.get();
    b.get();
    c.get();
}

TEST(TiledDownload, Wfs110CellsAreSplicedAndTheFirstAnswerNeedNotHoldFeatures) {
    const CacheScope cache;
    const auto wfs110 = [] {
        LoopbackServer server;
        server.onRequest("/wfs", [](const loopback::Request& r) {
            const bool west = cellName(r) == "f0";
            return loopback::ok(west ? collection110({"a", "b"}, true)
                                     : collection110({"b", "c"}, false));
        });
        const auto result = WfsClient().getFeaturesTiled(server.url("/wfs"), "T", {0, 0, 500, 1000},
                                                         {}, true, true, 0);
        EXPECT_EQ(featureIds(result.document), (Ids{"a", "b", "c"}));
        EXPECT_EQ(bboxOf(server.requests()[1].query), "500,0,1000,500");  // northing first
    };
    const auto emptyFirst = [] {
        LoopbackServer server;
        server.onRequest("/wfs", [](const loopback::Request& r) {
            if (cellName(r) == "f0") {
                return loopback::ok(
                    "<wfs:FeatureCollection xmlns:wfs=\"http://www.opengis.net/wfs/2.0\" "
                    "xmlns:gml=\"http://www.opengis.net/gml/3.2\" xmlns:ms=\"urn:ms\" />");
            }
            return loopback::ok(collection20({"x"}));
        });
        const auto result = WfsClient().getFeaturesTiled(server.url("/wfs"), "T", {0, 0, 1000, 500},
                                                         {}, false, false, 0);
        EXPECT_TRUE(result.complete());
        EXPECT_EQ(featureIds(result.document), Ids{"x"});
    };
    auto a = std::async(std::launch::async, wfs110);
    auto b = std::async(std::launch::async, emptyFirst);
    a.get();
    b.get();
}

// Two cells of a service that pages them (or not) as a pager says: the features from a start
// index on.
TEST(TiledDownload, PagingEndsWithThePageThatBringsTheCellNothingNew) {
    const CacheScope cache;
    using Pager = std::function<Ids(const std::string& cell, int start)>;
    // 1500 features a cell, asked 1000 at a time.
    const Pager honoured = [](const std::string& cell, int start) {
        return tiled::numbered(cell + "_", start, std::min(1000, 1500 - start));
    };
    const Pager ignored = [](const std::string& cell, int) {
        return tiled::numbered(cell + "_", 0, 1000);
    };
    // The east cell's second page holds the west cell's features, which cross the border.
    const Pager crossing = [](const std::string& cell, int start) {
        if (cell == "f0")
            return start == 0 ? tiled::numbered("w", 0, 1000) : Ids{};
        if (start == 1000)
            return tiled::numbered("w", 0, 1000);
        return tiled::numbered("e", start, start == 0 ? 1000 : 10);
    };
    struct Case {
        const char* what;
        Pager pager;
        bool withIds;
        std::size_t requests;
        int truncatedCells;
        std::size_t features;
    };
    const std::vector<Case> cases = {
        {"honours the start index", honoured, true, 4, 0, 3000},
        {"honours it, features without id", honoured, false, 4, 0, 3000},
        {"ignores the start index", ignored, true, 4, 2, 2000},
        {"ignores it, features without id", ignored, false, 4, 2, 2000},
        {"a page of features a cell before brought", crossing, true, 5, 0, 2010},
    };
    const auto run = [](const Case& c) {
        LoopbackServer server;
        server.onRequest("/wfs", [&c](const loopback::Request& r) {
            const Ids ids = c.pager(cellName(r), startIndexOf(r.query));
            return loopback::ok(c.withIds ? collection20(ids) : tiled::anonymousCollection20(ids));
        });
        const auto result = WfsClient().getFeaturesTiled(server.url("/wfs"), "T", {0, 0, 1000, 500},
                                                         {}, false, false, 0);
        EXPECT_EQ(server.count(), c.requests) << c.what;
        EXPECT_EQ(result.truncatedCells, c.truncatedCells) << c.what;
        EXPECT_EQ(featureIds(result.document).size(), c.features) << c.what;
    };
    std::vector<std::future<void>> running;
    for (const Case& c : cases)
        running.push_back(std::async(std::launch::async, run, std::cref(c)));
    for (auto& r : running)
        r.get();
}

TEST(TiledDownload, AStopEndsTheDownloadBeforeItsNextPage) {
    const CacheScope cache;
    LoopbackServer server;
    server.onRequest("/cells", [](const loopback::Request& r) {
        return loopback::ok(collection20({cellName(r)}));
    });
    server.onRequest("/endless", [](const loopback::Request& r) {
        return loopback::ok(collection20(tiled::numbered("p", startIndexOf(r.query), 1000)));
    });

    // Five cells; the stop comes with the second cell's progress.
    Calls calls;
    const auto betweenCells =
        WfsClient().getFeaturesTiled(server.url("/cells"), "T", {0, 0, 2500, 500}, calls.callback(),
                                     false, false, 0, [&calls] { return calls.list.size() >= 2; });
    EXPECT_TRUE(betweenCells.stopped);
    EXPECT_FALSE(betweenCells.complete());
    EXPECT_EQ(calls.list, (std::vector<std::pair<int, int>>{{1, 5}, {2, 5}}));
    EXPECT_EQ(featureIds(betweenCells.document), (Ids{"f0", "f500"})) << "what came stays";
    EXPECT_EQ(server.count(), 2u);

    // Full pages without end, stopped after the first: the next page is not asked for.
    Calls none;
    const auto betweenPages = WfsClient().getFeaturesTiled(
        server.url("/endless"), "T", {0, 0, 500, 500}, none.callback(), false, false, 0,
        [&server] { return server.count("/endless") >= 1; });
    EXPECT_TRUE(betweenPages.stopped);
    EXPECT_EQ(server.count("/endless"), 1u);
    EXPECT_TRUE(none.list.empty());
    EXPECT_EQ(featureIds(betweenPages.document).size(), 1000u);
}
