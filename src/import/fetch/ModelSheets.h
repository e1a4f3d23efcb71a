#pragma once
// The sheets of a height model (the terrain or surface model) read into one grid over the area a
// stage samples: downloaded through the cache and read one after another, each cut to that area
// while it is parsed, so that only the grid and the sheet being read are held. What did not come
// or did not read is named for the stage's warning.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "geodata/AscGrid.h"
#include "geodata/GisTypes.h"
#include "geodata/ServiceReach.h"
#include "geodata/SheetIndex.h"

namespace modelsheets {

// The turns of the sheets a stage reads: progress(i, total) before sheet i, and no turn once
// cancelled() holds.
class Turns {
public:
    Turns(std::size_t total, std::function<void(int, int)> progress,
          std::function<bool()> cancelled);

    // False once the cancel came; otherwise the next sheet's progress is told.
    bool next();
    // Whether the cancel came: a download it broke off brought no sheet of the model.
    bool cancelled() const { return cancelled_(); }

private:
    int total_;
    int done_ = 0;
    std::function<void(int, int)> progress_;
    std::function<bool()> cancelled_;
};

// Where a model's sheets go: the area sampled, the most cells its grid may hold.
struct Grid {
    Bbox keep;
    std::int64_t maxCells = 0;
};

// The grid over keep of a model whose sheets have cells of `cell` metres, allowed the cells that
// an area of mostArea square metres takes in them (and those that keep's edges cut and its ring):
// sheets of the model's own cells always fit when keep's area does, finer ones only as long as
// they stay within those cells.
Grid gridFor(const Bbox& keep, double cell, double mostArea);

// The area of a box, square metres.
double areaOf(const Bbox& box);

// What came of one model's sheets.
struct Read {
    FloatGrid grid;                     // empty when no sheet read, or when cut short
    int usable = 0;                     // the sheets that read
    bool cancelled = false;             // a cancel came before or during a sheet: no grid
    std::vector<std::string> unusable;  // the sheets that did not come or read, by name
    ServiceReach reach;                 // whether the sheets' service answered any of them
};

// Reads the sheets of `model` ("NMT", "nMPT": the word before a sheet's name) in their order into
// one grid, each after its turn. A cancel that comes while a sheet downloads ends the reading as
// one that comes before it.
Read read(sheetindex::IndexClient& index, std::string_view model,
          const std::vector<sheetindex::Tile>& tiles, const Grid& grid, Turns& turns);

}  // namespace modelsheets
