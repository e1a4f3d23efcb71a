// The loopback browser control: what it serves, what it refuses, and the page channel both ways,
// driven with plain HTTP clients while the test's main loop runs the program's side.

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DG.h"
#include "HostTestApi.h"
#include "LoopbackBrowser.h"
#include "PageFolder.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kPage =
    "<!DOCTYPE html>\n<html>\n<HEAD lang=\"pl\">\n<title>t</title>\n"
    "</head>\n<body></body>\n</html>\n";
constexpr const char* kSecret = "tajne";

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

}  // namespace
