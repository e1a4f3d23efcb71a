#include "geodata/SheetIndex.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

#include "geodata/GmlSplice.h"
#include "geodata/ServiceConfig.h"

namespace sheetindex {

namespace {

constexpr int kPageSize = 20;
constexpr int kMaxPages = 50;
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

// One answer of a year's index and what it brought.
struct Page {
    WfsClient::HttpResult answer;
    PageCount count;
    std::size_t listed = 0;  // features the answer lists, sheets or not
    bool usable = false;     // a feature collection, or at least sheets
};

// Where one year's index is asked for the area.
struct YearIndex {
    WfsClient& client;
    std::string endpoint;
    std::string typeName;
    const Bbox& area;

    Page ask(std::size_t start, const TakePage& take) const {
        const std::string url = WfsClient::buildGetFeatureUrl(
            endpoint, typeName, area, kPageSize, static_cast<int>(start), true, false, 0);
        Page page{client.get(url)};
        if (page.answer.status != 200)
            return page;
        const std::optional<int> features = GmlSplice::featureCount(page.answer.body);
        page.count = take(page.answer.body);
        page.listed = std::max<std::size_t>(features.value_or(0), page.count.parsed);
        page.usable = features.has_value() || page.count.parsed > 0;
        return page;
    }

    // The pages after the first, until one lists less than a page or, when the index said how
    // many features match, until that many were listed. False when the year could not be read
    // to its end: a page failed, the pages ran out, or the index repeats what it listed (a
    // service that ignores the start index).
    bool readRest(const Page& first, const TakePage& take) const {
        const long long matched = WfsClient::numberMatched(first.answer.body);
        std::size_t listed = first.listed;
        std::size_t lastListed = first.listed;
        const auto more = [&] {
            return matched >= 0 ? listed < static_cast<std::size_t>(matched)
                                : lastListed >= static_cast<std::size_t>(kPageSize);
        };
        for (int page = 1; more(); ++page) {
            if (page == kMaxPages)
                return false;
            const Page next = ask(listed, take);
            if (!next.usable)
                return false;
            lastListed = next.listed;
            if (next.count.fresh == 0)
                return lastListed == 0 && matched < 0;
            listed += lastListed;
        }
        return true;
    }
};

// A year's first answer that did not serve because the index could not be read then, rather
// than because the year has no index: an error of the transfer or the server, or a web page.
bool failedNow(const WfsClient::HttpResult& answer) {
    return !answer.error.empty() || answer.status >= 500 || looksLikeWebPage(answer.body);
}

}  // namespace

int currentUtcYear() {
    const auto today = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    return static_cast<int>(std::chrono::year_month_day(today).year());
}

std::vector<std::string> shortfallOf(std::string_view prefix, std::string_view index,
                                     const Reading& reading, std::size_t listed) {
    std::vector<std::string> sentences;
    if (reading.newerFailed.year != 0) {
        sentences.push_back(reachtext::indexYearUnreachable(
            prefix, index, reading.newerFailed.year, reading.year, reading.newerFailed.reach));
    }
    if (!reading.complete)
        sentences.push_back(reachtext::indexIncomplete(prefix, index, listed));
    return sentences;
}

Reading newestYear(WfsClient& client, const Layer& layer, const Bbox& area, int currentYear,
                   const TakePage& take) {
    Reading reading;
    if (currentYear < layer.noIndexBefore) {
        return reading;
    }
    const std::string endpoint = services::endpoints().geoportalMaps + std::string(layer.path);
    ReachTally reach;
    for (long long year = currentYear + 1LL; year >= layer.oldestYear; --year) {
        const YearIndex index{client, endpoint,
                              std::string(layer.typePrefix) + std::to_string(year), area};
        const Page first = index.ask(0, take);
        const ServiceReach answered = WfsClient::reachOf(first.answer, first.usable);
        reach.note(answered);
        if (first.answer.status == 0) {
            break;  // nothing answered at all: no older year of the host will
        }
        if (!answered.reached && reading.newerFailed.year == 0 && failedNow(first.answer)) {
            reading.newerFailed = {static_cast<int>(year), answered};
        }
        if (first.count.fresh > 0) {
            reading.year = static_cast<int>(year);
            reading.complete = index.readRest(first, take);
            break;
        }
    }
    reading.reach = reach.result();
    return reading;
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
    return listFor(area).sheets;
}

std::vector<Tile> IndexClient::tilesFor(const Bbox& area, int currentYear) {
    return listFor(area, currentYear).sheets;
}

Listing<Tile> IndexClient::listFor(const Bbox& area) {
    return listFor(area, currentUtcYear());
}

Listing<Tile> IndexClient::listFor(const Bbox& area, int currentYear) {
    return newestSheets(client_, layer_, area, currentYear, &parse);
}

std::string IndexClient::download(const Tile& tile) {
    ServiceReach ignored;
    return download(tile, ignored);
}

std::string IndexClient::download(const Tile& tile, ServiceReach& reach) {
    return client_.getCachedRaw(tile.url, kDownloadTimeoutMs, reach);
}

}  // namespace sheetindex
