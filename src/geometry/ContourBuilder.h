#pragma once
// Contour lines from a height source: `probkuj` samples a height sampler on a regular grid,
// `build` traces the lines of that grid at every multiple of the interval and stitches the cell
// segments into polylines, `zszyj` stitches arbitrary segments by the same rule. The smoothing
// operations work on a grid before tracing or on the traced lines.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "geodata/GisTypes.h"
#include "geometry/HeightSampler.h"
#include "geometry/SiatkaWysokosci.h"
#include "geometry/Warstwica.h"

class ContourBuilder {
public:
    // Samples the sampler at (minx + i * step, miny + j * step), row by row from the south, for
    // every node that lies within the frame; NaN where the sampler has no height. A step that is
    // not above 0 is taken as 1; a frame less than one step wide or high, or one with more than
    // 2^31 - 1 nodes along an axis or 2^26 nodes in all, gives an empty grid without calling the
    // sampler.
    static SiatkaWysokosci probkuj(const Bbox& frame, double step, const HeightSampler& sampler);

    // The contour lines of the grid at every multiple of `interval` between its lowest and its
    // highest height, lowest level first. At most `maxLines` levels are traced and at most
    // `maxLines` lines returned; once the running point total exceeds `maxPoints` no further line
    // is added. `cancel` is polled before each level, `progress` told (level index, level count).
    // `msg` receives the cancel or limit sentence, and *cancelled whether tracing was cancelled.
    // Non-finite heights count as gaps; lines end at the border of a gap.
    static std::vector<Warstwica> build(const SiatkaWysokosci& grid, double interval,
                                        std::string& msg, int maxLines, int maxPoints,
                                        const std::function<bool()>& cancel, bool* cancelled,
                                        const std::function<void(int, int)>& progress);

    // Joins segments that share an end (to the millimetre) into polylines, each running in the
    // direction of its first segment; a ring repeats its first point at its end.
    static std::vector<std::vector<GisPoint>> zszyj(
        const std::vector<std::pair<GisPoint, GisPoint>>& segments);

    // One edge-preserving pass: every height becomes the mean of its neighbours within
    // 2 * sigmaS, weighted by distance (sigmaS) and by height difference (sigmaR). NaN stays NaN.
    static void smoothFieldBilateral(SiatkaWysokosci& grid, double sigmaS, double sigmaR);

    // Rounds every line by corner cutting (`iterations` times, at most 8), then drops the points
    // closer than `tolerance` to the chord of their neighbours. Levels and index flags are kept.
    static void smoothChaikin(std::vector<Warstwica>& lines, int iterations, double tolerance);

    // `passes` box means over (2 * radius + 1)^2 nodes; NaN nodes stay NaN and are left out.
    static void smoothField(SiatkaWysokosci& grid, int radius, int passes);
};
