#pragma once
// One height raster in the ESRI ASCII grid format, sampled bilinearly between cell centres.
//
// Cell (c, r), with c counted from the west and r from the south, is z[(nrows - 1 - r) * ncols + c]
// (the file lists rows from north to south) and its centre lies at
// (xll + (c + 0.5) * cellsize, yll + (r + 0.5) * cellsize). A cell holding `nodata`, or a value
// that is not finite, has no height.
//
// Cells are doubles (AscGrid) or, for grids as large as a whole frame, floats (FloatGrid): a
// float holds any height of the country to a tenth of a millimetre in half the memory. A float
// grid cannot hold every no-data value exactly, so a cell without data is NaN there.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "geodata/GisTypes.h"

template <class Cell>
class BasicAscGrid {
public:
    std::int32_t ncols = 0;
    std::int32_t nrows = 0;
    double xll = 0.0;  // west edge of the grid
    double yll = 0.0;  // south edge of the grid
    double cellsize = 0.0;
    double nodata = -9999.0;
    std::vector<Cell> z;

    // Reads a whole grid file: a header of exactly six keyword/number pairs, then ncols * nrows
    // numbers. False on any malformed or implausible header and on a short value list; the
    // grid must not be sampled then.
    bool parse(std::string_view text) { return read(text, std::nullopt); }

    // Reads and checks the whole file as parse does, but keeps only the cells that meet the
    // window and the ring of cells around them, which is what sampling anywhere in the window
    // takes; the grid then spans those cells, or none when the file lies wholly outside.
    bool parse(std::string_view text, const Bbox& window) { return read(text, window); }

    // The height at (x, y): bilinear between the four nearest cell centres when all four have
    // data, else the containing cell's own value. False outside the grid (the east and north
    // edges are outside), on a cell without data and for a non-finite point; z is then untouched.
    bool sampleZ(double x, double y, double& z) const;

private:
    // Columns [first, end) and rows [first, end) of the file kept, rows counted from the south.
    struct Kept {
        std::int32_t firstColumn = 0;
        std::int32_t endColumn = 0;
        std::int32_t firstRow = 0;
        std::int32_t endRow = 0;
    };

    bool read(std::string_view text, const std::optional<Bbox>& window);
    Kept keptOf(const std::optional<Bbox>& window) const;
    Cell stored(double v) const;

    bool hasData(double v) const { return v != nodata && std::isfinite(v); }
    double cell(std::int32_t col, std::int32_t row) const {
        return z[static_cast<std::size_t>(nrows - 1 - row) * static_cast<std::size_t>(ncols) +
                 static_cast<std::size_t>(col)];
    }
};

using AscGrid = BasicAscGrid<double>;
using FloatGrid = BasicAscGrid<float>;

extern template class BasicAscGrid<double>;
extern template class BasicAscGrid<float>;
