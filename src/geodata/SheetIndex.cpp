#include "geodata/SheetIndex.h"

#include <chrono>
#include <utility>

#include "geodata/ServiceConfig.h"

namespace sheetindex {

namespace {

constexpr int kMaxSheets = 20;
constexpr int kDownloadTimeoutMs = 240000;

constexpr std::string_view kUrlTag = "gugik:url_do_pobrania>";
constexpr std::string_view kMemberStart = "<wfs:member";
constexpr std::string_view kMemberEnd = "</wfs:member>";

std::string_view trimmed(std::string_view s) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

int currentUtcYear() {
    const auto today = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    return static_cast<int>(std::chrono::year_month_day(today).year());
}

std::vector<Tile> newestSheets(WfsClient& client, const Layer& layer, const Bbox& area,
                               int currentYear) {
    if (currentYear < layer.noIndexBefore) {
        return {};
    }
    const std::string endpoint = services::endpoints().geoportalMaps + std::string(layer.path);
    for (long long year = currentYear + 1LL; year >= layer.oldestYear; --year) {
        const std::string url = WfsClient::buildGetFeatureUrl(
            endpoint, std::string(layer.typePrefix) + std::to_string(year), area, kMaxSheets, 0,
            true, false, 0);
        const WfsClient::HttpResult answer = client.get(url);
        if (answer.status != 200) {
            continue;
        }
        std::vector<Tile> tiles = parse(answer.body);
        if (!tiles.empty()) {
            return tiles;
        }
    }
    return {};
}

std::vector<Tile> parse(const std::string& xml) {
    std::vector<Tile> tiles;
    std::size_t pos = 0;
    std::size_t match = 0;
    while ((match = xml.find(kUrlTag, pos)) != std::string::npos) {
        // The member holding the address, from its start tag (or the document's start) to its
        // end tag: a member without a sheet identifier does not borrow the next member's.
        const auto memberStart = xml.rfind(kMemberStart, match);
        const std::size_t start = memberStart == std::string::npos ? 0 : memberStart;
        const auto memberEnd = xml.find(kMemberEnd, match);
        const std::size_t end = memberEnd == std::string::npos ? xml.size() : memberEnd;

        Tile tile;
        tile.url = tagValue(xml, match > 0 ? match - 1 : 0, end, "url_do_pobrania");
        tile.godlo = tagValue(xml, start, end, "godlo");
        if (tile.url.rfind("http", 0) == 0) {
            tiles.push_back(std::move(tile));
        }
        pos = match + 20;
    }
    return tiles;
}

std::string download(WfsClient& client, const Tile& tile) {
    return client.getCachedRaw(tile.url, kDownloadTimeoutMs);
}

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
    return decodeEntities(trimmed(std::string_view(xml).substr(valueStart, close - valueStart)));
}

std::string decodeEntities(std::string_view text) {
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    out.reserve(text.size());
    std::size_t k = 0;
    while (k < text.size()) {
        bool replaced = false;
        if (text[k] == '&') {
            for (const auto& [entity, ch] : kEntities) {
                if (text.substr(k, entity.size()) == entity) {
                    out += ch;
                    k += entity.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) {
            out += text[k++];
        }
    }
    return out;
}

}  // namespace sheetindex
