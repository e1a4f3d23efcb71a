// Scripted mode: the commands, the events they give and the loop that reads them.

#include "ScriptMode.h"

#include <chrono>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ACAPinc.h"
#include "AddOn.h"
#include "HostTestApi.h"
#include "ProjectDump.h"

namespace twhost {
namespace {

using json = nlohmann::json;
using out_json = nlohmann::ordered_json;  // events keep their members in the documented order

// ---- Output -------------------------------------------------------------------------------------

std::string lineOf(const out_json& event) {
    return event.dump(-1, ' ', false, out_json::error_handler_t::replace);
}

void emit(const out_json& event) {
    std::cout << lineOf(event) << '\n' << std::flush;
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

}  // namespace

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

std::string alertLine(const host::AlertRecord& alert) {
    return lineOf(alertJson(alert));
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

}  // namespace twhost
