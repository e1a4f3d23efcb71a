#pragma once
// The terrain-model (NMT) sheets that cover an area, from the geoportal's terrain-model sheet
// index, and the text of a sheet (an ESRI ASCII grid) through the download cache.

#include <string>
#include <vector>

#include "geodata/GisTypes.h"
#include "geodata/SheetIndex.h"
#include "geodata/WfsClient.h"

class NmtClient {
public:
    using Tile = sheetindex::Tile;

    explicit NmtClient(WfsClient& client) : client_(client) {}

    // The sheets of the newest index year, next year down to 2018, with any sheet in the area
    // (at most 20); empty when none has, and without asking when the year is before 2017.
    std::vector<Tile> tilesFor(const Bbox& area);
    // The same for a given current year (tilesFor uses the calendar year of the clock in UTC).
    std::vector<Tile> tilesFor(const Bbox& area, int currentYear);

    // The sheet file's text; "" when the download failed.
    std::string download(const Tile& tile);

    static std::vector<Tile> parseSkorowidz(const std::string& answer);

private:
    WfsClient& client_;
};
