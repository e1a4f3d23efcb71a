#pragma once
// The national geoportal's sheet indexes of the terrain and surface models: one WFS layer per
// year, of which the newest year that has any sheet in an area is used, read page by page to its
// end, and whose answers are read by plain text search for a few fixed elements.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "geodata/GisTypes.h"
#include "geodata/ServiceReach.h"
#include "geodata/WfsClient.h"

namespace sheetindex {

// One sheet: its map-sheet identifier (possibly empty) and its download address (always
// beginning with "http").
struct Tile {
    std::string godlo;
    std::string url;
};

// Where an index lives and which years it has.
struct Layer {
    std::string_view path;        // WFS endpoint path on the geoportal's map-service host
    std::string_view typePrefix;  // feature type of a year: prefix + year
    int oldestYear;               // the last year tried
    int noIndexBefore;            // a current year below this asks nothing
};

// The calendar year of the system clock in UTC.
int currentUtcYear();

// A year whose index could not be read when it was asked - a server error, a broken transfer, a
// web page in place of the answer - unlike a year whose index does not exist (yet).
struct FailedYear {
    int year = 0;  // 0: none
    ServiceReach reach;
};

// How far an index was read for an area.
struct Reading {
    ServiceReach reach;      // not reached when no year's index gave a WFS answer
    bool complete = true;    // every sheet that the year used lists for the area was read
    int year = 0;            // the year whose sheets are listed; 0 when no year lists any
    FailedYear newerFailed;  // the newest year asked before that one that could not be read
};

// The sentences, with the prefix of the stage or task, of what keeps an index that was reached
// ("NMT", "NMPT", "LiDAR") from listing the area whole: a newer year that could not be read, so
// that an older year's `listed` sheets are used, and a reading cut short before its end.
std::vector<std::string> shortfallOf(std::string_view prefix, std::string_view index,
                                     const Reading& reading, std::size_t listed);

// What one answer of an index brought: the sheets read out of it, and how many of them were not
// read before.
struct PageCount {
    std::size_t parsed = 0;
    std::size_t fresh = 0;
};
using TakePage = std::function<PageCount(const std::string& answer)>;

// Asks the layer's index for the area year by year, from currentYear + 1 down to the layer's
// oldest year, handing every answer with status 200 to `take`, until a year's first answer
// brings a sheet not read before. That year is then read page by page (at most 20 features an
// answer, STARTINDEX counting on) to its end. Failed requests are skipped (the newest year that
// could not be read is kept), but after a request that got no answer at all no older year is
// asked; a current year before the layer's first asks nothing.
Reading newestYear(WfsClient& client, const Layer& layer, const Bbox& area, int currentYear,
                   const TakePage& take);

// The sheets of the newest year whose index lists any in the area, each address once, with how
// far the index was read and which year it is.
template <class Sheet>
struct Listing : Reading {
    std::vector<Sheet> sheets;
};

template <class Sheet>
Listing<Sheet> newestSheets(WfsClient& client, const Layer& layer, const Bbox& area,
                            int currentYear, std::vector<Sheet> (*parse)(const std::string&)) {
    Listing<Sheet> listing;
    std::unordered_set<std::string> seen;
    const Reading reading =
        newestYear(client, layer, area, currentYear, [&](const std::string& answer) {
            std::vector<Sheet> page = parse(answer);
            PageCount count{page.size(), 0};
            for (Sheet& sheet : page) {
                if (seen.insert(sheet.url).second) {
                    listing.sheets.push_back(std::move(sheet));
                    ++count.fresh;
                }
            }
            return count;
        });
    static_cast<Reading&>(listing) = reading;
    return listing;
}

// One index member that carries a download address beginning with "http": where it runs in the
// answer (from its start tag, or the document's start, to its end tag, or the document's end)
// and the address. Its other fields are read with a FieldReader inside [start, end), so a member
// without a field yields it empty rather than borrowing it from the next member.
struct Member {
    std::size_t start = 0;
    std::size_t end = 0;
    std::string url;
};
std::vector<Member> members(const std::string& answer);

// The sheets of one index answer, in document order; features whose address does not begin
// with "http" are dropped.
std::vector<Tile> parse(const std::string& answer);

// The first place at or after a point where a marker stands in a text. The point only moves
// forward from one call to the next, so the text is searched once in all.
class MarkerAhead {
public:
    explicit MarkerAhead(std::string marker) : marker_(std::move(marker)) {}
    std::size_t from(const std::string& text, std::size_t at);

private:
    std::string marker_;
    std::size_t next_ = 0;
    bool searched_ = false;
};

// Reads the "gugik:<tag>" fields of an answer's members in document order. Every tag's
// searches only move forward, so reading all members takes time in proportion to the answer's
// length, however its markup is damaged.
class FieldReader {
public:
    explicit FieldReader(const std::string& xml) : xml_(xml) {}

    // The trimmed text of the first element "gugik:<tag>" opening at or after `from` and before
    // `end`, with the predefined XML entities decoded; "" when there is none. For one tag,
    // `from` never decreases from one call to the next.
    std::string value(std::size_t from, std::size_t end, std::string_view tag);

private:
    struct Field {
        MarkerAhead open;
        MarkerAhead close;
        std::size_t lastOpen = std::string::npos;  // the element read last, and its text
        std::string lastText;
    };
    Field& field(std::string_view tag);

    const std::string& xml_;
    std::vector<std::pair<std::string, Field>> fields_;
};

// The five predefined XML entities (&amp; &lt; &gt; &quot; &apos;) replaced by their characters,
// in one pass; anything else stays as written.
std::string decodeEntities(std::string_view text);

// A client of one index: the sheets of the newest index year with any sheet in an area, and a
// sheet file's text through the download cache.
class IndexClient {
public:
    IndexClient(WfsClient& client, const Layer& layer) : client_(client), layer_(layer) {}

    // The calendar year of the clock in UTC is the current year.
    std::vector<Tile> tilesFor(const Bbox& area);
    std::vector<Tile> tilesFor(const Bbox& area, int currentYear);
    // The same with how far the index was read.
    Listing<Tile> listFor(const Bbox& area);
    Listing<Tile> listFor(const Bbox& area, int currentYear);

    // The sheet file's text through the download cache; "" when the download failed, and then
    // reach tells whether the sheet's service answered.
    std::string download(const Tile& tile);
    std::string download(const Tile& tile, ServiceReach& reach);

    static std::vector<Tile> parseSkorowidz(const std::string& answer) { return parse(answer); }

private:
    WfsClient& client_;
    const Layer& layer_;
};

}  // namespace sheetindex
