#include "geodata/WfsClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "geodata/Net.h"
#include "geodata/ProjConv.h"
#include "geodata/ServiceConfig.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"

using namespace std::chrono_literals;
using loopback::LoopbackServer;

namespace {

// Time between the arrivals of two logged requests. Arrival times carry the jitter of connection
// set-up, so a spacing of one second shows as a little less than that.
std::chrono::milliseconds between(const loopback::Request& a, const loopback::Request& b) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(b.arrival - a.arrival);
}

// Points the national services at one loopback server for the scope.
class NationalAt {
public:
    explicit NationalAt(const std::string& base) {
        services::Endpoints e = services::endpoints();
        e.geoportalMaps = base;
        services::setEndpoints(e);
    }
    ~NationalAt() { services::resetEndpoints(); }
};

}  // namespace

TEST(WfsUrls, UrlEncodeKeepsOnlyUnreservedBytes) {
    EXPECT_EQ(WfsClient::urlEncode(""), "");
    EXPECT_EQ(WfsClient::urlEncode("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(WfsClient::urlEncode("a b/c:d,e&f=g+h"), "a%20b%2Fc%3Ad%2Ce%26f%3Dg%2Bh");
    EXPECT_EQ(WfsClient::urlEncode("\xC4\x87"), "%C4%87");
    EXPECT_EQ(WfsClient::urlEncode(std::string(1, '\0')), "%00");
}

TEST(WfsUrls, HostOfIsTheTextBetweenSchemeAndPath) {
    EXPECT_EQ(WfsClient::hostOf("https://mapy.geoportal.gov.pl/wss/service"),
              "mapy.geoportal.gov.pl");
    EXPECT_EQ(WfsClient::hostOf("http://user@host.pl:8080/x?y=/z"), "user@host.pl:8080");
    EXPECT_EQ(WfsClient::hostOf("http://host.pl"), "host.pl");
    EXPECT_EQ(WfsClient::hostOf("host.pl/path"), "host.pl/path");
}

TEST(WfsUrls, GetFeatureUrlIsWrittenByteForByte) {
    const Bbox box{100, 200, 300, 400};
    EXPECT_EQ(
        WfsClient::buildGetFeatureUrl("B", "T", box, 1000, 0, false, false, 2180),
        "B?service=WFS&version=2.0.0&request=GetFeature&typenames=T&COUNT=1000&BBOX=100%2C200%"
        "2C300%2C400%2Curn%3Aogc%3Adef%3Acrs%3AEPSG%3A%3A2180");
    EXPECT_EQ(
        WfsClient::buildGetFeatureUrl("http://s/wfs?map=a", "ms:bud 1", box, 50, 100, true, false,
                                      0),
        "http://s/wfs?map=a&service=WFS&version=2.0.0&request=GetFeature&typenames=ms%3Abud%"
        "201&COUNT=50&STARTINDEX=100&BBOX=200%2C100%2C400%2C300%2Curn%3Aogc%3Adef%3Acrs%3AEPSG%"
        "3A%3A2180");
    EXPECT_EQ(WfsClient::buildGetFeatureUrl("B", "T", box, 1000, 3000, false, true, 2180),
              "B?service=WFS&version=1.1.0&request=GetFeature&typename=T&maxFeatures=1000&BBOX=100%"
              "2C200%2C300%2C400%2Curn%3Aogc%3Adef%3Acrs%3AEPSG%3A%3A2180");
}

TEST(WfsUrls, GetFeatureUrlMovesTheBoxIntoAPl2000Zone) {
    const Bbox box{500000.25, 250000, 501000, 251000.5};
    const GisPoint low = ProjConv::pl1992ToPl2000(box.minx, box.miny, 2177);
    const GisPoint high = ProjConv::pl1992ToPl2000(box.maxx, box.maxy, 2177);
    char corners[160];
    std::snprintf(corners, sizeof corners, "%.10g,%.10g,%.10g,%.10g,urn:ogc:def:crs:EPSG::2177",
                  std::min(low.x, high.x), std::min(low.y, high.y), std::max(low.x, high.x),
                  std::max(low.y, high.y));
    EXPECT_EQ(WfsClient::buildGetFeatureUrl("B", "T", box, 1000, 0, false, false, 2177),
              "B?service=WFS&version=2.0.0&request=GetFeature&typenames=T&COUNT=1000&SRSNAME=EPSG%"
              "3A2177&BBOX=" +
                  WfsClient::urlEncode(corners));
    EXPECT_EQ(WfsClient::buildGetFeatureUrl("B", "T", box, 1000, 0, false, false, 0),
              WfsClient::buildGetFeatureUrl("B", "T", box, 1000, 0, false, false, 2180));
}

TEST(WfsUrls, WmsGetMapUrlIsWrittenByteForByte) {
    const Bbox box{567890.123456, 244000, 568000.5, 244100.25};
    EXPECT_EQ(
        WfsClient::buildWmsGetMapUrl("http://x/wms", "a,b c", box, 800, 600, 2180),
        "http://x/wms?service=WMS&version=1.1.1&request=GetMap&layers=a%2Cb%20c&styles=&format="
        "image%2Fpng&transparent=true&SRS=EPSG%3A2180&WIDTH=800&HEIGHT=600&BBOX=567890.1235%"
        "2C244000%2C568000.5%2C244100.25");
    EXPECT_EQ(WfsClient::buildWmsGetMapUrl("http://x/wms?k=v", "L", {1, 2, 3, 4}, 1, 2, 2178),
              "http://x/wms?k=v&service=WMS&version=1.1.1&request=GetMap&layers=L&styles=&format="
              "image%2Fpng&transparent=true&SRS=EPSG%3A2178&WIDTH=1&HEIGHT=2&BBOX=1%2C2%2C3%2C4");
}

TEST(WfsRequests, SendsAgentContentTypeAndBody) {
    LoopbackServer server;
    server.on("/api", loopback::ok("{}", "application/json"));
    WfsClient client;
    const auto answer = client.postJson(server.url("/api"), "{\"q\":\"\xC5\x82\"}");
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "{}");
    EXPECT_TRUE(answer.error.empty());
    const auto sent = server.requests().at(0);
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.body, "{\"q\":\"\xC5\x82\"}");
    EXPECT_EQ(sent.header("Content-Type"), "application/json");
    EXPECT_EQ(sent.header("User-Agent"), "TERRAWEFT/0.1 (bim-addon)");
    EXPECT_FALSE(sent.hasHeader("Authorization"));

    const auto invalid = WfsClient().get("no scheme here", 5000);
    EXPECT_EQ(invalid.status, 0);
    EXPECT_EQ(invalid.error, "Nieprawidlowy URL: no scheme here");
}

TEST(WfsRequests, TokenGoesOnlyToNationalHosts) {
    LoopbackServer national;
    LoopbackServer county;
    national.on("/wfs", loopback::ok("n"));
    county.on("/wfs", loopback::ok("c"));
    const NationalAt scope(national.url());

    WfsClient client;
    client.setAuthToken("secret-1");
    client.get(national.url("/wfs"), 5000);
    client.get(county.url("/wfs"), 5000);
    EXPECT_EQ(national.requests().at(0).header("Authorization"), "Bearer secret-1");
    EXPECT_FALSE(county.requests().at(0).hasHeader("Authorization"));

    WfsClient injected;
    injected.setAuthToken("abc\r\nX-Evil: 1");
    injected.get(national.url("/wfs"), 5000);
    EXPECT_FALSE(national.requests().at(1).hasHeader("Authorization"));
    EXPECT_FALSE(national.requests().at(1).hasHeader("X-Evil"));

    WfsClient cleared;
    cleared.setAuthToken("");
    cleared.get(national.url("/wfs"), 5000);
    EXPECT_FALSE(national.requests().at(2).hasHeader("Authorization"));
}

TEST(WfsRequests, DebugLineShowsMethodAndFirst120BytesOfTheUrl) {
    LoopbackServer server;
    server.setFallback(loopback::ok("x"));
    const std::string url = server.url("/") + std::string(300 - server.url("/").size(), 'a');
    {
        const loopback::ScopedEnv debug("GIS_DEBUG_HTTP", "");
        testing::internal::CaptureStderr();
        WfsClient().get(url, 5000);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "[http] GET " + url.substr(0, 120) + "\n");
    }
    const loopback::ScopedEnv quiet("GIS_DEBUG_HTTP", nullptr);
    testing::internal::CaptureStderr();
    WfsClient().get(url, 5000);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Each scenario has its own servers (hosts), so they run side by side and the test takes about
// as long as its slowest scenario.
TEST(WfsSpacing, OneSecondPerHostAndOneRetryOfTransientFailures) {
    const auto sameHostWaitsOtherHostDoesNot = [] {
        LoopbackServer a;
        LoopbackServer b;
        a.setFallback(loopback::ok("a"));
        b.setFallback(loopback::ok("b"));
        WfsClient client;
        const auto start = std::chrono::steady_clock::now();
        client.get(a.url("/1"), 5000);
        client.get(b.url("/1"), 5000);
        const auto otherHostAfter = std::chrono::steady_clock::now() - start;
        client.get(a.url("/2"), 5000);
        EXPECT_LT(otherHostAfter, 500ms);
        EXPECT_GE(between(a.requests()[0], a.requests()[1]), 900ms);
    };
    const auto serverErrorIsRetriedOnce = [] {
        LoopbackServer s;
        s.onSequence("/flaky", {loopback::status(503), loopback::ok("second")});
        s.onSequence("/down", {loopback::status(500), loopback::status(502), loopback::ok("x")});
        WfsClient client;
        const auto answer = client.get(s.url("/flaky"));
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.body, "second");
        ASSERT_EQ(s.count("/flaky"), 2u);
        EXPECT_GE(between(s.requests("/flaky")[0], s.requests("/flaky")[1]), 900ms);
        WfsClient other;
        EXPECT_EQ(other.get(s.url("/down")).status, 502);
        EXPECT_EQ(s.count("/down"), 2u);
    };
    const auto clientErrorIsNotRetried = [] {
        LoopbackServer s;
        s.on("/missing", loopback::status(404));
        WfsClient client;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(client.get(s.url("/missing")).status, 404);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
        EXPECT_EQ(s.count(), 1u);
    };
    const auto transportFailureIsRetried = [] {
        const std::string url = "http://127.0.0.1:" + std::to_string(loopback::unusedPort()) + "/x";
        WfsClient client;
        const auto start = std::chrono::steady_clock::now();
        const auto answer = client.get(url);
        EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms);
        EXPECT_EQ(answer.status, 0);
        EXPECT_EQ(answer.error, "Brak polaczenia z 127.0.0.1");
    };
    const auto threadsSharingOneClientAreSpacedToo = [] {
        LoopbackServer s;
        s.setFallback(loopback::ok("x"));
        WfsClient shared;
        std::vector<std::future<void>> users;
        for (int i = 0; i < 3; ++i) {
            users.push_back(std::async(std::launch::async, [&] { shared.get(s.url("/p"), 5000); }));
        }
        for (auto& u : users)
            u.get();
        const auto log = s.requests();
        ASSERT_EQ(log.size(), 3u);
        EXPECT_GE(between(log[0], log[1]), 900ms);
        EXPECT_GE(between(log[1], log[2]), 900ms);
    };

    std::vector<std::future<void>> scenarios;
    for (const auto& scenario :
         {+sameHostWaitsOtherHostDoesNot, +serverErrorIsRetriedOnce, +clientErrorIsNotRetried,
          +transportFailureIsRetried, +threadsSharingOneClientAreSpacedToo}) {
        scenarios.push_back(std::async(std::launch::async, scenario));
    }
    for (auto& s : scenarios)
        s.get();
}

// A worker's cancel, set while it waits for its host's turn or for the retry of a failed answer,
// ends the wait at once and sends nothing more; the turn it gave up goes back to the main thread,
// which shares the client.
TEST(WfsCancel, AWorkersCancelEndsItsWaitsAndGivesItsTurnBack) {
    struct Row {
        const char* what;
        const char* path;
        int requestsBefore;  // of the worker, before the one that waits
    };
    for (const Row& row :
         {Row{"the spacing of one host", "/ok", 1}, Row{"the pause before a retry", "/down", 0}}) {
        LoopbackServer s;
        s.on("/ok", loopback::ok("x"));
        s.on("/down", loopback::status(503));
        WfsClient shared;
        std::atomic<bool> cancel{false};
        auto worker = std::async(std::launch::async, [&] {
            const net::AbortScope scope(cancel);
            for (int i = 0; i < row.requestsBefore; ++i)
                shared.get(s.url("/ok"), 5000);
            const WfsClient::HttpResult last = shared.get(s.url(row.path));
            return std::pair(last, std::chrono::steady_clock::now());
        });
        while (s.count() < 1)
            std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(100ms);
        cancel = true;
        const auto cancelled = std::chrono::steady_clock::now();
        const auto [last, end] = worker.get();
        EXPECT_LT(end - cancelled, 200ms) << row.what;
        EXPECT_EQ(s.count(), 1u) << row.what << ": nothing sent after the cancel";
        if (row.requestsBefore > 0)
            EXPECT_EQ(last.error, net::kCancelledMessage) << row.what;
        else
            EXPECT_EQ(last.status, 503) << row.what << ": the answer that came";
        EXPECT_EQ(shared.get(s.url("/ok"), 5000).body, "x") << row.what;
        EXPECT_LT(between(s.requests()[0], s.requests()[1]), 1500ms)
            << row.what << ": one second after the worker's request, not after the turn it gave up";
    }
}
