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
    FieldReader fields(xml);
    MarkerAhead urls{std::string(kUrlTag)};
    MarkerAhead starts{std::string(kMemberStart)};
    MarkerAhead ends{std::string(kMemberEnd)};
    std::size_t lastStart = std::string::npos;
    std::size_t match = 0;
    for (std::size_t pos = 0; (match = urls.from(xml, pos)) != std::string::npos;
         pos = match + 20) {
        for (std::size_t s = starts.from(xml, 0); s < match; s = starts.from(xml, s + 1)) {
            lastStart = s;
        }
        const auto memberEnd = ends.from(xml, match);
        Member member;
        member.start = lastStart == std::string::npos ? 0 : lastStart;
        member.end = memberEnd == std::string::npos ? xml.size() : memberEnd;
        member.url = fields.value(match > 0 ? match - 1 : 0, member.end, "url_do_pobrania");
        if (member.url.rfind("http", 0) == 0) {
            found.push_back(std::move(member));
        }
    }
    return found;
}

std::vector<Tile> parse(const std::string& xml) {
    std::vector<Tile> tiles;
    FieldReader fields(xml);
    for (Member& m : members(xml)) {
        tiles.push_back({fields.value(m.start, m.end, "godlo"), std::move(m.url)});
    }
    return tiles;
}

std::string download(WfsClient& client, const Tile& tile) {
    return client.getCachedRaw(tile.url, kDownloadTimeoutMs);
}

std::size_t MarkerAhead::from(const std::string& text, std::size_t at) {
    if (!searched_ || (next_ != std::string::npos && next_ < at)) {
        next_ = text.find(marker_, at);
        searched_ = true;
    }
    return next_;
}

FieldReader::Field& FieldReader::field(std::string_view tag) {
    for (auto& [name, f] : fields_) {
        if (name == tag) {
            return f;
        }
    }
    Field f{MarkerAhead("gugik:" + std::string(tag) + ">"), MarkerAhead("</gugik:")};
    return fields_.emplace_back(std::string(tag), std::move(f)).second;
}

std::string FieldReader::value(std::size_t from, std::size_t end, std::string_view tag) {
    Field& f = field(tag);
    const auto at = f.open.from(xml_, from);
    if (at == std::string::npos || at >= end) {
        return {};
    }
    if (at != f.lastOpen) {
        const auto valueStart = at + tag.size() + 7;  // past "gugik:<tag>>"
        const auto close = f.close.from(xml_, valueStart);
        f.lastOpen = at;
        f.lastText = close == std::string::npos
                         ? std::string()
                         : decodeEntities(trimmed(
                               std::string_view(xml_).substr(valueStart, close - valueStart)));
    }
    return f.lastText;
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
