#pragma once
// A triangulated irregular network from a height grid that honours breaklines: straight breaks
// of slope found in the grid become constraint edges of a Delaunay triangulation of thinned grid
// nodes, and contour lines are traced on its triangles.

#include <cstdint>
#include <string>
#include <vector>

#include "geodata/GisTypes.h"
#include "geometry/SiatkaWysokosci.h"
#include "geometry/Warstwica.h"

namespace tin {

struct TinVertex {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

struct TinTri {
    std::int32_t v[3] = {0, 0, 0};
};

struct Tin {
    std::vector<TinVertex> vertices;
    std::vector<TinTri> triangles;
};

struct Breakline {
    std::vector<GisPoint> points;
};

struct BreaklineParams {
    double gradientThreshold = 0.0;  // metres per metre
    std::int32_t minNodes = 0;
    double maxWidth = 0.0;  // metres
    double spacing = 0.0;   // metres between breakline points; not > 0 means 1
};

struct TinParams {
    std::int32_t targetNodes = 0;   // not > 0: every grid node
    double breaklineSpacing = 0.0;  // metres; not > 0 means 1
};

// The limits every contour tracing observes (the same as the grid contours').
struct ContourLimits {
    int maxLines = 3000;
    int maxPoints = 600000;
};

std::vector<Breakline> detectBreaklines(const SiatkaWysokosci& grid, const BreaklineParams& params);

Tin buildTin(const SiatkaWysokosci& grid, const std::vector<Breakline>& breaklines,
             const TinParams& params);

// Contours at every multiple of interval. When a limit cuts the result, msg receives the
// contour tracer's Polish notice.
std::vector<Warstwica> contourTin(const Tin& tin, double interval, std::string& msg,
                                  const ContourLimits& limits = {});
std::vector<Warstwica> contourTin(const Tin& tin, double interval);

}  // namespace tin
