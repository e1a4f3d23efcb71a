#pragma once
// The national geoportal's sheet indexes of the terrain and surface models: one WFS layer per
// year, of which the newest year that has any sheet in an area is used, and whose answers are
// read by plain text search for a few fixed elements.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "geodata/GisTypes.h"
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

// Asks the layer's index for the area year by year, from currentYear + 1 down to the layer's
// oldest year, handing every answer with status 200 to `take` until it returns true (it found
// sheets). Failed requests are skipped; a current year before the layer's first asks nothing.
void newestYear(WfsClient& client, const Layer& layer, const Bbox& area, int currentYear,
                const std::function<bool(const std::string& answer)>& take);

// The sheets of the newest year whose index answers with any sheet in the area; empty when
// none does.
std::vector<Tile> newestSheets(WfsClient& client, const Layer& layer, const Bbox& area,
                               int currentYear);

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

// A sheet file's text through the download cache; "" on failure.
std::string download(WfsClient& client, const Tile& tile);

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

// A client of one index: the sheets of the newest index year with any sheet in an area (at
// most 20), and a sheet file's text through the download cache.
class IndexClient {
public:
    IndexClient(WfsClient& client, const Layer& layer) : client_(client), layer_(layer) {}

    // The calendar year of the clock in UTC is the current year.
    std::vector<Tile> tilesFor(const Bbox& area);
    std::vector<Tile> tilesFor(const Bbox& area, int currentYear);

    // The sheet file's text; "" when the download failed.
    std::string download(const Tile& tile);

    static std::vector<Tile> parseSkorowidz(const std::string& answer) { return parse(answer); }

private:
    WfsClient& client_;
    const Layer& layer_;
};

}  // namespace sheetindex
