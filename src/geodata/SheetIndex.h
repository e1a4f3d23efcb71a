#pragma once
// The national geoportal's sheet indexes of the terrain and surface models: one WFS layer per
// year, of which the newest year that has any sheet in an area is used, and whose answers are
// read by plain text search for a few fixed elements.

#include <cstddef>
#include <string>
#include <string_view>
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

// The sheets of the newest year, from currentYear + 1 down to the layer's oldest year, whose
// index answers with any sheet in the area; empty when none does. Failed requests are skipped.
std::vector<Tile> newestSheets(WfsClient& client, const Layer& layer, const Bbox& area,
                               int currentYear);

// The sheets of one index answer, in document order; features whose address does not begin
// with "http" are dropped.
std::vector<Tile> parse(const std::string& answer);

// A sheet file's text through the download cache; "" on failure.
std::string download(WfsClient& client, const Tile& tile);

// The trimmed text of the first element "gugik:<tag>" opening at or after `from` and before
// `end`, with the predefined XML entities decoded; "" when there is none.
std::string tagValue(const std::string& xml, std::size_t from, std::size_t end,
                     std::string_view tag);

// The five predefined XML entities (&amp; &lt; &gt; &quot; &apos;) replaced by their characters,
// in one pass; anything else stays as written.
std::string decodeEntities(std::string_view text);

}  // namespace sheetindex
