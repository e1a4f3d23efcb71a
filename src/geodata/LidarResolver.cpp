#include "geodata/LidarResolver.h"

#include <charconv>
#include <cmath>

namespace {

constexpr sheetindex::Layer kIndex{"/wss/service/PZGIK/DanePomiaroweLidarEVRF2007/WFS/Skorowidze",
                                   "gugik:SkorowidzDanychPomiarowychLIDAR", 2018, 2017};
constexpr int kDownloadTimeoutMs = 240000;

// The leading number of a text written with a decimal point ("4", "12.5 pkt/m2"); 0 when the
// text does not start with a finite one.
double leadingNumber(const std::string& text) {
    double v = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    return ec == std::errc() && std::isfinite(v) ? v : 0.0;
}

// EPSG code of the plan coordinates named by the index: PL-1992, or PL-2000 with its zone as
// the digit after the text's first "S".
std::int32_t epsgOf(const std::string& uklad) {
    if (uklad.size() < 7) {
        return 0;
    }
    if (uklad.find("PL-1992") != std::string::npos) {
        return 2180;
    }
    if (uklad.find("PL-2000") == std::string::npos) {
        return 0;
    }
    const auto s = uklad.find('S');
    if (s == std::string::npos || s + 1 >= uklad.size()) {
        return 0;
    }
    const char zone = uklad[s + 1];
    return zone >= '5' && zone <= '8' ? 2171 + (zone - '0') : 0;
}

}  // namespace

std::vector<LidarResolver::LidarTile> LidarResolver::tilesFor(const Bbox& area) {
    return listFor(area).sheets;
}

std::vector<LidarResolver::LidarTile> LidarResolver::tilesFor(const Bbox& area, int currentYear) {
    return listFor(area, currentYear).sheets;
}

sheetindex::Listing<LidarResolver::LidarTile> LidarResolver::listFor(const Bbox& area) {
    return listFor(area, sheetindex::currentUtcYear());
}

sheetindex::Listing<LidarResolver::LidarTile> LidarResolver::listFor(const Bbox& area,
                                                                     int currentYear) {
    return sheetindex::newestSheets(client_, kIndex, area, currentYear, &parseSkorowidz);
}

std::string LidarResolver::download(const LidarTile& tile, const Progress& progress) {
    ServiceReach ignored;
    return download(tile, progress, ignored);
}

std::string LidarResolver::download(const LidarTile& tile, const Progress& progress,
                                    ServiceReach& reach) {
    const Progress always = [](long long, long long) { return true; };
    std::string error;  // the reason, when the service did not answer, is in reach
    return client_.getCachedFile(tile.url, progress ? progress : always, kDownloadTimeoutMs, error,
                                 reach);
}

std::string LidarResolver::nameOf(const LidarTile& tile) {
    return "LiDAR " + (tile.godlo.empty() ? tile.url : tile.godlo);
}

void LidarResolver::noteShortfall(SheetRead outcome, const LidarTile& tile,
                                  SheetShortfall& shortfall) {
    if (outcome == SheetRead::NotOpened)
        shortfall.unusable.push_back(nameOf(tile));
    else if (outcome == SheetRead::Damaged)
        shortfall.damaged.push_back(nameOf(tile));
}

std::vector<LidarResolver::LidarTile> LidarResolver::parseSkorowidz(const std::string& xml) {
    std::vector<LidarTile> tiles;
    sheetindex::FieldReader fields(xml);
    for (sheetindex::Member& m : sheetindex::members(xml)) {
        LidarTile tile;
        tile.url = std::move(m.url);
        tile.godlo = fields.value(m.start, m.end, "godlo");
        tile.density = leadingNumber(fields.value(m.start, m.end, "char_przestrz"));
        tile.epsg = epsgOf(fields.value(m.start, m.end, "uklad_xy"));
        tiles.push_back(std::move(tile));
    }
    return tiles;
}
