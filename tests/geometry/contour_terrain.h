#pragma once
// Synthetic terrain for the contour benchmarks: rolling hills with ridges, valleys and a fine
// ripple, heights in metres, written to and read from an ESRI ASCII grid so that every tool sees
// the very same heights.

#include <cmath>
#include <cstdio>
#include <string>

#include "geodata/AscGrid.h"
#include "geometry/ContourBuilder.h"

namespace benchterrain {

inline double heightAt(double x, double y) {
    return 150.0 + 20.0 * std::sin(x / 157.0) * std::cos(y / 211.0) +
           8.0 * std::sin((x + y) / 61.0) + 3.0 * std::cos(x / 23.0 - y / 37.0) +
           0.3 * std::sin(x / 5.0) * std::sin(y / 7.0) +
           12.0 * std::exp(-((x - 700.0) * (x - 700.0) + (y - 1300.0) * (y - 1300.0)) / 40000.0);
}

// An n x n grid of 1 m cells whose centres lie on whole metres from (0, 0), heights to the
// millimetre.
inline std::string ascText(int n) {
    std::string text = "ncols " + std::to_string(n) + "\nnrows " + std::to_string(n) +
                       "\nxllcorner -0.5\nyllcorner -0.5\ncellsize 1\nnodata_value -9999\n";
    text.reserve(text.size() + static_cast<std::size_t>(n) * n * 9);
    char buf[32];
    for (int r = n - 1; r >= 0; --r) {
        for (int c = 0; c < n; ++c) {
            const int len = std::snprintf(buf, sizeof buf, "%.3f ", heightAt(c, r));
            text.append(buf, static_cast<std::size_t>(len));
        }
        text.back() = '\n';
    }
    return text;
}

inline AscGrid parsedGrid(const std::string& text) {
    AscGrid g;
    g.parse(text);
    return g;
}

// The grid of contour nodes on the cell centres of the sheet.
inline SiatkaWysokosci contourGrid(const AscGrid& sheet) {
    const double extent = sheet.ncols - 1.0;
    return ContourBuilder::probkuj(
        {0.0, 0.0, extent, extent}, 1.0,
        [&sheet](double x, double y, double& z) { return sheet.sampleZ(x, y, z); });
}

}  // namespace benchterrain
