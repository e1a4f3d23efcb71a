#pragma once
// Height grids and surface models built in memory for the tests and benchmarks of the
// surface-model builders and the fake sheets of the terrain and surface models.

#include <cmath>
#include <cstddef>

#include "geodata/AscGrid.h"
#include "geometry/NdsmModel.h"

namespace ndsmfix {

constexpr double kNoData = -9999.0;

// A grid of ncols x nrows cells of `cell` metres whose south-west corner is (xll, yll), as the
// surface model holds it; each cell holds height(x, y) of its centre, or no data where that is
// NaN.
template <class Height>
FloatGrid gridOf(double xll, double yll, double cell, int ncols, int nrows, Height height) {
    FloatGrid g;
    g.ncols = ncols;
    g.nrows = nrows;
    g.xll = xll;
    g.yll = yll;
    g.cellsize = cell;
    g.nodata = kNoData;
    g.z.resize(static_cast<std::size_t>(ncols) * static_cast<std::size_t>(nrows));
    for (int r = 0; r < nrows; ++r) {
        for (int c = 0; c < ncols; ++c) {
            const double z = height(xll + (c + 0.5) * cell, yll + (r + 0.5) * cell);
            g.z[static_cast<std::size_t>(nrows - 1 - r) * static_cast<std::size_t>(ncols) +
                static_cast<std::size_t>(c)] = static_cast<float>(std::isnan(z) ? kNoData : z);
        }
    }
    return g;
}

// Both grids over the same cells.
template <class Surface, class Terrain>
NdsmModel modelOf(double xll, double yll, double cell, int ncols, int nrows, Surface surface,
                  Terrain terrain) {
    NdsmModel m;
    m.surface = gridOf(xll, yll, cell, ncols, nrows, surface);
    m.terrain = gridOf(xll, yll, cell, ncols, nrows, terrain);
    return m;
}

}  // namespace ndsmfix
