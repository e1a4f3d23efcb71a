#include "geodata/LocalServices.h"

#include <algorithm>
#include <array>
#include <span>

#include "geodata/NameMatch.h"
#include "geodata/ServiceTables.h"

namespace {

using namematch::asciiLower;
using namematch::contains;
using namematch::containsAny;

constexpr std::size_t kMaxMpzpTypenames = 5;

constexpr std::array<std::string_view, 5> kGesutKeys = {"gesut", "siec", "przewod", "uzbroj",
                                                        "urzadzen"};
constexpr std::array<std::string_view, 11> kBdotKeys = {
    "bdot",  "_ot",  "budowl", "ogrodz", "komunikac", "zagospodar",
    "sport", "wody", "rzezb",  "sytuac", "nmz"};

LocalServices::Service lookup(std::span<const ServiceRow> table, std::string_view teryt,
                              std::size_t keyLength) {
    const ServiceRow* row = servicetables::find(table, teryt, keyLength);
    if (row == nullptr)
        return {};
    return {servicetables::address(row->wms), servicetables::address(row->wfs)};
}

void appendOnce(std::vector<std::string>& list, const std::string& name) {
    if (std::find(list.begin(), list.end(), name) == list.end())
        list.push_back(name);
}

// The text of every element whose tag begins with "<Name", verbatim, in document order; names
// spanning lines are dropped, and a cut-off document keeps the names found before the cut.
std::vector<std::string> collectNames(std::string_view xml) {
    std::vector<std::string> names;
    std::size_t pos = 0;
    while (true) {
        const std::size_t open = xml.find("<Name", pos);
        if (open == std::string_view::npos)
            break;
        const std::size_t tagEnd = xml.find('>', open);
        if (tagEnd == std::string_view::npos)
            break;
        if (xml[tagEnd - 1] == '/') {
            pos = tagEnd;
            continue;
        }
        const std::size_t close = xml.find("</Name", tagEnd);
        if (close == std::string_view::npos)
            break;
        const std::string_view name = xml.substr(tagEnd + 1, close - tagEnd - 1);
        if (!contains(name, "\n"))
            names.emplace_back(name);
        pos = close;
    }
    return names;
}

}  // namespace

LocalServices::Service LocalServices::gesutFor(std::string_view teryt) {
    return lookup(GesutUrls::TABLE, teryt, servicetables::kCountyKeyLength);
}

LocalServices::Service LocalServices::bdot500For(std::string_view teryt) {
    return lookup(Bdot500Urls::TABLE, teryt, servicetables::kCountyKeyLength);
}

LocalServices::Service LocalServices::mpzpFor(std::string_view teryt) {
    return lookup(MpzpUrls::TABLE, teryt, servicetables::kCommuneKeyLength);
}

std::vector<std::string> LocalServices::wmsLayerNames(std::string_view capabilitiesXml) {
    std::vector<std::string> layers;
    for (const std::string& name : collectNames(capabilitiesXml)) {
        const bool generic = name == "default" || name == "WMS" || name == "WFS";
        if (!generic && !contains(name, " "))
            appendOnce(layers, name);
    }
    return layers;
}

std::vector<std::string> LocalServices::wmsLayersForType(std::string_view capabilitiesXml,
                                                         DataType kind) {
    std::vector<std::string> layers = wmsLayerNames(capabilitiesXml);
    std::span<const std::string_view> keys;
    if (kind == DataType::Gesut)
        keys = kGesutKeys;
    else if (kind == DataType::Bdot500)
        keys = kBdotKeys;
    else
        return layers;
    std::erase_if(layers, [keys](const std::string& name) {
        const std::string lower = asciiLower(name);
        return contains(lower, "strefa") || !containsAny(lower, keys);
    });
    return layers;
}

std::vector<std::string> LocalServices::gesutLineTypenames(std::string_view capabilitiesXml) {
    std::vector<std::string> lines;
    for (const std::string& name : collectNames(capabilitiesXml)) {
        if (contains(asciiLower(name), "przewod"))
            appendOnce(lines, name);
    }
    return lines;
}

std::vector<std::string> LocalServices::mpzpVectorTypenames(std::string_view capabilitiesXml) {
    static constexpr std::array<std::string_view, 3> kOutlines = {"zasieg", "granice_plan",
                                                                  "obrys"};
    static constexpr std::array<std::string_view, 4> kLineWords = {"zabudow", "jednost", "linia",
                                                                   "linie"};
    std::vector<std::string> areas;
    std::vector<std::string> lines;
    for (const std::string& name : collectNames(capabilitiesXml)) {
        const std::string lower = asciiLower(name);
        if (name.size() < 4 || containsAny(lower, kOutlines))
            continue;
        const bool area = contains(lower, "przeznacz") || contains(lower, "teren") ||
                          (contains(lower, "plan") && !contains(lower, "granic"));
        const bool newArea = area && std::find(areas.begin(), areas.end(), name) == areas.end();
        if (newArea)
            areas.push_back(name);
        else if (containsAny(lower, kLineWords))
            appendOnce(lines, name);
    }
    areas.insert(areas.end(), lines.begin(), lines.end());
    if (areas.size() > kMaxMpzpTypenames)
        areas.resize(kMaxMpzpTypenames);
    return areas;
}
