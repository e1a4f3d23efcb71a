#pragma once
// A regular height grid over a plan area (PL-1992 metres): node (i, j) lies at
// (x0 + i * step, y0 + j * step) and its height is z[j * nx + i]; rows run northwards from the
// south edge, columns eastwards from the west edge. NaN marks a node without data. An empty grid
// has nx = ny = 0 and no heights; otherwise z holds exactly nx * ny values.

#include <cstdint>
#include <vector>

struct SiatkaWysokosci {
    double x0 = 0.0;
    double y0 = 0.0;
    double step = 1.0;
    std::int32_t nx = 0;
    std::int32_t ny = 0;
    std::vector<double> z;
};
