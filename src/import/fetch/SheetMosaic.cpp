#include "import/fetch/SheetMosaic.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace {

// The finest cells a sheet may have to set the grid's cells: the national sheets have half a
// metre and more. Finer cells come from a damaged header, and over the kept area they would ask
// for more memory than any frame warrants.
constexpr double kFinestCell = 0.25;

// Cell indices of the span [from, to) along one axis of a lattice from origin.
struct Span {
    std::int64_t first = 0;
    std::int64_t end = 0;
};

Span cellsOver(double from, double to, double origin, double cell) {
    return {static_cast<std::int64_t>(std::floor((from - origin) / cell)),
            static_cast<std::int64_t>(std::ceil((to - origin) / cell))};
}

// The span cut to the cells 0 .. count: rounding at the grid's edges may reach one beyond.
Span within(Span span, std::int64_t count) {
    const std::int64_t first = std::clamp<std::int64_t>(span.first, 0, count);
    return {first, std::clamp<std::int64_t>(span.end, first, count)};
}

Bbox extentOf(const FloatGrid& grid) {
    return {grid.xll, grid.yll, grid.xll + grid.ncols * grid.cellsize,
            grid.yll + grid.nrows * grid.cellsize};
}

// The part two boxes share; nothing when it has no area.
std::optional<Bbox> overlap(const Bbox& a, const Bbox& b) {
    const Bbox both{std::max(a.minx, b.minx), std::max(a.miny, b.miny), std::min(a.maxx, b.maxx),
                    std::min(a.maxy, b.maxy)};
    if (!(both.minx < both.maxx && both.miny < both.maxy))
        return std::nullopt;
    return both;
}

Bbox unionOf(const Bbox& a, const Bbox& b) {
    return {std::min(a.minx, b.minx), std::min(a.miny, b.miny), std::max(a.maxx, b.maxx),
            std::max(a.maxy, b.maxy)};
}

// Keeps columns cols and rows rows (counted from the south) of the grid, moving them to the
// front of its cells: nothing is allocated.
void cutTo(FloatGrid& grid, Span cols, Span rows) {
    const auto width = static_cast<std::size_t>(cols.end - cols.first);
    const auto height = static_cast<std::size_t>(rows.end - rows.first);
    const auto stride = static_cast<std::size_t>(grid.ncols);
    // The kept rows, north first, each from its first kept column; every row moves towards the
    // front, so copying in order never overwrites one still to move.
    const auto northmost = static_cast<std::size_t>(grid.nrows - rows.end);
    for (std::size_t k = 0; k < height; ++k) {
        const auto from =
            grid.z.begin() + static_cast<std::ptrdiff_t>((northmost + k) * stride +
                                                         static_cast<std::size_t>(cols.first));
        std::copy(from, from + static_cast<std::ptrdiff_t>(width),
                  grid.z.begin() + static_cast<std::ptrdiff_t>(k * width));
    }
    grid.z.resize(width * height);
    grid.xll += static_cast<double>(cols.first) * grid.cellsize;
    grid.yll += static_cast<double>(rows.first) * grid.cellsize;
    grid.ncols = static_cast<std::int32_t>(width);
    grid.nrows = static_cast<std::int32_t>(height);
}

}  // namespace

bool SheetMosaic::add(std::string_view text) {
    // Of a sheet only what the grid can take is kept: the kept area until the grid exists,
    // then the grid's own cells.
    FloatGrid sheet;
    if (!sheet.parse(text, grid_.z.empty() ? keep_ : extentOf(grid_)) ||
        (grid_.z.empty() && sheet.cellsize < kFinestCell))
        return false;
    const std::optional<Bbox> covered = overlap(extentOf(sheet), keep_);
    if (!covered)
        return true;
    covered_ = covered_ ? unionOf(*covered_, *covered) : *covered;
    if (grid_.z.empty())
        start(sheet);
    fillFrom(sheet);
    return true;
}

FloatGrid SheetMosaic::take() {
    if (covered_) {
        const double cell = grid_.cellsize;
        cutTo(grid_,
              within(cellsOver(covered_->minx, covered_->maxx, grid_.xll, cell), grid_.ncols),
              within(cellsOver(covered_->miny, covered_->maxy, grid_.yll, cell), grid_.nrows));
    }
    covered_.reset();
    return std::exchange(grid_, FloatGrid());
}

// The grid over keep in the sheet's cells, every cell without a height yet.
void SheetMosaic::start(const FloatGrid& sheet) {
    const double cell = sheet.cellsize;
    const Span cols = cellsOver(keep_.minx, keep_.maxx, sheet.xll, cell);
    const Span rows = cellsOver(keep_.miny, keep_.maxy, sheet.yll, cell);
    grid_.cellsize = cell;
    grid_.xll = sheet.xll + static_cast<double>(cols.first) * cell;
    grid_.yll = sheet.yll + static_cast<double>(rows.first) * cell;
    grid_.ncols = static_cast<std::int32_t>(cols.end - cols.first);
    grid_.nrows = static_cast<std::int32_t>(rows.end - rows.first);
    grid_.z.assign(static_cast<std::size_t>(grid_.ncols) * static_cast<std::size_t>(grid_.nrows),
                   std::numeric_limits<float>::quiet_NaN());
}

// Fills the cells still without a height whose centre the sheet covers.
void SheetMosaic::fillFrom(const FloatGrid& sheet) {
    const double cell = grid_.cellsize;
    const Bbox reach = extentOf(sheet);
    const Span cols = cellsOver(reach.minx, reach.maxx, grid_.xll, cell);
    const Span rows = cellsOver(reach.miny, reach.maxy, grid_.yll, cell);
    for (std::int64_t r = std::max<std::int64_t>(rows.first, 0);
         r < std::min<std::int64_t>(rows.end, grid_.nrows); ++r) {
        const double y = grid_.yll + (static_cast<double>(r) + 0.5) * cell;
        const std::size_t row =
            static_cast<std::size_t>(grid_.nrows - 1 - r) * static_cast<std::size_t>(grid_.ncols);
        for (std::int64_t c = std::max<std::int64_t>(cols.first, 0);
             c < std::min<std::int64_t>(cols.end, grid_.ncols); ++c) {
            float& z = grid_.z[row + static_cast<std::size_t>(c)];
            double height = 0.0;
            if (std::isnan(z) &&
                sheet.sampleZ(grid_.xll + (static_cast<double>(c) + 0.5) * cell, y, height))
                z = static_cast<float>(height);
        }
    }
}
