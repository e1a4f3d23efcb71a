// terraweft-host in scripted mode, end to end: commands in, one JSON line per event out.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <future>
#include <nlohmann/json.hpp>
#include <sstream>

#include "geodata/ProjConv.h"
#include "support/PalettePage.h"
#include "support/TempDir.h"
#include "support/fakes/BuildingScene.h"
#include "support/fakes/Scenario.h"

extern char** environ;

namespace {

using json = nlohmann::json;

// Runs terraweft-host on the script lines; returns its output lines as JSON and its exit code.
struct HostRun {
    std::vector<json> events;
    int exitCode = -1;
};

// The environment of the spawned program: this process's, with the assignments given
// ("NAME=value") replacing those of the same names.
std::vector<std::string> environmentWith(const std::vector<std::string>& assignments) {
    std::vector<std::string> env = assignments;
    const auto named = [&assignments](const std::string& entry) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        for (const std::string& a : assignments) {
            if (a.starts_with(name))
                return true;
        }
        return false;
    };
    for (char** e = environ; *e != nullptr; ++e) {
        if (!named(*e))
            env.emplace_back(*e);
    }
    return env;
}

// Runs terraweft-host on the script lines with its own folders and the further environment
// assignments; returns its output lines as JSON and its exit code. Runs may go side by side.
HostRun runHost(const std::vector<std::string>& script,
                const std::vector<std::string>& assignments = {}) {
    loopback::TempDir dir;
    const std::string in = dir.file("script.jsonl"), out = dir.file("out.jsonl");
    {
        std::ofstream file(in);
        for (const auto& line : script)
            file << line << '\n';
    }
    std::vector<std::string> own = {"HOME=" + dir.path(), "TMPDIR=" + dir.path(),
                                    "XDG_DATA_HOME=" + dir.path()};
    own.insert(own.end(), assignments.begin(), assignments.end());
    std::vector<std::string> env = environmentWith(own);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string program = TW_HOST_PROGRAM, flag = "--script", path = in;
    std::vector<char*> argv{program.data(), flag.data(), path.data(), nullptr};
    pid_t pid = 0;
    HostRun run;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    std::ifstream output(out);
    for (std::string line; std::getline(output, line);) {
        json event = json::parse(line, nullptr, false);
        EXPECT_FALSE(event.is_discarded()) << line;
        run.events.push_back(std::move(event));
    }
    return run;
}

// The message a page received, out of a {"palette":..., "js":"GISBridge.receive(...);"} event.
json pageMessage(const json& event) {
    return pagekit::messageOf(event.at("js"));
}

std::string post(const std::string& text) {
    return json{{"cmd", "post"}, {"palette", "map"}, {"text", text}}.dump();
}

TEST(HostProgram, ThePaletteAnswersPingAndUnknownTypes) {
    const HostRun run =
        runHost({R"({"cmd":"menu","menu":32500,"item":1})", post(R"({"type":"ping"})"),
                 post(R"({"type":"nic"})"), R"({"cmd":"palette","palette":"map","message":7})",
                 R"({"cmd":"pump","ms":10})"});
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.events.size(), 3u);
    EXPECT_EQ(run.events[0].at("palette"), "map");
    const json pong = pageMessage(run.events[0]);
    EXPECT_EQ(pong.at("type"), "pong");
    EXPECT_EQ(pong.at("wersja"), "1.8.0");
    EXPECT_EQ(pageMessage(run.events[1]),
              json({{"msg", "Brak obslugi wiadomosci: nic"}, {"type", "error"}}));
    EXPECT_EQ(run.events[2], json({{"palette", "map"}, {"visible", true}}));
}

TEST(HostProgram, PaletteMessagesProjectEventsAndTheProjectDump) {
    const HostRun run = runHost({R"({"cmd":"palette","palette":"map","message":6})",
                                 R"({"cmd":"palette","palette":"map","message":1})",
                                 R"({"cmd":"palette","palette":"map","message":7})",
                                 R"({"cmd":"projectEvent","event":64})", post(R"({"type":"ping"})"),
                                 R"({"cmd":"dump"})"});
    ASSERT_EQ(run.events.size(), 3u);
    EXPECT_EQ(run.events[0], json({{"palette", "map"}, {"visible", false}}));
    EXPECT_EQ(run.events[1], json({{"error", "Paleta nie jest otwarta: map"}}));  // released by 64
    const json& project = run.events[2].at("project");
    EXPECT_EQ(project.at("layers"),
              json::parse(R"([{"index":1,"name":"Warstwa podstawowa","flags":0}])"));
    EXPECT_EQ(project.at("elements"), json::array());
    EXPECT_EQ(project.at("geoLocation").at("crs").at("name"), "");
}

TEST(HostProgram, BadCommandsAreReportedAndTheRestStillRuns) {
    const HostRun run = runHost({"nie json", "", R"({"cmd":"zly"})",
                                 R"({"cmd":"post","palette":"chmura","text":"{}"})",
                                 R"({"cmd":"menu","menu":32500,"item":1})", post("")});
    ASSERT_EQ(run.events.size(), 4u);
    EXPECT_EQ(run.events[0], json({{"error", "Nieprawidlowe polecenie (JSON): nie json"}}));
    EXPECT_EQ(run.events[1], json({{"error", "Nieznane polecenie: zly"}}));
    EXPECT_EQ(run.events[2], json({{"error", "Nieznana paleta: chmura"}}));
    EXPECT_EQ(pageMessage(run.events[3]).at("msg"), "Nieprawidlowa wiadomosc z UI (JSON)");
}

}  // namespace

namespace {

std::string addSquare() {
    return R"({"cmd":"addPolyline","points":[[0,0],[2,0],[2,2],[0,2],[0,0]]})";
}
std::string addLabel() {
    return R"({"cmd":"addText","loc":[1,1],"text":"A"})";
}

TEST(HostProgram, MenuItemThreeRemovesDuplicatesInOneUndoStep) {
    const HostRun run = runHost({addSquare(), addSquare(), addSquare(), addLabel(), addLabel(),
                                 R"({"cmd":"menu","menu":32500,"item":3})", R"({"cmd":"dump"})",
                                 R"({"cmd":"undo"})", R"({"cmd":"dump"})"});
    ASSERT_EQ(run.events.size(), 4u);
    EXPECT_EQ(run.events[0].at("alert").at("buttons"), json({"Uruchom", "Anuluj"}));
    EXPECT_EQ(run.events[0].at("alert").at("answer"), 1);
    EXPECT_EQ(run.events[1].at("alert").at("text"),
              "Usunieto duplikaty:\n- polilinie: 2\n- teksty: 1");
    const json& after = run.events[2].at("project");
    ASSERT_EQ(after.at("elements").size(), 2u);
    EXPECT_EQ(after.at("elements")[0].at("type"), 20);
    EXPECT_EQ(after.at("elements")[1].at("text"), "A");
    EXPECT_EQ(after.at("undoDepth"), 1);
    EXPECT_EQ(run.events[3].at("project").at("elements").size(), 5u) << "one undo restores all";
}

TEST(HostProgram, SelectionAlertAnswersAndUndoAreScripted) {
    const HostRun run =
        runHost({addSquare(), addSquare(), addSquare(), R"({"cmd":"select","elements":[1,2]})",
                 R"({"cmd":"answers","buttons":[2,1]})", R"({"cmd":"menu","menu":32500,"item":3})",
                 R"({"cmd":"menu","menu":32500,"item":3})", R"({"cmd":"dump"})",
                 R"({"cmd":"select","elements":[7]})", R"({"cmd":"undo"})", R"({"cmd":"undo"})"});
    ASSERT_EQ(run.events.size(), 6u);
    EXPECT_EQ(run.events[0].at("alert").at("answer"), 2) << "Anuluj: nothing further";
    EXPECT_EQ(run.events[1].at("alert").at("answer"), 1);
    EXPECT_EQ(run.events[2].at("alert").at("text"),
              "Usunieto duplikaty:\n- polilinie: 1\n- teksty: 0");
    const json& project = run.events[3].at("project");
    EXPECT_EQ(project.at("elements").size(), 2u) << "only the selection was cleaned";
    EXPECT_EQ(project.at("selection"), json::array({1}));
    EXPECT_EQ(run.events[4], json({{"error", "Nie ma elementu 7"}}));
    EXPECT_EQ(run.events[5], json({{"error", "Nie ma czego cofnac"}}));
}

}  // namespace

namespace {

// The messages the map page received, in order.
std::vector<json> pageMessages(const HostRun& run) {
    std::vector<json> messages;
    for (const json& event : run.events) {
        if (event.contains("js"))
            messages.push_back(pageMessage(event));
    }
    return messages;
}

std::vector<std::string> reports(const HostRun& run) {
    std::vector<std::string> lines;
    for (const json& event : run.events) {
        if (event.contains("report"))
            lines.push_back(event.at("report"));
    }
    return lines;
}

// Three runs side by side against the fakes of the built-in scenario: a whole fetch, the same
// with a county that lists no buildings, and a fetch cancelled while it runs.
TEST(HostProgram, FetchAgainstTheFakeServicesFallbackAndCancel) {
    const fakes::Scenario demo = fakes::demoScenario();
    fakes::Hosts full, withoutBuildings;
    fakes::serveScenario(full, demo);
    fakes::serveScenario(withoutBuildings, demo, {.countyBuildings = false});
    const std::string open = R"({"cmd":"menu","menu":32500,"item":1})";
    const std::string fetch = post(
        json{{"type", "fetch"}, {"bboxWgs84", demo.frameWgs84}, {"layers", {"dzialki", "budynki"}}}
            .dump());
    const std::string wait = R"({"cmd":"pump","ms":30000,"until":"fetchDone"})";
    auto whole = std::async(std::launch::async, runHost,
                            std::vector<std::string>{open, fetch, wait}, full.environment());
    auto fallback =
        std::async(std::launch::async, runHost, std::vector<std::string>{open, fetch, wait},
                   withoutBuildings.environment());
    auto cancelled =
        std::async(std::launch::async, runHost,
                   std::vector<std::string>{open, fetch, post(R"({"type":"cancel"})"), wait},
                   full.environment());

    const HostRun run = whole.get();
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<json> messages = pageMessages(run);
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ(
        messages.front(),
        json({{"type", "progress"}, {"done", 0}, {"total", 1}, {"label", "Pobieranie warstw"}}));
    EXPECT_EQ(messages[1].at("label"), "Import: dzialki");
    const json& done = messages.back();
    EXPECT_EQ(done.at("type"), "fetchDone");
    EXPECT_EQ(done.at("counts"), json({{"dzialki", 36}, {"budynki", 36}}));
    EXPECT_EQ(json::parse(done.at("geojson").get<std::string>()).at("features").size(), 72u);
    EXPECT_FALSE(done.contains("warning"));
    ASSERT_EQ(reports(run).size(), 1u);
    EXPECT_TRUE(reports(run)[0].starts_with("TERRAWEFT EGiB [TERYT 146501] ")) << reports(run)[0];

    const HostRun fell = fallback.get();
    const json fellDone = pageMessages(fell).back();
    EXPECT_EQ(fellDone.at("counts"), json({{"dzialki", 36}, {"budynki", 3}}));
    const std::string warning =
        "Powiatowa usluga zwraca dzialki, ale nie filtruje budynkow po obszarze (blad "
        "konfiguracji serwera powiatu - np. Zabrze). Budynki z BDOT10k NoweBudynki (fallback - "
        "tylko nowe obiekty).";
    EXPECT_EQ(fellDone.at("warning"), warning);
    EXPECT_EQ(reports(fell).back(), "TERRAWEFT: " + warning);

    const std::vector<json> stopped = pageMessages(cancelled.get());
    ASSERT_GE(stopped.size(), 3u);
    EXPECT_EQ(stopped[0].at("type"), "progress");
    EXPECT_EQ(stopped[1], json({{"type", "cancelled"}})) << "answered while the fetch runs";
    EXPECT_EQ(stopped.back().at("type"), "fetchDone") << "a cancelled fetch still completes";
}

// A fetch of every building, roof, bridge and road kind against a scene of buildings whose roofs
// are known.
TEST(HostProgram, EveryBuildingRoofBridgeAndRoadKindIsFetched) {
    const fakes::Scenario demo = fakes::demoScenario();
    fakes::Hosts hosts;
    fakes::serveBoundaries(hosts, {fakes::municipality(demo.teryt, demo.municipalityArea)});
    fakes::serveBuildingScene(
        hosts, fakes::buildingScene("1465", ProjConv::latLonToPl1992(52.2297, 21.0122)));
    const HostRun run = runHost({R"({"cmd":"menu","menu":32500,"item":1})",
                                 post(json{{"type", "fetch"},
                                           {"bboxWgs84", demo.frameWgs84},
                                           {"layers",
                                            {"budynki3d", "budynkilod2", "budynkindsm", "mosty",
                                             "drogi", "dachychmura", "budynkirekon"}}}
                                          .dump()),
                                 R"({"cmd":"pump","ms":60000,"until":"fetchDone"})"},
                                hosts.environment());
    EXPECT_EQ(run.exitCode, 0);
    const json done = pageMessages(run).back();
    EXPECT_EQ(done.at("type"), "fetchDone");
    EXPECT_EQ(done.at("counts"), json({{"budynki3d", 4},
                                       {"budynkilod2", 2},
                                       {"dachychmura", 4},
                                       {"budynkindsm", 4},
                                       {"budynkirekon", 4},
                                       {"mosty", 1},
                                       {"drogi", 1}}));
    EXPECT_FALSE(done.contains("warning")) << done;
}

}  // namespace
