#pragma once
// One height grid over the sheets of a model, read one sheet at a time: only the grid of the kept
// area and the sheet being read are ever held, whatever the number of sheets.

#include <optional>
#include <string_view>

#include "geodata/AscGrid.h"
#include "geodata/GisTypes.h"

class SheetMosaic {
public:
    // The grid covers keep, in the cells of the first sheet that meets it: its cell size,
    // aligned on its corner.
    explicit SheetMosaic(const Bbox& keep) : keep_(keep) {}

    // Reads one sheet's text into the grid: each cell still without a height takes the sheet's
    // height at the cell's centre, so a cell keeps the height of the first sheet, in reading
    // order, that has one there. False, with the grid unchanged, when the text is no complete
    // grid, or when it would set the grid's cells finer than a quarter metre.
    bool add(std::string_view text);

    // The grid, cut to whole cells around the part of the kept area that the sheets read cover;
    // an empty grid when no sheet read meets the kept area. The mosaic is empty afterwards.
    FloatGrid take();

private:
    void start(const FloatGrid& sheet);
    void fillFrom(const FloatGrid& sheet);

    Bbox keep_;
    FloatGrid grid_;               // no cells before the first sheet that meets keep
    std::optional<Bbox> covered_;  // the part of keep the sheets read cover
};
