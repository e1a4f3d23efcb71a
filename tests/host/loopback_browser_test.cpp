// The loopback browser control: what it serves, what it refuses, and the page channel both ways,
// driven with plain HTTP clients while the test's main loop runs the program's side.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <latch>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ConnectionThreads.h"
#include "DG.h"
#include "HostTestApi.h"
#include "LoopbackBrowser.h"
#include "MainThreadCalls.h"
#include "PageFolder.h"
#include "ScriptStream.h"
#include "loopback/TempDir.h"
#include "support/EventStream.h"

// The sanitizer build runs several times slower: the load tests scale down there and leave the
// latency limits to the normal build.
#if defined(__SANITIZE_ADDRESS__)
#define TW_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TW_SANITIZED 1
#endif
#endif
#ifndef TW_SANITIZED
#define TW_SANITIZED 0
#endif

namespace {

namespace fs = std::filesystem;
using loopback::EventStream;
using namespace std::chrono_literals;

constexpr const char* kPage =
    "<!DOCTYPE html>\n<html>\n<HEAD lang=\"pl\">\n<title>t</title>\n"
    "</head>\n<body></body>\n</html>\n";
constexpr const char* kSecret = "tajne";
constexpr const char* kPing = R"({"type":"ping"})";
constexpr const char* kPong = R"(GISBridge.receive({"type":"pong"});)";
constexpr std::string_view kHello = "retry: 1000\n\n";
constexpr std::string_view kPongEvent = "data: GISBridge.receive({\"type\":\"pong\"});\n\n";
constexpr std::string_view kReplaced = "event: replaced\ndata: \n\n";
constexpr const char* kEventsPath = "/__terraweft/events";
constexpr const char* kCallPath = "/__terraweft/call?o=GIS&f=postMessage&t=string";
constexpr const char* kCallDone = R"({"ok":true,"value":true})";

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// A page folder "web" with a page, a script and a nested file; beside it, outside the folder, a
// secret file and a secret folder that links inside the page folder point to.
class PageFiles {
public:
    PageFiles() {
        writeFile(web() / "map.html", kPage);
        writeFile(web() / "map.js", "var x = 1;\n");
        writeFile(web() / "sub" / "inner.js", "inner");
        writeFile(root() / "secret.txt", kSecret);
        writeFile(root() / "secrets" / "secret.txt", kSecret);
        fs::create_symlink(root() / "secret.txt", web() / "link.txt");
        fs::create_directory_symlink(root() / "secrets", web() / "linkdir");
        fs::create_symlink(web() / "map.js", web() / "alias.js");
    }
    fs::path root() const { return dir_.path(); }
    fs::path web() const { return root() / "web"; }

private:
    loopback::TempDir dir_;
};

TEST(PageFolder, ResolvesOnlyRegularFilesInsideTheFolder) {
    const PageFiles files;
    const host::PageFolder folder(files.web());
    const fs::path web = fs::canonical(files.web());
    EXPECT_EQ(folder.resolve("/map.html"), web / "map.html");
    EXPECT_EQ(folder.resolve("/./sub//inner.js"), web / "sub" / "inner.js");
    EXPECT_EQ(folder.resolve("/alias.js"), web / "map.js");  // a link that stays inside
    for (const char* path : {"/../secret.txt", "/sub/../../secret.txt", "/sub/..", "/..",
                             "/link.txt", "/linkdir/secret.txt", "/sub", "/", "", "map.html",
                             "/missing.js", "/sub\\..\\..\\secret.txt"}) {
        EXPECT_EQ(folder.resolve(path), std::nullopt) << path;
    }
    EXPECT_EQ(folder.resolve(std::string("/map.html\0.js", 13)), std::nullopt);
    EXPECT_EQ(host::PageFolder(files.root() / "none").resolve("/map.html"), std::nullopt);
}

// What the page's function received, one entry per call.
struct Received {
    bool present = false;
    bool isValue = false;
    JS::Value::ValueType type = JS::Value::UNDEFINED;
    std::string text;
    Int32 integer = 0;
    double number = 0.0;
};

class LoopbackBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::setBrowserBackendFactory([](DG::Browser& browser) {
            return std::make_unique<host::LoopbackBrowser>(browser,
                                                           host::LoopbackBrowser::Options{});
        });
        palette_ = std::make_unique<DG::Palette>(host::ownResModule(), 1, host::ownResModule(),
                                                 GS::Guid::Generate());
        browser_ = std::make_unique<DG::Browser>(*palette_, 1);
        host::setBrowserBackendFactory({});

        auto gis = GS::NewRef<JS::Object>("GIS");
        gis->AddItem(GS::NewRef<JS::Function>("postMessage", [this](GS::Ref<JS::Base> argument) {
            received_.push_back(receivedOf(argument));
            // A ping is answered as the bridge answers it: with a script pushed to the page.
            if (received_.back().text == kPing)
                browser_->ExecuteJS(kPong);
            return GS::Ref<JS::Base>(GS::NewRef<JS::Value>(true));
        }));
        browser_->RegisterAsynchJSObject(gis);
        ASSERT_TRUE(browser_->LoadURL(("file://" + (files_.web() / "map.html").string()).c_str()));
    }

    void TearDown() override {
        browser_.reset();
        palette_.reset();
    }

    static Received receivedOf(const GS::Ref<JS::Base>& argument) {
        Received r;
        r.present = argument != nullptr;
        const GS::Ref<JS::Value> value = GS::DynamicCast<JS::Value>(argument);
        r.isValue = value != nullptr;
        if (value != nullptr) {
            r.type = value->GetType();
            r.text = value->GetString().ToUtf8();
            r.integer = value->GetInteger();
            r.number = value->GetDouble();
        }
        return r;
    }

    host::LoopbackBrowser& page() const {
        return dynamic_cast<host::LoopbackBrowser&>(browser_->GetBackend());
    }
    // Read on the main thread only: the browser control may go while a client thread runs.
    int port() const { return std::stoi(page().Origin().substr(page().Origin().rfind(':') + 1)); }
    static httplib::Client client(int port) { return httplib::Client("127.0.0.1", port); }
    httplib::Client client() const { return client(port()); }

    // Runs the request on another thread while this (main) thread runs the program's side.
    template <class Request>
    auto whileMainLoopRuns(Request request) {
        auto result = std::async(std::launch::async, std::move(request));
        host::pumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }, 20s);
        return result.get();
    }

    // The page calls GIS.postMessage with an argument of that kind and text.
    httplib::Result post(const std::string& kind, std::string body) {
        return whileMainLoopRuns([port = port(), kind, body = std::move(body)] {
            return client(port).Post(("/__terraweft/call?o=GIS&f=postMessage&t=" + kind).c_str(),
                                     httplib::Headers{{"X-Terraweft-Channel", "1"}}, body,
                                     "text/plain");
        });
    }

    PageFiles files_;
    std::unique_ptr<DG::Palette> palette_;
    std::unique_ptr<DG::Browser> browser_;
    std::vector<Received> received_;
};

TEST_F(LoopbackBrowserTest, ServesThePageFolderAndAddsItsScriptToTheHtmlOnly) {
    EXPECT_EQ(page().PageAddress(), page().Origin() + "/map.html");
    EXPECT_EQ(page().Origin().rfind("http://127.0.0.1:", 0), 0u);

    const auto html = client().Get("/map.html");
    ASSERT_TRUE(html);
    EXPECT_EQ(html->status, 200);
    const std::string tag = "<script src=\"/__terraweft/channel.js\"></script>";
    std::string expected = kPage;
    expected.insert(expected.find("<HEAD lang=\"pl\">") + 16, tag);
    EXPECT_EQ(html->body, expected);
    EXPECT_EQ(host::readFile(files_.web() / "map.html"),
              kPage);  // the file stays as it was

    const auto script = client().Get("/map.js");
    ASSERT_TRUE(script);
    EXPECT_EQ(script->body, "var x = 1;\n");
    EXPECT_EQ(script->get_header_value("Content-Type"), "text/javascript; charset=utf-8");

    const auto channel = client().Get("/__terraweft/channel.js");
    ASSERT_TRUE(channel);
    EXPECT_NE(channel->body.find(R"({"GIS":["postMessage"]})"), std::string::npos);
}

TEST_F(LoopbackBrowserTest, RefusesEverythingOutsideThePageFolder) {
    for (const char* path :
         {"/../secret.txt", "/%2e%2e/secret.txt", "/sub/%2E%2E/%2E%2E/secret.txt",
          "/..%2fsecret.txt", "/%2e%2e%5csecret.txt", "/link.txt", "/linkdir/secret.txt", "/sub",
          "/map.html%00.js", "/missing.js"}) {
        const auto res = client().Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 404) << path;
        EXPECT_EQ(res->body.find(kSecret), std::string::npos) << path;
    }
}

TEST_F(LoopbackBrowserTest, AnswersOnlyRequestsAddressedToItsOwnHostAndCallsFromItsScript) {
    auto cli = client();
    const std::string port = std::to_string(this->port());
    const auto foreign = cli.Get("/map.html", {{"Host", "evil.example:" + port}});
    ASSERT_TRUE(foreign);
    EXPECT_EQ(foreign->status, 403);
    const auto local = cli.Get("/map.html", {{"Host", "localhost:" + port}});
    ASSERT_TRUE(local);
    EXPECT_EQ(local->status, 200);

    // Without the channel's own header (a form or a simple request from another site) nothing
    // reaches the program.
    const auto call = whileMainLoopRuns([port = this->port()] {
        return client(port).Post("/__terraweft/call?o=GIS&f=postMessage&t=string",
                                 R"({"type":"ping"})", "text/plain");
    });
    ASSERT_TRUE(call);
    EXPECT_EQ(call->status, 403);
    host::pump();
    EXPECT_TRUE(received_.empty());
}

TEST_F(LoopbackBrowserTest, HandsThePageArgumentOverByItsKind) {
    const auto reply = post("string", "{\"msg\":\"za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\"}");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(reply->body, R"({"ok":true,"value":true})");
    ASSERT_TRUE(post("number", "5"));
    ASSERT_TRUE(post("number", "2.5"));
    ASSERT_TRUE(post("boolean", "true"));
    ASSERT_TRUE(post("none", ""));
    ASSERT_TRUE(post("null", ""));
    ASSERT_TRUE(post("object", ""));

    ASSERT_EQ(received_.size(), 7u);
    EXPECT_EQ(received_[0].type, JS::Value::STRING);
    EXPECT_EQ(received_[0].text, "{\"msg\":\"za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\"}");
    EXPECT_EQ(received_[1].type, JS::Value::INTEGER);
    EXPECT_EQ(received_[1].integer, 5);
    EXPECT_EQ(received_[2].type, JS::Value::DOUBLE);
    EXPECT_EQ(received_[2].number, 2.5);
    EXPECT_EQ(received_[3].type, JS::Value::BOOL);
    EXPECT_FALSE(received_[4].present);  // no argument
    EXPECT_TRUE(received_[5].isValue);
    EXPECT_EQ(received_[5].type, JS::Value::UNDEFINED);
    EXPECT_TRUE(received_[6].present);
    EXPECT_FALSE(received_[6].isValue);  // an object is no script value
}

TEST_F(LoopbackBrowserTest, AnArgumentOverTheSizeLimitArrivesAsNoString) {
    const std::string atLimit(host::LoopbackBrowser::kMaxMessageBytes, 'x');
    ASSERT_TRUE(post("string", atLimit));
    const auto reply = post("string", atLimit + "x");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);

    ASSERT_EQ(received_.size(), 2u);
    EXPECT_EQ(received_[0].type, JS::Value::STRING);
    EXPECT_EQ(received_[0].text.size(), atLimit.size());
    EXPECT_TRUE(received_[1].isValue);
    EXPECT_EQ(received_[1].type, JS::Value::UNDEFINED);
}

// The raw answer to a call whose headers announce `announced` bytes of body of which `sent` go
// out; when they are fewer, the server gives up waiting for the rest after its read timeout.
std::string answerToBrokenCall(int port, std::size_t announced, const std::string& sent) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0)
            ::close(fd);
        return {};
    }
    const std::string request = std::string("POST ") + kCallPath +
                                " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nX-Terraweft-Channel: 1\r\nContent-Type: text/plain\r\n"
                                "Content-Length: " +
                                std::to_string(announced) + "\r\nConnection: close\r\n\r\n" + sent;
    std::string answer;
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
        static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return answer;
}

TEST_F(LoopbackBrowserTest, ACallWhoseBodyBreaksOffIsRefusedAndNotMade) {
    const std::string answer = whileMainLoopRuns(
        [port = port()] { return answerToBrokenCall(port, 100, R"({"type":"pi)"); });
    EXPECT_EQ(answer.rfind("HTTP/1.1 400", 0), 0u) << answer;
    EXPECT_NE(answer.find(R"({"error":"Wywolanie nie dotarlo w calosci","ok":false})"),
              std::string::npos)
        << answer;
    host::pump();
    EXPECT_TRUE(received_.empty());

    // The same call whole is made.
    const std::string whole = whileMainLoopRuns(
        [port = port()] { return answerToBrokenCall(port, std::strlen(kPing), kPing); });
    EXPECT_EQ(whole.rfind("HTTP/1.1 200", 0), 0u) << whole;
    ASSERT_EQ(received_.size(), 1u);
    EXPECT_EQ(received_[0].text, kPing);
}

TEST_F(LoopbackBrowserTest, ScriptsReachTheListeningPageInOrder) {
    std::promise<void> subscribed;
    auto stream = std::async(std::launch::async, [port = port(), &subscribed] {
        std::string events;
        bool first = true;
        client(port).Get("/__terraweft/events", [&](const char* data, std::size_t length) {
            events.append(data, length);
            if (std::exchange(first, false))
                subscribed.set_value();
            return events.find("data: c();") == std::string::npos;
        });
        return events;
    });
    ASSERT_EQ(subscribed.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(browser_->ExecuteJS("a({\"x\":1});"));
    EXPECT_TRUE(browser_->ExecuteJS("b();\r\nc();"));
    ASSERT_EQ(stream.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(stream.get(), "retry: 1000\n\ndata: a({\"x\":1});\n\ndata: b();\ndata: c();\n\n");
}

TEST_F(LoopbackBrowserTest, ACallWaitingForTheProgramEndsWhenTheBrowserGoes) {
    // The main loop does not run: the call waits until the browser control is destroyed.
    auto call = std::async(std::launch::async, [port = port()] {
        return client(port).Post("/__terraweft/call?o=GIS&f=postMessage&t=string",
                                 httplib::Headers{{"X-Terraweft-Channel", "1"}}, "{}",
                                 "text/plain");
    });
    ASSERT_NE(call.wait_for(300ms), std::future_status::ready);
    const auto start = std::chrono::steady_clock::now();
    browser_.reset();
    ASSERT_EQ(call.wait_for(5s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    host::pump();  // the queued call finds the browser gone
    EXPECT_TRUE(received_.empty());
}

TEST_F(LoopbackBrowserTest, LoadingAnythingButAPageFileFailsWithALoadError) {
    std::vector<std::string> errors;
    browser_->onLoadError += [&](Int32 code, const GS::UniString& url) {
        errors.push_back(std::to_string(code) + " " + url.ToUtf8());
    };
    EXPECT_FALSE(browser_->LoadURL("http://example.com/map.html"));
    EXPECT_FALSE(browser_->LoadURL(("file://" + (files_.web() / "none.html").string()).c_str()));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], "-1 http://example.com/map.html");
    EXPECT_EQ(page().PageAddress(),
              page().Origin() + "/map.html");  // the earlier page stays
}

TEST(LoopbackBrowser, ABusyPortIsReportedAndServesNothing) {
    const DG::Palette palette(host::ownResModule(), 1, host::ownResModule(), GS::Guid::Generate());
    httplib::Server other;
    const int port = other.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    host::setBrowserBackendFactory([port](DG::Browser& browser) {
        return std::make_unique<host::LoopbackBrowser>(browser,
                                                       host::LoopbackBrowser::Options{port});
    });
    DG::Browser browser(palette, 1);
    host::setBrowserBackendFactory({});
    auto& page = dynamic_cast<host::LoopbackBrowser&>(browser.GetBackend());
    EXPECT_NE(page.Error().find(std::to_string(port)), std::string::npos) << page.Error();
    EXPECT_EQ(page.Origin(), "");
    const PageFiles files;
    EXPECT_FALSE(browser.LoadURL(("file://" + (files.web() / "map.html").string()).c_str()));
}

// A replaced listener learns it once; one that leaves frees its place, so that the next one
// replaces nobody.
TEST(ScriptStream, OnlyAListenerPastTheLimitReplacesAnother) {
    using State = host::ScriptStream::State;
    host::ScriptStream stream(2);
    const auto first = stream.subscribe();
    const auto second = stream.subscribe();
    stream.unsubscribe(first);
    const auto third = stream.subscribe();
    const auto fourth = stream.subscribe();
    stream.push("a();");
    EXPECT_EQ(stream.take(second, 0ms).state, State::Replaced);
    EXPECT_EQ(stream.take(second, 0ms).state, State::Closed);
    EXPECT_EQ(stream.take(third, 0ms).scripts, std::vector<std::string>{"a();"});
    EXPECT_EQ(stream.take(fourth, 0ms).scripts, std::vector<std::string>{"a();"});
}

// Past the limit no thread is made; shutdown still runs the work that waits (each piece owns a
// connection that it closes).
TEST(ConnectionThreads, WorkPastTheLimitWaitsAndShutdownRunsIt) {
    host::ConnectionThreads threads(2);
    std::latch release(1);
    std::atomic<int> ran = 0;
    for (int i = 0; i < 5; ++i) {
        threads.enqueue([&] {
            release.wait();
            ++ran;
        });
    }
    EXPECT_EQ(threads.threadCount(), 2u);
    auto stopped = std::async(std::launch::async, [&] { threads.shutdown(); });
    release.count_down();
    ASSERT_EQ(stopped.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(ran, 5);
}

TEST(MainThreadCalls, WorkWhoseCallerStoppedWaitingIsDroppedAndOtherWorkAnswers) {
    host::MainThreadCalls calls;
    bool ran = false;
    auto late = std::async(std::launch::async, [&] {
        return calls.run(
            [&] {
                ran = true;
                return std::string("late");
            },
            50ms);
    });
    EXPECT_EQ(late.get(), std::nullopt);
    host::pump();
    EXPECT_FALSE(ran);

    auto answered = std::async(std::launch::async,
                               [&] { return calls.run([] { return std::string("ok"); }, 10s); });
    host::pumpUntil([&] { return answered.wait_for(0s) == std::future_status::ready; }, 10s);
    EXPECT_EQ(answered.get(), "ok");
}

TEST_F(LoopbackBrowserTest, PagesOfOtherSitesGetNoScriptStream) {
    const std::string own = page().Origin();
    const EventStream foreign(port(), kEventsPath, {{"Origin", "http://evil.example"}});
    const EventStream lookalike(port(), kEventsPath, {{"Origin", own + ".evil.example"}});
    const EventStream ours(port(), kEventsPath, {{"Origin", own}});
    EXPECT_TRUE(ours.waitFor(kHello));
    for (const EventStream* refused : {&foreign, &lookalike}) {
        EXPECT_TRUE(refused->waitForEnd());
        EXPECT_EQ(refused->status(), 403);
        EXPECT_EQ(refused->text().find("retry"), std::string::npos);
    }
}

TEST_F(LoopbackBrowserTest, APageListeningPastTheLimitTakesTheOldestPagesPlace) {
    std::vector<std::unique_ptr<EventStream>> pages;
    for (std::size_t i = 0; i <= host::LoopbackBrowser::kMaxEventStreams; ++i) {
        pages.push_back(std::make_unique<EventStream>(port(), kEventsPath));
        ASSERT_TRUE(pages.back()->waitFor(kHello)) << i;
    }
    // The oldest page is told at once (well before the next heartbeat) that its place is taken,
    // so its script stops listening for good, and its stream ends; the others get the scripts.
    ASSERT_TRUE(pages.front()->waitForEnd(2s));
    EXPECT_EQ(pages.front()->text(), std::string(kHello) + std::string(kReplaced));
    browser_->ExecuteJS(kPong);
    for (std::size_t i = 1; i < pages.size(); ++i)
        EXPECT_TRUE(pages[i]->waitFor(kPongEvent)) << i;
}

// Timing: run on their own (ctest RUN_SERIAL), see tests/CMakeLists.txt.
class LoopbackBrowserLoad : public LoopbackBrowserTest {
protected:
    // The caller's side of a page call as a browser makes it: over a kept connection, without
    // holding back small writes.
    static httplib::Client pageClient(int port) {
        httplib::Client cli("127.0.0.1", port);
        cli.set_tcp_nodelay(true);
        cli.set_keep_alive(true);
        return cli;
    }

    static bool ping(httplib::Client& cli) {
        const auto res = cli.Post(kCallPath, httplib::Headers{{"X-Terraweft-Channel", "1"}}, kPing,
                                  "text/plain");
        return res && res->status == 200 && res->body == kCallDone;
    }

    static double millisecondsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    }

    // The value below which `share` of the sorted figures lie.
    static double percentile(std::vector<double> ms, double share) {
        std::sort(ms.begin(), ms.end());
        const auto at = static_cast<std::size_t>(std::ceil(share * ms.size())) - 1;
        return ms[std::min(at, ms.size() - 1)];
    }
};

// The page's round trip: the call goes out, the answer comes back as a pushed script. Each of
// the two small writes waiting for a delayed acknowledgement would add some 40 ms.
TEST_F(LoopbackBrowserLoad, PingRoundTripsDoNotWaitForAcknowledgements) {
    constexpr int kRounds = 100;
    EventStream stream(port(), kEventsPath);
    ASSERT_TRUE(stream.waitFor(kHello));
    auto rounds = std::async(std::launch::async, [&, port = port()] {
        auto cli = pageClient(port);
        std::vector<double> ms;
        for (int i = 1; i <= kRounds; ++i) {
            const auto start = std::chrono::steady_clock::now();
            if (!ping(cli) || !stream.waitFor(kPongEvent, i))
                break;
            ms.push_back(millisecondsSince(start));
        }
        return ms;
    });
    host::pumpUntil([&] { return rounds.wait_for(0s) == std::future_status::ready; }, 60s);
    const std::vector<double> ms = rounds.get();
    ASSERT_EQ(ms.size(), static_cast<std::size_t>(kRounds));
    const double median = percentile(ms, 0.5);
    std::cout << "ping round trip over 127.0.0.1: median " << median << " ms, p99 "
              << percentile(ms, 0.99) << " ms\n";
    EXPECT_LT(median, 10.0);
}

// Many pages listening (tabs, or any site's page opening streams to the port) must not stop the
// calls: streams are bounded and calls keep threads of their own.
TEST_F(LoopbackBrowserLoad, CallsKeepAnsweringWhileManyPagesListen) {
    constexpr int kStreams = 40;
    constexpr int kCallers = 32;
    constexpr int kCallsEach = TW_SANITIZED ? 50 : 200;
    std::vector<std::unique_ptr<EventStream>> streams;
    for (int i = 0; i < kStreams; ++i) {
        streams.push_back(std::make_unique<EventStream>(port(), kEventsPath));
        ASSERT_TRUE(streams.back()->waitFor(kHello)) << i;
    }

    struct Calls {
        std::vector<double> ms;
        int failed = 0;
    };
    std::vector<std::future<Calls>> callers;
    for (int c = 0; c < kCallers; ++c) {
        callers.push_back(std::async(std::launch::async, [port = port()] {
            auto cli = pageClient(port);
            Calls calls;
            for (int i = 0; i < kCallsEach; ++i) {
                const auto start = std::chrono::steady_clock::now();
                calls.failed += ping(cli) ? 0 : 1;
                calls.ms.push_back(millisecondsSince(start));
            }
            return calls;
        }));
    }
    const auto start = std::chrono::steady_clock::now();
    const bool done = host::pumpUntil(
        [&] {
            return std::all_of(callers.begin(), callers.end(), [](const auto& caller) {
                return caller.wait_for(0s) == std::future_status::ready;
            });
        },
        90s);
    const double wallMs = millisecondsSince(start);
    ASSERT_TRUE(done);

    std::vector<double> ms;
    int failed = 0;
    for (auto& caller : callers) {
        Calls calls = caller.get();
        ms.insert(ms.end(), calls.ms.begin(), calls.ms.end());
        failed += calls.failed;
    }
    const double p99 = percentile(ms, 0.99);
    std::cout << kCallers << " callers x " << kCallsEach << " pings, " << kStreams
              << " streams opened: p50 " << percentile(ms, 0.5) << " ms, p99 " << p99 << " ms, max "
              << percentile(ms, 1.0) << " ms, " << wallMs << " ms in all\n";
    EXPECT_EQ(failed, 0);
    if (!TW_SANITIZED) {
        EXPECT_LT(p99, 50.0);
    }

    // The newest pages listened all along and got every answer; the older ones were let go.
    const std::size_t kept = host::LoopbackBrowser::kMaxEventStreams;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        if (i + kept < streams.size()) {
            EXPECT_TRUE(streams[i]->waitForEnd()) << i;
            EXPECT_EQ(loopback::occurrences(streams[i]->text(), kReplaced), 1u) << i;
        } else {
            EXPECT_TRUE(streams[i]->waitFor(kPongEvent, kCallers * kCallsEach))
                << "stream " << i << " got "
                << loopback::occurrences(streams[i]->text(), kPongEvent);
        }
    }
}

}  // namespace
