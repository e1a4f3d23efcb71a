// terraweft-host in serve mode, end to end: the page's address first, the palettes' pages over HTTP
// with the real bridge behind them, and a clean stop on SIGTERM.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "fakes/Town.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"
#include "support/PalettePage.h"

extern char** environ;

namespace {

using json = nlohmann::json;
using namespace std::chrono_literals;

// terraweft-host --serve with its standard input and output on pipes, in a folder of its own;
// stopped with SIGTERM at the end of the scope if the test has not stopped it.
class ServedHost {
public:
    explicit ServedHost(std::vector<std::string> options) {
        loopback::ScopedEnv home("HOME", dir_.path().c_str());
        loopback::ScopedEnv tmp("TMPDIR", dir_.path().c_str());
        loopback::ScopedEnv data("XDG_DATA_HOME", dir_.path().c_str());
        int fds[2];
        int commands[2];
        if (pipe(fds) != 0 || pipe(commands) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_adddup2(&actions, commands[0], 0);
        posix_spawn_file_actions_addclose(&actions, commands[1]);
        std::vector<std::string> args{TW_HOST_PROGRAM, "--serve"};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        close(commands[0]);
        out_ = fds[0];
        in_ = commands[1];
    }

    ~ServedHost() {
        stop();
        if (out_ >= 0)
            close(out_);
        if (in_ >= 0)
            close(in_);
    }

    // Writes one line to the program's standard input.
    void send(const std::string& line) {
        const std::string text = line + "\n";
        EXPECT_EQ(write(in_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    ServedHost(const ServedHost&) = delete;
    ServedHost& operator=(const ServedHost&) = delete;

    // The next line of output, waiting up to the timeout; nothing at its end or on timeout.
    std::optional<std::string> line(std::chrono::milliseconds timeout = 20s) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (true) {
            if (const auto end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd p{out_, POLLIN, 0};
            if (left <= 0ms || poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return std::nullopt;
            char chunk[4096];
            const ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0)
                return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Sends SIGTERM and gives the exit code (-1 when it did not exit normally).
    int stop() {
        if (pid_ <= 0)
            return -1;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    loopback::TempDir dir_;
    pid_t pid_ = 0;
    int out_ = -1;
    int in_ = -1;
    std::string buffer_;
};

struct Address {
    std::string host;
    int port = 0;
    std::string path;
};

std::optional<Address> addressOf(const std::string& url) {
    static const std::regex pattern(R"(http://(127\.0\.0\.1):(\d+)(/[A-Za-z0-9._-]+))");
    std::smatch m;
    if (!std::regex_match(url, m, pattern))
        return std::nullopt;
    return Address{m[1], std::stoi(m[2]), m[3]};
}

// The page's side of the channel: listens to the page scripts, then posts one text as
// GIS.postMessage does and gives the first message the program sends back.
json exchange(const Address& page, const std::string& text) {
    std::promise<void> listening;
    auto events = std::async(std::launch::async, [&] {
        httplib::Client client(page.host, page.port);
        std::string received;
        bool first = true;
        client.Get("/__terraweft/events", [&](const char* data, std::size_t length) {
            received.append(data, length);
            if (std::exchange(first, false))
                listening.set_value();
            return received.find("GISBridge.receive(") == std::string::npos;
        });
        return received;
    });
    if (listening.get_future().wait_for(10s) != std::future_status::ready)
        return nullptr;
    httplib::Client client(page.host, page.port);
    const auto reply =
        client.Post("/__terraweft/call?o=GIS&f=postMessage&t=string",
                    httplib::Headers{{"X-Terraweft-Channel", "1"}}, text, "text/plain");
    EXPECT_TRUE(reply && reply->status == 200);
    if (events.wait_for(10s) != std::future_status::ready)
        return nullptr;
    const std::string stream = events.get();
    const std::size_t start = stream.find("data: ") + 6;
    return pagekit::messageOf(stream.substr(start, stream.find('\n', start) - start));
}

TEST(HostServeMode, PrintsThePageAddressFirstAndServesThePageWithItsBridge) {
    ServedHost program({});
    const std::optional<std::string> first = program.line();
    ASSERT_TRUE(first);
    const std::optional<Address> page = addressOf(*first);
    ASSERT_TRUE(page) << *first;
    EXPECT_EQ(page->path, "/map.html");

    httplib::Client client(page->host, page->port);
    const auto html = client.Get(page->path.c_str());
    ASSERT_TRUE(html);
    EXPECT_EQ(html->status, 200);
    EXPECT_NE(html->body.find("<div id=\"map\">"), std::string::npos);

    const json pong = exchange(*page, R"({"type":"ping"})");
    EXPECT_EQ(pong.value("type", ""), "pong");
    EXPECT_EQ(pong.value("wersja", ""), "1.8.0");
    EXPECT_EQ(program.stop(), 0);
}

// The host's views of the project follow the pages' addresses, served with the libraries the
// build put beside the program.
TEST(HostServeMode, PrintsTheViewsAddressesAfterThePagesAndServesThemWithTheirLibraries) {
    ServedHost program({"--cloud"});
    const std::optional<std::string> map = program.line(), cloud = program.line(),
                                     plan = program.line(), scene = program.line();
    ASSERT_TRUE(map && cloud && plan && scene);
    const std::optional<Address> planView = addressOf(*plan), sceneView = addressOf(*scene);
    ASSERT_TRUE(planView && sceneView) << *plan << ' ' << *scene;
    EXPECT_EQ(planView->path, "/plan.html");
    EXPECT_EQ(sceneView->path, "/3d.html");
    EXPECT_EQ(sceneView->port, planView->port);
    EXPECT_NE(planView->port, addressOf(*map)->port);

    httplib::Client client(planView->host, planView->port);
    for (const char* path : {"/plan.html", "/plan.js", "/3d.html", "/3d.js", "/project.js",
                             "/views.css", "/lib/three.module.js", "/lib/three.core.js",
                             "/lib/controls/OrbitControls.js", "/lib/delaunator.js"}) {
        const auto res = client.Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200) << path;
    }
    const auto dump = client.Get("/project.json");
    ASSERT_TRUE(dump);
    const json project = json::parse(dump->body, nullptr, false);
    EXPECT_TRUE(project["project"]["elements"].is_array()) << dump->body;
    EXPECT_EQ(program.stop(), 0);
}

TEST(HostServeMode, AMessageOverTheSizeLimitGetsTheBridgesInvalidMessageError) {
    ServedHost program({});
    const std::optional<std::string> first = program.line();
    ASSERT_TRUE(first);
    const std::optional<Address> page = addressOf(*first);
    ASSERT_TRUE(page) << *first;
    // A valid ping, padded past the limit: the bridge never sees it whole.
    const std::string padded = R"({"type":"ping","pad":")" + std::string(5u << 20, 'x') + R"("})";
    EXPECT_EQ(exchange(*page, padded),
              json({{"msg", "Nieprawidlowa wiadomosc z UI (JSON)"}, {"type", "error"}}));
}

TEST(HostServeMode, OpensThePointCloudPageWhenAskedOnTheGivenPort) {
    const int port = loopback::unusedPort();
    ServedHost program({"--port", std::to_string(port), "--cloud"});
    const std::optional<std::string> map = program.line();
    const std::optional<std::string> cloud = program.line();
    ASSERT_TRUE(map && cloud);
    EXPECT_EQ(*map, "http://127.0.0.1:" + std::to_string(port) + "/map.html");
    const std::optional<Address> cloudPage = addressOf(*cloud);
    ASSERT_TRUE(cloudPage) << *cloud;
    EXPECT_EQ(cloudPage->path, "/cloud.html");
    EXPECT_EQ(exchange(*cloudPage, R"({"type":"ping"})").value("type", ""), "pong");
}

// The demo opens both pages on its town, whose services answer the add-on in place of the outside
// ones (here the geocoder), and starts with the project georeferenced there.
TEST(HostServeMode, TheDemoOpensOnItsTownAndAnswersForTheOutsideServices) {
    ServedHost program({"--demo"});
    std::vector<std::string> paths;
    std::optional<Address> map;
    for (int i = 0; i < 4; ++i) {
        const std::optional<std::string> line = program.line();
        ASSERT_TRUE(line);
        const std::optional<Address> address = addressOf(*line);
        ASSERT_TRUE(address) << *line;
        paths.push_back(address->path);
        map = map ? map : address;
    }
    EXPECT_EQ(paths,
              (std::vector<std::string>{"/map.html", "/cloud.html", "/plan.html", "/3d.html"}));
    const GisPoint centre = fakes::demoTown(1).centre;  // the same place whatever the seed
    const json init = exchange(*map, R"({"type":"getInit"})");
    EXPECT_EQ(init.value("type", ""), "init") << init;
    EXPECT_NEAR(init.value("lat", 0.0), centre.y, 1e-7);
    EXPECT_NEAR(init.value("lon", 0.0), centre.x, 1e-7);
    const json found = exchange(*map, R"({"type":"searchAddress","query":"Rynek 1"})");
    EXPECT_EQ(found.value("label", ""), "Rynek, Rynek 1, Dynow, rzeszowski") << found;
    program.send(R"({"cmd":"dump"})");
    const std::optional<std::string> dump = program.line();
    ASSERT_TRUE(dump);
    const json geo = json::parse(*dump).at("project").at("geoLocation");
    EXPECT_EQ(geo.at("crs").at("name"), "EPSG:2178") << *dump;
    EXPECT_GT(geo.at("surveyPoint").at("orthogonalHeight").get<double>(), 200.0) << *dump;
    EXPECT_EQ(program.stop(), 0);
}

TEST(HostServeMode, ScriptedCommandsOnStandardInputUndoAndShowTheProject) {
    ServedHost program({});
    for (const char* address : {"map page", "plan view", "3D view"})
        ASSERT_TRUE(program.line()) << address;
    program.send(R"({"cmd":"addPolyline","points":[[0,0],[1,0]]})");
    program.send(R"({"cmd":"dump"})");
    const std::optional<std::string> dump = program.line();
    ASSERT_TRUE(dump);
    EXPECT_EQ(json::parse(*dump).at("project").at("elements").size(), 1u) << *dump;
    program.send(R"({"cmd":"undo"})");
    program.send("niejson");
    EXPECT_EQ(program.line(), R"({"error":"Nie ma czego cofnac"})");
    EXPECT_EQ(program.line(), R"({"error":"Nieprawidlowe polecenie (JSON): niejson"})");
    EXPECT_EQ(program.stop(), 0);
}

}  // namespace
