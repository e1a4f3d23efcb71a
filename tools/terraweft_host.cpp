// terraweft-host: the stand-in host program with the add-on linked in.
//
//   terraweft-host --serve [--port N] [--cloud]
//                                  serves the map palette's page (and with --cloud the point-cloud
//                                  palette's page too) on 127.0.0.1 for a real browser: prints the
//                                  map page's address as its first line (then the point-cloud
//                                  page's), then every line of the report window and every alert
//                                  (as scripted mode's alert event); runs until SIGINT or
//                                  SIGTERM. Without --port any free port is taken. Commands of
//                                  scripted mode on standard input are carried out too, their
//                                  events written among the report lines (the user's Undo, a
//                                  look into the project).
//
//   terraweft-host --script FILE   reads one JSON command per line from FILE ("-": standard
//                                  input) and writes one JSON line per event to standard output.
//
// Commands:
//   {"cmd":"menu","menu":32500,"item":1}          the user picks a menu item
//   {"cmd":"palette","palette":"map","message":6} the host sends a palette message (7 answers
//                                                 {"palette":"map","visible":true|false})
//   {"cmd":"post","palette":"map","text":"..."}   the page calls GIS.postMessage(text)
//   {"cmd":"pump","ms":200}                       the main loop runs posted tasks for ms
//   {"cmd":"pump","ms":9000,"until":"fetchDone"}  ... or until a page receives a message of
//                                                 that type, whichever comes first
//   {"cmd":"projectEvent","event":64}             the host reports a project event
//   {"cmd":"dump"}                                {"project":{...}}: layers, elements,
//   geo-location,
//                                                 selection (element positions), undo depth
//   {"cmd":"addPolyline","points":[[x,y],...],"layer":1,"floor":0,"arcs":[[beg,end,angle]]}
//   {"cmd":"addText","loc":[x,y],"text":"...","layer":1,"floor":0}
//                                                 add an element to the project (layer, floor
//                                                 and arcs optional; arc ends 1-based)
//   {"cmd":"select","elements":[0,2]}             selects elements by their position in the dump
//   {"cmd":"answers","buttons":[1,2]}             the user's answers to the next alerts
//   {"cmd":"undo"}                                the user undoes the last command
// Events:
//   {"palette":"map","js":"GISBridge.receive(...);"}  every script run in a page
//   {"report":"..."}                                  every line of the report window
//   {"alert":{"kind":...,"text":...,"small":...,"buttons":[...],"answer":n}}  every alert shown
//                                                 (with "title" and "type" when it has a title)
//   {"error":"..."}                                   a command that could not be carried out

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "ACAPinc.h"
#include "AddOnMain.h"
#include "AddOnResources.h"
#include "HostTestApi.h"
#include "LoopbackBrowser.h"
#include "MapPalette.h"
#include "ProjectDump.h"
#include "cloud_ui/CloudPalette.h"

namespace {

using json = nlohmann::json;
using out_json = nlohmann::ordered_json;  // events keep their members in the documented order

// ---- The add-on, as the host loads it -----------------------------------------------------------

// Installs the add-on's resources as its own module, then calls its entry points in the host's
// order. Returns the first error.
GSErrCode loadAddOn() {
    host::installResources(addOnResources());
    API_EnvirParams envir{};
    CheckEnvironment(&envir);
    if (const GSErrCode err = RegisterInterface())
        return err;
    return Initialize();
}

// The palettes by the names the script uses.
const std::map<std::string, GS::Guid>& palettes() {
    static const std::map<std::string, GS::Guid> names = {{"map", MapPalette::Guid()},
                                                          {"cloud", CloudPalette::Guid()}};
    return names;
}

// ---- Output -------------------------------------------------------------------------------------

void emit(const out_json& event) {
    std::cout << event.dump(-1, ' ', false, out_json::error_handler_t::replace) << '\n'
              << std::flush;
}

std::string paletteName(const GS::Guid& guid) {
    for (const auto& [name, g] : palettes()) {
        if (g == guid)
            return name;
    }
    return guid.ToUniString().ToUtf8();
}

// ---- Commands -----------------------------------------------------------------------------------

// The palette a command names; throws a message for the user when there is none.
const GS::Guid& paletteOf(const json& command) {
    const std::string name = command.value("palette", "");
    const auto it = palettes().find(name);
    if (it == palettes().end())
        throw std::runtime_error("Nieznana paleta: " + name);
    return it->second;
}

void paletteCommand(const json& command) {
    const GS::Guid& guid = paletteOf(command);
    const auto message = static_cast<API_PaletteMessageID>(command.at("message").get<int>());
    bool visible = false;
    host::paletteMessage(GSGuid2APIGuid(guid), message, reinterpret_cast<GS::IntPtr>(&visible));
    if (message == APIPalMsg_IsPaletteVisible) {
        emit({{"palette", command.at("palette")}, {"visible", visible}});
    }
}

void postCommand(const json& command) {
    const GS::Guid& guid = paletteOf(command);
    host::BrowserBackend* page = host::browserOf(guid);
    if (page == nullptr)
        throw std::runtime_error("Paleta nie jest otwarta: " + command.value("palette", ""));
    const std::string text = command.at("text").get<std::string>();
    page->CallFromPage("GIS", "postMessage", GS::NewRef<JS::Value>(GS::UniString(text)));
}

API_Coord coordOf(const json& pair) {
    return {pair.at(0).get<double>(), pair.at(1).get<double>()};
}

void addPolylineCommand(const json& command) {
    std::vector<API_Coord> points;
    for (const json& p : command.at("points"))
        points.push_back(coordOf(p));
    std::vector<API_PolyArc> arcs;
    for (const json& a : command.value("arcs", json::array()))
        arcs.push_back({a.at(0).get<Int32>(), a.at(1).get<Int32>(), a.at(2).get<double>()});
    host::addPolyline(points, command.value("layer", 1), command.value("floor", short{0}), arcs);
}

void addTextCommand(const json& command) {
    host::addText(coordOf(command.at("loc")), command.at("text").get<std::string>(),
                  command.value("layer", 1), command.value("floor", short{0}));
}

void selectCommand(const json& command) {
    const auto all = host::elements();
    std::vector<API_Guid> selected;
    for (const json& index : command.at("elements")) {
        const std::size_t i = index.get<std::size_t>();
        if (i >= all.size())
            throw std::runtime_error("Nie ma elementu " + std::to_string(i));
        selected.push_back(all[i].element.header.guid);
    }
    host::setSelection(selected);
}

void undoCommand() {
    if (!host::undo())
        throw std::runtime_error("Nie ma czego cofnac");
}

// How many messages of each "type" the pages received ("pump" waits for them).
std::map<std::string, std::size_t>& receivedTypes() {
    static std::map<std::string, std::size_t> counts;
    return counts;
}

// Counts the message of a page script "GISBridge.receive({...});".
void countMessage(const std::string& script) {
    static const std::string head = "GISBridge.receive(", tail = ");";
    if (!script.starts_with(head) || !script.ends_with(tail))
        return;
    const json message = json::parse(
        script.substr(head.size(), script.size() - head.size() - tail.size()), nullptr, false);
    if (message.is_object() && message.contains("type") && message["type"].is_string())
        ++receivedTypes()[message["type"].get<std::string>()];
}

void pumpCommand(const json& command) {
    const std::chrono::milliseconds most(command.value("ms", 0));
    if (!command.contains("until")) {
        host::pumpFor(most);
        return;
    }
    const std::string type = command.at("until").get<std::string>();
    const std::size_t before = receivedTypes()[type];
    host::pumpUntil([&] { return receivedTypes()[type] > before; }, most);
}

// {"alert":{"kind","text","small","buttons","answer"}}, with "title" and "type" for an alert
// that has a title.
out_json alertJson(const host::AlertRecord& a) {
    out_json alert = {{"kind", a.kind},
                      {"text", a.largeText},
                      {"small", a.smallText},
                      {"buttons", a.buttons},
                      {"answer", a.answer}};
    if (!a.title.empty()) {
        alert["title"] = a.title;
        alert["type"] = a.type;
    }
    return {{"alert", alert}};
}

// Emits the alerts shown since the last call; shown counts those already emitted.
void emitNewAlerts(std::size_t& shown) {
    const auto alerts = host::alerts();
    for (; shown < alerts.size(); ++shown)
        emit(alertJson(alerts[shown]));
}

void run(const json& command) {
    const std::string cmd = command.at("cmd").get<std::string>();
    if (cmd == "menu") {
        host::chooseMenu(command.at("menu").get<short>(), command.at("item").get<short>());
    } else if (cmd == "palette") {
        paletteCommand(command);
    } else if (cmd == "post") {
        postCommand(command);
    } else if (cmd == "pump") {
        pumpCommand(command);
    } else if (cmd == "projectEvent") {
        host::projectEvent(static_cast<API_NotifyEventID>(command.at("event").get<int>()));
    } else if (cmd == "addPolyline") {
        addPolylineCommand(command);
    } else if (cmd == "addText") {
        addTextCommand(command);
    } else if (cmd == "select") {
        selectCommand(command);
    } else if (cmd == "answers") {
        host::scriptAlertAnswers(command.at("buttons").get<std::vector<short>>());
    } else if (cmd == "undo") {
        undoCommand();
    } else if (cmd == "dump") {
        emit({{"project", host::projectJson()}});
    } else {
        throw std::runtime_error("Nieznane polecenie: " + cmd);
    }
}

// Carries out one line of commands; a command that cannot be carried out is an error event.
void runLine(const std::string& line) {
    if (line.find_first_not_of(" \t\r") == std::string::npos)
        return;
    const json command = json::parse(line, nullptr, false);
    if (!command.is_object()) {
        emit({{"error", "Nieprawidlowe polecenie (JSON): " + line}});
        return;
    }
    try {
        run(command);
    } catch (const std::exception& e) {
        emit({{"error", e.what()}});
    } catch (const GS::Exception& e) {
        emit({{"error", e.GetMessage()}});
    }
}

int runScript(std::istream& in) {
    host::setScriptListener([](const GS::Guid& palette, const std::string& script) {
        emit({{"palette", paletteName(palette)}, {"js", script}});
        countMessage(script);
    });
    host::setReportListener([](const std::string& line) { emit({{"report", line}}); });
    if (const GSErrCode err = loadAddOn()) {
        emit({{"error", "Dodatek nie zaladowal sie (kod " + std::to_string(err) + ")"}});
        return 1;
    }
    std::size_t alertsShown = 0;
    for (std::string line; std::getline(in, line);) {
        runLine(line);
        emitNewAlerts(alertsShown);
    }
    host::pump();
    return 0;
}

// ---- Serve mode ---------------------------------------------------------------------------------

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int) {
    stopRequested = 1;
}

// The lines of standard input as they arrive, read without waiting for more.
class InputLines {
public:
    // The whole lines that arrived since the last call (the last one also unended once the
    // input has ended).
    std::vector<std::string> ready() {
        pollfd input{STDIN_FILENO, POLLIN, 0};
        while (open_ && poll(&input, 1, 0) > 0) {
            char chunk[4096];
            const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
            if (n <= 0) {
                open_ = false;
                pending_ += '\n';
            } else {
                pending_.append(chunk, static_cast<std::size_t>(n));
            }
        }
        std::vector<std::string> lines;
        for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
            lines.push_back(pending_.substr(0, end));
            pending_.erase(0, end + 1);
        }
        return lines;
    }

private:
    std::string pending_;
    bool open_ = true;
};

struct ServeOptions {
    int port = 0;
    bool cloud = false;
};

// The options after "--serve", or nothing when they cannot be read.
std::optional<ServeOptions> serveOptionsOf(const std::vector<std::string>& args) {
    ServeOptions options;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--cloud") {
            options.cloud = true;
        } else if (args[i] == "--port" && i + 1 < args.size()) {
            const std::string& text = args[++i];
            if (text.empty() || text.size() > 5 ||
                text.find_first_not_of("0123456789") != std::string::npos)
                return std::nullopt;
            options.port = std::stoi(text);
            if (options.port > 65535)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

// Opens the palette as the host does and gives its page's address; throws why there is none.
std::string openServedPalette(const GS::Guid& guid) {
    host::paletteMessage(GSGuid2APIGuid(guid), APIPalMsg_OpenPalette);
    const auto* page = dynamic_cast<const host::LoopbackBrowser*>(host::browserOf(guid));
    if (page == nullptr)
        throw std::runtime_error("Paleta " + paletteName(guid) + " nie otworzyla sie");
    if (!page->Error().empty())
        throw std::runtime_error(page->Error());
    if (page->PageAddress().empty())
        throw std::runtime_error("Strona palety " + paletteName(guid) + " nie zaladowala sie");
    return page->PageAddress();
}

int runServe(const ServeOptions& options) {
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    std::signal(SIGPIPE, SIG_IGN);
    host::setBrowserBackendFactory([port = options.port](DG::Browser& browser) {
        const bool mapPage = browser.GetPanel().GetGuid() == MapPalette::Guid();
        return std::make_unique<host::LoopbackBrowser>(
            browser, host::LoopbackBrowser::Options{mapPage ? port : 0});
    });
    // Report lines written before the addresses are known wait, so that the map page's address
    // is always the first line.
    std::vector<std::string> waiting;
    bool serving = false;
    const auto print = [&](const std::string& line) {
        if (serving)
            std::cout << line << std::endl;
        else
            waiting.push_back(line);
    };
    host::setReportListener(print);
    host::setAlertListener([&print](const host::AlertRecord& alert) {
        print(alertJson(alert).dump(-1, ' ', false, out_json::error_handler_t::replace));
    });
    std::vector<std::string> addresses;
    try {
        if (const GSErrCode err = loadAddOn())
            throw std::runtime_error("Dodatek nie zaladowal sie (kod " + std::to_string(err) + ")");
        addresses.push_back(openServedPalette(MapPalette::Guid()));
        if (options.cloud)
            addresses.push_back(openServedPalette(CloudPalette::Guid()));
    } catch (const std::exception& e) {
        for (const std::string& line : waiting)
            std::cerr << line << '\n';
        std::cerr << "terraweft-host: " << e.what() << '\n';
        return 1;
    }
    for (const std::string& line : addresses)
        std::cout << line << '\n';
    for (const std::string& line : waiting)
        std::cout << line << '\n';
    std::cout << std::flush;
    serving = true;

    InputLines input;
    while (stopRequested == 0) {
        host::pumpFor(std::chrono::milliseconds(100));
        for (const std::string& line : input.ready())
            runLine(line);
    }
    host::projectEvent(APINotify_Quit);
    host::pump();
    host::setReportListener({});
    host::setAlertListener({});
    return 0;
}

int usage() {
    std::cerr << "uzycie: terraweft-host --script PLIK|-\n"
                 "       terraweft-host --serve [--port N] [--cloud]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--script") {
        if (args[1] == "-")
            return runScript(std::cin);
        std::ifstream file(args[1]);
        if (!file) {
            std::cerr << "terraweft-host: nie mozna otworzyc " << args[1] << '\n';
            return 1;
        }
        return runScript(file);
    }
    if (!args.empty() && args[0] == "--serve") {
        const std::optional<ServeOptions> options = serveOptionsOf(args);
        return options ? runServe(*options) : usage();
    }
    return usage();
}
