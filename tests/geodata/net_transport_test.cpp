#include <curl/curl.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <future>
#include <iostream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "geodata/Net.h"
#include "loopback/LoopbackServer.h"
#include "support/ScopedAnswerBound.h"

using namespace std::chrono_literals;
using loopback::Answer;
using loopback::LoopbackServer;
using loopback::Mode;

namespace {

const std::string kAgent = "TERRAWEFT/0.1 (bim-addon)";

net::HttpResult get(const std::string& url, int timeoutMs = 5000) {
    return net::request("GET", url, "", "", 0, timeoutMs, kAgent);
}

struct Collected {
    std::string bytes;
    std::vector<int64_t> totals;
    int calls = 0;
};

net::DownloadResult downloadInto(const std::string& url, Collected& into, int stopAfter = -1) {
    return net::download(url, 0, 5000, kAgent, [&](const char* data, int64_t n, int64_t total) {
        into.bytes.append(data, static_cast<size_t>(n));
        into.totals.push_back(total);
        return ++into.calls != stopAfter;
    });
}

std::string bytesOf(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + i % 26);
    return s;
}

// The resident memory of this process.
int64_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t pages = 0;
    int64_t resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// The highest resident memory seen while `work` runs, above what it was before.
template <class Work>
int64_t residentGrowthDuring(Work work) {
    const int64_t before = residentBytes();
    std::atomic<bool> done = false;
    auto peak = std::async(std::launch::async, [&] {
        int64_t highest = before;
        while (!done) {
            highest = std::max(highest, residentBytes());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return std::max(highest, residentBytes());
    });
    work();
    done = true;
    return peak.get() - before;
}

}  // namespace

TEST(NetLimits, TimeoutsBelowOneMeanThirtySecondsAndExtraOnlyLengthensTheWhole) {
    EXPECT_EQ(net::timeoutsFor(0, 8000).idleMs, 30000);
    EXPECT_EQ(net::timeoutsFor(0, 8000).totalMs, 38000);
    EXPECT_EQ(net::timeoutsFor(-7, 0).idleMs, 30000);
    EXPECT_EQ(net::timeoutsFor(15000, 8000).totalMs, 23000);
    EXPECT_EQ(net::timeoutsFor(4000, -3).totalMs, 4000);
}

TEST(NetText, FormatBytesStepsOf1024WithDecimalComma) {
    EXPECT_EQ(net::formatBytes(0), "0 B");
    EXPECT_EQ(net::formatBytes(-5), "-5 B");
    EXPECT_EQ(net::formatBytes(1023), "1023 B");
    EXPECT_EQ(net::formatBytes(1024), "1,0 KB");
    EXPECT_EQ(net::formatBytes(1536), "1,5 KB");
    EXPECT_EQ(net::formatBytes(1048575), "1024,0 KB");
    EXPECT_EQ(net::formatBytes(1048576), "1,0 MB");
    EXPECT_EQ(net::formatBytes(5LL * 1024 * 1048576), "5120,0 MB");
}

TEST(NetText, FailuresMapOntoThePolishTable) {
    EXPECT_EQ(net::polishNetError(CURLE_PEER_FAILED_VERIFICATION, 0, "a.pl"),
              "Blad bezpiecznego polaczenia (TLS).");
    EXPECT_EQ(net::polishNetError(CURLE_SSL_CONNECT_ERROR, 0, ""),
              "Blad bezpiecznego polaczenia (TLS).");
    EXPECT_EQ(net::polishNetError(CURLE_COULDNT_RESOLVE_HOST, 0, "a.pl"),
              "Nie znaleziono serwera: a.pl");
    EXPECT_EQ(net::polishNetError(CURLE_COULDNT_RESOLVE_HOST, 0, ""), "Nie znaleziono serwera.");
    EXPECT_EQ(net::polishNetError(CURLE_COULDNT_CONNECT, ECONNREFUSED, "a.pl"),
              "Brak polaczenia z a.pl");
    EXPECT_EQ(net::polishNetError(CURLE_COULDNT_CONNECT, 0, ""), "Brak polaczenia z serwerem.");
    EXPECT_EQ(net::polishNetError(CURLE_COULDNT_CONNECT, ENETUNREACH, "a.pl"),
              "Brak polaczenia z internetem.");
    EXPECT_EQ(net::polishNetError(CURLE_OPERATION_TIMEDOUT, 0, "a.pl"),
              "Brak odpowiedzi serwera (timeout).");
    EXPECT_EQ(net::polishNetError(CURLE_RECV_ERROR, 0, "a.pl"), "Blad sieci (kod 56).");
}

TEST(NetRequest, SendsMethodHeadersAndBodyAndReturnsTheAnswer) {
    LoopbackServer server;
    server.on("/echo", loopback::ok("answer"));
    server.on("/post", loopback::status(201, "made"));

    const auto got = net::request("GET", server.url("/echo?a=1"),
                                  "  X-One  :  first value \r\nno colon here\r\n: empty name\r\n"
                                  "X-Split: a\nX-Injected: 1\r\n"
                                  "User-Agent: other agent",
                                  "", 0, 5000, kAgent);
    EXPECT_EQ(got.status, 200);
    EXPECT_EQ(got.body, "answer");
    EXPECT_TRUE(got.error.empty());
    EXPECT_TRUE(got.ok);
    const auto sent = server.requests("/echo").at(0);
    EXPECT_EQ(sent.method, "GET");
    EXPECT_EQ(sent.query, "a=1");
    EXPECT_EQ(sent.header("X-One"), "first value");
    EXPECT_EQ(sent.header("User-Agent"), "other agent");
    EXPECT_FALSE(sent.hasHeader("no colon here"));
    EXPECT_FALSE(sent.hasHeader("X-Split"));
    EXPECT_FALSE(sent.hasHeader("X-Injected"));

    const std::string body = std::string("{\"a\":\"\xC4\x87\"}") + std::string(1, '\0') + "x";
    const auto posted = net::request("POST", server.url("/post"), "Content-Type: application/json",
                                     body, 0, 5000, kAgent);
    EXPECT_EQ(posted.status, 201);
    const auto received = server.requests("/post").at(0);
    EXPECT_EQ(received.method, "POST");
    EXPECT_EQ(received.body, body);
    EXPECT_EQ(received.header("Content-Type"), "application/json");
    EXPECT_EQ(received.header("User-Agent"), kAgent);
}

// The method goes out as asked whether or not a body comes with it; an empty body is announced
// as such.
TEST(NetRequest, MethodIsSentAsAskedWithOrWithoutABody) {
    LoopbackServer server;
    server.on("/m", loopback::ok("done"));
    const struct {
        const char* method;
        std::string body;
    } cases[] = {{"POST", ""}, {"POST", "x=1"}, {"GET", ""}, {"DELETE", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " with body \"" + c.body + "\"");
        server.clearLog();
        const auto got = net::request(c.method, server.url("/m"), "", c.body, 0, 5000, kAgent);
        EXPECT_TRUE(got.ok) << got.error;
        ASSERT_EQ(server.count("/m"), 1u);
        const auto sent = server.requests("/m").at(0);
        EXPECT_EQ(sent.method, c.method);
        EXPECT_EQ(sent.body, c.body);
        if (std::string(c.method) == "POST") {
            EXPECT_EQ(sent.header("Content-Length"), std::to_string(c.body.size()));
        }
    }
}

TEST(NetRequest, ErrorStatusIsAnAnswerNotAnError) {
    LoopbackServer server;
    server.on("/missing", loopback::status(404, "<html>nope</html>"));
    const auto got = get(server.url("/missing"));
    EXPECT_EQ(got.status, 404);
    EXPECT_EQ(got.body, "<html>nope</html>");
    EXPECT_TRUE(got.error.empty());
    EXPECT_FALSE(got.ok);
}

TEST(NetRequest, UnusableUrlsAreRefusedWithoutNetworkAccess) {
    for (const std::string url : {"", "not a url", "http://exa mple.pl/x", "/relative/path"}) {
        const auto got = get(url);
        EXPECT_EQ(got.status, 0) << url;
        EXPECT_EQ(got.error, "Nieprawidlowy URL: " + url);
        const auto down = net::download(url, 0, 1000, kAgent, {});
        EXPECT_EQ(down.error, "Nieprawidlowy URL: " + url);
        EXPECT_FALSE(down.ok);
    }
}

TEST(NetRequest, RefusedConnectionNamesTheHost) {
    const int port = loopback::unusedPort();
    const auto got = get("http://127.0.0.1:" + std::to_string(port) + "/x");
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.error, "Brak polaczenia z 127.0.0.1");
}

TEST(NetRequest, PlainServerAskedForTlsGivesTheTlsMessage) {
    LoopbackServer server;
    const auto got = get("https://" + server.hostPort() + "/secure");
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.error, "Blad bezpiecznego polaczenia (TLS).");
}

TEST(NetRequest, BrokenAnswersGiveMessagesNotCrashes) {
    LoopbackServer server(Mode::Raw);
    Answer shortBody = loopback::ok(bytesOf(600));
    shortBody.announcedLength = 1000;
    server.on("/short", shortBody);
    Answer dropped;
    dropped.drop = true;
    server.on("/drop", dropped);
    Answer garbage;
    garbage.raw = "this is not HTTP at all\r\n\r\n";
    server.on("/garbage", garbage);

    const auto cut = get(server.url("/short"));
    EXPECT_EQ(cut.status, 0);
    EXPECT_TRUE(cut.body.empty());
    EXPECT_EQ(cut.error, "Pobieranie przerwane (600 B z 1000 B).");

    const auto none = get(server.url("/drop"));
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.error, "Blad sieci (kod " + std::to_string(CURLE_GOT_NOTHING) + ").");

    const auto junk = get(server.url("/garbage"));
    EXPECT_EQ(junk.status, 0);
    EXPECT_FALSE(junk.error.empty());
}

TEST(NetRequest, SilentServerEndsAtTheIdleLimit) {
    LoopbackServer server;
    Answer slow = loopback::ok("late");
    slow.delay = 5s;
    server.on("/slow", slow);
    const auto start = std::chrono::steady_clock::now();
    const auto got = get(server.url("/slow"), 1000);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(got.error, "Brak odpowiedzi serwera (timeout).");
    EXPECT_LT(took, 4s);
}

TEST(NetRequest, TricklingServerEndsAtTheWholeTransferLimit) {
    LoopbackServer server;
    Answer trickle = loopback::ok(bytesOf(100));
    trickle.chunkSize = 1;
    trickle.chunkDelay = 100ms;
    server.on("/trickle", trickle);
    const auto start = std::chrono::steady_clock::now();
    const auto got = net::request("GET", server.url("/trickle"), "", "", 1000, 1000, kAgent);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(got.error, "Brak odpowiedzi serwera (timeout).");
    EXPECT_GE(took, 1900ms);
    EXPECT_LT(took, 4s);
}

TEST(NetRequest, RedirectsAreFollowedBetweenHttpAddressesOnly) {
    LoopbackServer server;
    Answer moved = loopback::status(302);
    moved.headers = {{"Location", server.url("/target")}};
    server.on("/moved", moved);
    server.on("/target", loopback::ok("arrived"));
    Answer toFile = loopback::status(302);
    toFile.headers = {{"Location", "file:///etc/passwd"}};
    server.on("/escape", toFile);

    const auto got = get(server.url("/moved"));
    EXPECT_EQ(got.status, 200);
    EXPECT_EQ(got.body, "arrived");

    const auto escaped = get(server.url("/escape"));
    EXPECT_EQ(escaped.status, 0);
    EXPECT_TRUE(escaped.body.empty());
    EXPECT_FALSE(escaped.error.empty());
}

TEST(NetRequest, AnswersPastTheMemoryBoundEndWithTheErrorAndNoBody) {
    constexpr int64_t kBound = 64 * 1024;
    const loopback::ScopedAnswerBound bound(kBound);
    const std::string message =
        "Odpowiedz serwera jest za duza (ponad 64,0 KB); pobieranie przerwane.";
    LoopbackServer server;
    LoopbackServer raw(Mode::Raw);
    server.on("/at", loopback::ok(bytesOf(kBound)));
    server.on("/over", loopback::ok(bytesOf(kBound + 1)));
    Answer chunked = loopback::ok(bytesOf(kBound + 1));
    chunked.noLength = true;
    chunked.chunkSize = 4096;
    server.on("/chunked", chunked);
    Answer closeDelimited = loopback::ok(bytesOf(kBound + 1));
    closeDelimited.noLength = true;
    raw.on("/closed", closeDelimited);

    const auto atBound = get(server.url("/at"));
    EXPECT_TRUE(atBound.ok) << atBound.error;
    EXPECT_EQ(atBound.body.size(), static_cast<size_t>(kBound));
    for (const std::string& url :
         {server.url("/over"), server.url("/chunked"), raw.url("/closed")}) {
        const auto past = get(url);
        EXPECT_EQ(past.status, 0) << url;
        EXPECT_TRUE(past.body.empty()) << url;
        EXPECT_EQ(past.error, message) << url;
    }

    // Files stream past the bound as before.
    Collected file;
    EXPECT_TRUE(downloadInto(server.url("/chunked"), file).ok);
    EXPECT_EQ(file.bytes, chunked.body);
}

// The answer to HEAD announces a length but carries no body: it is neither short nor too large.
TEST(NetRequest, HeadAnswersAreWholeWithoutABody) {
    const loopback::ScopedAnswerBound bound(1024);
    LoopbackServer server;
    server.on("/file", loopback::ok(bytesOf(4096)));
    const auto head = net::request("HEAD", server.url("/file"), "", "", 0, 5000, kAgent);
    EXPECT_TRUE(head.ok) << head.error;
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.empty());
}

TEST(NetRequest, AnEndlessAnswerEndsWithTheErrorWhileMemoryStaysBounded) {
    constexpr int64_t kBound = int64_t{4} << 20;
    const loopback::ScopedAnswerBound bound(kBound);
    LoopbackServer server;
    Answer endless = loopback::ok(bytesOf(64 * 1024));
    endless.endlessUpTo = 64 * kBound;  // a client that keeps everything would hold 256 MiB
    server.on("/endless", endless);

    net::HttpResult got;
    const int64_t growth = residentGrowthDuring([&] { got = get(server.url("/endless"), 20000); });
    EXPECT_EQ(got.status, 0);
    EXPECT_TRUE(got.body.empty());
    EXPECT_EQ(got.error, "Odpowiedz serwera jest za duza (ponad 4,0 MB); pobieranie przerwane.");
    // Far below the 256 MiB of a client that keeps everything; the margin above the bound is
    // the server's side of the transfer and, in the sanitizer build, its freed-memory quarantine.
    EXPECT_LT(growth, 24 * kBound);
    std::cout << "endless answer: resident memory grew by " << growth / 1024 << " KiB\n";
}

TEST(NetDownload, StreamsEveryChunkInOrderWithTheAnnouncedTotal) {
    LoopbackServer server;
    Answer big = loopback::ok(bytesOf(300000));
    big.chunkSize = 64 * 1024;
    server.on("/file", big);
    Answer unannounced = loopback::ok(bytesOf(5000));
    unannounced.noLength = true;
    server.on("/stream", unannounced);

    Collected file;
    const auto got = downloadInto(server.url("/file"), file);
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.status, 200);
    EXPECT_TRUE(got.error.empty());
    EXPECT_EQ(file.bytes, big.body);
    for (const int64_t total : file.totals)
        EXPECT_EQ(total, 300000);
    EXPECT_EQ(server.requests("/file").at(0).header("User-Agent"), kAgent);

    Collected stream;
    const auto streamed = downloadInto(server.url("/stream"), stream);
    EXPECT_TRUE(streamed.ok) << streamed.error;
    EXPECT_EQ(stream.bytes, unannounced.body);
    for (const int64_t total : stream.totals)
        EXPECT_EQ(total, 0);

    const auto counted = net::download(server.url("/file"), 0, 5000, kAgent, {});
    EXPECT_TRUE(counted.ok);
}

TEST(NetDownload, ErrorStatusReturnsAtOnceWithoutChunks) {
    LoopbackServer server;
    Answer missing = loopback::status(404, bytesOf(100000));
    server.on("/missing", missing);
    Answer moved = loopback::status(301);
    moved.headers = {{"Location", server.url("/missing")}};
    server.on("/moved", moved);

    for (const char* path : {"/missing", "/moved"}) {
        Collected none;
        const auto got = downloadInto(server.url(path), none);
        EXPECT_EQ(got.status, 404) << path;
        EXPECT_TRUE(got.error.empty());
        EXPECT_FALSE(got.ok);
        EXPECT_EQ(none.calls, 0);
    }
}

TEST(NetDownload, ShortCancelledAndDroppedTransfersFail) {
    LoopbackServer server(Mode::Raw);
    Answer cut = loopback::ok(bytesOf(600));
    cut.announcedLength = 1000;
    server.on("/short", cut);
    Answer open = loopback::ok(bytesOf(600));
    open.noLength = true;
    server.on("/unannounced", open);
    Answer slowBig = loopback::ok(bytesOf(200000));
    slowBig.chunkSize = 10000;
    slowBig.chunkDelay = 20ms;
    server.on("/big", slowBig);
    Answer dropped;
    dropped.drop = true;
    server.on("/drop", dropped);

    Collected part;
    const auto shortened = downloadInto(server.url("/short"), part);
    EXPECT_EQ(shortened.status, 200);
    EXPECT_EQ(shortened.error, "Pobieranie przerwane (600 B z 1000 B).");
    EXPECT_FALSE(shortened.ok);

    Collected whole;
    const auto closeDelimited = downloadInto(server.url("/unannounced"), whole);
    EXPECT_TRUE(closeDelimited.ok) << closeDelimited.error;
    EXPECT_EQ(whole.bytes.size(), 600u);

    Collected stopped;
    const auto cancelled = downloadInto(server.url("/big"), stopped, 1);
    EXPECT_EQ(cancelled.error, "Pobieranie anulowane.");
    EXPECT_EQ(stopped.calls, 1);
    EXPECT_FALSE(cancelled.ok);

    Collected nothing;
    const auto lost = downloadInto(server.url("/drop"), nothing);
    EXPECT_EQ(lost.status, 0);
    EXPECT_FALSE(lost.error.empty());
    EXPECT_EQ(nothing.calls, 0);
}

// What one transfer came to, whichever of the two operations made it (a request carries no
// flag of its own: aborted stays false).
struct Outcome {
    int64_t status = 0;
    std::string error;
    bool aborted = false;
    std::chrono::steady_clock::time_point end;
};

Outcome transfer(const std::string& url, bool asDownload) {
    Outcome outcome;
    if (asDownload) {
        const net::DownloadResult r = net::download(url, 0, 120000, kAgent, {});
        outcome = {r.status, r.error, r.aborted};
    } else {
        const net::HttpResult r = get(url, 120000);
        outcome = {r.status, r.error};
    }
    outcome.end = std::chrono::steady_clock::now();
    return outcome;
}

// A worker's cancel, set while its transfer waits for an answer held a minute or trickles in,
// ends that transfer within the progress callback's second and keeps its next one from being
// sent; another thread's transfer to the same server, at the same time, is not touched.
TEST(NetAbort, AWorkersCancelBreaksOffItsTransferAndSendsNothingMoreOnlyOnItsThread) {
    LoopbackServer server;
    Answer held = loopback::ok("late");
    held.delay = 60s;
    server.on("/held", held);
    Answer trickle = loopback::ok(bytesOf(200000));
    trickle.chunkSize = 100;
    trickle.chunkDelay = 20ms;
    server.on("/trickle", trickle);
    server.on("/quick", loopback::ok("quick"));

    struct Row {
        const char* path;
        bool asDownload;
        int64_t status;  // a download that began tells the answer's status
    };
    for (const Row& row : {Row{"/held", false, 0}, Row{"/held", true, 0}, Row{"/trickle", false, 0},
                           Row{"/trickle", true, 200}}) {
        const std::string what =
            std::string(row.path) + (row.asDownload ? " download" : " request");
        const std::size_t before = server.count();
        std::atomic<bool> cancel{false};
        auto worker = std::async(std::launch::async, [&] {
            const net::AbortScope scope(cancel);
            const Outcome first = transfer(server.url(row.path), row.asDownload);
            return std::pair(first, transfer(server.url("/quick"), row.asDownload));
        });
        while (server.count() == before)
            std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(200ms);
        cancel = true;
        const auto cancelled = std::chrono::steady_clock::now();
        EXPECT_EQ(get(server.url("/quick")).body, "quick") << what << ": the main thread";
        const auto [first, next] = worker.get();
        std::cout
            << what << ": ended "
            << std::chrono::duration_cast<std::chrono::milliseconds>(first.end - cancelled).count()
            << " ms after the cancel\n";
        EXPECT_LT(first.end - cancelled, 1500ms) << what;
        const auto broken = [&row](int64_t status) {
            return std::make_tuple(status, std::string(net::kCancelledMessage), row.asDownload);
        };
        EXPECT_EQ(std::tie(first.status, first.error, first.aborted), broken(row.status)) << what;
        EXPECT_EQ(std::tie(next.status, next.error, next.aborted), broken(0)) << what;
        EXPECT_EQ(server.count(), before + 2) << what << ": the worker's next one was never sent";
    }
}

TEST(NetAbort, APauseEndsAtTheCancelOfItsThreadOnly) {
    std::atomic<bool> cancel{false};
    const auto start = std::chrono::steady_clock::now();
    auto worker = std::async(std::launch::async, [&] {
        const net::AbortScope scope(cancel);
        return net::pauseFor(5s);
    });
    std::this_thread::sleep_for(100ms);
    cancel = true;
    EXPECT_FALSE(worker.get());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_TRUE(net::pauseFor(30ms)) << "no scope here";
    const net::AbortScope scope(cancel);
    EXPECT_FALSE(net::pauseFor(0ms)) << "a cancel that holds already";
}

TEST(LoopbackKit, LogsArrivalTimesAndServesSequencesAndQueries) {
    LoopbackServer server;
    server.onSequence("/seq", {loopback::status(503), loopback::ok("second")});
    server.on("/q", loopback::ok("any"));
    server.on("/q", "kind=special", loopback::ok("special"));
    server.onRequest("/computed",
                     [](const loopback::Request& r) { return loopback::ok("echo " + r.query); });

    EXPECT_EQ(get(server.url("/seq")).status, 503);
    EXPECT_EQ(get(server.url("/seq")).body, "second");
    EXPECT_EQ(get(server.url("/seq")).body, "second");
    EXPECT_EQ(get(server.url("/q?kind=special&x=1")).body, "special");
    EXPECT_EQ(get(server.url("/q?kind=plain")).body, "any");
    EXPECT_EQ(get(server.url("/computed?v=7")).body, "echo v=7");
    EXPECT_EQ(get(server.url("/unknown")).status, 404);
    Answer cut = loopback::ok(bytesOf(300));
    cut.announcedLength = 500;
    server.on("/cut", cut);
    EXPECT_EQ(get(server.url("/cut")).error, "Pobieranie przerwane (300 B z 500 B).");

    const auto log = server.requests();
    ASSERT_EQ(log.size(), 8u);
    for (size_t i = 1; i < log.size(); ++i)
        EXPECT_LE(log[i - 1].arrival, log[i].arrival);
    EXPECT_EQ(server.count("/seq"), 3u);
    server.clearLog();
    EXPECT_EQ(server.count(), 0u);
}
