#include "import/fetch/SheetMosaic.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace {

// The cells a sheet may have: the national sheets have half a metre to a few metres. Cells
// outside come from a damaged header; finer ones would ask for more memory over the kept area
// than any frame warrants, coarser ones would spread one height over the whole grid.
constexpr double kFinestCell = 0.25;
constexpr double kCoarsestCell = 1000.0;

// Cell indices of the span [from, to) along one axis of a lattice from origin.
struct Span {
    std::int64_t first = 0;
    std::int64_t end = 0;
};

// A cell index as a whole number, held within +-2^61 so that no conversion or difference of two
// indices overflows, whatever the coordinates of a sheet; NaN gives the lower bound.
std::int64_t indexOf(double v) {
    constexpr double kLimit = 2305843009213693952.0;  // 2^61
    if (!(v > -kLimit))
        return -static_cast<std::int64_t>(kLimit);
    if (!(v < kLimit))
        return static_cast<std::int64_t>(kLimit);
    return static_cast<std::int64_t>(v);
}

Span spanOver(double from, double to, double origin, double cell) {
    return {indexOf(std::floor((from - origin) / cell)), indexOf(std::ceil((to - origin) / cell))};
}

// The span and one cell more on either side.
Span withRing(Span span) {
    return {span.first - 1, span.end + 1};
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

double SheetMosaic::cellsOver(const Bbox& keep, double cell) {
    // Along an axis the cells that meet the area are at most two more than its length holds,
    // and the ring adds two.
    return ((keep.maxx - keep.minx) / cell + 4.0) * ((keep.maxy - keep.miny) / cell + 4.0);
}

bool SheetMosaic::add(std::string_view text) {
    // Of a sheet only what the grid can take is kept: the kept area until the grid exists,
    // then the grid's own cells.
    FloatGrid sheet;
    if (!sheet.parse(text, grid_.z.empty() ? keep_ : extentOf(grid_)) ||
        !(sheet.cellsize >= kFinestCell && sheet.cellsize <= kCoarsestCell))
        return false;
    if (grid_.z.empty()) {
        if (!overlap(extentOf(sheet), keep_))
            return true;
        if (!start(sheet))
            return false;
    }
    const std::optional<Bbox> covered = overlap(extentOf(sheet), extentOf(grid_));
    if (!covered)
        return true;
    covered_ = covered_ ? unionOf(*covered_, *covered) : *covered;
    fillFrom(sheet);
    return true;
}

FloatGrid SheetMosaic::take() {
    if (covered_) {
        const double cell = grid_.cellsize;
        cutTo(grid_, within(spanOver(covered_->minx, covered_->maxx, grid_.xll, cell), grid_.ncols),
              within(spanOver(covered_->miny, covered_->maxy, grid_.yll, cell), grid_.nrows));
    }
    covered_.reset();
    return std::exchange(grid_, FloatGrid());
}

// The grid over keep and its ring in the sheet's cells, every cell without a height yet; false,
// with nothing allocated, when it would hold more cells than allowed.
bool SheetMosaic::start(const FloatGrid& sheet) {
    const double cell = sheet.cellsize;
    const Span cols = withRing(spanOver(keep_.minx, keep_.maxx, sheet.xll, cell));
    const Span rows = withRing(spanOver(keep_.miny, keep_.maxy, sheet.yll, cell));
    const std::int64_t width = cols.end - cols.first;
    const std::int64_t height = rows.end - rows.first;
    constexpr std::int64_t kMostPerAxis = std::numeric_limits<std::int32_t>::max();
    if (width > kMostPerAxis || height > kMostPerAxis ||
        static_cast<double>(width) * static_cast<double>(height) > static_cast<double>(maxCells_))
        return false;
    grid_.cellsize = cell;
    grid_.xll = sheet.xll + static_cast<double>(cols.first) * cell;
    grid_.yll = sheet.yll + static_cast<double>(rows.first) * cell;
    grid_.ncols = static_cast<std::int32_t>(width);
    grid_.nrows = static_cast<std::int32_t>(height);
    grid_.z.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                   std::numeric_limits<float>::quiet_NaN());
    return true;
}

// Fills the cells still without a height whose centre the sheet covers.
void SheetMosaic::fillFrom(const FloatGrid& sheet) {
    const double cell = grid_.cellsize;
    const Bbox reach = extentOf(sheet);
    const Span cols = spanOver(reach.minx, reach.maxx, grid_.xll, cell);
    const Span rows = spanOver(reach.miny, reach.maxy, grid_.yll, cell);
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
