#pragma once
// Height grids for the contour and smoothing tests: node (i, j) of an nx x ny grid from (0, 0)
// gets the height f(i, j).

#include <functional>

#include "geometry/SiatkaWysokosci.h"

namespace gridfix {

inline SiatkaWysokosci gridOf(int nx, int ny, double step,
                              const std::function<double(int, int)>& f) {
    SiatkaWysokosci g;
    g.step = step;
    g.nx = nx;
    g.ny = ny;
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            g.z.push_back(f(i, j));
        }
    }
    return g;
}

}  // namespace gridfix
