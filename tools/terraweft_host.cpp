// terraweft-host: the stand-in host program with the add-on linked in.
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
//   {"cmd":"projectEvent","event":64}             the host reports a project event
//   {"cmd":"dump"}                                {"project":{...}}: layers, elements, geo-location
// Events:
//   {"palette":"map","js":"GISBridge.receive(...);"}  every script run in a page
//   {"report":"..."}                                  every line of the report window
//   {"error":"..."}                                   a command that could not be carried out

#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "ACAPinc.h"
#include "AddOnResources.h"
#include "HostTestApi.h"
#include "MapPalette.h"

namespace {

using json = nlohmann::json;
using out_json = nlohmann::ordered_json;  // events keep their members in the documented order

// ---- The add-on, as the host loads it -----------------------------------------------------------

// Stand-ins for the add-on's entry points (RegisterInterface, Initialize and the menu handler)
// until the add-on exports its own: menu 32500 with item 1 toggling the map palette.
namespace provisional {

GSErrCode MenuCommandHandler(const API_MenuParams* params) {
    if (params->menuItemRef.menuResID != 32500 || params->menuItemRef.itemIndex != 1)
        return NoError;
    if (MapPalette::HasInstance() && MapPalette::GetInstance().IsVisible()) {
        MapPalette::GetInstance().Hide();
        return NoError;
    }
    if (!MapPalette::HasInstance())
        MapPalette::CreateInstance();
    MapPalette::GetInstance().Show();
    return NoError;
}

GSErrCode RegisterInterface() {
    return ACAPI_MenuItem_RegisterMenu(32500, 0, MenuCode_UserDef, 0);
}

GSErrCode Initialize() {
    if (const GSErrCode err = ACAPI_MenuItem_InstallMenuHandler(32500, MenuCommandHandler))
        return err;
    return MapPalette::RegisterPaletteControlCallBack();
}

}  // namespace provisional

// Installs the add-on's resources as its own module, then calls its entry points in the host's
// order. Returns the first error.
GSErrCode loadAddOn() {
    host::installResources(addOnResources());
    if (const GSErrCode err = provisional::RegisterInterface())
        return err;
    return provisional::Initialize();
}

// The palettes by the names the script uses.
const std::map<std::string, GS::Guid>& palettes() {
    static const std::map<std::string, GS::Guid> names = {{"map", MapPalette::Guid()}};
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

out_json coordsJson(const std::vector<API_Coord>& coords) {
    out_json out = out_json::array();
    for (const auto& c : coords)
        out.push_back({c.x, c.y});
    return out;
}

out_json elementJson(const host::ElementSnapshot& e) {
    const auto& head = e.element.header;
    out_json out = {{"guid", APIGuidToString(head.guid).ToUtf8()},
                    {"type", static_cast<int>(head.type.typeID)},
                    {"layer", head.layer},
                    {"floor", head.floorInd}};
    if (!e.coords.empty())
        out["coords"] = coordsJson(e.coords);
    if (!e.meshPolyZ.empty())
        out["z"] = e.meshPolyZ;
    if (!e.arcs.empty()) {
        out_json arcs = out_json::array();
        for (const auto& a : e.arcs)
            arcs.push_back({a.begIndex, a.endIndex, a.arcAngle});
        out["arcs"] = arcs;
    }
    if (head.type.typeID == API_TextID) {
        out["text"] = e.textContent;
        out["loc"] = {e.element.text.loc.x, e.element.text.loc.y};
    }
    if (e.body) {
        out_json vertices = out_json::array(), polygons = out_json::array();
        for (const auto& v : e.body->vertices)
            vertices.push_back({v.x, v.y, v.z});
        for (const auto& p : e.body->polygons)
            polygons.push_back(p.edges);
        out["body"] = {{"vertices", vertices}, {"polygons", polygons}};
    }
    if (!e.infoString.empty())
        out["id"] = e.infoString;
    return out;
}

out_json attributesJson(API_AttrTypeID type) {
    out_json out = out_json::array();
    for (const auto& a : host::attributes(type)) {
        out.push_back(
            {{"index", a.header.index}, {"name", a.header.name}, {"flags", a.header.flags}});
    }
    return out;
}

out_json geoLocationJson(const API_GeoLocation& g) {
    const auto& p = g.placeInfo;
    const auto& s = g.surveyPoint;
    const auto& r = s.geoReferenceData;
    return {{"longitude", p.longitude},
            {"latitude", p.latitude},
            {"altitude", p.altitude},
            {"north", p.north},
            {"timeZoneInMinutes", p.timeZoneInMinutes},
            {"surveyPoint",
             {{"position", {s.position.x, s.position.y, s.position.z}},
              {"eastings", s.eastings},
              {"northings", s.northings},
              {"orthogonalHeight", s.orthogonalHeight},
              {"xAxisAbscissa", s.xAxisAbscissa},
              {"xAxisOrdinate", s.xAxisOrdinate},
              {"scale", s.scale}}},
            {"crs",
             {{"name", r.name.ToUtf8()},
              {"description", r.description.ToUtf8()},
              {"geodeticDatum", r.geodeticDatum.ToUtf8()},
              {"verticalDatum", r.verticalDatum.ToUtf8()},
              {"mapProjection", r.mapProjection.ToUtf8()},
              {"mapZone", r.mapZone.ToUtf8()}}}};
}

out_json projectJson() {
    out_json elements = out_json::array();
    for (const auto& e : host::elements())
        elements.push_back(elementJson(e));
    return {{"layers", attributesJson(API_LayerID)},
            {"materials", attributesJson(API_MaterialID)},
            {"elements", elements},
            {"geoLocation", geoLocationJson(host::geoLocation())}};
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

void run(const json& command) {
    const std::string cmd = command.at("cmd").get<std::string>();
    if (cmd == "menu") {
        host::chooseMenu(command.at("menu").get<short>(), command.at("item").get<short>());
    } else if (cmd == "palette") {
        paletteCommand(command);
    } else if (cmd == "post") {
        postCommand(command);
    } else if (cmd == "pump") {
        host::pumpFor(std::chrono::milliseconds(command.value("ms", 0)));
    } else if (cmd == "projectEvent") {
        host::projectEvent(static_cast<API_NotifyEventID>(command.at("event").get<int>()));
    } else if (cmd == "dump") {
        emit({{"project", projectJson()}});
    } else {
        throw std::runtime_error("Nieznane polecenie: " + cmd);
    }
}

int runScript(std::istream& in) {
    host::setScriptListener([](const GS::Guid& palette, const std::string& script) {
        emit({{"palette", paletteName(palette)}, {"js", script}});
    });
    host::setReportListener([](const std::string& line) { emit({{"report", line}}); });
    if (const GSErrCode err = loadAddOn()) {
        emit({{"error", "Dodatek nie zaladowal sie (kod " + std::to_string(err) + ")"}});
        return 1;
    }
    for (std::string line; std::getline(in, line);) {
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        const json command = json::parse(line, nullptr, false);
        if (!command.is_object()) {
            emit({{"error", "Nieprawidlowe polecenie (JSON): " + line}});
            continue;
        }
        try {
            run(command);
        } catch (const std::exception& e) {
            emit({{"error", e.what()}});
        } catch (const GS::Exception& e) {
            emit({{"error", e.GetMessage()}});
        }
    }
    host::pump();
    return 0;
}

int usage() {
    std::cerr << "uzycie: terraweft-host --script PLIK|-\n";
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
    return usage();
}
