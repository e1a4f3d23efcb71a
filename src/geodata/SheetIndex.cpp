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

void newestYear(WfsClient& client, const Layer& layer, const Bbox& area, int currentYear,
                const std::function<bool(const std::string& answer)>& take) {
    if (currentYear < layer.noIndexBefore) {
        return;
    }
    const std::string endpoint = services::endpoints().geoportalMaps + std::string(layer.path);
    for (long long year = currentYear + 1LL; year >= layer.oldestYear; --year) {
        const std::string url = WfsClient::buildGetFeatureUrl(
            endpoint, std::string(layer.typePrefix) + std::to_string(year), area, kMaxSheets, 0,
            true, false, 0);
        const WfsClient::HttpResult answer = client.get(url);
        if (answer.status == 200 && take(answer.body)) {
            return;
        }
    }
}

std::vector<Tile> newestSheets(WfsClient& client, const Layer& layer, const Bbox& area,
                               int currentYear) {
    std::vector<Tile> tiles;
    newestYear(client, layer, area, currentYear, [&tiles](const std::string& answer) {
        tiles = parse(answer);
        return !tiles.empty();
    });
    return tiles;
}

std::vector<Member> members(const std::string& xml) {
    std::vector<Member> found;
    std::size_t pos = 0;
    std::size_t match = 0;
    while ((match = xml.find(kUrlTag, pos)) != std::string::npos) {
        const auto memberStart = xml.rfind(kMemberStart, match);
        const auto memberEnd = xml.find(kMemberEnd, match);
        Member member;
        member.start = memberStart == std::string::npos ? 0 : memberStart;
        member.end = memberEnd == std::string::npos ? xml.size() : memberEnd;
        member.url = tagValue(xml, match > 0 ? match - 1 : 0, member.end, "url_do_pobrania");
        if (member.url.rfind("http", 0) == 0) {
            found.push_back(std::move(member));
        }
        pos = match + 20;
    }
    return found;
}

std::vector<Tile> parse(const std::string& xml) {
    std::vector<Tile> tiles;
    for (Member& m : members(xml)) {
        tiles.push_back({tagValue(xml, m.start, m.end, "godlo"), std::move(m.url)});
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

std::vector<Tile> IndexClient::tilesFor(const Bbox& area) {
    return tilesFor(area, currentUtcYear());
}

std::vector<Tile> IndexClient::tilesFor(const Bbox& area, int currentYear) {
    return newestSheets(client_, layer_, area, currentYear);
}

std::string IndexClient::download(const Tile& tile) {
    return sheetindex::download(client_, tile);
}

}  // namespace sheetindex
