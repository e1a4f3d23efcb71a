#include "geodata/LidarResolver.h"

#include <charconv>
#include <chrono>

#include "geodata/ServiceConfig.h"

namespace {

constexpr const char* kIndexPath = "/wss/service/PZGIK/DanePomiaroweLidarEVRF2007/WFS/Skorowidze";
constexpr const char* kLayerPrefix = "gugik:SkorowidzDanychPomiarowychLIDAR";
constexpr int kFirstIndexYear = 2018;
constexpr int kNoIndexBefore = 2017;
constexpr int kMaxSheets = 20;
constexpr int kDownloadTimeoutMs = 240000;

constexpr std::string_view kUrlTag = "gugik:url_do_pobrania>";
constexpr std::string_view kMemberStart = "<wfs:member";
constexpr std::string_view kMemberEnd = "</wfs:member>";

int currentUtcYear() {
    const auto today = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    return static_cast<int>(std::chrono::year_month_day(today).year());
}

std::string trimmed(std::string_view s) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(s.substr(first, s.find_last_not_of(kBlanks) - first + 1));
}

// Text of the first element "gugik:<tag>" that opens at or after `from` and before `end`,
// trimmed; no entity decoding. "" when there is none.
std::string tagValue(const std::string& xml, std::size_t from, std::size_t end,
                     std::string_view tag) {
    const std::string open = "gugik:" + std::string(tag) + ">";
    const auto at = xml.find(open, from);
    if (at == std::string::npos || at >= end) {
        return {};
    }
    const auto valueStart = at + open.size();
    const auto close = xml.find("</gugik:", valueStart);
    if (close == std::string::npos) {
        return {};
    }
    return trimmed(std::string_view(xml).substr(valueStart, close - valueStart));
}

// The leading number of a text written with a decimal point ("4", "12.5 pkt/m2"); 0 when the
// text does not start with one.
double leadingNumber(const std::string& text) {
    double v = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    return ec == std::errc() ? v : 0.0;
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
    return tilesFor(area, currentUtcYear());
}

std::vector<LidarResolver::LidarTile> LidarResolver::tilesFor(const Bbox& area, int currentYear) {
    if (currentYear < kNoIndexBefore) {
        return {};
    }
    const std::string endpoint = services::endpoints().geoportalMaps + kIndexPath;
    for (int year = currentYear + 1; year >= kFirstIndexYear; --year) {
        const std::string url = WfsClient::buildGetFeatureUrl(
            endpoint, kLayerPrefix + std::to_string(year), area, kMaxSheets, 0, true, false, 0);
        const WfsClient::HttpResult r = client_.get(url);
        if (r.status != 200) {
            continue;
        }
        auto tiles = parseSkorowidz(r.body);
        if (!tiles.empty()) {
            return tiles;
        }
    }
    return {};
}

std::string LidarResolver::download(const LidarTile& tile, const Progress& progress) {
    const Progress always = [](long long, long long) { return true; };
    std::string error;  // the caller learns no reason
    return client_.getCachedFile(tile.url, progress ? progress : always, kDownloadTimeoutMs, error);
}

std::vector<LidarResolver::LidarTile> LidarResolver::parseSkorowidz(const std::string& xml) {
    std::vector<LidarTile> tiles;
    std::size_t pos = 0;
    std::size_t match;
    while ((match = xml.find(kUrlTag, pos)) != std::string::npos) {
        // The member that holds the address: from its start tag (or the document's start) to
        // its end tag. A member that lacks an element yields it empty rather than borrowing it
        // from the next member.
        const auto memberStart = xml.rfind(kMemberStart, match);
        const std::size_t start = memberStart == std::string::npos ? 0 : memberStart;
        const auto memberEnd = xml.find(kMemberEnd, match);
        const std::size_t end = memberEnd == std::string::npos ? xml.size() : memberEnd;

        LidarTile tile;
        tile.url = tagValue(xml, match > 0 ? match - 1 : 0, end, "url_do_pobrania");
        tile.godlo = tagValue(xml, start, end, "godlo");
        tile.density = leadingNumber(tagValue(xml, start, end, "char_przestrz"));
        tile.epsg = epsgOf(tagValue(xml, start, end, "uklad_xy"));
        if (tile.url.rfind("http", 0) == 0) {
            tiles.push_back(std::move(tile));
        }
        pos = match + 20;
    }
    return tiles;
}
