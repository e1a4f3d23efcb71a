#include "Settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>

#include "Platform.h"

using json = nlohmann::json;

namespace {

struct KindInfo {
    const char* key;
    const char* defaultLayer;
};

// Indexed by the value of DataType.
constexpr std::array<KindInfo, kDataTypeCount> kKinds{{
    {"dzialki", "GIS_DZIALKI"},
    {"budynki", "GIS_BUDYNKI"},
    {"mpzp", "GIS_MPZP"},
    {"pog", "GIS_POG"},
    {"gesut", "GIS_GESUT"},
    {"bdot500", "GIS_BDOT500"},
    {"teren", "GIS_TEREN"},
    {"rastry", "GIS_RASTRY"},
    {"budynki3d", "GIS_BUDYNKI_3D"},
    {"poziomice2d", "GIS_POZIOMICE_2D"},
    {"poziomice3d", "GIS_POZIOMICE_3D"},
    {"budynkilod2", "GIS_BUDYNKI_LOD2"},
    {"budynkindsm", "GIS_BUDYNKI_NMPT"},
    {"mosty", "GIS_MOSTY"},
    {"drogi", "GIS_DROGI"},
    {"terenchmura", "GIS_TEREN_CHMURA"},
    {"poziomicechmura2d", "GIS_POZIOMICE_CHMURA_2D"},
    {"poziomicechmura3d", "GIS_POZIOMICE_CHMURA_3D"},
    {"budynkirekon", "GIS_BUDYNKI_LOD2_REKON"},
    {"wodachmura", "GIS_WODA_CHMURA"},
}};

const KindInfo* kindInfo(DataType type) {
    const auto value = static_cast<std::int32_t>(type);
    if (value < 0 || value >= kDataTypeCount)
        return nullptr;
    return &kKinds[static_cast<std::size_t>(value)];
}

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void overlayLayers(const json& layers, Settings& settings) {
    if (!layers.is_object())
        return;
    for (const DataType type : Settings::wszystkieTypy()) {
        const auto member = layers.find(Settings::keyOf(type));
        if (member != layers.end() && member->is_string()) {
            settings.layers[type] = member->get<std::string>();
        }
    }
}

void overlayString(const json& file, const char* name, std::string& target) {
    const auto member = file.find(name);
    if (member != file.end() && member->is_string())
        target = member->get<std::string>();
}

json toJson(const Settings& settings) {
    json layers = json::object();
    for (const auto& [type, name] : settings.layers)
        layers[Settings::keyOf(type)] = name;
    json file = {{"layers", std::move(layers)},
                 {"upgToken", settings.upgToken},
                 {"basemap", settings.basemap}};
    if (settings.hasZAnchor)
        file["zAnchor"] = settings.zAnchor;
    return file;
}

// The settings text, or nothing when a text is not valid UTF-8.
std::optional<std::string> serialise(const Settings& settings) {
    try {
        return toJson(settings).dump(2, ' ', false, json::error_handler_t::strict);
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

bool writeAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes text to a fresh owner-only file beside path, then renames it over path: a reader
// sees either the old file or the whole new one.
bool replaceFileAtomically(const std::string& path, const std::string& text) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());  // created with mode 0600
    if (fd < 0)
        return false;
    const bool complete = writeAll(fd, text) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (complete && closed && std::rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace

const char* Settings::keyOf(DataType type) {
    const KindInfo* info = kindInfo(type);
    return info != nullptr ? info->key : "inne";
}

const char* Settings::defaultLayerOf(DataType type) {
    const KindInfo* info = kindInfo(type);
    return info != nullptr ? info->defaultLayer : "";
}

const std::vector<DataType>& Settings::wszystkieTypy() {
    static const std::vector<DataType> all = [] {
        std::vector<DataType> types;
        for (std::int32_t value = 0; value < kDataTypeCount; ++value) {
            types.push_back(static_cast<DataType>(value));
        }
        return types;
    }();
    return all;
}

Settings Settings::defaults() {
    Settings settings;
    for (const DataType type : wszystkieTypy())
        settings.layers[type] = defaultLayerOf(type);
    return settings;
}

std::string Settings::defaultPath() {
    const std::string folder = Platform::cacheDir() + "TERRAWEFT";
    Platform::ensureDir(folder);
    return folder + "/settings.json";
}

Settings Settings::load() {
    return loadFrom(defaultPath());
}

Settings Settings::loadFrom(const std::string& path) {
    Settings settings = defaults();
    const auto text = readWholeFile(path);
    if (!text)
        return settings;
    const json file = json::parse(*text, nullptr, false, false);
    if (!file.is_object())
        return settings;  // also a text that does not parse

    if (const auto layers = file.find("layers"); layers != file.end()) {
        overlayLayers(*layers, settings);
    }
    overlayString(file, "upgToken", settings.upgToken);
    overlayString(file, "basemap", settings.basemap);
    if (const auto anchor = file.find("zAnchor"); anchor != file.end() && anchor->is_number()) {
        settings.zAnchor = anchor->get<double>();
        settings.hasZAnchor = true;
    }
    return settings;
}

bool Settings::save() const {
    return saveTo(defaultPath());
}

bool Settings::saveTo(const std::string& path) const {
    const auto text = serialise(*this);
    return text && replaceFileAtomically(path, *text);
}

std::string Settings::layerFor(DataType type) const {
    const auto entry = layers.find(type);
    if (entry != layers.end() && !entry->second.empty())
        return entry->second;
    return defaultLayerOf(type);
}
