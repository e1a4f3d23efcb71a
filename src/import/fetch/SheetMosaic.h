#pragma once
// One height grid over the sheets of a model, read one sheet at a time: only the grid of the kept
// area and the sheet being read are ever held, whatever the number of sheets.

#include <cstdint>
#include <optional>
#include <string_view>

#include "geodata/AscGrid.h"
#include "geodata/GisTypes.h"

class SheetMosaic {
public:
    // The grid covers keep and the ring of cells around it, which is what sampling anywhere in
    // keep takes, in the cells of the first sheet that meets keep: its cell size, aligned on its
    // corner. It holds at most maxCells cells.
    SheetMosaic(const Bbox& keep, std::int64_t maxCells) : keep_(keep), maxCells_(maxCells) {}

    // The most cells a grid over keep (its ring included) holds at the given cell size.
    static double cellsOver(const Bbox& keep, double cell);

    // Reads one sheet's text into the grid: each cell still without a height takes the sheet's
    // height at the cell's centre, so a cell keeps the height of the first sheet, in reading
    // order, that has one there. False, with the grid unchanged, when the text is no complete
    // grid, when its cells are finer than a quarter metre or coarser than a kilometre (no model
    // sheet has such cells: they come from a damaged header), or when, as the first sheet to meet
    // keep, it would give the grid more than maxCells cells.
    bool add(std::string_view text);

    // The grid, cut to whole cells around the part of the kept area and its ring that the sheets
    // read cover; an empty grid when no sheet read meets the kept area. The mosaic is empty
    // afterwards.
    FloatGrid take();

private:
    bool start(const FloatGrid& sheet);
    void fillFrom(const FloatGrid& sheet);

    Bbox keep_;
    std::int64_t maxCells_;
    FloatGrid grid_;               // no cells before the first sheet that meets keep
    std::optional<Bbox> covered_;  // the part of the grid's extent the sheets read cover
};
